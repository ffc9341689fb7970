// The main menu, the world list with its scan of ./worlds, and the screen
// that names a new world.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "menu.h"
#include "world.h"

namespace {

const Color BUTTON_HOVER = {200, 200, 200, 255};
const Color SPLASH = {255, 255, 0, 200};
const Color ROW_SELECTED = {80, 120, 200, 255};
const Color ROW_HOVER = {100, 100, 100, 255};
const Color ERROR_TEXT = {230, 41, 55, 255};

float text_width(Font font, const char* text, float size, float spacing) {
    return MeasureTextEx(font, text, size, spacing).x;
}

void draw_centered(Font font, const char* text, float y, float size, float spacing, Color color) {
    float x = (static_cast<float>(GetScreenWidth()) - text_width(font, text, size, spacing)) * 0.5f;
    DrawTextEx(font, text, Vector2{x, y}, size, spacing, color);
}

// A label centred on x, as the buttons of these screens place them.
void draw_label(Font font, const char* text, float center, float y, float size) {
    DrawTextEx(font, text, Vector2{center - text_width(font, text, size, 1.0f) * 0.5f, y}, size, 1.0f, BLACK);
}

bool world_dir_entry(const struct dirent* entry) {
    return entry->d_name[0] != '.' && world_folder_exists(entry->d_name);
}

// The list shows "Unknown" and 0 chunks for what world.txt does not say.
void read_world_info(WorldInfo* info) {
    WorldMetadata metadata = {};
    menu_copy_text(metadata.last_saved, sizeof metadata.last_saved, "Unknown");
    world_metadata_read(info->name, &metadata);
    menu_copy_text(info->created, sizeof info->created, metadata.last_saved);
    info->chunk_count = metadata.chunk_count;
}

void start_game(MenuSystem* menu, const char* name) {
    menu_copy_text(menu->selected_world_name, sizeof menu->selected_world_name, name);
    menu->should_start_game = true;
    menu->current_state = MENU_STATE_GAME;
}

Rectangle main_button_rect(int i) {
    return Rectangle{static_cast<float>(GetScreenWidth() / 2 - 200), static_cast<float>(GetScreenHeight() / 2 + 80 * i),
                     400, 60};
}

Rectangle language_button_rect() {
    return Rectangle{10, static_cast<float>(GetScreenHeight() - 50), 80, 40};
}

void draw_main_buttons(const MenuSystem* menu, Font font, Vector2 mouse) {
    const char* labels[4] = {menu->text_select_world, menu->text_credits_info, menu->game_text.settings,
                             menu->text_quit};
    for (int i = 0; i < 4; i++) {
        Rectangle rect = main_button_rect(i);
        menu_draw_button(rect, MENU_BUTTON_NORMAL, mouse);
        draw_label(font, labels[i], static_cast<float>(GetScreenWidth() / 2), rect.y + 14, 32);
    }
}

void update_main_buttons(MenuSystem* menu, const MenuInput* input) {
    int acting = -1;
    for (int i = 0; i < 4 && acting < 0; i++) {
        if (input->click && CheckCollisionPointRec(input->mouse, main_button_rect(i))) acting = i;
    }
    if (acting == 0) {
        menu_scan_worlds(menu);
        menu->current_state = MENU_STATE_WORLD_SELECT;
    } else if (acting == 1) {
        menu->current_state = MENU_STATE_CREDITS;
    } else if (acting == 2) {
        menu->current_state = MENU_STATE_SETTINGS;
    } else if (acting == 3) {
        exit(0);
    }
}

void draw_language_button(const MenuSystem* menu, Font font, Vector2 mouse) {
    int sh = GetScreenHeight();
    menu_draw_button(language_button_rect(), MENU_BUTTON_NORMAL, mouse);
    Vector2 size = MeasureTextEx(font, menu->current_language, 24, 1.0f);
    int x = 10 + (80 - static_cast<int>(size.x)) / 2;
    int y = sh - 50 + (40 - static_cast<int>(size.y)) / 2;
    DrawTextEx(font, menu->current_language, Vector2{static_cast<float>(x), static_cast<float>(y)}, 24, 1.0f, BLACK);
}

void update_language_button(MenuSystem* menu, const MenuInput* input) {
    if (input->click && CheckCollisionPointRec(input->mouse, language_button_rect())) {
        menu_next_language(menu);
    }
}

Rectangle world_row_rect(int list_x, int i) {
    return Rectangle{static_cast<float>(list_x), static_cast<float>(120 + 60 * i), 600, 50};
}

void draw_world_row(const MenuSystem* menu, Font font, int list_x, int i, Vector2 mouse) {
    const WorldInfo* info = &menu->available_worlds[i];
    Rectangle row = world_row_rect(list_x, i);
    Color fill = MENU_BUTTON_NORMAL;
    if (i == menu->selected_world_index) {
        fill = ROW_SELECTED;
    } else if (CheckCollisionPointRec(mouse, row)) {
        fill = ROW_HOVER;
    }
    DrawRectangleRec(row, fill);
    DrawRectangleLinesEx(row, 2.0f, WHITE);
    DrawTextEx(font, info->name, Vector2{row.x + 10, row.y + 5}, 24, 1.0f, WHITE);
    char detail[256] = {0};
    // text_last was checked at load to take exactly a string and an int.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    snprintf(detail, sizeof detail, menu->text_last, info->created, info->chunk_count);
#pragma GCC diagnostic pop
    DrawTextEx(font, detail, Vector2{row.x + 10, row.y + 28}, 16, 1.0f, MENU_SECONDARY_TEXT);
}

void update_world_row(MenuSystem* menu, int list_x, int i, const MenuInput* input) {
    if (input->click && CheckCollisionPointRec(input->mouse, world_row_rect(list_x, i))) {
        menu->selected_world_index = i;
        start_game(menu, menu->available_worlds[i].name);
    }
}

// A row clicked selects itself before the rows below it are drawn.
void world_rows_frame(MenuSystem* menu, Font font, int list_x, const MenuInput* input) {
    for (int i = 0; i < menu->world_count && i < MENU_WORLD_ROWS; i++) {
        draw_world_row(menu, font, list_x, i, input->mouse);
        update_world_row(menu, list_x, i, input);
    }
}

// Typed characters and Backspace reach the name before it is drawn.
void update_name_typing(MenuSystem* menu, const MenuInput* input) {
    for (int i = 0; i < input->char_count; i++) {
        menu_create_world_type_char(menu, input->chars[i]);
    }
    if (input->backspace && menu->new_world_name_len > 0) {
        menu->new_world_name[--menu->new_world_name_len] = '\0';
    }
}

void draw_name_input(const MenuSystem* menu, Font font, int input_x, int center_y) {
    DrawRectangle(input_x, center_y - 50, 400, 50, MENU_BUTTON_NORMAL);
    DrawRectangleLinesEx(Rectangle{static_cast<float>(input_x), static_cast<float>(center_y - 50), 400, 50}, 2.0f,
                         WHITE);
    Vector2 text_pos = {static_cast<float>(input_x + 10), static_cast<float>(center_y - 40)};
    DrawTextEx(font, menu->new_world_name, text_pos, 32, 1.0f, WHITE);
    if (static_cast<long>(GetTime() * 2.0) % 2 == 0) {
        float x = text_pos.x + text_width(font, menu->new_world_name, 32, 1.0f);
        DrawLineEx(Vector2{x, text_pos.y}, Vector2{x, static_cast<float>(center_y - 10)}, 2.0f, WHITE);
    }
    DrawTextEx(font, menu->text_world_name_label,
               Vector2{static_cast<float>(input_x), static_cast<float>(center_y - 90)}, 20, 1.0f, MENU_SECONDARY_TEXT);
}

}  // namespace

