// The menu record: creation, release, language texts, splash lines and the
// main-menu background.
#include "menu.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// One line of a language file and the field it fills. `kinds` lists the
// printf arguments the text receives when it is used as a format; null for a
// text that is shown as it is.
struct TextSlot {
    char* field;
    size_t size;
    const char* kinds;
};

constexpr int MENU_SLOTS = 38;
constexpr int CHAT_SLOTS = 20;
constexpr int LINE_BUFFER = 512;
constexpr int PATH_BUFFER = 512;

void menu_slots(MenuSystem* m, TextSlot* s) {
    GameText* g = &m->game_text;
    const TextSlot slots[MENU_SLOTS] = {
        {m->text_select_world, sizeof m->text_select_world, nullptr},
        {m->text_create_world, sizeof m->text_create_world, nullptr},
        {m->text_credits_info, sizeof m->text_credits_info, nullptr},
        {m->text_quit, sizeof m->text_quit, nullptr},
        {m->text_back, sizeof m->text_back, nullptr},
        {m->text_world_name_label, sizeof m->text_world_name_label, nullptr},
        {m->text_create_btn, sizeof m->text_create_btn, nullptr},
        {m->text_cancel_btn, sizeof m->text_cancel_btn, nullptr},
        {m->text_error_empty_name, sizeof m->text_error_empty_name, nullptr},
        {m->text_error_exists, sizeof m->text_error_exists, nullptr},
        {m->text_no_worlds, sizeof m->text_no_worlds, nullptr},
        {m->text_title_create_world, sizeof m->text_title_create_world, nullptr},
        {m->text_title_select_world, sizeof m->text_title_select_world, nullptr},
        {m->text_last, sizeof m->text_last, "sd"},
        {g->move_controls, sizeof g->move_controls, nullptr},
        {g->metrics_help, sizeof g->metrics_help, nullptr},
        {g->mouse_help, sizeof g->mouse_help, nullptr},
        {g->look_help, sizeof g->look_help, nullptr},
        {g->pause_help, sizeof g->pause_help, nullptr},
        {g->paused, sizeof g->paused, nullptr},
        {g->resume, sizeof g->resume, nullptr},
        {g->back_to_menu, sizeof g->back_to_menu, nullptr},
        {g->perf_metrics, sizeof g->perf_metrics, nullptr},
        {g->system_info, sizeof g->system_info, nullptr},
        {g->player_info, sizeof g->player_info, nullptr},
        {g->fps_label, sizeof g->fps_label, nullptr},
        {g->coord_label, sizeof g->coord_label, nullptr},
        {g->version, sizeof g->version, nullptr},
        {g->settings, sizeof g->settings, nullptr},
        {g->render_dist_label, sizeof g->render_dist_label, nullptr},
        {g->max_fps_label, sizeof g->max_fps_label, nullptr},
        {g->font_family_label, sizeof g->font_family_label, nullptr},
        {g->font_variant_label, sizeof g->font_variant_label, nullptr},
        {g->uncapped, sizeof g->uncapped, nullptr},
        {g->press_esc_to_return, sizeof g->press_esc_to_return, nullptr},
        {g->see_full_info, sizeof g->see_full_info, nullptr},
        {g->inventory_title, sizeof g->inventory_title, nullptr},
        {g->inventory_close, sizeof g->inventory_close, nullptr},
    };
    memcpy(s, slots, sizeof slots);
}

void chat_slots(MenuSystem* m, TextSlot* s) {
    GameText* g = &m->game_text;
    const TextSlot slots[CHAT_SLOTS] = {
        {g->msg_quitting, sizeof g->msg_quitting, nullptr},
        {g->msg_teleported, sizeof g->msg_teleported, "fff"},
        {g->msg_teleport_usage, sizeof g->msg_teleport_usage, nullptr},
        {g->msg_world_saved, sizeof g->msg_world_saved, "s"},
        {g->msg_world_save_failed, sizeof g->msg_world_save_failed, "s"},
        {g->msg_world_loaded, sizeof g->msg_world_loaded, "s"},
        {g->msg_world_load_failed, sizeof g->msg_world_load_failed, "s"},
        {g->msg_invalid_world_name, sizeof g->msg_invalid_world_name, nullptr},
        {g->msg_block_selected, sizeof g->msg_block_selected, "s"},
        {g->msg_unknown_block, sizeof g->msg_unknown_block, "s"},
        {g->msg_flight_enabled, sizeof g->msg_flight_enabled, nullptr},
        {g->msg_flight_disabled, sizeof g->msg_flight_disabled, nullptr},
        {g->msg_fly_usage, sizeof g->msg_fly_usage, nullptr},
        {g->msg_noclip_enabled, sizeof g->msg_noclip_enabled, nullptr},
        {g->msg_noclip_disabled, sizeof g->msg_noclip_disabled, nullptr},
        {g->msg_noclip_usage, sizeof g->msg_noclip_usage, nullptr},
        {g->msg_block_set, sizeof g->msg_block_set, "sfff"},
        {g->msg_out_of_bounds, sizeof g->msg_out_of_bounds, nullptr},
        {g->msg_setblock_usage, sizeof g->msg_setblock_usage, nullptr},
        {g->msg_unknown_command, sizeof g->msg_unknown_command, "s"},
    };
    memcpy(s, slots, sizeof slots);
}

