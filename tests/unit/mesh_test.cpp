// Visible-block lists under concurrent edits against a block-by-block reference.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "temp_world_fixture.h"

namespace {

using MeshTest = TempWorldTest;

// Edits, half on chunk borders, while the worker rebuilds and the renderer copies lists; then all must match.
TEST_F(MeshTest, EditsWhileWorkerLightsAndMeshes) {
    world_->seed = 99;
    for (int cz = -1; cz <= 1; cz++)
        for (int cx = -1; cx <= 1; cx++) world_generate_chunk(add_chunk(cx, 1, cz), world_->seed);
    for (int i = 0; i < count(); i++) worker_queue_chunk(world_, at(i));
    const BlockType cycle[4] = {BLOCK_AIR, BLOCK_STONE, BLOCK_GLOWSTONE, BLOCK_DIRT};
    std::mt19937 rng(12345);
    auto local = [&rng](int size) {  // a border cell half of the time
        return static_cast<int>(rng() % 2 ? rng() % size : rng() % 2 * (size - 1));
    };
    std::vector<CachedVisibleBlock> copy;
    for (int edit = 0; edit < 50; edit++) {
        const int x = static_cast<int>(rng() % 3) * 32 - 32 + local(32), y = 64 + local(64),
                  z = static_cast<int>(rng() % 3) * 32 - 32 + local(32);
        world_set_block(world_, x, y, z, cycle[edit % 4]);
        Chunk* c = get(world_to_chunk_xz(x), 1, world_to_chunk_xz(z));
        pthread_mutex_lock(&c->mesh_swap_mutex);
        const int m = c->active_mesh;
        copy.assign(c->visible_blocks[m], c->visible_blocks[m] + c->visible_count[m]);
        pthread_mutex_unlock(&c->mesh_swap_mutex);
        for (const CachedVisibleBlock& e : copy) ASSERT_TRUE(e.exposed_faces != 0 && e.exposed_faces < 64);
    }
    worker_flush_queue(world_);
    for (int i = 0; i < count(); i++) EXPECT_EQ(active_entries(at(i)), reference_list(at(i), world_)) << "chunk " << i;
}

}  // namespace
