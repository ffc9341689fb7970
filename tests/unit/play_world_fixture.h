// A headless World for the player, rendering and editing tests, where no saved chunk file is ever picked up.
#pragma once

#include "temp_world_fixture.h"

class PlayWorldTest : public TempWorldTest {
protected:
    // Writes one block straight into a cached record in play.
    void put(int x, int y, int z, BlockType type) {
        Chunk* chunk = add_chunk(world_to_chunk_xz(x), world_to_chunk_y(y), world_to_chunk_xz(z));
        world_chunk_set_block(chunk, world_to_local_xz(x), world_to_local_y(y), world_to_local_xz(z), type);
    }

    void slab(int x0, int x1, int y, int z0, int z1, BlockType type) {
        for (int z = z0; z <= z1; z++)
            for (int x = x0; x <= x1; x++) put(x, y, z, type);
    }
};
