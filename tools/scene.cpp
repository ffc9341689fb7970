// The standard scene shared by the frame-time tool and the picture test.
#include "scene.h"

#include <ftw.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "clouds.h"
#include "menu.h"
#include "player.h"
#include "world.h"

static constexpr char SCENE_WORLD[] = "scene";

void scene_look(GameState* game, float yaw, float pitch) {
    game->look.yaw = yaw;
    game->look.pitch = pitch;
    game->look.forward = Vector3{cosf(pitch) * sinf(yaw), sinf(pitch), cosf(pitch) * cosf(yaw)};
    game_build_camera(game);
}

static int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    if (remove(path) != 0) std::fprintf(stderr, "[scene] remove %s: %s\n", path, std::strerror(errno));
    return 0;
}

static void remove_scratch_dir(const char* dir) {
    // FTW_PHYS removes the assets link itself, never what it points to.
    if (nftw(dir, remove_entry, 16, FTW_DEPTH | FTW_PHYS) != 0)
        std::fprintf(stderr, "[scene] removing %s: %s\n", dir, std::strerror(errno));
}

bool scene_enter_scratch_dir(char* dir, size_t size, char* home, size_t home_size) {
    if (!getcwd(home, home_size)) {
        std::perror("[scene] getcwd");
        return false;
    }
    char assets[PATH_MAX] = {};
    char textures[PATH_MAX] = {};
    std::snprintf(assets, sizeof assets, "%s/assets", home);
    std::snprintf(textures, sizeof textures, "%s/textures/blocks", assets);
    // Without the block textures every face would come out flat: a different scene.
    if (access(textures, R_OK) != 0) {
        std::fprintf(stderr, "[scene] no block textures in %s (run from the repository root): %s\n", textures,
                     std::strerror(errno));
        return false;
    }
    std::snprintf(dir, size, "/tmp/qvox_frame_time_XXXXXX");
    if (!mkdtemp(dir)) {
        std::fprintf(stderr, "[scene] mkdtemp %s: %s\n", dir, std::strerror(errno));
        return false;
    }
    char link[PATH_MAX] = {};
    std::snprintf(link, sizeof link, "%s/assets", dir);
    if (symlink(assets, link) != 0) {
        std::fprintf(stderr, "[scene] symlink %s -> %s: %s\n", link, assets, std::strerror(errno));
        remove_scratch_dir(dir);
        return false;
    }
    if (chdir(dir) != 0) {
        std::fprintf(stderr, "[scene] chdir %s: %s\n", dir, std::strerror(errno));
        remove_scratch_dir(dir);
        return false;
    }
    return true;
}

void scene_leave_scratch_dir(const char* dir, const char* home) {
    if (chdir(home) != 0) std::fprintf(stderr, "[scene] chdir %s: %s\n", home, std::strerror(errno));
    remove_scratch_dir(dir);
}

static bool worker_idle(World* world) {
    WorkerQueue* q = &world->worker_queue;
    pthread_mutex_lock(&q->mutex);
    const bool idle = q->count == 0 && q->jobs_in_progress == 0;
    pthread_mutex_unlock(&q->mutex);
    return idle;
}

// A flush gives up after a while; the scene is only ready once nothing is left.
void scene_wait_for_worker(World* world) {
    do {
        worker_flush_queue(world);
    } while (world->worker_thread_started && !worker_idle(world));
}

bool scene_set_up(GameState* game, float render_distance) {
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
        std::fprintf(stderr, "[scene] world seed is %lu, not %lu\n", static_cast<unsigned long>(game->world->seed),
                     static_cast<unsigned long>(SCENE_SEED));
        return false;
    }
    world_load_textures(game->world);
    scene_wait_for_worker(game->world);
    const float y = player_safe_spawn_y(SCENE_X, WORLD_DEFAULT_PLAYER_Y, SCENE_Z, SCENE_SEED);
    game->player = player_create(SCENE_X, y, SCENE_Z);
    if (!game->player) return false;
    game->clouds = clouds_create("./assets/textures/clouds.png");
    scene_look(game, SCENE_YAW, SCENE_PITCH);
    world_update_chunks(game->world, game->player->position, game->look.forward);
    scene_wait_for_worker(game->world);
    clouds_update(game->clouds, game->player->position);
    return true;
}

void scene_tear_down(GameState* game) {
    game_render_release(game);
    player_free(game->player);
    clouds_free(game->clouds);
    if (game->world) {
        world_unload_textures(game->world);
        world_free(game->world);
    }
    menu_system_free(game->menu);
}
