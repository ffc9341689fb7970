// The pause menu over the frozen game and its settings panel with the
// view-distance and frame-rate sliders of the settings screen.
#include "game.h"
#include "game_loop.h"
#include "menu.h"

namespace {

const Color VEIL = {0, 0, 0, 150};
const Color BUTTON_NORMAL = {130, 130, 130, 255};
const Color PANEL_FILL = {40, 40, 40, 255};

void draw_title(Font font, const char* text, float y) {
    float w = MeasureTextEx(font, text, 64, 2.0f).x;
    DrawTextEx(font, text, Vector2{(static_cast<float>(GetScreenWidth()) - w) * 0.5f, y}, 64, 2.0f, WHITE);
}

// The three buttons of the pause menu, top to bottom, at these offsets from the middle.
constexpr int PAUSE_BUTTON_Y[3] = {-20, 60, 140};

Rectangle pause_button_rect(int y) {
    int sw = GetScreenWidth();
    int sh = GetScreenHeight();
    return Rectangle{static_cast<float>(sw / 2 - 225), static_cast<float>(sh / 2 + y), 450, 60};
}

void draw_pause_button(Font font, const char* label, int y, Vector2 mouse) {
    int sw = GetScreenWidth();
    int sh = GetScreenHeight();
    menu_draw_button(pause_button_rect(y), BUTTON_NORMAL, mouse);
    float w = MeasureTextEx(font, label, 32, 1.0f).x;
    DrawTextEx(font, label, Vector2{static_cast<float>(sw / 2) - w * 0.5f, static_cast<float>(sh / 2 + y + 12)}, 32,
               1.0f, BLACK);
}

void draw_pause_buttons(const GameState* game, Vector2 mouse) {
    Font font = game->custom_font;
    const GameText* text = &game->menu->game_text;
    draw_title(font, text->paused, static_cast<float>(GetScreenHeight() / 2 - 120));
    draw_pause_button(font, text->resume, PAUSE_BUTTON_Y[0], mouse);
    draw_pause_button(font, text->settings, PAUSE_BUTTON_Y[1], mouse);
    draw_pause_button(font, text->back_to_menu, PAUSE_BUTTON_Y[2], mouse);
}

Rectangle settings_back_rect() {
    return Rectangle{static_cast<float>((GetScreenWidth() - 450) / 2), 350, 450, 60};
}

int settings_panel_x() {
    return (GetScreenWidth() - 600) / 2;
}

void draw_settings_panel(const GameState* game, Vector2 mouse) {
    Font font = game->custom_font;
    const MenuSystem* menu = game->menu;
    int sw = GetScreenWidth();
    int panel_x = settings_panel_x();
    draw_title(font, menu->game_text.settings, 40);
    DrawRectangle(panel_x - 10, 110, 620, 320, PANEL_FILL);
    DrawRectangleLines(panel_x - 10, 110, 620, 320, WHITE);
    menu_draw_setting_sliders(menu, font, panel_x);
    menu_draw_button(settings_back_rect(), BUTTON_NORMAL, mouse);
    float w = MeasureTextEx(font, menu->text_back, 32, 1.0f).x;
    DrawTextEx(font, menu->text_back, Vector2{(static_cast<float>(sw) - w) * 0.5f, 362}, 32, 1.0f, BLACK);
}

}  // namespace

void game_draw_pause_menu(const GameState* game, Vector2 mouse) {
    DrawRectangle(0, 0, GetScreenWidth(), GetScreenHeight(), VEIL);
    if (!game->pause_settings_open) {
        draw_pause_buttons(game, mouse);
    } else {
        draw_settings_panel(game, mouse);
    }
}

PauseAction game_pause_menu_action(const GameState* game, const MenuInput* input) {
    if (game->pause_settings_open || !input->click) return PAUSE_ACTION_NONE;
    const PauseAction actions[3] = {PAUSE_ACTION_RESUME, PAUSE_ACTION_SETTINGS, PAUSE_ACTION_LEAVE};
    for (int i = 0; i < 3; i++) {
        if (CheckCollisionPointRec(input->mouse, pause_button_rect(PAUSE_BUTTON_Y[i]))) return actions[i];
    }
    return PAUSE_ACTION_NONE;
}

void game_update_pause_settings(GameState* game, const MenuInput* input) {
    if (!game->pause_settings_open) return;
    menu_update_setting_sliders(game->menu, settings_panel_x(), input);
    bool back_clicked = input->click && CheckCollisionPointRec(input->mouse, settings_back_rect());
    game->pause_settings_open = !(back_clicked || input->escape);
}
