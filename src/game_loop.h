// Pure pieces of the main loop: the loop-level keys of a game frame as a
// record in and a record of window effects out, so they can be tested
// without a window.
#pragma once

#include "game.h"

// Keys pressed in this frame, plus whether the big inventory is open.
struct LoopKeys {
    bool f2, f3, f4, f5;
    bool escape;
    bool p;
    bool f11;
    bool r;
    bool t;
    bool inventory_open;
};

enum LoopCursor {
    LOOP_CURSOR_KEEP = 0,
    LOOP_CURSOR_ENABLE = 1,   // show and free the cursor
    LOOP_CURSOR_DISABLE = 2,  // hide and lock it for mouse look
};

// What the window and the player must do after the keys were applied.
struct LoopKeyEffects {
    LoopCursor cursor;      // the last cursor change of the frame
    bool fill_system_info;  // query CPU, GPU and kernel strings for HUD mode 3
    bool toggle_inventory;  // inventory_toggle_big
    bool toggle_fullscreen;
    bool reset_player;  // back to (8, 105, 8) with zero velocity
    bool chat_opened;   // the rest of the input step is skipped
};

// Applies the loop-level keys (chat closed) to the loop state.
LoopKeyEffects game_apply_loop_keys(GameState* game, LoopKeys keys);

// Hotbar slot of the number keys 1..9 pressed this frame (the highest wins), or -1.
int game_number_key_slot(const bool number_keys[9]);

// Ends the running game: stores the player position, saves the world under
// its own name, frees world, player and clouds and clears the pause state.
// The caller returns the menu to the main screen.
void game_leave_world(GameState* game);

// Counts the frame's seconds of play and autosaves the world every
// AUTOSAVE_INTERVAL_SECONDS of them (call only for unpaused frames).
void game_autosave_tick(GameState* game);

// SIGTERM, SIGINT and SIGHUP end the loop at the next frame like closing the
// window, saving first; a second signal during that shutdown changes nothing.
void game_catch_quit_signals(void);
// The number of the first quit signal received, or 0.
int game_quit_signal(void);

// Starts the game the menu asked for (world, textures, player, clouds, look
// angles). Needs the window.
void game_start(GameState* game);
