// The life of the program: window, menus, the game loop and shutdown.
#include <cstdio>
#include <cstring>

#include "clouds.h"
#include "game.h"
#include "game_loop.h"
#include "menu.h"
#include "player.h"
#include "utils.h"
#include "world.h"

namespace {

constexpr int FONT_LOAD_SIZE = 64;
constexpr int FONT_CODEPOINT_BUFFER = 1024;

// Latin (U+0000..U+017F) then Cyrillic (U+0400..U+04FF): 640 glyphs.
Font load_font_variant(const char* family, const char* variant)
{
    char path[512] = {0};
    snprintf(path, sizeof path, "./assets/fonts/%s/ttf/%s", family, variant);
    static int codepoints[FONT_CODEPOINT_BUFFER];
    memset(codepoints, 0, sizeof codepoints);
    int count = 0;
    for (int c = 0x0000; c <= 0x017F; c++) codepoints[count++] = c;
    for (int c = 0x0400; c <= 0x04FF; c++) codepoints[count++] = c;
    Font font = LoadFontEx(path, FONT_LOAD_SIZE, codepoints, count);
    if (font.glyphCount <= 0) {
        return GetFontDefault();
    }
    return font;
}

const char* chosen_family(const MenuSystem* menu)
{
    return menu->font_families[menu->current_font_family_index];
}

const char* chosen_variant(const MenuSystem* menu)
{
    return menu->font_variants[menu->current_font_variant_index];
}

void remember_font(GameState* game)
{
    snprintf(game->last_loaded_family, sizeof game->last_loaded_family, "%s", chosen_family(game->menu));
    snprintf(game->last_loaded_variant, sizeof game->last_loaded_variant, "%s", chosen_variant(game->menu));
}

// The library's default font is shared and must never be unloaded.
void unload_custom_font(GameState* game)
{
    if (game->custom_font.glyphCount > 0 && game->custom_font.glyphCount != GetFontDefault().glyphCount) {
        UnloadFont(game->custom_font);
    }
}

void reload_font_if_changed(GameState* game)
{
    if (strcmp(chosen_family(game->menu), game->last_loaded_family) == 0 &&
        strcmp(chosen_variant(game->menu), game->last_loaded_variant) == 0) {
        return;
    }
    unload_custom_font(game);
    game->custom_font = load_font_variant(chosen_family(game->menu), chosen_variant(game->menu));
    remember_font(game);
}

void draw_menu_screen(GameState* game)
{
    MenuSystem* menu = game->menu;
    BeginDrawing();
    switch (menu->current_state) {
    case MENU_STATE_MAIN:
        menu_draw_main(menu, game->custom_font);
        break;
    case MENU_STATE_WORLD_SELECT:
        menu_draw_world_select(menu, game->custom_font);
        break;
    case MENU_STATE_CREATE_WORLD:
        menu_draw_create_world(menu, game->custom_font);
        break;
    case MENU_STATE_CREDITS:
        menu_draw_credits(menu, game->custom_font);
        break;
    default:
        menu_draw_settings(menu, game->custom_font);
        break;
    }
    EndDrawing();
    menu_update_input(menu);
    game->should_quit = false;
}

LoopKeys read_loop_keys(const GameState* game)
{
    LoopKeys keys = {};
    keys.f2 = IsKeyPressed(KEY_F2);
    keys.f3 = IsKeyPressed(KEY_F3);
    keys.f4 = IsKeyPressed(KEY_F4);
    keys.f5 = IsKeyPressed(KEY_F5);
    keys.escape = IsKeyPressed(KEY_ESCAPE);
    keys.p = IsKeyPressed(KEY_P);
    keys.f11 = IsKeyPressed(KEY_F11);
    keys.r = IsKeyPressed(KEY_R);
    keys.t = IsKeyPressed(KEY_T);
    keys.inventory_open = inventory_is_big_open(game->player);
    return keys;
}

void apply_loop_key_effects(GameState* game, LoopKeyEffects effects)
{
    if (effects.fill_system_info) {
        get_cpu_model(game->hud.cpu, sizeof game->hud.cpu);
        get_gpu_model(game->hud.gpu, sizeof game->hud.gpu);
        get_kernel_info(game->hud.kernel, sizeof game->hud.kernel);
    }
    if (effects.toggle_inventory) inventory_toggle_big(game->player);
    if (effects.cursor == LOOP_CURSOR_ENABLE) EnableCursor();
    if (effects.cursor == LOOP_CURSOR_DISABLE) DisableCursor();
    if (effects.toggle_fullscreen) ToggleFullscreen();
    if (effects.reset_player) {
        // The reset spot must not bury the player in a hill of this world.
        float y = player_safe_spawn_y(8.0f, 105.0f, 8.0f, game->world->seed);
        game->player->position = Vector3{8.0f, y, 8.0f};
        game->player->velocity = Vector3{0.0f, 0.0f, 0.0f};
    }
}

void play_input(GameState* game)
{
    Vector3 forward = {};
    Vector3 right = {};
    game_move_vectors(game, &forward, &right);
    player_move_input(game->player, forward, right, game->flight_enabled);
    game_block_editing(game);
    bool number_keys[9] = {};
    for (int i = 0; i < 9; i++) number_keys[i] = IsKeyPressed(KEY_ONE + i);
    int slot = game_number_key_slot(number_keys);
    if (slot >= 0) game->player->selected_slot = slot;
    if (IsKeyPressed(KEY_I)) {
        inventory_toggle_big(game->player);
        if (inventory_is_big_open(game->player)) {
            EnableCursor();
            game->look.mouse_captured = false;
        }
    }
}

void advance_world(GameState* game)
{
    player_update(game->player, game->world, game->frame.dt, game->flight_enabled);
    world_update_chunks(game->world, game->player->position, game->look.forward);
    clouds_update(game->clouds, game->player->position);
    if (!game->chat.active && !inventory_is_big_open(game->player)) {
        play_input(game);
    }
    game_autosave_tick(game);
}

void draw_overlays(GameState* game)
{
    game_draw_crosshair(game);
    game_draw_hotbar(game);
    if (game->player != nullptr && inventory_is_big_open(game->player)) {
        game_draw_big_inventory(game);
    }
    game_draw_hud(game);
    game_draw_chat_messages(game);
    if (game->paused) {
        game_draw_pause_menu(game);
    }
    if (game->chat.active) {
        game_draw_chat_input(game);
    }
}

void game_frame(GameState* game)
{
    SetTargetFPS(game->menu->max_fps);
    if (game->chat.active) {
        game_chat_input(game);
    } else {
        apply_loop_key_effects(game, game_apply_loop_keys(game, read_loop_keys(game)));
    }
    if (game->world == nullptr || game->player == nullptr) {
        return;
    }
    if (game->look.mouse_captured) {
        game_mouse_look(game);
    }
    if (!game->paused) {
        advance_world(game);
    }
    game_build_camera(game);
    BeginDrawing();
    ClearBackground(SKY_COLOR);
    game_render_world(game);
    draw_overlays(game);
    EndDrawing();
}

// A game state without a world or player would draw nothing and poll no
// input, leaving a window that cannot even be closed: back to the main menu.
void abandon_game(GameState* game)
{
    fprintf(stderr, "No running game; back to the main menu\n");
    game_leave_world(game);
    game->menu->current_state = MENU_STATE_MAIN;
    EnableCursor();
}

// Ends a running game the way leaving it for the menu does, then saves the
// settings and closes the window.
void shutdown(GameState* game)
{
    game_leave_world(game);
    menu_save_settings(game->menu);
    menu_system_free(game->menu);
    game->menu = nullptr;
    unload_custom_font(game);
    CloseWindow();
}

}  // namespace

