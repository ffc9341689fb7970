// First-person camera: mouse look, the horizontal walking vectors and the
// camera built from the player's eye.
#include <cmath>

#include "game.h"
#include "player.h"
#include "vec_math.h"

static constexpr float MOUSE_SPEED = 0.005f;    // radians per pixel, both axes
static constexpr float PITCH_LIMIT = 1.56905f;  // just short of straight up or down
static constexpr float EYE_HEIGHT = 0.7f;       // above the player's position

static Vector3 look_direction(float yaw, float pitch) {
    float sin_yaw = 0.0f, cos_yaw = 0.0f, sin_pitch = 0.0f, cos_pitch = 0.0f;
    sincosf(yaw, &sin_yaw, &cos_yaw);
    sincosf(pitch, &sin_pitch, &cos_pitch);
    return vec3_normalize(Vector3{cos_pitch * sin_yaw, sin_pitch, cos_pitch * cos_yaw});
}

void game_mouse_look(GameState* game) {
    if (!game) return;
    const Vector2 delta = GetMouseDelta();
    game->look.yaw = game->look.yaw - delta.x * MOUSE_SPEED;
    float pitch = game->look.pitch - delta.y * MOUSE_SPEED;
    if (pitch > PITCH_LIMIT) pitch = PITCH_LIMIT;
    if (pitch < -PITCH_LIMIT) pitch = -PITCH_LIMIT;
    game->look.pitch = pitch;
    game->look.forward = look_direction(game->look.yaw, game->look.pitch);
}

void game_move_vectors(const GameState* game, Vector3* forward, Vector3* right) {
    if (!game) return;
    float sin_yaw = 0.0f, cos_yaw = 0.0f;
    sincosf(game->look.yaw, &sin_yaw, &cos_yaw);
    if (right) *right = vec3_normalize(Vector3{-cos_yaw, 0.0f, sin_yaw});
    if (forward) *forward = vec3_normalize(Vector3{-sin_yaw, 0.0f, -cos_yaw});
}

void game_build_camera(GameState* game) {
    if (!game || !game->player) return;
    const Vector3 p = game->player->position;
    game->look.camera.position = Vector3{p.x, p.y + EYE_HEIGHT, p.z};
    game->look.camera.target = vec3_add(game->look.camera.position, game->look.forward);
}
