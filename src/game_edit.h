// Block breaking and placing as the mouse buttons trigger them, for callers
// and tests that decide themselves when a button counts as pressed.
#pragma once

#include "game.h"
#include "world.h"

// Breaks the block the camera looks at into the player's inventory; bedrock
// stays, and a full inventory loses the block.
void game_break_block(GameState* game);
// Places the selected hotbar block against the targeted face unless the cell
// is taken or would overlap the player.
void game_place_block(GameState* game);
// The outline ray: runs in every third call, keeping the last result between.
void game_update_highlight(GameState* game);
// Sets one block for the player (mouse or console) and logs the change as
// "[edit] Set block (x,y,z) to type in world name", so that a play session can
// be checked against the saved files afterwards; false when the world refused it.
bool game_set_block(GameState* game, int x, int y, int z, BlockType type);