int main(void)
{
    // Lines reach a log file or pipe as they are printed, not when a buffer fills.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    game_catch_quit_signals();
    // Quiet from the first call: the library's own start-up lines are not ours to print.
    SetTraceLogLevel(LOG_NONE);
    SetConfigFlags(FLAG_WINDOW_RESIZABLE);
    InitWindow(1200, 800, QVOX_WINDOW_TITLE);
    SetExitKey(KEY_NULL);
    world_system_init();

    static GameState game;
    game_state_init(&game);
    game.menu = menu_system_create();
    if (game.menu == nullptr) {
        CloseWindow();
        return 1;
    }
    SetTargetFPS(game.menu->max_fps);
    game.custom_font = load_font_variant(chosen_family(game.menu), chosen_variant(game.menu));
    remember_font(&game);

    long frames = 0;
    bool running = !WindowShouldClose();
    while (running) {
        frames++;
        game.frame.dt = GetFrameTime();
        reload_font_if_changed(&game);
        if (game.menu->current_state != MENU_STATE_GAME) {
            draw_menu_screen(&game);
        } else {
            if (game.menu->should_start_game) game_start(&game);
            if (game.world != nullptr && game.player != nullptr) {
                game_frame(&game);
            } else {
                abandon_game(&game);
            }
        }
        running = !WindowShouldClose() && !game.should_quit && game_quit_signal() == 0;
    }
    if (game_quit_signal() != 0) printf("[main] Signal %d received; saving and quitting\n", game_quit_signal());
    const double seconds = GetTime();
    shutdown(&game);
    printf("[main] %ld frames in %.1f s\n", frames, seconds);
    return 0;
}