void menu_draw_background(const MenuSystem* menu) {
    if (!menu->background_loaded) {
        ClearBackground(MENU_SCREEN_FILL);
        return;
    }
    const Texture2D& tex = menu->background_texture;
    Rectangle source = {0, 0, static_cast<float>(tex.width), static_cast<float>(tex.height)};
    Rectangle dest = {0, 0, static_cast<float>(GetScreenWidth()), static_cast<float>(GetScreenHeight())};
    DrawTexturePro(tex, source, dest, Vector2{0, 0}, 0.0f, WHITE);
}

bool menu_draw_button(Rectangle rect, Color normal, Vector2 mouse) {
    bool hovered = CheckCollisionPointRec(mouse, rect);
    DrawRectangleRec(rect, hovered ? BUTTON_HOVER : normal);
    DrawRectangleLinesEx(rect, 2.0f, WHITE);
    return hovered;
}

void menu_next_language(MenuSystem* menu) {
    if (menu->available_languages_count <= 0) {
        return;
    }
    menu->current_language_index = (menu->current_language_index + 1) % menu->available_languages_count;
    menu_load_language(menu, menu->available_languages[menu->current_language_index]);
    menu_save_settings(menu);
}

static void draw_main(const MenuSystem* menu, Font font, Vector2 mouse) {
    menu_draw_background(menu);
    const char* logo = "QVOX";
    float logo_w = text_width(font, logo, 80, 2.0f);
    float logo_x = (static_cast<float>(GetScreenWidth()) - logo_w) * 0.5f;
    DrawTextEx(font, logo, Vector2{logo_x, 60}, 80, 2.0f, WHITE);
    draw_centered(font, QVOX_MENU_VERSION_LINE, 150, 24, 1.0f, MENU_SECONDARY_TEXT);
    if (menu->current_splash_text[0] != '\0') {
        float h = MeasureTextEx(font, menu->current_splash_text, 36, 1.0f).y;
        DrawTextPro(font, menu->current_splash_text, Vector2{logo_x + logo_w + 30, 210}, Vector2{0, h * 0.5f}, -20.0f,
                    36, 1.0f, SPLASH);
    }
    draw_main_buttons(menu, font, mouse);
    draw_language_button(menu, font, mouse);
}

