// Paints qvox's 16 x 16 block textures and writes them as PNG files.
//
//   qvox_gen_textures [output folder]     (default: assets/textures/blocks)
//
// Every texture comes from its own fixed-seed generator, so a run always
// produces the same pixels. No window is opened.
#include <cstdint>
#include <cstdio>
#include <string>

#include "raylib.h"
#include "tool_rng.h"

namespace {

constexpr int SIZE = 16;

unsigned char clamp_channel(int v) {
    return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

Color shade(Color c, int delta) {
    return Color{clamp_channel(c.r + delta), clamp_channel(c.g + delta), clamp_channel(c.b + delta), 255};
}

Color mix(Color a, Color b, int percent_b) {
    auto lerp = [percent_b](int x, int y) { return clamp_channel(x + (y - x) * percent_b / 100); };
    return Color{lerp(a.r, b.r), lerp(a.g, b.g), lerp(a.b, b.b), 255};
}

int wrap(int v) {
    return ((v % SIZE) + SIZE) % SIZE;
}

// Tileable smooth noise: random values on a coarse lattice, blended bilinearly.
struct Field {
    int values[SIZE][SIZE];

    Field(Rng& rng, int cell, int amplitude) {
        const int cells = SIZE / cell;
        int lattice[SIZE][SIZE] = {};
        for (int j = 0; j < cells; ++j)
            for (int i = 0; i < cells; ++i) lattice[j][i] = rng.range(-amplitude, amplitude);
        for (int y = 0; y < SIZE; ++y) {
            for (int x = 0; x < SIZE; ++x) {
                const int i0 = x / cell, j0 = y / cell;
                const int i1 = (i0 + 1) % cells, j1 = (j0 + 1) % cells;
                const int fx = x % cell, fy = y % cell;
                const int top = lattice[j0][i0] * (cell - fx) + lattice[j0][i1] * fx;
                const int bottom = lattice[j1][i0] * (cell - fx) + lattice[j1][i1] * fx;
                values[y][x] = (top * (cell - fy) + bottom * fy) / (cell * cell);
            }
        }
    }
};

struct Canvas {
    Image image;

    Canvas() : image(GenImageColor(SIZE, SIZE, BLACK)) {}
    ~Canvas() { UnloadImage(image); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Color get(int x, int y) const { return static_cast<const Color*>(image.data)[wrap(y) * SIZE + wrap(x)]; }
    void set(int x, int y, Color c) { ImageDrawPixel(&image, wrap(x), wrap(y), c); }
};

void paint_grass(Canvas& c) {
    Rng rng{0x9e3779b97f4a7c15ULL};
    const Color base{92, 158, 52, 255};
    Field patches(rng, 8, 12);
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) c.set(x, y, shade(base, patches.values[y][x] + rng.range(-10, 10)));
    // Blades: short upright strokes, dark ones in the shade, light ones catching the sun.
    for (int i = 0; i < 22; ++i) {
        const int x = rng.range(0, SIZE - 1), y = rng.range(0, SIZE - 1);
        const int length = rng.range(2, 3);
        const bool light = rng.chance(45);
        for (int k = 0; k < length; ++k) {
            const int tip = (k == length - 1);
            const Color blade = light ? Color{134, 196, 80, 255} : Color{58, 112, 34, 255};
            c.set(x, y - k, shade(blade, light ? 10 * tip : -6 * tip));
        }
    }
    // A few single bright specks.
    for (int i = 0; i < 6; ++i) c.set(rng.range(0, SIZE - 1), rng.range(0, SIZE - 1), Color{158, 212, 98, 255});
}

void paint_dirt(Canvas& c) {
    Rng rng{0xd1b54a32d192ed03ULL};
    const Color base{134, 94, 62, 255};
    Field clumps(rng, 4, 10);
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) c.set(x, y, shade(base, clumps.values[y][x] + rng.range(-8, 8)));
    for (int i = 0; i < 30; ++i) {
        const int x = rng.range(0, SIZE - 1), y = rng.range(0, SIZE - 1);
        c.set(x, y, rng.chance(60) ? Color{96, 66, 42, 255} : Color{164, 122, 86, 255});
    }
    // Pebbles: small grey stones with a lit top edge and a shadow below.
    for (int i = 0; i < 4; ++i) {
        const int x = rng.range(0, SIZE - 1), y = rng.range(0, SIZE - 1);
        const int width = rng.range(1, 2);
        const Color pebble = shade(Color{138, 128, 116, 255}, rng.range(-12, 12));
        for (int k = 0; k < width; ++k) {
            c.set(x + k, y, shade(pebble, 18));
            c.set(x + k, y + 1, pebble);
            c.set(x + k, y + 2, Color{84, 58, 38, 255});
        }
    }
}

void paint_stone(Canvas& c) {
    Rng rng{0x94d049bb133111ebULL};
    const Color base{126, 126, 128, 255};
    Field mottling(rng, 4, 18);
    Field broad(rng, 8, 6);
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x)
            c.set(x, y, shade(base, mottling.values[y][x] + broad.values[y][x] + rng.range(-6, 6)));
    // Cracks: wandering dark lines with a lighter rim on one side.
    for (int i = 0; i < 3; ++i) {
        int x = rng.range(0, SIZE - 1), y = rng.range(0, SIZE - 1);
        const int dx = rng.chance(50) ? 1 : -1;
        const int length = rng.range(5, 8);
        for (int k = 0; k < length; ++k) {
            c.set(x, y, Color{82, 82, 86, 255});
            c.set(x, y + 1, shade(c.get(x, y + 1), 14));
            if (rng.chance(55))
                x += dx;
            else
                y += rng.chance(50) ? 1 : -1;
        }
    }
    for (int i = 0; i < 10; ++i) {
        const int x = rng.range(0, SIZE - 1), y = rng.range(0, SIZE - 1);
        c.set(x, y, shade(c.get(x, y), rng.chance(50) ? -18 : 16));
    }
}

