// ./worlds/<name>/world.txt as world_load applies it to the world record.
#include <cmath>

#include "fuzz_util.h"
#include "world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World* world = nullptr;
    if (world == nullptr) {
        fuzz_enter_private_dir();
        fuzz_make_dirs("worlds/fuzzed");
        world = world_create();
        if (world == nullptr) abort();
    }
    world->last_player_position = Vector3{WORLD_DEFAULT_PLAYER_X, WORLD_DEFAULT_PLAYER_Y, WORLD_DEFAULT_PLAYER_Z};
    fuzz_write_file("worlds/fuzzed/world.txt", data, size);
    world_read_metadata(world, "fuzzed");
    const Vector3 p = world->last_player_position;
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) abort();
    return 0;
}
