// Paints the main-menu backgrounds: blocky landscapes in layers that fade
// into the sky, one at dusk and one at night, and writes them as PNG files.
//
//   qvox_gen_backgrounds [output folder]   (default: assets/mainmenubackground)
//
// Fixed seeds: a run always produces the same pixels. No window is opened.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "raylib.h"
#include "tool_rng.h"

namespace {

constexpr int WIDTH = 1200;
constexpr int HEIGHT = 800;

unsigned char channel(float v) {
    return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

Color mix(Color a, Color b, float t) {
    return Color{channel(a.r + (b.r - a.r) * t), channel(a.g + (b.g - a.g) * t), channel(a.b + (b.b - a.b) * t), 255};
}

Color shade(Color c, int delta) {
    return Color{channel(static_cast<float>(c.r + delta)), channel(static_cast<float>(c.g + delta)),
                 channel(static_cast<float>(c.b + delta)), 255};
}

// The library's image drawing replaces pixels; translucent paint is blended here.
void blend_pixel(Image* img, int x, int y, Color c) {
    if (x < 0 || y < 0 || x >= img->width || y >= img->height) return;
    Color* px = static_cast<Color*>(img->data) + y * img->width + x;
    float a = c.a / 255.0f;
    *px = mix(*px, Color{c.r, c.g, c.b, 255}, a);
}

void blend_rect(Image* img, int x, int y, int w, int h, Color c) {
    for (int j = y; j < y + h; j++) {
        for (int i = x; i < x + w; i++) blend_pixel(img, i, j, c);
    }
}

void blend_circle(Image* img, int cx, int cy, int r, Color c) {
    for (int j = -r; j <= r; j++) {
        for (int i = -r; i <= r; i++) {
            if (i * i + j * j <= r * r) blend_pixel(img, cx + i, cy + j, c);
        }
    }
}

// Smooth 1D value noise from a hashed lattice.
float lattice(int i, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(i) * 374761393u + seed * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>(h & 0xffff) / 65535.0f;
}

float noise1(float x, uint32_t seed) {
    int i = static_cast<int>(std::floor(x));
    float f = x - static_cast<float>(i);
    float s = f * f * (3.0f - 2.0f * f);
    return lattice(i, seed) + (lattice(i + 1, seed) - lattice(i, seed)) * s;
}

float ridge(float x, uint32_t seed) {
    return noise1(x * 0.08f, seed) * 0.65f + noise1(x * 0.23f, seed + 7) * 0.25f + noise1(x * 0.7f, seed + 13) * 0.1f;
}

struct Scene {
    Color sky_top, sky_horizon;
    Color grass, dirt, stone;
    Color haze;
    bool night;
    uint32_t seed;
};

void paint_sky(Image* img, const Scene& s, Rng* rng) {
    for (int y = 0; y < HEIGHT; y++) {
        float t = std::pow(static_cast<float>(y) / HEIGHT, 1.4f);
        ImageDrawLine(img, 0, y, WIDTH - 1, y, mix(s.sky_top, s.sky_horizon, t));
    }
    if (s.night) {
        for (int i = 0; i < 260; i++) {
            int x = rng->range(0, WIDTH - 1);
            int y = rng->range(0, HEIGHT * 6 / 10);
            int b = rng->range(120, 255);
            int size = rng->range(0, 9) == 0 ? 2 : 1;
            ImageDrawRectangle(img, x, y, size, size, Color{channel(b), channel(b), channel(b + 20), 255});
        }
        ImageDrawCircle(img, 930, 150, 46, Color{240, 240, 225, 255});
        ImageDrawCircle(img, 948, 140, 40, mix(s.sky_top, s.sky_horizon, 0.1f));
    } else {
        for (int r = 160; r > 40; r -= 8) {
            blend_circle(img, 880, 470, r, Color{255, 190, 110, 14});
        }
        ImageDrawCircle(img, 880, 470, 44, Color{255, 226, 160, 255});
    }
}

// Blocky clouds drawn as stacked rectangles on a 12-pixel grid.
void paint_clouds(Image* img, const Scene& s, Rng* rng) {
    Color cloud = s.night ? Color{70, 80, 110, 120} : Color{255, 215, 190, 150};
    for (int c = 0; c < 7; c++) {
        int cx = rng->range(-100, WIDTH) / 12 * 12;
        int cy = rng->range(40, 330) / 12 * 12;
        int w = rng->range(8, 20);
        for (int row = 0; row < 3; row++) {
            int inset = row == 1 ? 0 : rng->range(1, 4);
            int len = w - inset * 2 - (row == 2 ? 2 : 0);
            blend_rect(img, cx + inset * 12, cy + row * 12, len * 12, 12, cloud);
        }
    }
}

void paint_block(Image* img, int x, int y, int size, Color base, Rng* rng) {
    ImageDrawRectangle(img, x, y, size, size, shade(base, rng->range(-10, 10)));
    int speckles = size / 3;
    for (int i = 0; i < speckles; i++) {
        int px = x + rng->range(0, size - 3);
        int py = y + rng->range(0, size - 3);
        ImageDrawRectangle(img, px, py, 2, 2, shade(base, rng->range(-24, 16)));
    }
    ImageDrawRectangle(img, x, y + size - 1, size, 1, shade(base, -28));
    ImageDrawRectangle(img, x + size - 1, y, 1, size, shade(base, -18));
}

// One range of hills: columns of blocks whose colours fade into the haze
// with distance (`fade` 0 near, 1 far).
void paint_layer(Image* img, const Scene& s, int block, int base_y, int amplitude, float fade, uint32_t seed,
                 Rng* rng) {
    int columns = WIDTH / block + 1;
    int glow_x[64] = {0};
    int glow_y[64] = {0};
    int glows = 0;
    for (int c = 0; c < columns; c++) {
        int top = base_y - static_cast<int>(ridge(static_cast<float>(c), seed) * amplitude) / block * block;
        for (int y = top, depth = 0; y < HEIGHT; y += block, depth++) {
            Color base = depth == 0 ? s.grass : (depth < 3 ? s.dirt : s.stone);
            paint_block(img, c * block, y, block, mix(base, s.haze, fade), rng);
        }
        if (s.night && fade < 0.3f && glows < 64 && rng->range(0, 13) == 0) {
            glow_x[glows] = c * block;
            glow_y[glows] = top + block * rng->range(1, 3);
            glows++;
        }
    }
    // Glowstone light spills over the neighbouring columns, so it goes on last.
    for (int i = 0; i < glows; i++) {
        blend_circle(img, glow_x[i] + block / 2, glow_y[i] + block / 2, block * 2, Color{255, 200, 90, 40});
    }
    for (int i = 0; i < glows; i++) {
        paint_block(img, glow_x[i], glow_y[i], block, Color{250, 205, 110, 255}, rng);
    }
}

void paint_scene(Image* img, const Scene& s) {
    Rng rng{s.seed * 0x9E3779B97F4A7C15ULL + 1};
    paint_sky(img, s, &rng);
    paint_clouds(img, s, &rng);
    paint_layer(img, s, 12, 560, 260, 0.72f, s.seed + 1, &rng);
    paint_layer(img, s, 20, 640, 220, 0.45f, s.seed + 2, &rng);
    paint_layer(img, s, 32, 740, 200, 0.0f, s.seed + 3, &rng);
}

bool write_scene(const std::string& dir, const char* name, const Scene& s) {
    Image img = GenImageColor(WIDTH, HEIGHT, s.sky_top);
    paint_scene(&img, s);
    std::string path = dir + "/" + name;
    bool ok = ExportImage(img, path.c_str());
    UnloadImage(img);
    if (!ok) {
        fprintf(stderr, "[backgrounds] failed to write %s\n", path.c_str());
    } else {
        printf("[backgrounds] wrote %s\n", path.c_str());
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    SetTraceLogLevel(LOG_WARNING);
    std::string dir = argc > 1 ? argv[1] : "assets/mainmenubackground";
    Scene dusk = {Color{28, 36, 72, 255},
                  Color{236, 142, 92, 255},
                  Color{92, 150, 64, 255},
                  Color{122, 86, 58, 255},
                  Color{112, 112, 118, 255},
                  Color{180, 120, 120, 255},
                  false,
                  11};
    Scene night = {Color{6, 10, 28, 255},
                   Color{40, 58, 104, 255},
                   Color{46, 88, 52, 255},
                   Color{74, 54, 40, 255},
                   Color{70, 72, 82, 255},
                   Color{34, 46, 84, 255},
                   true,
                   23};
    bool ok = write_scene(dir, "dusk.png", dusk);
    ok = write_scene(dir, "night.png", night) && ok;
    return ok ? 0 : 1;
}
