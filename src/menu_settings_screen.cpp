// The settings screen (sliders, font family and variant choosers) and the
// credits screen.
#include <cstdio>
#include <cstring>

#include "data_dir.h"
#include "menu.h"

namespace {

const Color PANEL_FILL = {40, 40, 40, 255};
const Color CREDITS_BOX = {40, 40, 40, 200};
const Color DIM_LAYER = {0, 0, 0, 150};

Vector2 at(int x, int y) {
    return Vector2{static_cast<float>(x), static_cast<float>(y)};
}

Rectangle rect(int x, int y, int w, int h) {
    return Rectangle{static_cast<float>(x), static_cast<float>(y), static_cast<float>(w), static_cast<float>(h)};
}

void draw_family_chooser(const MenuSystem* menu, Font font, int panel_x, Vector2 mouse) {
    DrawTextEx(font, menu->game_text.font_family_label, at(panel_x + 30, 305), 24, 1.0f, WHITE);
    menu_draw_button(rect(panel_x + 50, 339, 35, 35), MENU_BUTTON_NORMAL, mouse);
    menu_draw_button(rect(panel_x + 500, 339, 35, 35), MENU_BUTTON_NORMAL, mouse);
    DrawTextEx(font, "<", at(panel_x + 57, 342), 24, 1.0f, BLACK);
    DrawTextEx(font, ">", at(panel_x + 509, 342), 24, 1.0f, BLACK);
    const char* family = menu->font_families[menu->current_font_family_index];
    int w = static_cast<int>(MeasureTextEx(font, family, 22, 1.0f).x);
    DrawTextEx(font, family, at(panel_x + (600 - w) / 2, 345), 22, 1.0f, WHITE);
}

void update_family_chooser(MenuSystem* menu, int panel_x, const MenuInput* input) {
    if (!input->click) {
        return;
    }
    if (CheckCollisionPointRec(input->mouse, rect(panel_x + 50, 339, 35, 35))) {
        menu_previous_font_family(menu);
    } else if (CheckCollisionPointRec(input->mouse, rect(panel_x + 500, 339, 35, 35))) {
        menu_next_font_family(menu);
    }
}

void draw_variant_chooser(const MenuSystem* menu, Font font, int panel_x, Vector2 mouse) {
    DrawTextEx(font, menu->game_text.font_variant_label, at(panel_x + 30, 381), 24, 1.0f, WHITE);
    DrawRectangle(panel_x + 140, 386, 330, 30, MENU_BUTTON_NORMAL);
    DrawRectangleLines(panel_x + 140, 386, 330, 30, WHITE);
    char shown[256] = {0};
    snprintf(shown, sizeof shown, "%s", menu->font_variants[menu->current_font_variant_index]);
    char* dot = strrchr(shown, '.');
    if (dot != nullptr) *dot = '\0';
    DrawTextEx(font, shown, at(panel_x + 150, 391), 20, 1.0f, WHITE);
    menu_draw_button(rect(panel_x + 475, 386, 30, 30), MENU_BUTTON_NORMAL, mouse);
    menu_draw_button(rect(panel_x + 475, 416, 30, 30), MENU_BUTTON_NORMAL, mouse);
    DrawTextEx(font, "^", at(panel_x + 481, 388), 20, 1.0f, BLACK);
    DrawTextEx(font, "v", at(panel_x + 481, 418), 20, 1.0f, BLACK);
}

void update_variant_chooser(MenuSystem* menu, int panel_x, const MenuInput* input) {
    if (!input->click) {
        return;
    }
    bool changed = false;
    if (CheckCollisionPointRec(input->mouse, rect(panel_x + 475, 386, 30, 30))) {
        changed = menu_font_variant_step(menu, -1);
    }
    if (!changed && CheckCollisionPointRec(input->mouse, rect(panel_x + 475, 416, 30, 30))) {
        changed = menu_font_variant_step(menu, 1);
    }
    if (changed) {
        menu_save_settings(menu);
    }
}

// The page lies beside the program (or in its installed tree), not in the
// working directory.
void open_info_page(void) {
    char assets[512] = {0};
    if (!data_dir_program_assets(assets, sizeof assets)) {
        snprintf(assets, sizeof assets, "%sassets", GetApplicationDirectory());
    }
    char url[1024] = {0};
    snprintf(url, sizeof url, "file://%s/info.html", assets);
    OpenURL(url);
}

}  // namespace

