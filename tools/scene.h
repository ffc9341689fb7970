// The standard scene of the frame-time tool and the picture test: a fresh
// world with seed 42, the player on the terrain at the fresh-world spawn
// (8, 8) looking along +X with pitch -0.3, the spawn area and the first
// streaming update lit and meshed. Runs in a temporary directory that holds a
// link to ./assets, so no world, settings or history of the repository is touched.
#pragma once

#include <cstddef>
#include <cstdint>

#include "game.h"

constexpr uint64_t SCENE_SEED = 42;
constexpr float SCENE_X = 8.0f;
constexpr float SCENE_Z = 8.0f;
constexpr float SCENE_YAW = 1.5707964f;  // looking along +X
constexpr float SCENE_PITCH = -0.3f;

// Makes a fresh temporary directory with an `assets` link to the assets of
// the current directory and enters it; writes its path to `dir` and the
// directory left to `home`.
bool scene_enter_scratch_dir(char* dir, size_t size, char* home, size_t home_size);
void scene_leave_scratch_dir(const char* dir, const char* home);
// Returns once the world's worker has nothing queued or running.
void scene_wait_for_worker(World* world);
// The game state of the first game frame in the standard scene. Needs the window.
bool scene_set_up(GameState* game, float render_distance);
void scene_tear_down(GameState* game);
// Looks along (yaw, pitch) and rebuilds the camera.
void scene_look(GameState* game, float yaw, float pitch);
