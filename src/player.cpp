// The player body: keyboard to velocity, gravity, integration and collision
// resolved axis by axis against the blocks of the world.
#include "player.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "config.h"
#include "vec_math.h"

Player* player_create(float x, float y, float z) {
    Player* player = static_cast<Player*>(calloc(1, sizeof(Player)));
    if (!player) {
        fprintf(stderr, "[player] Out of memory creating the player\n");
        return nullptr;
    }
    player->position = Vector3{x, y, z};
    player->prev_position = player->position;
    player->velocity = Vector3{0.0f, 0.0f, 0.0f};
    player->on_ground = false;
    player->jump_used = false;
    player->selected_block = BLOCK_STONE;
    player->shifting = false;
    player->is_flying = false;
    player->no_clip = false;
    player->space_press_time = 1.0f;
    inventory_init(player);
    return player;
}

void player_free(Player* player) {
    free(player);
}

// ---------------------------------------------------------------- input

void player_move_input(Player* player, Vector3 forward, Vector3 right, bool flight_enabled) {
    (void)forward;  // the walking direction comes from `right`, which is never vertical
    PlayerKeys keys = {};
    keys.forward = IsKeyDown(KEY_W);
    keys.back = IsKeyDown(KEY_S);
    keys.left = IsKeyDown(KEY_A);
    keys.right = IsKeyDown(KEY_D);
    keys.jump_pressed = IsKeyPressed(KEY_SPACE);
    keys.jump_held = IsKeyDown(KEY_SPACE);
    keys.shift_held = IsKeyDown(KEY_LEFT_SHIFT) || IsKeyDown(KEY_RIGHT_SHIFT);
    keys.sprint_held = IsKeyDown(KEY_LEFT_CONTROL);
    player_apply_input(player, &keys, right, flight_enabled);
}

static float input_move_speed(const Player* player, const PlayerKeys* keys) {
    if (keys->shift_held && !player->is_flying) return PLAYER_SNEAK_SPEED;
    if (keys->sprint_held && !player->is_flying) return PLAYER_SPRINT_SPEED;
    return PLAYER_WALK_SPEED;
}

// Horizontal wish velocity from the four direction keys, never faster on a diagonal.
static Vector3 input_move_vector(const PlayerKeys* keys, Vector3 right, float speed) {
    Vector3 right_horiz = {right.x, 0.0f, right.z};
    const float right_len = sqrtf(right_horiz.x * right_horiz.x + right_horiz.z * right_horiz.z);
    if (right_len < PLAYER_DIRECTION_EPSILON) {
        right_horiz = Vector3{1.0f, 0.0f, 0.0f};
    } else {
        right_horiz.x /= right_len;
        right_horiz.z /= right_len;
    }
    const Vector3 forward_horiz = vec3_normalize(vec3_cross(Vector3{0.0f, 1.0f, 0.0f}, right_horiz));
    Vector3 move = {0.0f, 0.0f, 0.0f};
    if (keys->forward) move = vec3_add(move, vec3_scale(forward_horiz, speed));
    if (keys->back) move = vec3_add(move, vec3_scale(forward_horiz, -speed));
    if (keys->right) move = vec3_add(move, vec3_scale(right_horiz, speed));
    if (keys->left) move = vec3_add(move, vec3_scale(right_horiz, -speed));
    const float move_len = sqrtf(move.x * move.x + move.z * move.z);
    if (move_len > speed) {
        move.x *= speed / move_len;
        move.z *= speed / move_len;
    }
    return move;
}

