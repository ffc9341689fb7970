// ./worlds/<name>/world.txt as world_load applies it to the world record.
#include <cmath>

#include "fuzz_game.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World* world = fuzz_world_once("worlds/fuzzed");
    world->last_player_position = Vector3{WORLD_DEFAULT_PLAYER_X, WORLD_DEFAULT_PLAYER_Y, WORLD_DEFAULT_PLAYER_Z};
    fuzz_write_file("worlds/fuzzed/world.txt", data, size);
    world_read_metadata(world, "fuzzed");
    const Vector3 p = world->last_player_position;
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) abort();
    return 0;
}
