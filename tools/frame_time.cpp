// Frame time of the standard scene: a fresh world with seed 42, the player on
// the terrain at the fresh-world spawn (8, 8) looking along +X with pitch -0.3,
// render distance 50, window 1200 x 800. The spawn area and the first
// streaming update are lit and meshed before the first frame is timed.
//
//   qvox_frame_time [-d distance] [-s WIDTHxHEIGHT] [-n frames] [-i] [-p x,y,z,yaw,pitch] [screenshot.png]
//   (run from the repository root; -i draws block by block instead of the chunk meshes;
//   -p puts the player elsewhere in the same world, for example 8,40,8,1.57,0 in a cave)
//
// Prints the median and 95th percentile frame time over the frames, the
// blocks rendered and the share of the frame spent in the render pass (main
// thread CPU time in game_update_render and game_render_world over the frame's wall time). The
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
#include "rendering.h"
#include "scene.h"
#include "world.h"

namespace {

struct Options {
    float render_distance = 50.0f;
    int width = 1200;
    int height = 800;
    int frames = 600;
    bool immediate = false;
    bool placed = false;
    float place[5] = {};  // x, y, z, yaw, pitch
    char screenshot[PATH_MAX] = {};
};

struct FrameSample {
    double wall_ms;
    double cpu_ms;
    double process_cpu_ms;  // every thread, the software rasteriser's included
    double render_cpu_ms;
    double render_wall_ms;
};

double clock_ms(clockid_t clock) {
    timespec now = {};
    if (clock_gettime(clock, &now) != 0) {
        std::perror("[frame_time] clock_gettime");
        return 0.0;
    }
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

double percentile(std::vector<double> values, int percent) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least `percent` % of the values at or below it.
    size_t rank = (values.size() * static_cast<size_t>(percent) + 99) / 100;
    if (rank < 1) rank = 1;
    return values[rank - 1];
}

bool save_frame(const char* path) {
    Image frame = LoadImageFromScreen();
    const bool saved = ExportImage(frame, path);
    UnloadImage(frame);
    if (!saved) std::fprintf(stderr, "[frame_time] writing %s failed\n", path);
    return saved;
}

// One frame as the game draws its world; the screenshot is read before the
// buffers are swapped.
FrameSample draw_frame(GameState* game, const char* screenshot) {
    FrameSample sample = {};
    const double wall0 = clock_ms(CLOCK_MONOTONIC), cpu0 = clock_ms(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
    const double render_wall0 = clock_ms(CLOCK_MONOTONIC), render_cpu0 = clock_ms(CLOCK_THREAD_CPUTIME_ID);
    game_update_render(game);
    BeginDrawing();
    ClearBackground(SKY_COLOR);
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

void report(const std::vector<FrameSample>& samples, int blocks_rendered) {
    std::vector<double> wall, cpu, process_cpu, render_cpu, render_share, render_wall_share;
    for (const FrameSample& s : samples) {
        wall.push_back(s.wall_ms);
        cpu.push_back(s.cpu_ms);
        render_cpu.push_back(s.render_cpu_ms);
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
    std::printf("render pass CPU   %.2f ms (main-thread CPU in game_update_render and game_render_world, median)\n",
                percentile(render_cpu, 50));
    std::printf("blocks_rendered   %d\n", blocks_rendered);
    std::printf("render pass share %.1f %% (main-thread CPU of the render pass / frame wall, median)\n",
                100.0 * percentile(render_share, 50));
    std::printf("render pass wall  %.1f %% (median)\n", 100.0 * percentile(render_wall_share, 50));
    std::printf("load average      %.2f %.2f %.2f\n", load[0], load[1], load[2]);
}

void report_meshes(const ChunkMeshSet* set) {
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
    std::printf(
        "chunk meshes      %d (%d with faces), card memory %.0f KiB, %.0f KiB per mesh with faces, largest %.0f KiB\n",
        set->count, with_faces, kib, with_faces > 0 ? kib / with_faces : 0.0, static_cast<double>(largest) / 1024.0);
}

// The screenshot path need not exist yet: it is made absolute against the start directory.
void absolute_path(const char* path, char* out, size_t size) {
    char cwd[PATH_MAX] = {};
    if (realpath(path, out)) return;
    if (path[0] == '/' || !getcwd(cwd, sizeof cwd))
        std::snprintf(out, size, "%s", path);
    else
        std::snprintf(out, size, "%s/%s", cwd, path);
}

bool parse_options(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; i++) {
        const bool has_value = i + 1 < argc;
        if (std::strcmp(argv[i], "-d") == 0 && has_value) {
            options->render_distance = std::strtof(argv[++i], nullptr);
        } else if (std::strcmp(argv[i], "-s") == 0 && has_value) {
            if (std::sscanf(argv[++i], "%dx%d", &options->width, &options->height) != 2) return false;
        } else if (std::strcmp(argv[i], "-n") == 0 && has_value) {
            options->frames = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "-p") == 0 && has_value) {
            float* p = options->place;
            if (std::sscanf(argv[++i], "%f,%f,%f,%f,%f", &p[0], &p[1], &p[2], &p[3], &p[4]) != 5) return false;
            options->placed = true;
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

// Moves the player and waits until the chunks around the new place are lit and listed.
void move_player(GameState* game, const float* place) {
    game->player->position = Vector3{place[0], place[1], place[2]};
    clouds_update(game->clouds, game->player->position);
    scene_look(game, place[3], place[4]);
    world_update_chunks(game->world, game->player->position, game->look.forward);
    scene_wait_for_worker(game->world);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: qvox_frame_time [-d distance] [-s WIDTHxHEIGHT] [-n frames] [-i] [-p x,y,z,yaw,pitch] "
                     "[screenshot.png]\n");
        return 2;
    }
    char dir[PATH_MAX] = {};
    char home[PATH_MAX] = {};
    if (!scene_enter_scratch_dir(dir, sizeof dir, home, sizeof home)) return 1;

    SetTraceLogLevel(LOG_NONE);
    render_keep_freed_memory();
    InitWindow(options.width, options.height, "qvox frame time");
    SetTargetFPS(0);
    world_system_init();
    static GameState game;
    const bool ready = scene_set_up(&game, options.render_distance);
    game.render.immediate_blocks = options.immediate;
    if (ready && options.placed) move_player(&game, options.place);
    std::vector<FrameSample> samples;
    if (ready) {
        samples.reserve(static_cast<size_t>(options.frames));
        for (int frame = 0; frame < options.frames; frame++) {
            const bool last = frame == options.frames - 1;
            samples.push_back(draw_frame(&game, last && options.screenshot[0] ? options.screenshot : nullptr));
        }
        std::printf("scene             render distance %.0f, window %d x %d\n", options.render_distance, options.width,
                    options.height);
        report(samples, game.frame.blocks_rendered);
        report_meshes(game.render.chunk_meshes);
    } else {
        std::fprintf(stderr, "[frame_time] setting up the scene failed\n");
    }
    scene_tear_down(&game);
    CloseWindow();
    scene_leave_scratch_dir(dir, home);
    return ready ? 0 : 1;
}
