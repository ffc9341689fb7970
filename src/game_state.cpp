// The loop state: start values, the loop-level keys of a game frame, and
// starting and ending a game.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "clouds.h"
#include "game_loop.h"
#include "menu.h"
#include "player.h"
#include "vec_math.h"
#include "world.h"

namespace {

void set_cursor(LoopKeyEffects* effects, GameState* game, bool captured) {
    effects->cursor = captured ? LOOP_CURSOR_DISABLE : LOOP_CURSOR_ENABLE;
    game->look.mouse_captured = captured;
}

// Escape and P: the inventory screen takes Escape first; otherwise they pause
// and unpause. Returns whether the big inventory is open afterwards.
bool apply_pause_keys(GameState* game, LoopKeys keys, LoopKeyEffects* effects) {
    bool inventory_open = keys.inventory_open;
    if (keys.escape && inventory_open) {
        effects->toggle_inventory = true;
        inventory_open = false;
        if (!game->paused && game->look.mouse_captured) effects->cursor = LOOP_CURSOR_DISABLE;
        return inventory_open;
    }
    if (keys.p || keys.escape) {
        game->paused = !game->paused;
        if (game->paused) {
            set_cursor(effects, game, false);
        } else if (game->look.mouse_captured) {
            effects->cursor = LOOP_CURSOR_DISABLE;
        }
    }
    return inventory_open;
}

}  // namespace

void game_state_init(GameState* game) {
    memset(game, 0, sizeof *game);
    game->look.camera.position = Vector3{20.0f, 15.0f, 20.0f};
    game->look.camera.target = Vector3{8.0f, 4.0f, 8.0f};
    game->look.camera.up = Vector3{0.0f, 1.0f, 0.0f};
    game->look.camera.fovy = 90.0f;
    game->look.camera.projection = CAMERA_PERSPECTIVE;
    game->hud.prev_mode = HUD_MODE_NONE;
    game->look.forward = Vector3{0.0f, 0.0f, 1.0f};
}

LoopKeyEffects game_apply_loop_keys(GameState* game, LoopKeys keys) {
    LoopKeyEffects effects = {};
    if (keys.f2) game->hud.mode = HUD_MODE_HELP;
    if (keys.f3) game->hud.mode = HUD_MODE_PERFORMANCE;
    if (keys.f4) game->hud.mode = HUD_MODE_PLAYER;
    if (keys.f5) {
        game->hud.mode = HUD_MODE_SYSTEM;
        effects.fill_system_info = game->hud.prev_mode != HUD_MODE_SYSTEM;
    }

    bool inventory_open = apply_pause_keys(game, keys, &effects);
    bool wants_cursor = game->paused || inventory_open;
    if (wants_cursor && game->look.mouse_captured) {
        set_cursor(&effects, game, false);
    } else if (!wants_cursor && !game->look.mouse_captured) {
        set_cursor(&effects, game, true);
    }

    effects.toggle_fullscreen = keys.f11;
    effects.reset_player = keys.r;
    if (keys.t && !game->paused) {
        game->chat.input[0] = '\0';
        set_cursor(&effects, game, false);
        game->chat.active = true;
        game->chat.input_len = 0;
        game->chat.history_index = 0;
        effects.chat_opened = true;
    }
    game->hud.prev_mode = game->hud.mode;
    return effects;
}

int game_number_key_slot(const bool number_keys[9]) {
    int slot = -1;
    for (int i = 0; i < 9; i++) {
        if (number_keys[i]) slot = i;
    }
    return slot;
}

void game_autosave_tick(GameState* game) {
    if (game->world == nullptr || game->player == nullptr) return;
    game->autosave_timer += game->frame.dt;
    if (game->autosave_timer < AUTOSAVE_INTERVAL_SECONDS) return;
    game->autosave_timer = 0.0f;
    world_autosave(game->world, game->player->position);
}

void game_leave_world(GameState* game) {
    if (game->world != nullptr && game->player != nullptr) {
        game->world->last_player_position = game->player->position;
        if (!world_save(game->world, game->world->world_name)) {
            fprintf(stderr, "Failed to save world %s\n", game->world->world_name);
        }
    }
    game_render_release(game);
    if (game->world != nullptr) {
        world_unload_textures(game->world);
        world_free(game->world);
    }
    player_free(game->player);
    clouds_free(game->clouds);
    game->world = nullptr;
    game->player = nullptr;
    game->clouds = nullptr;
    game->should_quit = false;
    game->autosave_timer = 0.0f;
    game->pause_settings_open = false;
    game->paused = false;
    game->look.mouse_captured = false;
}

void game_start(GameState* game) {
    MenuSystem* menu = game->menu;
    if (game->world == nullptr) {
        const char* name = menu->selected_world_name;
        bool saved_before = world_metadata_exists(name);
        game->world = world_create();
        if (game->world == nullptr) {
            fprintf(stderr, "Failed to create world %s\n", name);
            menu->current_state = MENU_STATE_MAIN;
            menu->should_start_game = false;
            return;
        }
        world_load(game->world, name);
        world_load_textures(game->world);
        Vector3 at = game->world->last_player_position;
        // A fresh world must not drop the player inside its hills; a saved
        // position is where the player stood and is used as it is.
        if (!saved_before) {
            at.y = player_safe_spawn_y(at.x, at.y, at.z, game->world->seed);
        }
        game->player = player_create(at.x, at.y, at.z);
        game->clouds = clouds_create("./assets/textures/clouds.png");
        DisableCursor();
        Vector3 d = vec3_normalize(vec3_sub(game->look.camera.target, game->look.camera.position));
        game->look.yaw = atan2f(d.x, d.z);
        game->look.pitch = asinf(d.y);
        game->look.mouse_captured = true;
    }
    menu->should_start_game = false;
}