// Fills the slots in file order, one slot per line or per 511-byte piece of a
// longer line. Slots past the end of the file keep their contents.
void read_slots(FILE* file, const char* path, const TextSlot* slots, int count) {
    char line[LINE_BUFFER] = {0};
    int slot = 0;
    while (slot < count && fgets(line, sizeof line, file) != nullptr) {
        line[strcspn(line, "\n")] = '\0';
        const TextSlot* s = &slots[slot];
        menu_copy_text(s->field, s->size, line);
        if (s->kinds != nullptr && !menu_format_fits(s->field, s->kinds)) {
            fprintf(stderr, "Unusable format in %s, line %d: text dropped\n", path, slot + 1);
            s->field[0] = '\0';
        }
        slot++;
    }
}

bool load_slot_file(const char* path, const TextSlot* slots, int count) {
    FILE* file = fopen(path, "r");
    if (file == nullptr) {
        return false;
    }
    read_slots(file, path, slots, count);
    if (ferror(file)) {
        fprintf(stderr, "Failed to read menu text from: %s\n", path);
    }
    if (fclose(file) != 0) {
        fprintf(stderr, "Failed to close %s\n", path);
    }
    return true;
}

void load_credits(MenuSystem* menu, const char* path) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        fprintf(stderr, "Failed to load credits text from: %s\n", path);
        menu_copy_text(menu->credits_text, sizeof menu->credits_text, "Credits data not available.");
        return;
    }
    size_t n = fread(menu->credits_text, 1, sizeof menu->credits_text - 1, file);
    menu->credits_text[n] = '\0';
    if (ferror(file)) {
        fprintf(stderr, "Failed to read credits text from: %s\n", path);
    }
    if (fclose(file) != 0) {
        fprintf(stderr, "Failed to close %s\n", path);
    }
}

// Skips flags, width, precision and length of one conversion; returns the
// conversion character, or 0 when the conversion uses something a fixed
// argument list cannot serve ('*', '$', a length that changes the type).
char conversion_kind(const char** cursor) {
    const char* p = *cursor;
    while (*p != '\0' && strchr("-+ #0", *p) != nullptr) p++;
    while (*p >= '0' && *p <= '9') p++;
    if (*p == '.') {
        p++;
        while (*p >= '0' && *p <= '9') p++;
    }
    bool long_modifier = false;
    if (*p == 'l') {
        long_modifier = true;
        p++;
    }
    char c = *p;
    *cursor = (c == '\0') ? p : p + 1;
    if (c != '\0' && strchr("diouxXc", c) != nullptr && !long_modifier) return 'd';
    if (c != '\0' && strchr("fFeEgGaA", c) != nullptr) return 'f';
    if (c == 's' && !long_modifier) return 's';
    return 0;
}

}  // namespace

