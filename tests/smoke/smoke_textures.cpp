// Window smoke test: opens a real raylib window, loads the block textures
// through the world, draws one textured cube per block texture and checks the
// texture log lines and the rendered picture.
//
//   qvox_smoke [screenshot path]      (run from the repository root)
//
// Exits 0 when everything checks out, 1 otherwise.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "raylib.h"
#include "rlgl.h"
#include "world.h"

namespace {

constexpr int WINDOW_WIDTH = 1200;
constexpr int WINDOW_HEIGHT = 800;
constexpr int FRAMES = 5;

struct Sample {
    const char* name;
    BlockType type;
};

constexpr Sample SAMPLES[] = {
    {"grass", BLOCK_GRASS}, {"dirt", BLOCK_DIRT}, {"stone", BLOCK_STONE},
    {"sand", BLOCK_SAND},   {"wood", BLOCK_WOOD}, {"bedrock", BLOCK_BEDROCK},
};
constexpr int SAMPLE_COUNT = sizeof(SAMPLES) / sizeof(SAMPLES[0]);

int failures = 0;

void fail(const char* what, const std::string& detail = "") {
    std::fprintf(stderr, "[smoke] FAIL: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    ++failures;
}

void close_or_log(int fd) {
    if (close(fd) != 0) std::fprintf(stderr, "[smoke] close: %s\n", std::strerror(errno));
}

// Runs world_load_textures with standard output sent to a temporary file and
// returns what it printed.
bool load_textures_capturing_stdout(World* world, std::string& printed) {
    char path[] = "/tmp/qvox_smoke_stdout_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        std::fprintf(stderr, "[smoke] mkstemp: %s\n", std::strerror(errno));
        return false;
    }
    if (unlink(path) != 0) std::fprintf(stderr, "[smoke] unlink %s: %s\n", path, std::strerror(errno));

    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    if (saved < 0 || dup2(fd, STDOUT_FILENO) < 0) {
        std::fprintf(stderr, "[smoke] redirecting stdout: %s\n", std::strerror(errno));
        if (saved >= 0) close_or_log(saved);
        close_or_log(fd);
        return false;
    }
    world_load_textures(world);
    std::fflush(stdout);
    const bool restored = dup2(saved, STDOUT_FILENO) >= 0;
    if (!restored) std::fprintf(stderr, "[smoke] restoring stdout: %s\n", std::strerror(errno));
    close_or_log(saved);

    bool ok = restored;
    if (lseek(fd, 0, SEEK_SET) < 0) {
        std::fprintf(stderr, "[smoke] lseek: %s\n", std::strerror(errno));
        ok = false;
    }
    char buffer[4096];
    for (ssize_t n; ok && (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "[smoke] read: %s\n", std::strerror(errno));
            ok = false;
        } else {
            printed.append(buffer, static_cast<size_t>(n));
        }
    }
    close_or_log(fd);
    return ok;
}

// The id printed in "[textures] <name> texture id: N", or -1 when the line is missing.
int printed_texture_id(const std::string& printed, const char* name) {
    const std::string prefix = std::string("[textures] ") + name + " texture id: ";
    const size_t at = printed.find(prefix);
    if (at == std::string::npos || (at != 0 && printed[at - 1] != '\n')) return -1;
    char* end = nullptr;
    const long id = std::strtol(printed.c_str() + at + prefix.size(), &end, 10);
    if (end == printed.c_str() + at + prefix.size() || *end != '\n') return -1;
    return static_cast<int>(id);
}

void check_texture_log(World* world, const std::string& printed) {
    for (const Sample& sample : SAMPLES) {
        const int id = printed_texture_id(printed, sample.name);
        if (id <= 0) {
            fail("no positive texture id logged", sample.name);
            continue;
        }
        const unsigned int bound = world_get_block_texture(world, sample.type).id;
        if (bound != static_cast<unsigned int>(id))
            fail("world_get_block_texture disagrees with the logged id",
                 std::string(sample.name) + " logged " + std::to_string(id) + ", returned " + std::to_string(bound));
    }
    if (printed.find("[textures] Block textures loaded\n") == std::string::npos)
        fail("missing \"[textures] Block textures loaded\"");
    if (world_get_block_texture(world, BLOCK_STONE).id == world_get_block_texture(world, BLOCK_BEDROCK).id)
        fail("bedrock shares the stone texture object instead of loading its own");
}

// One face: four corners counter-clockwise seen from outside, with a brightness.
struct Face {
    float corners[4][3];
    unsigned char light;
};

