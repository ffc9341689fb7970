// Streaming and world files: the cost of a chunk-border crossing, of saving
// and loading a world of 500 chunks, and the resident memory a world needs.
// Each benchmark runs once in a fresh temporary folder; the world's own log
// lines are silenced while it runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "world.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Resident set size of this process in MiB, from /proc/self/status.
double resident_mib() {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return -1.0;
    char line[256];
    long kib = -1;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "VmRSS: %ld kB", &kib) == 1) break;
    fclose(f);
    return kib < 0 ? -1.0 : kib / 1024.0;
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

// Runs in a fresh temporary folder with standard output and error sent to /dev/null.
class Sandbox {
public:
    Sandbox() {
        char cwd[4096] = {0};
        if (getcwd(cwd, sizeof cwd)) old_cwd_ = cwd;
        if (mkdtemp(dir_) && chdir(dir_) == 0) ok_ = true;
        fflush(stdout);
        fflush(stderr);
        saved_out_ = dup(1);
        saved_err_ = dup(2);
        int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0) {
            dup2(null_fd, 1);
            dup2(null_fd, 2);
            close(null_fd);
        }
    }
    ~Sandbox() {
        fflush(stdout);
        fflush(stderr);
        if (saved_out_ >= 0) dup2(saved_out_, 1), close(saved_out_);
        if (saved_err_ >= 0) dup2(saved_err_, 2), close(saved_err_);
        if (!old_cwd_.empty() && chdir(old_cwd_.c_str()) != 0) perror("chdir back");
        nftw(dir_, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
    bool ok() const { return ok_; }

private:
    char dir_[64] = "/tmp/qvox_bench_XXXXXX";
    std::string old_cwd_;
    int saved_out_ = -1, saved_err_ = -1;
    bool ok_ = false;
};

const Vector3 EAST = {1.0f, 0.0f, 0.0f};

// A fresh world named `name`, spawn area loaded and settled.
World* fresh_world(const char* name) {
    World* world = world_create();
    if (!world) return nullptr;
    world->seed = 20260131;
    world_load(world, name);
    worker_flush_queue(world);
    return world;
}

// CPU time of the calling thread in milliseconds: unlike wall time it does not
// grow when other processes compete for the cores.
double thread_cpu_ms() {
    struct timespec ts = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

struct UpdateTimes {
    std::vector<double> wall_ms, cpu_ms;
};

// Flies east at the height of the terrain, one update per chunk entered, and
// records the wall and thread CPU time of every update.
UpdateTimes fly_east(World* world, int chunks) {
    UpdateTimes t;
    for (int i = 1; i <= chunks; i++) {
        const Vector3 pos = {i * 32.0f + 16.0f, 100.0f, 16.0f};
        const Clock::time_point start = Clock::now();
        const double cpu_start = thread_cpu_ms();
        world_update_chunks(world, pos, EAST);
        t.cpu_ms.push_back(thread_cpu_ms() - cpu_start);
        t.wall_ms.push_back(ms_since(start));
    }
    std::sort(t.wall_ms.begin(), t.wall_ms.end());
    std::sort(t.cpu_ms.begin(), t.cpu_ms.end());
    return t;
}

void BM_BorderCrossing(benchmark::State& state) {
    Sandbox box;
    World* world = fresh_world("flight");
    if (!box.ok() || !world) {
        state.SkipWithError("no sandbox or world");
        return;
    }
    UpdateTimes t;
    for (auto _ : state) t = fly_east(world, 200);
    state.counters["median_ms"] = t.wall_ms[t.wall_ms.size() / 2];
    state.counters["p90_ms"] = t.wall_ms[t.wall_ms.size() * 9 / 10];
    state.counters["max_ms"] = t.wall_ms.back();
    state.counters["median_cpu_ms"] = t.cpu_ms[t.cpu_ms.size() / 2];
    state.counters["max_cpu_ms"] = t.cpu_ms.back();
    world_free(world);
}
BENCHMARK(BM_BorderCrossing)->Iterations(1)->Unit(benchmark::kMillisecond);

// 500 generated chunks in a 10 x 5 x 10 block that holds the spawn area.
void for_each_block_chunk(World* world, void (*visit)(World*, Chunk*)) {
    pthread_mutex_lock(&world->cache_mutex);
    for (int32_t cx = -1; cx < 9; cx++)
        for (int32_t cy = -1; cy < 4; cy++)
            for (int32_t cz = -1; cz < 9; cz++) {
                Chunk* c = world_load_or_create_chunk(world, cx, cy, cz);
                if (c) visit(world, c);
            }
    pthread_mutex_unlock(&world->cache_mutex);
}

void generate_if_needed(World* world, Chunk* c) {
    if (!c->generated) world_generate_chunk(c, world->seed);
}

void leave_as_read(World*, Chunk*) {}

World* world_with_500_chunks(const char* name) {
    World* world = fresh_world(name);
    if (world) for_each_block_chunk(world, generate_if_needed);
    return world;
}

void BM_SaveAndLoad500Chunks(benchmark::State& state) {
    Sandbox box;
    World* world = world_with_500_chunks("big");
    if (!box.ok() || !world) {
        state.SkipWithError("no sandbox or world");
        return;
    }
    const int cached = world->chunk_cache.chunk_count;
    double save_ms = 0, load_ms = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        if (!world_save(world, "big")) state.SkipWithError("save failed");
        save_ms = ms_since(start);

        // Loading: world_load, then every saved chunk read back into the cache.
        start = Clock::now();
        world_load(world, "big");
        for_each_block_chunk(world, leave_as_read);
        load_ms = ms_since(start);
    }
    state.counters["chunks"] = cached;
    state.counters["save_ms"] = save_ms;
    state.counters["load_ms"] = load_ms;
    world_free(world);
}
BENCHMARK(BM_SaveAndLoad500Chunks)->Iterations(1)->Unit(benchmark::kMillisecond);

// The alternative world_save does not take: every chunk file synced on its own
// (as the worker's save jobs do), for comparison with the single sync at the end.
void BM_Save500ChunksSyncedOneByOne(benchmark::State& state) {
    Sandbox box;
    World* world = world_with_500_chunks("synced");
    if (!box.ok() || !world) {
        state.SkipWithError("no sandbox or world");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < world->chunk_cache.chunk_count; i++)
            if (!world_save_chunk(&world->chunk_cache.chunks[i], "synced")) state.SkipWithError("save failed");
    }
    state.counters["chunks"] = world->chunk_cache.chunk_count;
    world_free(world);
}
BENCHMARK(BM_Save500ChunksSyncedOneByOne)->Iterations(1)->Unit(benchmark::kMillisecond);