void menu_copy_text(char* dst, size_t size, const char* src) {
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

bool menu_is_directory(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool menu_format_fits(const char* format, const char* kinds) {
    size_t used = 0;
    size_t available = strlen(kinds);
    const char* p = format;
    while (*p != '\0') {
        if (*p++ != '%') continue;
        if (*p == '%') {
            p++;
            continue;
        }
        char kind = conversion_kind(&p);
        if (kind == 0 || used >= available || kinds[used] != kind) {
            return false;
        }
        used++;
    }
    return true;
}

void menu_load_language(MenuSystem* menu, const char* language) {
    menu_copy_text(menu->current_language, sizeof menu->current_language, language);
    char path[PATH_BUFFER] = {0};
    TextSlot slots[MENU_SLOTS] = {};

    snprintf(path, sizeof path, "./assets/text/%s/menu.txt", menu->current_language);
    menu_slots(menu, slots);
    if (!load_slot_file(path, slots, MENU_SLOTS)) {
        fprintf(stderr, "Failed to load menu text from: %s\n", path);
    }
    snprintf(path, sizeof path, "./assets/text/%s/chat.txt", menu->current_language);
    chat_slots(menu, slots);
    if (!load_slot_file(path, slots, CHAT_SLOTS)) {
        fprintf(stderr, "Failed to load chat text from: %s\n", path);
    }
    snprintf(path, sizeof path, "./assets/text/%s/credits.txt", menu->current_language);
    load_credits(menu, path);
}

// A directory name that does not fit the 31-character slot is skipped rather
// than cut, so a listed language always names a real directory.
void menu_scan_languages(MenuSystem* menu) {
    DIR* dir = opendir("./assets/text");
    if (dir == nullptr) {
        return;
    }
    menu->available_languages_count = 0;
    struct dirent* entry = nullptr;
    char path[PATH_BUFFER] = {0};
    while (menu->available_languages_count < MENU_MAX_LANGUAGES && (entry = readdir(dir)) != nullptr) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        if (strlen(entry->d_name) >= sizeof menu->available_languages[0]) continue;
        snprintf(path, sizeof path, "./assets/text/%s", entry->d_name);
        if (!menu_is_directory(path)) continue;
        menu_copy_text(menu->available_languages[menu->available_languages_count], sizeof menu->available_languages[0],
                       entry->d_name);
        menu->available_languages_count++;
    }
    if (closedir(dir) != 0) {
        fprintf(stderr, "Failed to close ./assets/text\n");
    }
    menu->current_language_index = 0;
    if (menu->available_languages_count == 0) {
        return;
    }
    for (int i = 0; i < menu->available_languages_count; i++) {
        if (strcmp(menu->available_languages[i], "en") == 0) {
            menu->current_language_index = i;
        }
    }
    menu_load_language(menu, menu->available_languages[menu->current_language_index]);
}

void menu_load_splash_text(MenuSystem* menu) {
    menu->splash_texts_count = 0;
    menu->current_splash_text[0] = '\0';
    const char* path = "./assets/splashtexts/splashs.txt";
    FILE* file = fopen(path, "r");
    if (file == nullptr) {
        fprintf(stderr, "Failed to load splash texts from: %s\n", path);
        return;
    }
    char line[LINE_BUFFER] = {0};
    while (menu->splash_texts_count < MENU_MAX_SPLASHES && fgets(line, sizeof line, file) != nullptr) {
        line[strcspn(line, "\n")] = '\0';
        if (line[0] == '\0') continue;
        menu_copy_text(menu->splash_texts[menu->splash_texts_count], sizeof menu->splash_texts[0], line);
        menu->splash_texts_count++;
    }
    if (fclose(file) != 0) {
        fprintf(stderr, "Failed to close %s\n", path);
    }
    if (menu->splash_texts_count > 0) {
        menu_copy_text(menu->current_splash_text, sizeof menu->current_splash_text,
                       menu->splash_texts[rand() % menu->splash_texts_count]);
    }
}

int menu_list_backgrounds(const char* dir_path, char names[][256], int max_names) {
    DIR* dir = opendir(dir_path);
    if (dir == nullptr) {
        return 0;
    }
    int count = 0;
    struct dirent* entry = nullptr;
    while (count < max_names && (entry = readdir(dir)) != nullptr) {
        size_t len = strlen(entry->d_name);
        if (len < 5 || strcmp(entry->d_name + len - 4, ".png") != 0) continue;
        menu_copy_text(names[count], 256, entry->d_name);
        count++;
    }
    if (closedir(dir) != 0) {
        fprintf(stderr, "Failed to close %s\n", dir_path);
    }
    return count;
}

void menu_load_random_background(MenuSystem* menu) {
    static char names[MENU_MAX_BACKGROUNDS][256];
    int count = menu_list_backgrounds("./assets/mainmenubackground", names, MENU_MAX_BACKGROUNDS);
    if (count == 0) {
        return;
    }
    srand(static_cast<unsigned>(time(nullptr)));
    char path[PATH_BUFFER] = {0};
    snprintf(path, sizeof path, "./assets/mainmenubackground/%s", names[rand() % count]);
    menu->background_texture = LoadTexture(path);
    menu->background_loaded = true;
}

void menu_system_init(MenuSystem* menu) {
    memset(menu, 0, sizeof *menu);
    menu->current_state = MENU_STATE_MAIN;
    menu->previous_state = MENU_STATE_MAIN;
    menu->render_distance = 50.0f;
    menu->max_fps = 144;
    menu_load_splash_text(menu);
    menu_scan_languages(menu);
    menu_scan_fonts(menu);
    menu_scan_font_variants(menu, menu->font_families[menu->current_font_family_index]);
    menu_load_settings(menu);
    menu_scan_worlds(menu);
    menu_save_settings(menu);
}

MenuSystem* menu_system_create(void) {
    MenuSystem* menu = static_cast<MenuSystem*>(calloc(1, sizeof(MenuSystem)));
    if (menu == nullptr) {
        fprintf(stderr, "Failed to allocate the menu system\n");
        return nullptr;
    }
    menu_load_random_background(menu);
    Texture2D background = menu->background_texture;
    bool loaded = menu->background_loaded;
    menu_system_init(menu);
    menu->background_texture = background;
    menu->background_loaded = loaded;
    return menu;
}

void menu_system_free(MenuSystem* menu) {
    if (menu == nullptr) {
        return;
    }
    free(menu->available_worlds);
    if (menu->background_loaded) {
        UnloadTexture(menu->background_texture);
    }
    free(menu);
}