constexpr Face CUBE_FACES[] = {
    {{{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}}, 200},      // +x
    {{{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}, 200},  // -x
    {{{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}, 255},      // +y
    {{{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}, 130},  // -y
    {{{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}, 170},      // +z
    {{{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}, 170},  // -z
};
constexpr float FACE_UV[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};

void draw_textured_cube(Texture2D texture, Vector3 centre, float size) {
    const float h = size / 2;
    rlSetTexture(texture.id);
    for (const Face& face : CUBE_FACES) {
        rlBegin(RL_QUADS);
        rlColor4ub(face.light, face.light, face.light, 255);
        for (int i = 0; i < 4; ++i) {
            rlTexCoord2f(FACE_UV[i][0], FACE_UV[i][1]);
            rlVertex3f(centre.x + face.corners[i][0] * h, centre.y + face.corners[i][1] * h,
                       centre.z + face.corners[i][2] * h);
        }
        rlEnd();
    }
    rlSetTexture(0);
}

Vector3 sample_position(int i) {
    return Vector3{(i - (SAMPLE_COUNT - 1) / 2.0f) * 2.2f, 0.0f, 0.0f};
}

// Draws the row of cubes for a few frames and returns a copy of the last one.
Image render_scene(World* world) {
    Camera3D camera{};
    camera.position = Vector3{3.0f, 4.5f, 9.5f};
    camera.target = Vector3{0.0f, 0.0f, 0.0f};
    camera.up = Vector3{0.0f, 1.0f, 0.0f};
    camera.fovy = 55.0f;
    camera.projection = CAMERA_PERSPECTIVE;

    Image shot{};
    for (int frame = 0; frame < FRAMES; ++frame) {
        BeginDrawing();
        ClearBackground(SKY_COLOR);
        BeginMode3D(camera);
        for (int i = 0; i < SAMPLE_COUNT; ++i)
            draw_textured_cube(world_get_block_texture(world, SAMPLES[i].type), sample_position(i), 1.6f);
        EndMode3D();
        if (frame == FRAMES - 1) {
            rlDrawRenderBatchActive();
            shot = LoadImageFromScreen();
        }
        EndDrawing();
    }

    // Every cube must have covered the pixel at its centre.
    for (int i = 0; i < SAMPLE_COUNT; ++i) {
        const Vector2 at = GetWorldToScreen(sample_position(i), camera);
        const int x = static_cast<int>(at.x), y = static_cast<int>(at.y);
        if (shot.data == nullptr || x < 0 || y < 0 || x >= shot.width || y >= shot.height) {
            fail("cube centre off screen", SAMPLES[i].name);
            continue;
        }
        const Color c = GetImageColor(shot, x, y);
        if (c.r == SKY_COLOR.r && c.g == SKY_COLOR.g && c.b == SKY_COLOR.b) fail("cube not drawn", SAMPLES[i].name);
    }
    return shot;
}

void check_picture(const Image& shot) {
    if (shot.data == nullptr || shot.width != WINDOW_WIDTH || shot.height != WINDOW_HEIGHT) {
        fail("screen capture failed or has the wrong size");
        return;
    }
    std::unordered_set<uint32_t> colours;
    long sky_pixels = 0;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const Color c = GetImageColor(shot, x, y);
            colours.insert(static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b);
            if (c.r == SKY_COLOR.r && c.g == SKY_COLOR.g && c.b == SKY_COLOR.b) ++sky_pixels;
        }
    }
    const long total = static_cast<long>(shot.width) * shot.height;
    std::printf("[smoke] %zu distinct colours, %.1f%% sky\n", colours.size(), 100.0 * sky_pixels / total);
    if (colours.size() < 200) fail("too few distinct colours for textured cubes", std::to_string(colours.size()));
    if (sky_pixels == total) fail("picture is nothing but sky");
    if (sky_pixels < total / 4) fail("the sky background is missing");
}

}  // namespace

int main(int argc, char** argv) {
    const char* screenshot_path = argc > 1 ? argv[1] : "smoke_screenshot.png";

    SetTraceLogLevel(LOG_NONE);
    InitWindow(WINDOW_WIDTH, WINDOW_HEIGHT, "qvox smoke test");
    if (!IsWindowReady()) {
        std::fprintf(stderr, "[smoke] FAIL: could not open a window\n");
        return 1;
    }

    World* world = world_create();
    if (world == nullptr) {
        std::fprintf(stderr, "[smoke] FAIL: world_create returned null\n");
        CloseWindow();
        return 1;
    }

    std::string printed;
    if (load_textures_capturing_stdout(world, printed)) {
        if (std::fputs(printed.c_str(), stdout) == EOF)
            std::fprintf(stderr, "[smoke] could not echo the texture log\n");
        check_texture_log(world, printed);
    } else {
        fail("could not capture the output of world_load_textures");
    }

    Image shot = render_scene(world);
    check_picture(shot);
    if (shot.data != nullptr) {
        if (ExportImage(shot, screenshot_path))
            std::printf("[smoke] screenshot: %s\n", screenshot_path);
        else
            fail("could not write the screenshot", screenshot_path);
        UnloadImage(shot);
    }

    world_unload_textures(world);
    world_free(world);
    CloseWindow();

    std::printf("[smoke] %s\n", failures == 0 ? "passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}