void player_apply_input(Player* player, const PlayerKeys* keys, Vector3 right, bool flight_enabled) {
    if (!player || !keys) return;
    player->shifting = keys->shift_held;
    const float speed = input_move_speed(player, keys);
    if (keys->jump_pressed) {
        if (flight_enabled && player->space_press_time < PLAYER_DOUBLE_TAP_TIME) {
            player->is_flying = !player->is_flying;
            if (player->is_flying) player->velocity.y = 0.0f;
        }
        player->space_press_time = 0.0f;
    }
    const Vector3 move = input_move_vector(keys, right, speed);
    if (player->is_flying) {
        const float mult = keys->sprint_held ? PLAYER_FLY_SPRINT_FACTOR : 1.0f;
        player->velocity = Vector3{move.x * mult, 0.0f, move.z * mult};
        if (keys->jump_held) player->velocity.y = PLAYER_FLY_VERTICAL_SPEED * mult;
        if (keys->shift_held) player->velocity.y = -PLAYER_FLY_VERTICAL_SPEED * mult;
        return;
    }
    if (keys->jump_held && player->on_ground && !player->jump_used) {
        player->velocity.y = PLAYER_JUMP_VELOCITY;
        player->on_ground = false;
        player->jump_used = true;
    }
    if (!keys->jump_held) player->jump_used = false;
    player->velocity.x = move.x;
    player->velocity.z = move.z;
}

// ---------------------------------------------------------------- collision

// A cell is only read when the box overlaps it, so the answer equals that of
// reading every cell of the padded range, at a fraction of the lookups.
bool world_check_collision_box(World* world, Vector3 center_pos, float width, float height, float depth) {
    const float box_min_x = center_pos.x - width / 2.0f, box_max_x = center_pos.x + width / 2.0f;
    const float box_min_y = center_pos.y - height / 2.0f, box_max_y = center_pos.y + height / 2.0f;
    const float box_min_z = center_pos.z - depth / 2.0f, box_max_z = center_pos.z + depth / 2.0f;
    const int min_x = static_cast<int>(floorf(box_min_x - 1.0f)), max_x = static_cast<int>(ceilf(box_max_x + 1.0f));
    const int min_y = static_cast<int>(floorf(box_min_y - 1.0f)), max_y = static_cast<int>(ceilf(box_max_y + 1.0f));
    const int min_z = static_cast<int>(floorf(box_min_z - 1.0f)), max_z = static_cast<int>(ceilf(box_max_z + 1.0f));
    for (int y = min_y; y <= max_y; y++) {
        if (!(box_max_y > static_cast<float>(y) && box_min_y < static_cast<float>(y) + 1.0f)) continue;
        for (int z = min_z; z <= max_z; z++) {
            if (!(box_max_z > static_cast<float>(z) && box_min_z < static_cast<float>(z) + 1.0f)) continue;
            for (int x = min_x; x <= max_x; x++) {
                if (!(box_max_x > static_cast<float>(x) && box_min_x < static_cast<float>(x) + 1.0f)) continue;
                if (world_get_block(world, x, y, z) != BLOCK_AIR) return true;
            }
        }
    }
    return false;
}

static bool player_box_collides(World* world, Vector3 center) {
    return world_check_collision_box(world, center, PLAYER_WIDTH, PLAYER_HEIGHT, PLAYER_DEPTH);
}

// Sneaking: true when some sample under the body at new_pos still finds a block.
static bool edge_guard_supported(World* world, Vector3 new_pos) {
    const int by = static_cast<int>(floorf(new_pos.y - PLAYER_EDGE_PROBE_DEPTH));
    for (float dx = -PLAYER_EDGE_PROBE_HALF; dx <= PLAYER_EDGE_PROBE_HALF; dx += PLAYER_EDGE_PROBE_STEP) {
        for (float dz = -PLAYER_EDGE_PROBE_HALF; dz <= PLAYER_EDGE_PROBE_HALF; dz += PLAYER_EDGE_PROBE_STEP) {
            const int bx = static_cast<int>(floorf(new_pos.x + dx));
            const int bz = static_cast<int>(floorf(new_pos.z + dz));
            if (world_get_block(world, bx, by, bz) != BLOCK_AIR) return true;
        }
    }
    return false;
}

static Vector3 lowered(Vector3 v) {
    return Vector3{v.x, v.y - PLAYER_GROUND_PROBE, v.z};
}

