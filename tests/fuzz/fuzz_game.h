// A running game without a window, for the targets that type console lines:
// a world with its worker, a player above the origin and the given texts.
#pragma once

#include <cstdlib>

#include "fuzz_util.h"
#include "game.h"
#include "menu.h"
#include "player.h"
#include "world.h"

// Made and dropped per input: the chunk array lies outside the heap, so the
// leak checker would take the lists of chunks kept from input to input as lost.
inline GameState* fuzz_headless_game(MenuSystem* menu) {
    GameState* game = new GameState;
    game_state_init(game);
    game->menu = menu;
    game->world = world_create();
    game->player = player_create(8.0f, 100.0f, 8.0f);
    if (game->world == nullptr || game->player == nullptr) abort();
    game->world->seed = 7;
    return game;
}

// The world a file-reading target keeps from input to input, named "fuzzed",
// with its folder `dir` made on the first input.
inline World* fuzz_world_once(const char* dir) {
    static World* world = nullptr;
    if (world != nullptr) return world;
    fuzz_enter_private_dir();
    fuzz_make_dirs(dir);
    world = world_create();
    if (world == nullptr) abort();
    snprintf(world->world_name, sizeof world->world_name, "%s", "fuzzed");
    return world;
}

inline void fuzz_free_game(GameState* game) {
    player_free(game->player);
    world_unload_textures(game->world);
    world_free(game->world);
    delete game;
}
