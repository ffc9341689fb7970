// Stand-ins for the HUD and inventory overlays until their own files land;
// weak, so the real definitions replace them.
#include "game.h"

__attribute__((weak)) void game_draw_crosshair(GameState*) {}
__attribute__((weak)) void game_draw_hud(GameState*) {}
__attribute__((weak)) void game_draw_hotbar(GameState*) {}
__attribute__((weak)) void game_draw_big_inventory(GameState*) {}