// The box at new_pos collides: keep each axis that can move on its own, X then
// Y then Z. A sneaking player on the ground keeps ground under each new X and Z;
// landing on the Y axis already counts for Z.
static void resolve_axes(Player* player, World* world, float dt) {
    const Vector3 pos = player->position;
    const Vector3 test_x = {pos.x + player->velocity.x * dt, pos.y, pos.z};
    bool allow_x = !player_box_collides(world, test_x);
    if (allow_x && player->shifting && player->on_ground) allow_x = player_box_collides(world, lowered(test_x));
    const float x = allow_x ? test_x.x : pos.x;

    const Vector3 test_y = {x, pos.y + player->velocity.y * dt, pos.z};
    float y = test_y.y;
    if (player_box_collides(world, test_y)) {
        if (player->velocity.y < 0.0f) {
            player->on_ground = true;
            player->jump_used = false;
        }
        player->velocity.y = 0.0f;
        y = pos.y;
    }

    const Vector3 test_z = {x, y, pos.z + player->velocity.z * dt};
    bool allow_z = !player_box_collides(world, test_z);
    if (allow_z && player->shifting && player->on_ground) allow_z = player_box_collides(world, lowered(test_z));
    const float z = allow_z ? test_z.z : pos.z;

    player->position = Vector3{x, y, z};
    if (player_box_collides(world, lowered(player->position))) {
        player->on_ground = true;
        player->jump_used = false;
        player->velocity.y = 0.0f;
    }
}

// One integration step exactly as a frame of ordinary length runs.
static void player_step(Player* player, World* world, float dt) {
    if (player->space_press_time < PLAYER_DOUBLE_TAP_TIME) player->space_press_time += dt;
    player->prev_position = player->position;
    if (!player->is_flying) player->velocity.y += -PLAYER_GRAVITY * dt;
    if (player->velocity.y < PLAYER_FALL_LIMIT) player->velocity.y = PLAYER_FALL_LIMIT;

    Vector3 new_pos = vec3_add(player->position, vec3_scale(player->velocity, dt));
    if (player->no_clip) {
        player->position = new_pos;
        player->on_ground = false;
        return;
    }
    if (player->shifting && player->on_ground && !edge_guard_supported(world, new_pos)) {
        new_pos.x = player->position.x;
        new_pos.z = player->position.z;
    }
    if (!player_box_collides(world, new_pos)) {
        player->position = new_pos;
        player->on_ground = false;
        return;
    }
    resolve_axes(player, world, dt);
}

void player_update(Player* player, World* world, float dt, bool flight_enabled) {
    (void)flight_enabled;  // flying is switched by input; the update only integrates
    if (!player) return;
    if (!(dt > PLAYER_MAX_STEP)) {
        player_step(player, world, dt);
        return;
    }
    const int steps = static_cast<int>(ceilf(dt / PLAYER_MAX_STEP));
    const float step_dt = dt / static_cast<float>(steps);
    const Vector3 frame_start = player->position;
    for (int i = 0; i < steps; i++) player_step(player, world, step_dt);
    player->prev_position = frame_start;
}

// ---------------------------------------------------------------- placement and spawn

bool player_overlaps_block(Vector3 position, int x, int y, int z) {
    const float player_top = position.y;
    const float player_bottom = position.y - PLAYER_HEIGHT;
    const float block_bottom = static_cast<float>(y);
    const float block_top = static_cast<float>(y) + 1.0f;
    const bool vertical_overlap = block_bottom < player_top && block_top > player_bottom;
    const float dx = position.x - (static_cast<float>(x) + 0.5f);
    const float dz = position.z - (static_cast<float>(z) + 0.5f);
    const bool horizontal_overlap = sqrtf(dx * dx + dz * dz) < PLAYER_PLACE_CLEARANCE;
    return vertical_overlap && horizontal_overlap;
}

// The body is 0.6 wide, so it can rest on up to four columns; the highest one
// decides where it stands.
float player_safe_spawn_y(float x, float y, float z, uint64_t seed) {
    const float half = PLAYER_WIDTH / 2.0f;
    int surface = 0;
    for (int i = 0; i < 2; i++) {
        for (int k = 0; k < 2; k++) {
            const int cx = static_cast<int>(floorf(i == 0 ? x - half : x + half));
            const int cz = static_cast<int>(floorf(k == 0 ? z - half : z + half));
            const int h = smooth_terrain_height(cx, cz, seed);
            if (h > surface) surface = h;
        }
    }
    const float standing = static_cast<float>(surface) + PLAYER_HALF_HEIGHT + PLAYER_SPAWN_MARGIN;
    return standing > y ? standing : y;
}
