// The life of the program: window, menus, the game loop and shutdown.
#include <cstdio>
#include <cstring>

#include "clouds.h"
#include "data_dir.h"
#include "game.h"
#include "game_loop.h"
#include "game_ui.h"
#include "menu.h"
#include "player.h"
#include "rendering.h"
#include "utils.h"
#include "world.h"

namespace {

constexpr int FONT_LOAD_SIZE = 64;
constexpr int FONT_CODEPOINT_BUFFER = 1024;

// Latin (U+0000..U+017F) then Cyrillic (U+0400..U+04FF): 640 glyphs.
Font load_font_variant(const char* family, const char* variant) {
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

const char* chosen_family(const MenuSystem* menu) {
    return menu->font_families[menu->current_font_family_index];
}

const char* chosen_variant(const MenuSystem* menu) {
    return menu->font_variants[menu->current_font_variant_index];
}

void remember_font(GameState* game) {
    snprintf(game->last_loaded_family, sizeof game->last_loaded_family, "%s", chosen_family(game->menu));
    snprintf(game->last_loaded_variant, sizeof game->last_loaded_variant, "%s", chosen_variant(game->menu));
}

// The library's default font is shared and must never be unloaded.
void unload_custom_font(GameState* game) {
    if (game->custom_font.glyphCount > 0 && game->custom_font.glyphCount != GetFontDefault().glyphCount) {
        UnloadFont(game->custom_font);
    }
}

void reload_font_if_changed(GameState* game) {
    if (strcmp(chosen_family(game->menu), game->last_loaded_family) == 0 &&
        strcmp(chosen_variant(game->menu), game->last_loaded_variant) == 0) {
        return;
    }
    unload_custom_font(game);
    game->custom_font = load_font_variant(chosen_family(game->menu), chosen_variant(game->menu));
    remember_font(game);
}

void menu_frame(GameState* game) {
    const MenuInput input = menu_read_input();
    BeginDrawing();
    menu_screen_frame(game->menu, game->custom_font, &input);
    EndDrawing();
    // Read after the frame's input poll: Escape takes the screen back before
    // the next frame is drawn.
    if (IsKeyPressed(KEY_ESCAPE)) menu_escape_pressed(game->menu);
    game->should_quit = false;
}

LoopKeys read_loop_keys(const GameState* game) {
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

void apply_loop_key_effects(GameState* game, LoopKeyEffects effects) {
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

void play_input(GameState* game) {
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

void advance_world(GameState* game) {
    player_update(game->player, game->world, game->frame.dt, game->flight_enabled);
    world_update_chunks(game->world, game->player->position, game->look.forward);
    clouds_update(game->clouds, game->player->position);
    if (!game->chat.active && !inventory_is_big_open(game->player)) {
        play_input(game);
    }
    game_autosave_tick(game);
}

void apply_pause_action(GameState* game, PauseAction action) {
    if (action == PAUSE_ACTION_RESUME) {
        DisableCursor();
        game->look.mouse_captured = true;
        game->pause_settings_open = false;
        game->paused = false;
    } else if (action == PAUSE_ACTION_SETTINGS) {
        game->pause_settings_open = true;
    } else if (action == PAUSE_ACTION_LEAVE) {
        game->menu->current_state = MENU_STATE_MAIN;
        game_leave_world(game);
        EnableCursor();
    }
}

// The 2D layers over the world, in drawing order. The inventory screen and the
// pause menu take a click right after they are drawn, in the frame that
// showed what was clicked.
void overlays_frame(GameState* game, const MenuInput* input) {
    game_draw_crosshair(game);
    game_draw_hotbar(game);
    if (game->player != nullptr && inventory_is_big_open(game->player)) {
        game_draw_big_inventory(game);
        if (input->click) {
            game_inventory_click_at(game->player, GetScreenWidth(), GetScreenHeight(), input->mouse);
        }
    }
    game_draw_hud(game);
    game_draw_chat_messages(game);
    if (game->paused) {
        const bool settings_open = game->pause_settings_open;
        game_draw_pause_menu(game, input->mouse);
        if (settings_open) {
            game_update_pause_settings(game, input);
        } else {
            apply_pause_action(game, game_pause_menu_action(game, input));
        }
    }
    if (game->chat.active) {
        game_draw_chat_input(game);
    }
}

void game_frame(GameState* game) {
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
    game_update_render(game);
    // Read after the chat took this frame's typed characters.
    const MenuInput input = menu_read_input();
    BeginDrawing();
    ClearBackground(SKY_COLOR);
    game_render_world(game);
    overlays_frame(game, &input);
    EndDrawing();
}

// A game state without a world or player would draw nothing and poll no
// input, leaving a window that cannot even be closed: back to the main menu.
void abandon_game(GameState* game) {
    fprintf(stderr, "No running game; back to the main menu\n");
    game_leave_world(game);
    game->menu->current_state = MENU_STATE_MAIN;
    EnableCursor();
}

// Ends a running game the way leaving it for the menu does, then saves the
// settings and closes the window.
void shutdown(GameState* game) {
    game_leave_world(game);
    menu_save_settings(game->menu);
    menu_system_free(game->menu);
    game->menu = nullptr;
    unload_custom_font(game);
    CloseWindow();
}

// Without its data folder the installed game has nowhere to keep worlds and
// settings; it says why until the player closes the window instead of
// writing into whatever folder it was started from.
void show_data_dir_failure(const char* message) {
    SetTargetFPS(30);
    while (!WindowShouldClose() && !IsKeyPressed(KEY_ESCAPE)) {
        BeginDrawing();
        ClearBackground(Color{20, 20, 20, 255});
        DrawText("qvox cannot start", 40, 40, 40, WHITE);
        DrawText(message, 40, 110, 20, LIGHTGRAY);
        DrawText("Press Escape or close the window to quit.", 40, 160, 20, GRAY);
        EndDrawing();
    }
}

}  // namespace

int main(void) {
    // Lines reach a log file or pipe as they are printed, not when a buffer fills.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    game_catch_quit_signals();
    char data_error[2 * DATA_DIR_PATH_MAX] = {0};
    const DataDirOutcome data = data_dir_choose(data_error, sizeof data_error);
    // Quiet from the first call: the library's own start-up lines are not ours to print.
    SetTraceLogLevel(LOG_NONE);
    SetConfigFlags(FLAG_WINDOW_RESIZABLE);
    render_keep_freed_memory();
    InitWindow(1200, 800, QVOX_WINDOW_TITLE);
    SetExitKey(KEY_NULL);
    if (data == DATA_DIR_FAILED) {
        show_data_dir_failure(data_error);
        CloseWindow();
        return 1;
    }
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
            menu_frame(&game);
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