static void main_frame(MenuSystem* menu, Font font, const MenuInput* input) {
    draw_main(menu, font, input->mouse);
    update_main_buttons(menu, input);
    update_language_button(menu, input);
}

void menu_world_select_keys(MenuSystem* menu, bool up, bool down, bool enter, bool escape) {
    if (up && menu->selected_world_index > 0) menu->selected_world_index--;
    if (down && menu->selected_world_index < menu->world_count - 1) menu->selected_world_index++;
    if (enter && menu->world_count > 0) {
        start_game(menu, menu->available_worlds[menu->selected_world_index].name);
    }
    if (escape) menu->current_state = MENU_STATE_MAIN;
}

static Rectangle world_list_button_rect(int list_x, bool back) {
    return Rectangle{static_cast<float>(list_x + (back ? 450 : 0)), 630, 150, 50};
}

static void draw_world_list_buttons(const MenuSystem* menu, Font font, int list_x, Vector2 mouse) {
    Rectangle create = world_list_button_rect(list_x, false);
    Rectangle back = world_list_button_rect(list_x, true);
    menu_draw_button(create, MENU_BUTTON_NORMAL, mouse);
    menu_draw_button(back, MENU_BUTTON_NORMAL, mouse);
    draw_label(font, menu->text_create_world, create.x + 75, 640, 28);
    draw_label(font, menu->text_back, back.x + 75, 640, 28);
    if (menu->world_count == 0) {
        draw_centered(font, menu->text_no_worlds, static_cast<float>(GetScreenHeight() / 2), 32, 1.0f,
                      MENU_SECONDARY_TEXT);
    }
}

static void update_world_list_buttons(MenuSystem* menu, int list_x, const MenuInput* input) {
    if (!input->click) return;
    if (CheckCollisionPointRec(input->mouse, world_list_button_rect(list_x, false))) {
        menu->current_state = MENU_STATE_CREATE_WORLD;
        menu->new_world_name[0] = '\0';
        menu->new_world_name_len = 0;
        menu->create_world_error = false;
    } else if (CheckCollisionPointRec(input->mouse, world_list_button_rect(list_x, true))) {
        menu->current_state = MENU_STATE_MAIN;
    }
}

static void world_select_frame(MenuSystem* menu, Font font, const MenuInput* input) {
    ClearBackground(MENU_SCREEN_FILL);
    draw_centered(font, menu->text_title_select_world, 40, 64, 2.0f, WHITE);
    int list_x = (GetScreenWidth() - 600) / 2;
    world_rows_frame(menu, font, list_x, input);
    draw_world_list_buttons(menu, font, list_x, input->mouse);
    update_world_list_buttons(menu, list_x, input);
    menu_world_select_keys(menu, input->up, input->down, input->enter, input->escape);
}

void menu_create_world_type_char(MenuSystem* menu, int c) {
    if (!world_name_char_typable(c) || menu->new_world_name_len >= WORLD_NAME_MAX - 1) {
        return;
    }
    menu->new_world_name[menu->new_world_name_len++] = static_cast<char>(c);
    menu->new_world_name[menu->new_world_name_len] = '\0';
    menu->create_world_error = false;
}

void menu_create_world_request(MenuSystem* menu) {
    if (menu->new_world_name_len == 0) {
        menu->create_world_error = true;
        menu_copy_text(menu->create_world_error_msg, sizeof menu->create_world_error_msg, menu->text_error_empty_name);
        return;
    }
    for (int i = 0; i < menu->world_count; i++) {
        if (strcmp(menu->available_worlds[i].name, menu->new_world_name) == 0) {
            menu->create_world_error = true;
            menu_copy_text(menu->create_world_error_msg, sizeof menu->create_world_error_msg, menu->text_error_exists);
            return;
        }
    }
    start_game(menu, menu->new_world_name);
}

static Rectangle create_screen_button_rect(bool cancel) {
    int input_x = (GetScreenWidth() - 400) / 2;
    int center_y = GetScreenHeight() / 2;
    return Rectangle{static_cast<float>(input_x + (cancel ? 210 : 40)), static_cast<float>(center_y + 100), 150, 50};
}

