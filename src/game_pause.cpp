// The pause menu over the frozen game and its settings panel with the
// view-distance and frame-rate sliders of the settings screen.
#include "game.h"
#include "game_loop.h"
#include "menu.h"

namespace {

const Color VEIL = {0, 0, 0, 150};
const Color BUTTON_NORMAL = {130, 130, 130, 255};
const Color PANEL_FILL = {40, 40, 40, 255};

void draw_title(Font font, const char* text, float y)
{
    float w = MeasureTextEx(font, text, 64, 2.0f).x;
    DrawTextEx(font, text, Vector2{(static_cast<float>(GetScreenWidth()) - w) * 0.5f, y}, 64, 2.0f, WHITE);
}

bool pause_button(Font font, const char* label, int y, Vector2 mouse)
{
    int sw = GetScreenWidth();
    int sh = GetScreenHeight();
    Rectangle rect = {static_cast<float>(sw / 2 - 225), static_cast<float>(sh / 2 + y), 450, 60};
    bool hovered = menu_draw_button(rect, BUTTON_NORMAL, mouse);
    float w = MeasureTextEx(font, label, 32, 1.0f).x;
    DrawTextEx(font, label, Vector2{static_cast<float>(sw / 2) - w * 0.5f, static_cast<float>(sh / 2 + y + 12)}, 32,
               1.0f, BLACK);
    return hovered;
}

void draw_pause_buttons(GameState* game)
{
    Font font = game->custom_font;
    const GameText* text = &game->menu->game_text;
    draw_title(font, text->paused, static_cast<float>(GetScreenHeight() / 2 - 120));
    Vector2 mouse = GetMousePosition();
    bool resume_hover = pause_button(font, text->resume, -20, mouse);
    bool settings_hover = pause_button(font, text->settings, 60, mouse);
    bool quit_hover = pause_button(font, text->back_to_menu, 140, mouse);
    if (!IsMouseButtonPressed(MOUSE_BUTTON_LEFT)) {
        return;
    }
    if (resume_hover) {
        DisableCursor();
        game->look.mouse_captured = true;
        game->pause_settings_open = false;
        game->paused = false;
    } else if (settings_hover) {
        game->pause_settings_open = true;
    } else if (quit_hover) {
        game->menu->current_state = MENU_STATE_MAIN;
        game_leave_world(game);
        EnableCursor();
    }
}

void draw_settings_panel(GameState* game)
{
    Font font = game->custom_font;
    MenuSystem* menu = game->menu;
    int sw = GetScreenWidth();
    int panel_x = (sw - 600) / 2;
    draw_title(font, menu->game_text.settings, 40);
    DrawRectangle(panel_x - 10, 110, 620, 320, PANEL_FILL);
    DrawRectangleLines(panel_x - 10, 110, 620, 320, WHITE);
    menu_draw_setting_sliders(menu, font, panel_x);

    Vector2 mouse = GetMousePosition();
    Rectangle back = {static_cast<float>((sw - 450) / 2), 350, 450, 60};
    bool back_hover = menu_draw_button(back, BUTTON_NORMAL, mouse);
    float w = MeasureTextEx(font, menu->text_back, 32, 1.0f).x;
    DrawTextEx(font, menu->text_back, Vector2{(static_cast<float>(sw) - w) * 0.5f, 362}, 32, 1.0f, BLACK);
    bool back_clicked = IsMouseButtonPressed(MOUSE_BUTTON_LEFT) && back_hover;
    game->pause_settings_open = !(back_clicked || IsKeyPressed(KEY_ESCAPE));
}

}  // namespace

void game_draw_pause_menu(GameState* game)
{
    DrawRectangle(0, 0, GetScreenWidth(), GetScreenHeight(), VEIL);
    if (!game->pause_settings_open) {
        draw_pause_buttons(game);
    } else {
        draw_settings_panel(game);
    }
}
