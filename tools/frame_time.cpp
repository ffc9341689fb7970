// Frame time of the standard scene: a fresh world with seed 42, the player on
// the terrain at the fresh-world spawn (8, 8) looking along +X with pitch -0.3,
// render distance 50, window 1200 x 800. The spawn area and the first
// streaming update are lit and meshed before the first frame is timed.
//
//   qvox_frame_time [-d distance] [-s WIDTHxHEIGHT] [-n frames] [-i] [screenshot.png]
//   (run from the repository root; -i draws block by block instead of the chunk meshes)
//
// Prints the median and 95th percentile frame time over the frames, the
// blocks rendered and the share of the frame spent in the render pass (main
// thread CPU time inside game_render_world over the frame's wall time). The
// optional PNG is the last frame, for comparing pictures before and after a
// change. Runs in a temporary directory that holds a link to ./assets, so no
// world, settings or history of the repository is touched.
#include <ftw.h>
#include <limits.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "chunk_mesh.h"
#include "clouds.h"
#include "game.h"
#include "menu.h"
#include "player.h"
#include "raylib.h"
#include "world.h"

namespace {

constexpr uint64_t SCENE_SEED = 42;
constexpr float SCENE_X = 8.0f;
constexpr float SCENE_Z = 8.0f;
constexpr float SCENE_YAW = 1.5707964f;  // looking along +X
constexpr float SCENE_PITCH = -0.3f;
constexpr char SCENE_WORLD[] = "frametime";
constexpr Color SKY = {102, 191, 255, 255};

struct Options {
    float render_distance = 50.0f;
    int width = 1200;
    int height = 800;
    int frames = 600;
    bool immediate = false;
    char screenshot[PATH_MAX] = {};
};

struct FrameSample {
    double wall_ms;
    double cpu_ms;
    double process_cpu_ms;  // every thread, the software rasteriser's included
    double render_cpu_ms;
    double render_wall_ms;
};

double clock_ms(clockid_t clock)
{
    timespec now = {};
    if (clock_gettime(clock, &now) != 0) {
        std::perror("[frame_time] clock_gettime");
        return 0.0;
    }
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

double percentile(std::vector<double> values, int percent)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least `percent` % of the values at or below it.
    size_t rank = (values.size() * static_cast<size_t>(percent) + 99) / 100;
    if (rank < 1) rank = 1;
    return values[rank - 1];
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*)
{
    if (remove(path) != 0) std::fprintf(stderr, "[frame_time] remove %s: %s\n", path, std::strerror(errno));
    return 0;
}

void remove_scratch_dir(const char* dir)
{
    // FTW_PHYS removes the assets link itself, never what it points to.
    if (nftw(dir, remove_entry, 16, FTW_DEPTH | FTW_PHYS) != 0)
        std::fprintf(stderr, "[frame_time] removing %s: %s\n", dir, std::strerror(errno));
}

// Makes a fresh temporary directory with an `assets` link to the assets of
// the current directory and enters it; writes its path to `dir`.
bool enter_scratch_dir(char* dir, size_t size, char* home, size_t home_size)
{
    if (!getcwd(home, home_size)) {
        std::perror("[frame_time] getcwd");
        return false;
    }
    char assets[PATH_MAX] = {};
    char textures[PATH_MAX] = {};
    std::snprintf(assets, sizeof assets, "%s/assets", home);
    std::snprintf(textures, sizeof textures, "%s/textures/blocks", assets);
    // Without the block textures every face would come out flat: a different scene.
    if (access(textures, R_OK) != 0) {
        std::fprintf(stderr, "[frame_time] no block textures in %s (run from the repository root): %s\n", textures,
                     std::strerror(errno));
        return false;
    }
    std::snprintf(dir, size, "/tmp/qvox_frame_time_XXXXXX");
    if (!mkdtemp(dir)) {
        std::fprintf(stderr, "[frame_time] mkdtemp %s: %s\n", dir, std::strerror(errno));
        return false;
    }
    char link[PATH_MAX] = {};
    std::snprintf(link, sizeof link, "%s/assets", dir);
    if (symlink(assets, link) != 0) {
        std::fprintf(stderr, "[frame_time] symlink %s -> %s: %s\n", link, assets, std::strerror(errno));
        remove_scratch_dir(dir);
        return false;
    }
    if (chdir(dir) != 0) {
        std::fprintf(stderr, "[frame_time] chdir %s: %s\n", dir, std::strerror(errno));
        remove_scratch_dir(dir);
        return false;
    }
    return true;
}

void leave_scratch_dir(const char* dir, const char* home)
{
    if (chdir(home) != 0) std::fprintf(stderr, "[frame_time] chdir %s: %s\n", home, std::strerror(errno));
    remove_scratch_dir(dir);
}

bool worker_idle(World* world)
{
    WorkerQueue* q = &world->worker_queue;
    pthread_mutex_lock(&q->mutex);
    const bool idle = q->count == 0 && q->jobs_in_progress == 0;
    pthread_mutex_unlock(&q->mutex);
    return idle;
}

// A flush gives up after a while; the scene is only ready once nothing is left.
void wait_for_worker(World* world)
{
    do {
        worker_flush_queue(world);
    } while (world->worker_thread_started && !worker_idle(world));
}

// The game state of the first game frame in the standard scene.
bool set_up_scene(GameState* game, float render_distance)
{
    game_state_init(game);
    game->menu = menu_system_create();
    if (!game->menu) return false;
    game->menu->render_distance = render_distance;
    game->world = world_create();
    if (!game->world) return false;
    game->world->seed = SCENE_SEED;
    if (!world_load(game->world, SCENE_WORLD)) return false;
    // world_load keeps the seed of a world without metadata; the scene needs 42 whatever it did.
    if (game->world->seed != SCENE_SEED) {
        std::fprintf(stderr, "[frame_time] world seed is %lu, not %lu\n",
                     static_cast<unsigned long>(game->world->seed), static_cast<unsigned long>(SCENE_SEED));
        return false;
    }
    world_load_textures(game->world);
    wait_for_worker(game->world);
    const float y = player_safe_spawn_y(SCENE_X, WORLD_DEFAULT_PLAYER_Y, SCENE_Z, SCENE_SEED);
    game->player = player_create(SCENE_X, y, SCENE_Z);
    if (!game->player) return false;
    game->clouds = clouds_create("./assets/textures/clouds.png");
    game->camera_yaw = SCENE_YAW;
    game->camera_pitch = SCENE_PITCH;
    game->camera_forward = Vector3{cosf(SCENE_PITCH) * sinf(SCENE_YAW), sinf(SCENE_PITCH),
                                   cosf(SCENE_PITCH) * cosf(SCENE_YAW)};
    world_update_chunks(game->world, game->player->position, game->camera_forward);
    wait_for_worker(game->world);
    clouds_update(game->clouds, game->player->position);
    game_build_camera(game);
    return true;
}

void tear_down_scene(GameState* game)
{
    game_render_release(game);
    player_free(game->player);
    clouds_free(game->clouds);
    if (game->world) {
        world_unload_textures(game->world);
        world_free(game->world);
    }
    menu_system_free(game->menu);
}

bool save_frame(const char* path)
{
    Image frame = LoadImageFromScreen();
    const bool saved = ExportImage(frame, path);
    UnloadImage(frame);
    if (!saved) std::fprintf(stderr, "[frame_time] writing %s failed\n", path);
    return saved;
}

// One frame as the game draws its world; the screenshot is read before the
// buffers are swapped.
FrameSample draw_frame(GameState* game, const char* screenshot)
{
    FrameSample sample = {};
    const double wall0 = clock_ms(CLOCK_MONOTONIC), cpu0 = clock_ms(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
    BeginDrawing();
    ClearBackground(SKY);
    const double render_wall0 = clock_ms(CLOCK_MONOTONIC), render_cpu0 = clock_ms(CLOCK_THREAD_CPUTIME_ID);
    game_render_world(game);
    sample.render_cpu_ms = clock_ms(CLOCK_THREAD_CPUTIME_ID) - render_cpu0;
    sample.render_wall_ms = clock_ms(CLOCK_MONOTONIC) - render_wall0;
    if (screenshot) save_frame(screenshot);
    EndDrawing();
    sample.wall_ms = clock_ms(CLOCK_MONOTONIC) - wall0;
    sample.cpu_ms = clock_ms(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    sample.process_cpu_ms = clock_ms(CLOCK_PROCESS_CPUTIME_ID) - process0;
    return sample;
}

void report(const std::vector<FrameSample>& samples, int blocks_rendered)
{
    std::vector<double> wall, cpu, process_cpu, render_share, render_wall_share;
    for (const FrameSample& s : samples) {
        wall.push_back(s.wall_ms);
        cpu.push_back(s.cpu_ms);
        process_cpu.push_back(s.process_cpu_ms);
        render_share.push_back(s.wall_ms > 0.0 ? s.render_cpu_ms / s.wall_ms : 0.0);
        render_wall_share.push_back(s.wall_ms > 0.0 ? s.render_wall_ms / s.wall_ms : 0.0);
    }
    double load[3] = {};
    if (getloadavg(load, 3) != 3) std::fprintf(stderr, "[frame_time] getloadavg failed\n");
    std::printf("frames            %zu\n", samples.size());
    std::printf("frame median      %.2f ms\n", percentile(wall, 50));
    std::printf("frame p95         %.2f ms\n", percentile(wall, 95));
    std::printf("main CPU median   %.2f ms\n", percentile(cpu, 50));
    std::printf("process CPU median %.2f ms (all threads of the program)\n", percentile(process_cpu, 50));
    std::printf("blocks_rendered   %d\n", blocks_rendered);
    std::printf("render pass share %.1f %% (main-thread CPU in game_render_world / frame wall, median)\n",
                100.0 * percentile(render_share, 50));
    std::printf("render pass wall  %.1f %% (median)\n", 100.0 * percentile(render_wall_share, 50));
    std::printf("load average      %.2f %.2f %.2f\n", load[0], load[1], load[2]);
}

void report_meshes(const ChunkMeshSet* set)
{
    if (!set) {
        std::printf("blocks drawn      one by one\n");
        return;
    }
    size_t largest = 0;
    int with_faces = 0;
    for (int i = 0; i < set->count; i++) {
        const size_t bytes = static_cast<size_t>(set->meshes[i].vertex_count) * sizeof(ChunkMeshVertex);
        if (bytes > largest) largest = bytes;
        if (bytes > 0) with_faces++;
    }
    const double kib = static_cast<double>(chunk_meshes_card_bytes(set)) / 1024.0;
    std::printf("chunk meshes      %d (%d with faces), card memory %.0f KiB, %.0f KiB per mesh with faces, largest %.0f KiB\n",
                set->count, with_faces, kib, with_faces > 0 ? kib / with_faces : 0.0,
                static_cast<double>(largest) / 1024.0);
}

// The screenshot path need not exist yet: it is made absolute against the start directory.
void absolute_path(const char* path, char* out, size_t size)
{
    char cwd[PATH_MAX] = {};
    if (realpath(path, out)) return;
    if (path[0] == '/' || !getcwd(cwd, sizeof cwd)) std::snprintf(out, size, "%s", path);
    else std::snprintf(out, size, "%s/%s", cwd, path);
}

bool parse_options(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; i++) {
        const bool has_value = i + 1 < argc;
        if (std::strcmp(argv[i], "-d") == 0 && has_value) {
            options->render_distance = std::strtof(argv[++i], nullptr);
        } else if (std::strcmp(argv[i], "-s") == 0 && has_value) {
            if (std::sscanf(argv[++i], "%dx%d", &options->width, &options->height) != 2) return false;
        } else if (std::strcmp(argv[i], "-n") == 0 && has_value) {
            options->frames = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "-i") == 0) {
            options->immediate = true;
        } else if (argv[i][0] != '-') {
            absolute_path(argv[i], options->screenshot, sizeof options->screenshot);
        } else {
            return false;
        }
    }
    return options->render_distance > 0.0f && options->width > 0 && options->height > 0 && options->frames > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse_options(argc, argv, &options)) {
        std::fprintf(stderr, "usage: qvox_frame_time [-d distance] [-s WIDTHxHEIGHT] [-n frames] [-i] [screenshot.png]\n");
        return 2;
    }
    char dir[PATH_MAX] = {};
    char home[PATH_MAX] = {};
    if (!enter_scratch_dir(dir, sizeof dir, home, sizeof home)) return 1;

    SetTraceLogLevel(LOG_NONE);
    InitWindow(options.width, options.height, "qvox frame time");
    SetTargetFPS(0);
    world_system_init();
    static GameState game;
    const bool ready = set_up_scene(&game, options.render_distance);
    game.immediate_blocks = options.immediate;
    std::vector<FrameSample> samples;
    if (ready) {
        samples.reserve(static_cast<size_t>(options.frames));
        for (int frame = 0; frame < options.frames; frame++) {
            const bool last = frame == options.frames - 1;
            samples.push_back(draw_frame(&game, last && options.screenshot[0] ? options.screenshot : nullptr));
        }
        std::printf("scene             render distance %.0f, window %d x %d\n", options.render_distance,
                    options.width, options.height);
        report(samples, game.blocks_rendered);
        report_meshes(game.chunk_meshes);
    } else {
        std::fprintf(stderr, "[frame_time] setting up the scene failed\n");
    }
    tear_down_scene(&game);
    CloseWindow();
    leave_scratch_dir(dir, home);
    return ready ? 0 : 1;
}