// Marks every `step`-th cached chunk modified by one edit, `count` chunks in all.
void edit_chunks(World* world, int count, int step) {
    for (int i = 0; i < count; i++) {
        Chunk* c = &world->chunk_cache.chunks[i * step];
        world_chunk_set_block(c, 1, 1, 1, static_cast<BlockType>(1 + i % 7));
    }
}

double median_of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A whole-world save (/save, leaving, closing) with 500 cached chunks after a
// first save: only the edited chunks are written, then one file-system sync.
void BM_SaveOf500CachedChunksAfterEdits(benchmark::State& state) {
    Sandbox box;
    World* world = world_with_500_chunks("resave");
    if (!box.ok() || !world || !world_save(world, "resave")) {
        state.SkipWithError("no sandbox or world");
        return;
    }
    std::vector<double> save_ms;
    for (auto _ : state) {
        edit_chunks(world, static_cast<int>(state.range(0)), 7);
        const Clock::time_point start = Clock::now();
        if (!world_save(world, "resave")) state.SkipWithError("save failed");
        save_ms.push_back(ms_since(start));
    }
    state.counters["edited"] = static_cast<double>(state.range(0));
    state.counters["median_save_ms"] = median_of(save_ms);
    world_free(world);
}
BENCHMARK(BM_SaveOf500CachedChunksAfterEdits)->Arg(0)->Arg(5)->Arg(50)->Iterations(7)->Unit(benchmark::kMillisecond);

// The main thread's share of an autosave with 50 modified chunks among 500:
// finding them and queueing their save jobs and the metadata job. The worker
// writes them afterwards, outside the timed part.
void BM_AutosaveOf50ModifiedChunks(benchmark::State& state) {
    Sandbox box;
    World* world = world_with_500_chunks("auto");
    if (!box.ok() || !world || !world_save(world, "auto")) {
        state.SkipWithError("no sandbox or world");
        return;
    }
    std::vector<double> wall_ms, cpu_ms;
    float x = 0.0f;
    for (auto _ : state) {
        edit_chunks(world, 50, 10);
        x += 1.0f;
        const Clock::time_point start = Clock::now();
        const double cpu_start = thread_cpu_ms();
        const int queued = world_autosave(world, Vector3{x, 100.0f, 8.0f});
        cpu_ms.push_back(thread_cpu_ms() - cpu_start);
        wall_ms.push_back(ms_since(start));
        if (queued != 50) state.SkipWithError("not every modified chunk was queued");
        state.PauseTiming();
        worker_flush_queue(world);
        state.ResumeTiming();
    }
    state.counters["median_ms"] = median_of(wall_ms);
    state.counters["max_ms"] = *std::max_element(wall_ms.begin(), wall_ms.end());
    state.counters["median_cpu_ms"] = median_of(cpu_ms);
    world_free(world);
}
BENCHMARK(BM_AutosaveOf50ModifiedChunks)->Iterations(21)->Unit(benchmark::kMillisecond);

void BM_ResidentAfter1000ChunkFlight(benchmark::State& state) {
    Sandbox box;
    const double before = resident_mib();
    World* world = fresh_world("long");
    if (!box.ok() || !world) {
        state.SkipWithError("no sandbox or world");
        return;
    }
    for (auto _ : state) fly_east(world, 1000);
    worker_flush_queue(world);
    state.counters["chunks"] = world->chunk_cache.chunk_count;
    state.counters["rss_mib"] = resident_mib();
    state.counters["rss_before_mib"] = before;
    world_free(world);
}
BENCHMARK(BM_ResidentAfter1000ChunkFlight)->Iterations(1)->Unit(benchmark::kMillisecond);

// Resident memory of a world whose chunks are generated, in play, lit and meshed.
void BM_ResidentWithGeneratedChunks(benchmark::State& state) {
    Sandbox box;
    const double before = resident_mib();
    World* world = state.range(0) <= 27 ? fresh_world("small") : world_with_500_chunks("big");
    if (!box.ok() || !world) {
        state.SkipWithError("no sandbox or world");
        return;
    }
    for (auto _ : state) {
        pthread_mutex_lock(&world->cache_mutex);
        for (int i = 0; i < world->chunk_cache.chunk_count; i++) {
            Chunk* c = &world->chunk_cache.chunks[i];
            c->loaded = true;
            worker_queue_chunk(world, c);
        }
        pthread_mutex_unlock(&world->cache_mutex);
        worker_flush_queue(world);
    }
    state.counters["chunks"] = world->chunk_cache.chunk_count;
    state.counters["rss_mib"] = resident_mib();
    state.counters["rss_before_mib"] = before;
    world_free(world);
}
BENCHMARK(BM_ResidentWithGeneratedChunks)->Arg(27)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