void paint_sand(Canvas& c) {
    Rng rng{0xbf58476d1ce4e5b9ULL};
    const Color base{222, 208, 160, 255};
    Field ripples(rng, 8, 5);
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) c.set(x, y, shade(base, ripples.values[y][x] + rng.range(-7, 7)));
    for (int i = 0; i < 26; ++i) {
        const int x = rng.range(0, SIZE - 1), y = rng.range(0, SIZE - 1);
        c.set(x, y, rng.chance(65) ? Color{196, 178, 128, 255} : Color{240, 230, 192, 255});
    }
    for (int i = 0; i < 3; ++i) c.set(rng.range(0, SIZE - 1), rng.range(0, SIZE - 1), Color{176, 160, 120, 255});
}

void paint_wood(Canvas& c) {
    Rng rng{0x2545f4914f6cdd1dULL};
    const Color base{164, 116, 66, 255};
    const Color seam{72, 46, 24, 255};
    constexpr int BOARD = 4;
    for (int board = 0; board < SIZE / BOARD; ++board) {
        const Color tone = shade(base, rng.range(-14, 10));
        const int top = board * BOARD;
        // Grain: each row of the board carries a few darker streaks of random length.
        for (int row = 0; row < BOARD - 1; ++row) {
            const int y = top + row;
            for (int x = 0; x < SIZE; ++x) c.set(x, y, shade(tone, rng.range(-4, 4) + (row == 0 ? 8 : 0)));
            for (int streak = 0; streak < 2; ++streak) {
                const int start = rng.range(0, SIZE - 1);
                const int length = rng.range(3, 7);
                for (int k = 0; k < length; ++k) c.set(start + k, y, mix(c.get(start + k, y), seam, 30));
            }
        }
        for (int x = 0; x < SIZE; ++x) c.set(x, top + BOARD - 1, shade(seam, rng.range(-4, 4)));
        // Board end: a dark joint with a nail on either side, staggered from board to board.
        const int joint = wrap(board * 7 + 3);
        for (int row = 0; row < BOARD - 1; ++row) c.set(joint, top + row, seam);
        c.set(joint - 1, top + 1, Color{92, 64, 40, 255});
        c.set(joint + 1, top + 1, Color{92, 64, 40, 255});
    }
}

struct TextureJob {
    const char* name;
    void (*paint)(Canvas&);
};

}  // namespace

int main(int argc, char** argv) {
    SetTraceLogLevel(LOG_WARNING);
    const std::string folder = argc > 1 ? argv[1] : "assets/textures/blocks";
    const TextureJob jobs[] = {
        {"grass", paint_grass}, {"dirt", paint_dirt}, {"stone", paint_stone},
        {"sand", paint_sand},   {"wood", paint_wood},
    };
    int failures = 0;
    for (const TextureJob& job : jobs) {
        Canvas canvas;
        job.paint(canvas);
        const std::string path = folder + "/" + job.name + ".png";
        if (ExportImage(canvas.image, path.c_str())) {
            std::printf("[gen_textures] wrote %s\n", path.c_str());
        } else {
            std::fprintf(stderr, "[gen_textures] could not write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
