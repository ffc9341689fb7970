// The player body (movement, gravity, collision, flight, no-clip) and its
// inventory of 45 stacks: a hotbar of 9 and a backpack of 36.
#pragma once

#include <cstdint>

#include "raylib.h"
#include "world.h"

// ---------------------------------------------------------------- constants

// Collision box: width (x), height (y), depth (z); `position` is its centre.
constexpr float PLAYER_WIDTH = 0.6f;
constexpr float PLAYER_HEIGHT = 1.9f;
constexpr float PLAYER_DEPTH = 0.6f;
constexpr float PLAYER_HALF_HEIGHT = 0.95f;

constexpr float PLAYER_WALK_SPEED = 5.5f;
constexpr float PLAYER_SNEAK_SPEED = 2.75f;
constexpr float PLAYER_SPRINT_SPEED = 8.25f;
constexpr float PLAYER_FLY_SPRINT_FACTOR = 1.5f;
constexpr float PLAYER_FLY_VERTICAL_SPEED = 8.0f;
constexpr float PLAYER_JUMP_VELOCITY = 11.9f;
constexpr float PLAYER_GRAVITY = 35.0f;
constexpr float PLAYER_FALL_LIMIT = -50.0f;
constexpr float PLAYER_DOUBLE_TAP_TIME = 0.3f;
constexpr float PLAYER_GROUND_PROBE = 0.1f;
constexpr float PLAYER_EDGE_PROBE_DEPTH = 1.85f;
constexpr float PLAYER_EDGE_PROBE_HALF = 0.3f;
constexpr float PLAYER_EDGE_PROBE_STEP = 0.08f;
constexpr float PLAYER_DIRECTION_EPSILON = 0.000001f;
// A block may not be placed within this distance of the body's centre line.
constexpr float PLAYER_PLACE_CLEARANCE = 0.85f;

constexpr int INVENTORY_HOTBAR_SLOTS = 9;
constexpr int INVENTORY_BACKPACK_SLOTS = 36;
constexpr int INVENTORY_TOTAL_SLOTS = INVENTORY_HOTBAR_SLOTS + INVENTORY_BACKPACK_SLOTS;
constexpr int INVENTORY_MAX_STACK = 64;

// ---------------------------------------------------------------- records

struct InventorySlot {
    BlockType type;  // BLOCK_AIR marks an empty slot
    int count;       // 0 in an empty slot, at most 64
};

struct Player {
    Vector3 position;       // centre of the 0.6 x 1.9 x 0.6 box
    Vector3 prev_position;  // position at the start of the latest player_update
    Vector3 velocity;       // units per second
    bool on_ground;
    bool jump_used;            // a jump was started with the current Space hold
    BlockType selected_block;  // chosen with the select command; starts as stone
    bool shifting;             // a Shift key was down at the latest input poll
    bool is_flying;
    bool no_clip;
    float space_press_time;  // seconds since the latest Space press, frozen once >= 0.3
    InventorySlot inventory[INVENTORY_HOTBAR_SLOTS];
    InventorySlot big_inventory[INVENTORY_BACKPACK_SLOTS];
    int selected_slot;        // active hotbar slot 0..8
    bool inventory_open;      // the big inventory screen is shown
    InventorySlot held_slot;  // stack carried by the mouse in the inventory screen
    bool holding_item;
};

// The movement keys of one input poll: what player_move_input reads from the keyboard.
struct PlayerKeys {
    bool forward;       // W
    bool back;          // S
    bool left;          // A
    bool right;         // D
    bool jump_pressed;  // Space went down this frame
    bool jump_held;     // Space is down
    bool shift_held;    // either Shift
    bool sprint_held;   // left Control
};

// ---------------------------------------------------------------- player

// Null when the record cannot be allocated (one log line).
Player* player_create(float x, float y, float z);
void player_free(Player* player);

// Reads the keyboard and sets the velocity for the next update. `right` is the
// camera's right vector; the walking direction is derived from it.
void player_move_input(Player* player, Vector3 forward, Vector3 right, bool flight_enabled);
// The same for a given key state; no keyboard access.
void player_apply_input(Player* player, const PlayerKeys* keys, Vector3 right, bool flight_enabled);

// True when any non-air block overlaps the box of the given size centred at center_pos.
bool world_check_collision_box(World* world, Vector3 center_pos, float width, float height, float depth);

// Advances the player by dt seconds: gravity, integration, collision. Long
// frames run as equal steps of at most 0.05 s, so a slow frame cannot carry
// a falling player through a floor.
void player_update(Player* player, World* world, float dt, bool flight_enabled);

// True when a block in cell (x, y, z) would overlap a player at `position`:
// the body reaches 1.9 below position.y and is taken as a circle of radius
// 0.85 around its centre line.
bool player_overlaps_block(Vector3 position, int x, int y, int z);

// Height at which a player put at a fixed spot (fresh world, reset key, world
// commands) stands on the surface or falls onto it: max(y, highest terrain
// surface under the body's footprint + half the body + a small margin).
float player_safe_spawn_y(float x, float y, float z, uint64_t seed);

// ---------------------------------------------------------------- inventory

void inventory_init(Player* player);
// Adds one block: first matching stack with room, then the first empty slot.
bool inventory_add_block(Player* player, BlockType block_type);
// Removes one block from the first stack of that type.
bool inventory_remove_block(Player* player, BlockType block_type);
BlockType inventory_get_selected_block(Player* player);
void inventory_toggle_big(Player* player);
bool inventory_is_big_open(Player* player);
int inventory_total_free_capacity(Player* player, BlockType block_type);
// Adds count blocks all or nothing, filling the active hotbar slot first.
bool inventory_give(Player* player, BlockType block_type, int count);