static void draw_create_world(const MenuSystem* menu, Font font, Vector2 mouse) {
    ClearBackground(MENU_SCREEN_FILL);
    draw_centered(font, menu->text_title_create_world, 40, 64, 2.0f, WHITE);
    int input_x = (GetScreenWidth() - 400) / 2;
    int center_y = GetScreenHeight() / 2;
    draw_name_input(menu, font, input_x, center_y);
    Rectangle create = create_screen_button_rect(false);
    Rectangle cancel = create_screen_button_rect(true);
    menu_draw_button(create, MENU_BUTTON_NORMAL, mouse);
    menu_draw_button(cancel, MENU_BUTTON_NORMAL, mouse);
    draw_label(font, menu->text_create_btn, create.x + 75, static_cast<float>(center_y + 110), 28);
    draw_label(font, menu->text_cancel_btn, cancel.x + 75, static_cast<float>(center_y + 110), 28);
    if (menu->create_world_error) {
        draw_centered(font, menu->create_world_error_msg, static_cast<float>(center_y + 170), 24, 1.0f, ERROR_TEXT);
    }
}

static void update_create_world_buttons(MenuSystem* menu, const MenuInput* input) {
    bool create_hovered = CheckCollisionPointRec(input->mouse, create_screen_button_rect(false));
    bool cancel_hovered = CheckCollisionPointRec(input->mouse, create_screen_button_rect(true));
    if (input->click && cancel_hovered && !create_hovered) {
        menu->current_state = MENU_STATE_MAIN;
        menu->create_world_error = false;
    }
    if (input->enter || (input->click && create_hovered)) {
        menu_create_world_request(menu);
    }
}

static void create_world_frame(MenuSystem* menu, Font font, const MenuInput* input) {
    update_name_typing(menu, input);
    draw_create_world(menu, font, input->mouse);
    update_create_world_buttons(menu, input);
}

MenuInput menu_read_input(void) {
    MenuInput input = {};
    input.mouse = GetMousePosition();
    input.click = IsMouseButtonPressed(MOUSE_BUTTON_LEFT);
    input.left_down = IsMouseButtonDown(MOUSE_BUTTON_LEFT);
    input.up = IsKeyPressed(KEY_UP);
    input.down = IsKeyPressed(KEY_DOWN);
    input.enter = IsKeyPressed(KEY_ENTER);
    input.escape = IsKeyPressed(KEY_ESCAPE);
    input.backspace = IsKeyPressed(KEY_BACKSPACE);
    for (int c = GetCharPressed(); c != 0 && input.char_count < MENU_INPUT_MAX_CHARS; c = GetCharPressed()) {
        input.chars[input.char_count++] = c;
    }
    return input;
}

void menu_screen_frame(MenuSystem* menu, Font font, const MenuInput* input) {
    switch (menu->current_state) {
    case MENU_STATE_MAIN: main_frame(menu, font, input); break;
    case MENU_STATE_WORLD_SELECT: world_select_frame(menu, font, input); break;
    case MENU_STATE_CREATE_WORLD: create_world_frame(menu, font, input); break;
    case MENU_STATE_CREDITS: menu_credits_frame(menu, font, input); break;
    default: menu_settings_frame(menu, font, input); break;
    }
}

void menu_escape_pressed(MenuSystem* menu) {
    switch (menu->current_state) {
    case MENU_STATE_WORLD_SELECT:
    case MENU_STATE_CREDITS:
    case MENU_STATE_SETTINGS: menu->current_state = MENU_STATE_MAIN; break;
    case MENU_STATE_CREATE_WORLD:
        menu->current_state = MENU_STATE_MAIN;
        menu->create_world_error = false;
        break;
    default: break;
    }
}

void menu_scan_worlds(MenuSystem* menu) {
    free(menu->available_worlds);
    menu->available_worlds = nullptr;
    menu->world_count = 0;
    DIR* dir = world_open_worlds_folder();
    if (dir == nullptr) {
        return;
    }
    int counted = 0;
    struct dirent* entry = nullptr;
    while ((entry = readdir(dir)) != nullptr) {
        if (world_dir_entry(entry)) counted++;
    }
    if (counted > 0) {
        menu->available_worlds = static_cast<WorldInfo*>(calloc(static_cast<size_t>(counted), sizeof(WorldInfo)));
    }
    int filled = 0;
    if (menu->available_worlds != nullptr) {
        rewinddir(dir);
        while (filled < counted && (entry = readdir(dir)) != nullptr) {
            if (!world_dir_entry(entry)) continue;
            WorldInfo* info = &menu->available_worlds[filled++];
            menu_copy_text(info->name, sizeof info->name, entry->d_name);
            read_world_info(info);
        }
    } else if (counted > 0) {
        fprintf(stderr, "Failed to allocate the world list of ./worlds\n");
    }
    if (closedir(dir) != 0) {
        fprintf(stderr, "Failed to close ./worlds\n");
    }
    menu->world_count = filled;
    menu->selected_world_index = 0;
}
