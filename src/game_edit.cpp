// Block breaking and placing with the mouse, and the ray that finds the block
// to outline. Rays start from the camera of the previous frame.
#include "game_edit.h"

#include <cstdio>

#include "player.h"
#include "rendering.h"

static constexpr float EDIT_REACH = 10.0f;
// The outline ray runs in every third frame in which editing runs.
static constexpr int HIGHLIGHT_PERIOD = 3;

struct EditRay {
    int hit_x, hit_y, hit_z;
    int adj_x, adj_y, adj_z;
};

static bool edit_cast(GameState* game, EditRay* ray) {
    return raycast_block(game->world, game->look.camera, EDIT_REACH, &ray->hit_x, &ray->hit_y, &ray->hit_z, &ray->adj_x,
                         &ray->adj_y, &ray->adj_z);
}

// A full inventory loses the broken block; the world changes either way.
void game_break_block(GameState* game) {
    if (!game || !game->world || !game->player) return;
    EditRay ray = {};
    if (!edit_cast(game, &ray)) return;
    const BlockType broken = world_get_block(game->world, ray.hit_x, ray.hit_y, ray.hit_z);
    if (broken == BLOCK_AIR || broken == BLOCK_BEDROCK) return;
    inventory_add_block(game->player, broken);
    game_set_block(game, ray.hit_x, ray.hit_y, ray.hit_z, BLOCK_AIR);
}

void game_place_block(GameState* game) {
    if (!game || !game->world || !game->player) return;
    EditRay ray = {};
    if (!edit_cast(game, &ray)) return;
    if (world_get_block(game->world, ray.adj_x, ray.adj_y, ray.adj_z) != BLOCK_AIR) return;
    if (player_overlaps_block(game->player->position, ray.adj_x, ray.adj_y, ray.adj_z)) return;
    const BlockType block = inventory_get_selected_block(game->player);
    if (block == BLOCK_AIR) return;
    if (inventory_remove_block(game->player, block)) game_set_block(game, ray.adj_x, ray.adj_y, ray.adj_z, block);
}

bool game_set_block(GameState* game, int x, int y, int z, BlockType type) {
    world_set_block(game->world, x, y, z, type);
    if (world_get_block(game->world, x, y, z) != type) {
        fprintf(stderr, "[edit] Block (%d,%d,%d) could not be set in world %s\n", x, y, z, game->world->world_name);
        return false;
    }
    printf("[edit] Set block (%d,%d,%d) to %d in world %s\n", x, y, z, (int)type, game->world->world_name);
    return true;
}

void game_update_highlight(GameState* game) {
    if (!game || !game->world) return;
    if (game->target.raycast_frame_counter < HIGHLIGHT_PERIOD - 1) {
        game->target.raycast_frame_counter++;
        return;
    }
    EditRay ray = {};
    game->target.found = edit_cast(game, &ray);
    if (game->target.found) {
        game->target.x = ray.hit_x;
        game->target.y = ray.hit_y;
        game->target.z = ray.hit_z;
    }
    game->target.raycast_frame_counter = 0;
}

void game_block_editing(GameState* game) {
    if (!game || !game->world || !game->player) return;
    if (IsMouseButtonPressed(MOUSE_BUTTON_LEFT)) game_break_block(game);
    if (IsMouseButtonPressed(MOUSE_BUTTON_RIGHT)) game_place_block(game);
    game_update_highlight(game);
}
