// Paints qvox's application icon, a grass block seen from above at an angle,
// from the game's own block textures, in the sizes of the hicolor icon theme.
//
//   qvox_gen_icon OUTPUT_FOLDER [TEXTURE_FOLDER]
//
// writes OUTPUT_FOLDER/NxN/apps/qvox.png for N = 32, 64, 128 and 256
// (TEXTURE_FOLDER defaults to assets/textures/blocks). No window is opened.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "raylib.h"

namespace {

constexpr int ICON_SIZES[] = {32, 64, 128, 256};
constexpr int TEXELS = 16;
// Samples per pixel along each axis: the cube's edges are smoothed, while
// each texel stays a crisp square at the larger sizes.
constexpr int SUPERSAMPLE = 4;

struct Vec {
    float x, y;
};

// The cube in unit icon coordinates: the top corner, the left, centre and
// right corners of the top face, and the height of the sides.
constexpr Vec TOP = {0.5f, 0.03f};
constexpr Vec LEFT = {0.06f, 0.27f};
constexpr Vec CENTRE = {0.5f, 0.51f};
constexpr Vec RIGHT = {0.94f, 0.27f};
constexpr float SIDE_HEIGHT = 0.46f;

// Per-face brightness, as the game shades a block lit from above.
constexpr float TOP_SHADE = 1.0f;
constexpr float LEFT_SHADE = 0.8f;
constexpr float RIGHT_SHADE = 0.62f;

struct Textures {
    Image grass;
    Image dirt;
};

// Solves p = origin + a * du + b * dv; true when p lies on that parallelogram.
bool on_face(Vec p, Vec origin, Vec du, Vec dv, float* a, float* b) {
    const float det = du.x * dv.y - du.y * dv.x;
    const float px = p.x - origin.x, py = p.y - origin.y;
    *a = (px * dv.y - py * dv.x) / det;
    *b = (du.x * py - du.y * px) / det;
    return *a >= 0.0f && *a < 1.0f && *b >= 0.0f && *b < 1.0f;
}

int texel(float t) {
    const int i = static_cast<int>(t * TEXELS);
    return i < 0 ? 0 : (i >= TEXELS ? TEXELS - 1 : i);
}

// The sides are dirt under a ragged band of grass hanging over the edge.
Color side_texel(const Textures& tex, int x, int y) {
    const int fringe = 2 + ((x * 7 + 3) % 5 == 0 ? 1 : 0) + (x % 4 == 1 ? 1 : 0);
    return y < fringe ? GetImageColor(tex.grass, x, y) : GetImageColor(tex.dirt, x, y);
}

// The colour of one sample, transparent outside the cube.
Color sample(const Textures& tex, Vec p) {
    float a = 0.0f, b = 0.0f;
    Color c = BLANK;
    float shade = 1.0f;
    if (on_face(p, TOP, Vec{RIGHT.x - TOP.x, RIGHT.y - TOP.y}, Vec{LEFT.x - TOP.x, LEFT.y - TOP.y}, &a, &b)) {
        c = GetImageColor(tex.grass, texel(a), texel(b));
        shade = TOP_SHADE;
    } else if (on_face(p, LEFT, Vec{CENTRE.x - LEFT.x, CENTRE.y - LEFT.y}, Vec{0.0f, SIDE_HEIGHT}, &a, &b)) {
        c = side_texel(tex, texel(a), texel(b));
        shade = LEFT_SHADE;
    } else if (on_face(p, CENTRE, Vec{RIGHT.x - CENTRE.x, RIGHT.y - CENTRE.y}, Vec{0.0f, SIDE_HEIGHT}, &a, &b)) {
        c = side_texel(tex, texel(a), texel(b));
        shade = RIGHT_SHADE;
    } else {
        return BLANK;
    }
    return Color{static_cast<unsigned char>(c.r * shade), static_cast<unsigned char>(c.g * shade),
                 static_cast<unsigned char>(c.b * shade), 255};
}

Image paint_icon(const Textures& tex, int size) {
    Image icon = GenImageColor(size, size, BLANK);
    const float step = 1.0f / static_cast<float>(size * SUPERSAMPLE);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // Colours are summed premultiplied by coverage, so edge pixels
            // fade out instead of darkening.
            int r = 0, g = 0, bl = 0, alpha = 0;
            for (int sy = 0; sy < SUPERSAMPLE; ++sy) {
                for (int sx = 0; sx < SUPERSAMPLE; ++sx) {
                    const Vec p = {(static_cast<float>(x * SUPERSAMPLE + sx) + 0.5f) * step,
                                   (static_cast<float>(y * SUPERSAMPLE + sy) + 0.5f) * step};
                    const Color c = sample(tex, p);
                    if (c.a == 0) continue;
                    r += c.r;
                    g += c.g;
                    bl += c.b;
                    alpha++;
                }
            }
            if (alpha == 0) continue;
            const int samples = SUPERSAMPLE * SUPERSAMPLE;
            ImageDrawPixel(
                &icon, x, y,
                Color{static_cast<unsigned char>(r / alpha), static_cast<unsigned char>(g / alpha),
                      static_cast<unsigned char>(bl / alpha), static_cast<unsigned char>(255 * alpha / samples)});
        }
    }
    return icon;
}

bool make_folder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    std::fprintf(stderr, "[gen_icon] could not create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

bool load_texture_image(const std::string& path, Image* image) {
    *image = LoadImage(path.c_str());
    if (image->data == nullptr || image->width != TEXELS || image->height != TEXELS) {
        std::fprintf(stderr, "[gen_icon] could not read a %dx%d texture from %s\n", TEXELS, TEXELS, path.c_str());
        return false;
    }
    ImageFormat(image, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SetTraceLogLevel(LOG_WARNING);
    if (argc < 2) {
        std::fprintf(stderr, "usage: qvox_gen_icon OUTPUT_FOLDER [TEXTURE_FOLDER]\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string textures = argc > 2 ? argv[2] : "assets/textures/blocks";
    Textures tex = {};
    if (!load_texture_image(textures + "/grass.png", &tex.grass) ||
        !load_texture_image(textures + "/dirt.png", &tex.dirt)) {
        UnloadImage(tex.grass);
        UnloadImage(tex.dirt);
        return 1;
    }
    int failures = 0;
    for (int size : ICON_SIZES) {
        const std::string folder = out + "/" + std::to_string(size) + "x" + std::to_string(size);
        const std::string path = folder + "/apps/qvox.png";
        if (!make_folder(out) || !make_folder(folder) || !make_folder(folder + "/apps")) {
            ++failures;
            continue;
        }
        Image icon = paint_icon(tex, size);
        if (ExportImage(icon, path.c_str())) {
            std::printf("[gen_icon] wrote %s\n", path.c_str());
        } else {
            std::fprintf(stderr, "[gen_icon] could not write %s\n", path.c_str());
            ++failures;
        }
        UnloadImage(icon);
    }
    UnloadImage(tex.grass);
    UnloadImage(tex.dirt);
    return failures == 0 ? 0 : 1;
}