void menu_previous_font_family(MenuSystem* menu) {
    int count = menu->font_families_count;
    menu->current_font_family_index = (menu->current_font_family_index + count - 1) % count;
    menu_scan_font_variants(menu, menu->font_families[menu->current_font_family_index]);
    menu_save_settings(menu);
}

void menu_next_font_family(MenuSystem* menu) {
    menu->current_font_family_index = (menu->current_font_family_index + 1) % menu->font_families_count;
    menu_scan_font_variants(menu, menu->font_families[menu->current_font_family_index]);
    menu_save_settings(menu);
}

bool menu_font_variant_step(MenuSystem* menu, int step) {
    int next = menu->current_font_variant_index + step;
    if (next < 0 || next >= menu->font_variants_count) {
        return false;
    }
    menu->current_font_variant_index = next;
    return true;
}

static void draw_settings_frame(const MenuSystem* menu, Font font, int panel_x) {
    int sw = GetScreenWidth();
    ClearBackground(MENU_SCREEN_FILL);
    const char* title = menu->game_text.settings;
    float title_w = MeasureTextEx(font, title, 64, 2.0f).x;
    DrawTextEx(font, title, Vector2{(static_cast<float>(sw) - title_w) * 0.5f, 40}, 64, 2.0f, WHITE);
    DrawRectangle(panel_x - 10, 110, 620, 440, PANEL_FILL);
    DrawRectangleLines(panel_x - 10, 110, 620, 440, WHITE);
}

static Rectangle settings_back_rect() {
    return rect(GetScreenWidth() / 2 - 75, 580, 150, 50);
}

static void draw_settings_back(const MenuSystem* menu, Font font, Vector2 mouse) {
    menu_draw_button(settings_back_rect(), MENU_BUTTON_NORMAL, mouse);
    float back_w = MeasureTextEx(font, menu->text_back, 28, 1.0f).x;
    DrawTextEx(font, menu->text_back, Vector2{static_cast<float>(GetScreenWidth() / 2) - back_w * 0.5f, 590}, 28, 1.0f,
               BLACK);
}

// A new family lists its own variants before the variant chooser is drawn.
void menu_settings_frame(MenuSystem* menu, Font font, const MenuInput* input) {
    int panel_x = (GetScreenWidth() - 600) / 2;
    draw_settings_frame(menu, font, panel_x);
    menu_draw_setting_sliders(menu, font, panel_x);
    menu_update_setting_sliders(menu, panel_x, input);
    draw_family_chooser(menu, font, panel_x, input->mouse);
    update_family_chooser(menu, panel_x, input);
    draw_variant_chooser(menu, font, panel_x, input->mouse);
    update_variant_chooser(menu, panel_x, input);
    draw_settings_back(menu, font, input->mouse);
    if (input->click && CheckCollisionPointRec(input->mouse, settings_back_rect())) {
        menu->current_state = MENU_STATE_MAIN;
    }
}

static Rectangle info_button_rect() {
    return rect((GetScreenWidth() - 200) / 2, GetScreenHeight() - 110, 200, 50);
}

static void draw_credits(const MenuSystem* menu, Font font, Vector2 mouse) {
    int sw = GetScreenWidth();
    int sh = GetScreenHeight();
    menu_draw_background(menu);
    DrawRectangle(0, 0, sw, sh, DIM_LAYER);
    DrawRectangle(20, 20, sw - 40, sh - 100, CREDITS_BOX);
    DrawRectangleLines(20, 20, sw - 40, sh - 100, WHITE);
    DrawTextEx(font, menu->credits_text, at(40, 40), 20, 2.0f, WHITE);
    Rectangle info = info_button_rect();
    menu_draw_button(info, MENU_BUTTON_NORMAL, mouse);
    int w = static_cast<int>(MeasureTextEx(font, menu->game_text.see_full_info, 24, 1.0f).x);
    DrawTextEx(font, menu->game_text.see_full_info, at(static_cast<int>(info.x) + (200 - w) / 2, sh - 98), 24, 1.0f,
               BLACK);
    const char* footer = menu->game_text.press_esc_to_return;
    float footer_w = MeasureTextEx(font, footer, 18, 1.0f).x;
    DrawTextEx(font, footer, Vector2{(static_cast<float>(sw) - footer_w) * 0.5f, static_cast<float>(sh - 40)}, 18, 1.0f,
               MENU_SECONDARY_TEXT);
}

void menu_credits_frame(MenuSystem* menu, Font font, const MenuInput* input) {
    draw_credits(menu, font, input->mouse);
    if (input->click && CheckCollisionPointRec(input->mouse, info_button_rect())) {
        open_info_page();
    }
}
