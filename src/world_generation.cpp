// Block vocabulary, in-chunk access, block textures and block editing.
#include <cstdio>

#include "world.h"

static bool local_in_range(int x, int y, int z) {
    return static_cast<unsigned>(x) < static_cast<unsigned>(CHUNK_SIZE) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(CHUNK_HEIGHT) &&
           static_cast<unsigned>(z) < static_cast<unsigned>(CHUNK_SIZE);
}

// The worker reads cells while the main thread may edit one; relaxed atomic
// access keeps both sides well defined (a stale read is corrected by the job
// that every edit queues).
BlockType world_chunk_get_block(const Chunk* chunk, int x, int y, int z) {
    if (!local_in_range(x, y, z)) return BLOCK_AIR;
    BlockType& cell = const_cast<BlockType&>(chunk->blocks[y][z][x].type);
    return std::atomic_ref<BlockType>(cell).load(std::memory_order_relaxed);
}

void world_chunk_set_block(Chunk* chunk, int x, int y, int z, BlockType type) {
    if (!local_in_range(x, y, z)) return;
    std::atomic_ref<BlockType>(chunk->blocks[y][z][x].type).store(type, std::memory_order_relaxed);
    chunk->modified = true;
}

BlockProperties get_block_properties(BlockType type) {
    switch (type) {
    case BLOCK_STONE:
    case BLOCK_DIRT:
    case BLOCK_GRASS:
    case BLOCK_SAND:
    case BLOCK_WOOD:
    case BLOCK_BEDROCK: return BlockProperties{0, 15};
    case BLOCK_GLOWSTONE: return BlockProperties{15, 0};
    default: return BlockProperties{0, 0};
    }
}

Color world_get_block_color(BlockType type) {
    switch (type) {
    case BLOCK_STONE: return Color{128, 128, 128, 255};
    case BLOCK_DIRT: return Color{139, 69, 19, 255};
    case BLOCK_GRASS: return Color{34, 139, 34, 255};
    case BLOCK_SAND: return Color{238, 214, 175, 255};
    case BLOCK_WOOD: return Color{101, 67, 33, 255};
    case BLOCK_BEDROCK: return Color{64, 64, 64, 255};
    case BLOCK_GLOWSTONE: return Color{255, 255, 200, 255};
    default: return Color{0, 0, 0, 0};
    }
}

static void load_block_texture(Texture2D* out, const char* path, const char* label) {
    *out = LoadTexture(path);
    printf("[textures] %s texture id: %d\n", label, static_cast<int>(out->id));
    if (out->id == 0) fprintf(stderr, "[textures] Failed to load texture %s\n", path);
}

void world_load_textures(World* world) {
    if (!world || world->textures.textures_loaded) return;
    TextureCache* t = &world->textures;
    load_block_texture(&t->grass_texture, "./assets/textures/blocks/grass.png", "grass");
    load_block_texture(&t->dirt_texture, "./assets/textures/blocks/dirt.png", "dirt");
    load_block_texture(&t->stone_texture, "./assets/textures/blocks/stone.png", "stone");
    load_block_texture(&t->sand_texture, "./assets/textures/blocks/sand.png", "sand");
    load_block_texture(&t->wood_texture, "./assets/textures/blocks/wood.png", "wood");
    load_block_texture(&t->bedrock_texture, "./assets/textures/blocks/stone.png", "bedrock");
    t->textures_loaded = true;
    printf("[textures] Block textures loaded\n");
}

void world_unload_textures(World* world) {
    if (!world || !world->textures.textures_loaded) return;
    TextureCache* t = &world->textures;
    UnloadTexture(t->grass_texture);
    UnloadTexture(t->dirt_texture);
    UnloadTexture(t->stone_texture);
    UnloadTexture(t->sand_texture);
    UnloadTexture(t->wood_texture);
    UnloadTexture(t->bedrock_texture);
    t->textures_loaded = false;
}

Texture2D world_get_block_texture(World* world, BlockType type) {
    if (!world || !world->textures.textures_loaded) return Texture2D{};
    const TextureCache* t = &world->textures;
    switch (type) {
    case BLOCK_STONE: return t->stone_texture;
    case BLOCK_DIRT: return t->dirt_texture;
    case BLOCK_GRASS: return t->grass_texture;
    case BLOCK_SAND: return t->sand_texture;
    case BLOCK_WOOD: return t->wood_texture;
    case BLOCK_BEDROCK: return t->bedrock_texture;
    default: return Texture2D{};
    }
}

static bool light_properties_differ(BlockType old_type, BlockType new_type) {
    BlockProperties a = get_block_properties(old_type);
    BlockProperties b = get_block_properties(new_type);
    return a.emission != b.emission || a.opacity != b.opacity || ((old_type == BLOCK_AIR) != (new_type == BLOCK_AIR));
}

// Rebuilds a chunk's list on this thread, then queues its relight.
static void remesh_now(World* world, Chunk* chunk) {
    chunk_cache_visible_blocks(chunk, world);
    pthread_mutex_lock(&chunk->mutex);
    chunk->meshed = true;
    pthread_mutex_unlock(&chunk->mutex);
    worker_queue_chunk(world, chunk);
}

// Neighbour chunks only need new lists: light does not cross chunk borders.
static void remesh_neighbour(World* world, int32_t cx, int32_t cy, int32_t cz) {
    Chunk* n = world_get_chunk(world, cx, cy, cz);
    if (!n || !n->loaded || !n->generated) return;
    pthread_mutex_lock(&n->mutex);
    n->meshed = false;
    pthread_mutex_unlock(&n->mutex);
    remesh_now(world, n);
}

void world_set_block(World* world, int x, int y, int z, BlockType type) {
    if (!world) return;
    const int32_t cx = world_to_chunk_xz(x), cy = world_to_chunk_y(y), cz = world_to_chunk_xz(z);
    const int lx = world_to_local_xz(x), ly = world_to_local_y(y), lz = world_to_local_xz(z);

    pthread_mutex_lock(&world->cache_mutex);
    Chunk* chunk = world_load_or_create_chunk(world, cx, cy, cz);
    if (!chunk) {
        pthread_mutex_unlock(&world->cache_mutex);
        return;
    }
    // A chunk that was never generated and has no file gets its terrain first:
    // otherwise streaming would later generate over the placed block, and a
    // save would store an all-air chunk that every later load takes as terrain.
    if (!chunk->generated) world_generate_chunk(chunk, world->seed);

    pthread_mutex_lock(&chunk->mutex);
    BlockType old_type = world_chunk_get_block(chunk, lx, ly, lz);
    world_chunk_set_block(chunk, lx, ly, lz, type);
    if (light_properties_differ(old_type, type)) chunk->needs_relighting = true;
    chunk->meshed = false;
    pthread_mutex_unlock(&chunk->mutex);
    pthread_mutex_unlock(&world->cache_mutex);

    remesh_now(world, chunk);
    if (lx == CHUNK_SIZE - 1) remesh_neighbour(world, cx + 1, cy, cz);
    if (lx == 0) remesh_neighbour(world, cx - 1, cy, cz);
    if (ly == CHUNK_HEIGHT - 1) remesh_neighbour(world, cx, cy + 1, cz);
    if (ly == 0) remesh_neighbour(world, cx, cy - 1, cz);
    if (lz == CHUNK_SIZE - 1) remesh_neighbour(world, cx, cy, cz + 1);
    if (lz == 0) remesh_neighbour(world, cx, cy, cz - 1);
}
