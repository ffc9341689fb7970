// One game frame of the player: the physics update and the input poll, for a
// player walking on a generated surface and for one standing still.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "player.h"
#include "world.h"

namespace {

constexpr uint64_t SEED = 42;
constexpr float FRAME = 1.0f / 60.0f;

// A world with the chunks around the origin generated, in a scratch directory.
struct BenchWorld {
    std::string dir;
    char old_dir[4096] = {};
    World* world = nullptr;

    BenchWorld() {
        if (!getcwd(old_dir, sizeof old_dir)) old_dir[0] = 0;
        char tmpl[] = "/tmp/qvox_player_bench_XXXXXX";
        if (mkdtemp(tmpl) && chdir(tmpl) == 0) dir = tmpl;
        world = world_create();
        for (int cx = -1; cx <= 1; cx++)
            for (int cz = -1; cz <= 1; cz++)
                for (int cy = 0; cy <= 2; cy++) {
                    Chunk* chunk = world_load_or_create_chunk(world, cx, cy, cz);
                    if (!chunk) continue;
                    world_generate_chunk(chunk, SEED);
                    chunk->loaded = true;
                }
    }
    ~BenchWorld() {
        world_free(world);
        if (old_dir[0] && chdir(old_dir) != 0) old_dir[0] = 0;
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
};

void run_frames(benchmark::State& state, bool walking) {
    BenchWorld bench;
    Player* player = player_create(8.0f, player_safe_spawn_y(8.0f, 20.0f, 8.0f, SEED), 8.0f);
    for (int i = 0; i < 120; i++) player_update(player, bench.world, FRAME, false);
    // Walking keeps changing direction so the player stays on the generated ground.
    const Vector3 rights[4] = {{1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 0, -1}};
    PlayerKeys keys = {};
    keys.forward = walking;
    int frame = 0;
    for (auto _ : state) {
        player_update(player, bench.world, FRAME, false);
        // player_move_input reads the keyboard and hands the keys to this call.
        player_apply_input(player, &keys, rights[(frame / 60) % 4], false);
        frame++;
    }
    benchmark::DoNotOptimize(player->position);
    player_free(player);
}

void BM_PlayerFrameWalking(benchmark::State& state) {
    run_frames(state, true);
}
void BM_PlayerFrameStanding(benchmark::State& state) {
    run_frames(state, false);
}

BENCHMARK(BM_PlayerFrameWalking)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlayerFrameStanding)->Unit(benchmark::kMicrosecond);

}  // namespace
