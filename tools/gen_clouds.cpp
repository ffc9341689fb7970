// Paints qvox's cloud layer image: soft white clouds on transparency, seamless
// across opposite edges so neighbouring cloud tiles join without a seam.
//
//   qvox_gen_clouds [output file]     (default: assets/textures/clouds.png)
//
// Built as build/qvox_gen_clouds; `make clouds` repaints the committed image.
//
// A fixed seed makes every run produce the same pixels. No window is opened.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "raylib.h"

namespace {

constexpr int SIZE = 512;
constexpr int OCTAVES = 5;
constexpr int BASE_CELLS = 8;  // lattice cells across the image in the first octave
constexpr uint64_t SEED = 0x51D0C10DULL;

uint32_t lattice_value(int x, int y, int octave) {
    uint64_t h = SEED ^ (static_cast<uint64_t>(static_cast<uint32_t>(x)) * 0x9E3779B97F4A7C15ULL) ^
                 (static_cast<uint64_t>(static_cast<uint32_t>(y)) * 0xC2B2AE3D27D4EB4FULL) ^
                 (static_cast<uint64_t>(octave) << 56);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    return static_cast<uint32_t>(h >> 40);
}

float smooth(float t) {
    return t * t * (3.0f - 2.0f * t);
}

// Value noise on a lattice of `cells` x `cells` that wraps around, so the
// field repeats exactly once across the image.
float tiled_noise(float u, float v, int cells, int octave) {
    const float x = u * static_cast<float>(cells), y = v * static_cast<float>(cells);
    const int x0 = static_cast<int>(floorf(x)), y0 = static_cast<int>(floorf(y));
    const float fx = smooth(x - static_cast<float>(x0)), fy = smooth(y - static_cast<float>(y0));
    auto at = [cells, octave](int i, int j) {
        return static_cast<float>(lattice_value(((i % cells) + cells) % cells, ((j % cells) + cells) % cells, octave)) /
               16777215.0f;
    };
    const float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx;
    const float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx;
    return top + (bottom - top) * fy;
}

float cloud_density(float u, float v) {
    float sum = 0.0f, amplitude = 0.5f, norm = 0.0f;
    int cells = BASE_CELLS;
    for (int octave = 0; octave < OCTAVES; octave++) {
        sum += tiled_noise(u, v, cells, octave) * amplitude;
        norm += amplitude;
        amplitude *= 0.5f;
        cells *= 2;
    }
    return sum / norm;
}

// Only the upper part of the noise becomes cloud, with soft edges.
unsigned char cloud_alpha(float density) {
    const float lo = 0.54f, hi = 0.70f;
    float t = (density - lo) / (hi - lo);
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    return static_cast<unsigned char>(smooth(t) * 235.0f + 0.5f);
}

}  // namespace

int main(int argc, char** argv) {
    const char* out = argc > 1 ? argv[1] : "assets/textures/clouds.png";
    SetTraceLogLevel(LOG_WARNING);
    Image image = GenImageColor(SIZE, SIZE, Color{255, 255, 255, 0});
    Color* pixels = static_cast<Color*>(image.data);
    for (int y = 0; y < SIZE; y++) {
        for (int x = 0; x < SIZE; x++) {
            const float density = cloud_density(static_cast<float>(x) / SIZE, static_cast<float>(y) / SIZE);
            // Thicker parts are a touch greyer underneath, which reads as volume.
            const unsigned char shade =
                static_cast<unsigned char>(255.0f - (density > 0.75f ? (density - 0.75f) * 60.0f : 0.0f));
            pixels[y * SIZE + x] = Color{shade, shade, 255, cloud_alpha(density)};
        }
    }
    const bool ok = ExportImage(image, out);
    UnloadImage(image);
    if (!ok) {
        fprintf(stderr, "[clouds] Failed to write %s\n", out);
        return EXIT_FAILURE;
    }
    printf("[clouds] Wrote %s\n", out);
    return EXIT_SUCCESS;
}
