// The window-free cores of the console, the HUD and the inventory screens:
// key handling on a recorded key state, the message ring with a given clock,
// the HUD's text lines and the screen geometry. The drawing functions of
// game.h read the keyboard, mouse and clock and hand them to these.
#pragma once

#include "game.h"
#include "player.h"

// ---- chat console (game_console.cpp)

constexpr int GAME_CHAT_MAX_CHARS_PER_FRAME = 32;
constexpr int GAME_CHAT_VISIBLE_MESSAGES = 5;

// The console keys of one frame.
struct ChatKeys {
    int chars[GAME_CHAT_MAX_CHARS_PER_FRAME];  // typed code points in order
    int char_count;
    bool backspace, left, right, up, down, enter, escape;  // pressed this frame
};

enum ChatOutcome {
    CHAT_STILL_OPEN,
    CHAT_SUBMITTED,  // the line went to ./chathistory and, with a leading "/", to the commands
    CHAT_CANCELLED,  // Escape closed the line without running it
};

// Applies one frame of keys to the open chat line. On submit or cancel the
// line is closed and look.mouse_captured is set; the caller hides the cursor.
ChatOutcome game_chat_apply_keys(GameState* game, const ChatKeys* keys);
void game_post_message_at(GameState* game, const char* text, double now);

struct ChatMessageLine {
    const char* text;
    int y;
    unsigned char alpha;
};
// The messages to draw at time `now`, newest first (lowest on screen); returns their count.
int game_chat_visible_messages(const GameState* game, double now, int screen_height,
                               ChatMessageLine out[GAME_CHAT_VISIBLE_MESSAGES]);
// The caret blinks: shown for half a second, hidden for the next half.
bool game_chat_caret_visible(double now);

// ---- HUD (game_hud.cpp)

constexpr int GAME_HUD_MAX_LINES = 8;
constexpr int GAME_HUD_LINE_SIZE = 256;

struct HudLine {
    char text[GAME_HUD_LINE_SIZE];
    int y;
    bool grey;  // drawn in (80, 80, 80) instead of black
};

// Lines of the current HUD page; fps and memory_mb are this frame's readings.
int game_hud_lines(const GameState* game, int fps, int memory_mb, HudLine out[GAME_HUD_MAX_LINES]);
// Distance actually moved in the latest update divided by the frame time; 0 for a zero frame time.
float game_hud_actual_speed(const Player* player, float dt);

// ---- hotbar and inventory screen (game_inventory_ui.cpp)

Color game_inventory_block_color(BlockType type);
// One left click on a slot of the inventory screen: pick up, put down, merge or swap.
void game_inventory_click(Player* player, InventorySlot* slot);
Rectangle game_hotbar_slot_rect(int screen_width, int screen_height, int slot);
Rectangle game_inventory_backpack_rect(int screen_width, int screen_height, int row, int col);
Rectangle game_inventory_hotbar_rect(int screen_width, int screen_height, int slot);
// Left edge of a right-aligned count: the slot's x plus `right` minus the text width, cut toward zero.
int game_slot_count_x(int slot_x, int right, float text_width);
// Applies a click at `mouse` to the slot under it, if any (backpack first, then the hotbar row).
void game_inventory_click_at(Player* player, int screen_width, int screen_height, Vector2 mouse);
