// Chunk files as world_load_or_create_chunk reads them, followed by the light
// and visible-block work the worker does on every loaded chunk. The first
// byte chooses the shape of the file: the rest as it is (short or long), the
// rest repeated to exactly one chunk's size, or repeated past it.
#include <vector>

#include "fuzz_game.h"

static const size_t CHUNK_BYTES = sizeof(int32_t) * CHUNK_SIZE * CHUNK_HEIGHT * CHUNK_SIZE;

static std::vector<uint8_t> shape_file(const uint8_t* data, size_t size) {
    const uint8_t* body = data + 1;
    const size_t body_size = size - 1;
    const int mode = data[0] % 3;
    if (mode == 0 || body_size == 0) return std::vector<uint8_t>(body, body + body_size);
    const size_t total = mode == 1 ? CHUNK_BYTES : CHUNK_BYTES + body_size;
    std::vector<uint8_t> file(total);
    for (size_t i = 0; i < total; i++) file[i] = body[i % body_size];
    return file;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World* world = fuzz_world_once("worlds/fuzzed/chunks");
    world->seed = 1;
    if (size == 0) return 0;
    const std::vector<uint8_t> file = shape_file(data, size);
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, "fuzzed", 0, 0, 0);
    fuzz_write_file(path, file.data(), file.size());

    pthread_mutex_lock(&world->cache_mutex);
    Chunk* chunk = world_load_or_create_chunk(world, 0, 0, 0);
    pthread_mutex_unlock(&world->cache_mutex);
    if (chunk == nullptr) abort();
    worker_flush_queue(world);
    for (int y = 0; y < CHUNK_HEIGHT; y += 7)
        for (int z = 0; z < CHUNK_SIZE; z += 5)
            for (int x = 0; x < CHUNK_SIZE; x += 3) {
                (void)world_get_skylight(world, x, y, z);
                (void)world_get_blocklight(world, x, y, z);
                (void)get_block_properties(world_get_block(world, x, y, z));
            }
    pthread_mutex_lock(&world->cache_mutex);
    world_clear_chunks(world);
    pthread_mutex_unlock(&world->cache_mutex);
    return 0;
}
