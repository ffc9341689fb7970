// The state of the running program shared by the main loop and the steps of a
// game frame (camera, block editing, render pass, pause menu, console, hotbar,
// inventory screen and HUD). One record, owned by main(), passed to each step.
#pragma once

#include "raylib.h"

struct World;
struct Player;
struct CloudSystem;
struct MenuSystem;
struct MenuInput;
struct ChunkMeshSet;

constexpr int GAME_CHAT_INPUT_SIZE = 256;
constexpr int GAME_CHAT_RING = 16;
constexpr int GAME_CHAT_MESSAGE_SIZE = 512;
constexpr int GAME_SYSINFO_SIZE = 128;

// The page the HUD shows in the upper left corner (F2 to F5).
enum HudMode {
    HUD_MODE_NONE = -1,  // only as hud.prev_mode before the first frame
    HUD_MODE_HELP = 0,
    HUD_MODE_PERFORMANCE = 1,
    HUD_MODE_PLAYER = 2,
    HUD_MODE_SYSTEM = 3,
};

// The chat console: the line being typed and the ring of posted messages.
struct ChatState {
    bool active;                       // the chat line is open
    char input[GAME_CHAT_INPUT_SIZE];  // chat line being typed
    int input_len;
    int cursor_pos;
    int history_index;                                      // position while browsing ./chathistory
    char messages[GAME_CHAT_RING][GAME_CHAT_MESSAGE_SIZE];  // ring of the last messages
    double message_times[GAME_CHAT_RING];                   // GetTime() of each ring entry
    int message_count;                                      // messages ever posted; ring slot is this modulo 16
};

// Where the player looks, and the camera built from it every game frame.
struct LookState {
    Camera3D camera;
    bool mouse_captured;  // cursor hidden and locked for mouse look
    float yaw;            // radians
    float pitch;          // radians
    Vector3 forward;      // unit view direction
};

// The HUD page and the system strings its system page shows.
struct HudState {
    HudMode mode;
    HudMode prev_mode;  // mode at the end of the previous frame's key handling
    char cpu[GAME_SYSINFO_SIZE];
    char gpu[GAME_SYSINFO_SIZE];
    char kernel[GAME_SYSINFO_SIZE];
};

// The block the highlight ray found, outlined by the render pass.
struct TargetState {
    bool found;
    int x, y, z;
    int raycast_frame_counter;
};

struct FrameStats {
    float dt;             // seconds of the last frame
    int blocks_rendered;  // blocks drawn by this frame's render pass
};

// How the render pass draws the blocks.
struct RenderState {
    ChunkMeshSet* chunk_meshes;  // the loaded chunks' faces on the graphics card; made by the first pass
    bool immediate_blocks;       // draw block by block instead, every frame (picture test, timing tool)
};

struct GameState {
    Font custom_font;               // font of every menu screen and every text of the game frame
    char last_loaded_family[256];   // family of custom_font
    char last_loaded_variant[256];  // variant of custom_font
    MenuSystem* menu;
    World* world;  // null when no game runs
    Player* player;
    CloudSystem* clouds;
    bool flight_enabled;  // the player may switch flying on
    bool paused;
    bool pause_settings_open;  // the pause menu shows its settings panel
    bool should_quit;          // leave the loop after this frame
    float autosave_timer;      // seconds of unpaused play since the last autosave
    ChatState chat;
    LookState look;
    HudState hud;
    TargetState target;
    FrameStats frame;
    RenderState render;
};

// Sets every field to its start value (camera, look angles, HUD pages, ...).
// Does not load the font or create the menu; main() does that.
void game_state_init(GameState* game);

// ---- camera and mouse look (game_camera.cpp)
void game_mouse_look(GameState* game);                                            // reads the mouse delta
void game_move_vectors(const GameState* game, Vector3* forward, Vector3* right);  // horizontal walking vectors
void game_build_camera(GameState* game);                                          // camera from the player's eye

// ---- block breaking, placing and the highlight ray (game_edit.cpp)
void game_block_editing(GameState* game);

// ---- world render pass: blocks, outline, ground grid, clouds (game_render.cpp)
// Brings the chunk meshes up to date (call before drawing the frame), then draws.
void game_update_render(GameState* game);
void game_render_world(GameState* game);
// Frees the chunk meshes on the graphics card; before a world goes or the window closes.
void game_render_release(GameState* game);

// ---- pause menu and its settings panel (game_pause.cpp)
enum PauseAction {
    PAUSE_ACTION_NONE,
    PAUSE_ACTION_RESUME,
    PAUSE_ACTION_SETTINGS,  // open the settings panel
    PAUSE_ACTION_LEAVE,     // save and go back to the main menu
};
void game_draw_pause_menu(const GameState* game, Vector2 mouse);
// The button of the pause menu clicked this frame (none while the settings panel is open).
PauseAction game_pause_menu_action(const GameState* game, const MenuInput* input);
// The settings panel's sliders, and its Back button or Escape, which close it.
void game_update_pause_settings(GameState* game, const MenuInput* input);

// ---- chat console (game_console.cpp)
void game_chat_input(GameState* game);                      // keyboard handling while the chat is open
void game_post_message(GameState* game, const char* text);  // adds a line to the message ring
void game_draw_chat_messages(GameState* game);
void game_draw_chat_input(GameState* game);

// ---- console commands (game_commands.cpp)
void game_execute_command(GameState* game, const char* line);

// ---- crosshair and HUD pages (game_hud.cpp)
void game_draw_crosshair(GameState* game);
void game_draw_hud(GameState* game);

// ---- hotbar and the big inventory screen (game_inventory_ui.cpp)
void game_draw_hotbar(GameState* game);
void game_draw_big_inventory(const GameState* game);
