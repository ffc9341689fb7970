// ./options.txt, the installed font families and variants, and the two
// sliders shared by the settings screen and the in-game settings panel.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_io.h"
#include "menu.h"

namespace {

constexpr const char* OPTIONS_PATH = "./options.txt";
// Room for every line of options.txt with the longest family and variant names.
constexpr size_t OPTIONS_TEXT_MAX = 2048;
constexpr int PATH_BUFFER = 512;

const Color SLIDER_TRACK = {60, 60, 60, 255};
const Color SLIDER_KNOB = {200, 200, 200, 255};

struct NamedSettings {
    char language[32];
    char family[256];
    char variant[256];
    bool has_language, has_family, has_variant;
};

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

float clamp_render_distance(float v) {
    if (!(v >= 10.0f)) return 10.0f;  // NaN lands here too
    return v > 100.0f ? 100.0f : v;
}

int parse_max_fps(const char* value) {
    long v = strtol(value, nullptr, 10);
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    if (v == 0) return 0;
    if (v < 30) return 30;
    return v > 240 ? 240 : static_cast<int>(v);
}

// One line (or one 255-byte piece) of the settings file.
void apply_settings_line(MenuSystem* menu, char* line, NamedSettings* names) {
    line[strcspn(line, "\n")] = '\0';
    if (line[0] == '\0' || line[0] == '#') return;
    line[strcspn(line, "#")] = '\0';
    size_t len = strlen(line);
    while (len > 0 && is_space(line[len - 1])) line[--len] = '\0';
    char* eq = strchr(line, '=');
    if (eq == nullptr) return;
    *eq = '\0';
    const char* key = line;
    const char* value = eq + 1;
    while (is_space(*value)) value++;

    if (strcmp(key, "render_distance") == 0) {
        menu->render_distance = clamp_render_distance(strtof(value, nullptr));
    } else if (strcmp(key, "max_fps") == 0) {
        menu->max_fps = parse_max_fps(value);
    } else if (strcmp(key, "language") == 0) {
        menu_copy_text(names->language, sizeof names->language, value);
        names->has_language = true;
    } else if (strcmp(key, "font_family") == 0) {
        menu_copy_text(names->family, sizeof names->family, value);
        names->has_family = true;
    } else if (strcmp(key, "font_variant") == 0) {
        menu_copy_text(names->variant, sizeof names->variant, value);
        names->has_variant = true;
    }
}

void apply_names(MenuSystem* menu, const NamedSettings* names) {
    if (names->has_language && names->language[0] != '\0') {
        for (int i = 0; i < menu->available_languages_count; i++) {
            if (strcmp(menu->available_languages[i], names->language) == 0) {
                menu->current_language_index = i;
                menu_load_language(menu, menu->available_languages[i]);
                break;
            }
        }
    }
    if (!names->has_family || names->family[0] == '\0') return;
    for (int i = 0; i < menu->font_families_count; i++) {
        if (strcmp(menu->font_families[i], names->family) == 0) {
            menu->current_font_family_index = i;
            menu_scan_font_variants(menu, menu->font_families[i]);
            break;
        }
    }
    if (!names->has_variant || names->variant[0] == '\0') return;
    for (int i = 0; i < menu->font_variants_count; i++) {
        if (strcmp(menu->font_variants[i], names->variant) == 0) {
            menu->current_font_variant_index = i;
            break;
        }
    }
}

// The lines of options.txt into `text`; the length, or -1 when they do not fit.
int format_settings(char* text, size_t size, const MenuSystem* menu) {
    int n = snprintf(text, size,
                     "# QVOX Game Settings\n"
                     "render_distance=%.1f\n"
                     "max_fps=%d # 0 means unlimited\n"
                     "language=%s\n"
                     "# do not change fonts manually i made a nice little interface for that :c\n"
                     "font_family=%s\n"
                     "font_variant=%s\n",
                     static_cast<double>(menu->render_distance), menu->max_fps, menu->current_language,
                     menu->font_families[menu->current_font_family_index],
                     menu->font_variants[menu->current_font_variant_index]);
    return n > 0 && static_cast<size_t>(n) < size ? n : -1;
}

void draw_slider(Font font, int panel_x, int y, const char* label, const char* value, int knob_offset) {
    DrawTextEx(font, label, Vector2{static_cast<float>(panel_x + 30), static_cast<float>(y)}, 28, 1.0f, WHITE);
    DrawTextEx(font, value, Vector2{static_cast<float>(panel_x + 500), static_cast<float>(y)}, 28, 1.0f,
               MENU_SECONDARY_TEXT);
    DrawRectangle(panel_x + 50, y + 35, 500, 20, SLIDER_TRACK);
    DrawRectangleLines(panel_x + 50, y + 35, 500, 20, WHITE);
    DrawRectangle(panel_x + 44 + knob_offset, y + 30, 12, 30, SLIDER_KNOB);
    DrawRectangleLines(panel_x + 44 + knob_offset, y + 30, 12, 30, WHITE);
}

bool dragging_in(const MenuInput* input, int x, int y) {
    return input->left_down &&
           CheckCollisionPointRec(input->mouse, Rectangle{static_cast<float>(x), static_cast<float>(y), 500, 40});
}

}  // namespace

void menu_load_settings(MenuSystem* menu) {
    FILE* file = fopen(OPTIONS_PATH, "r");
    if (file == nullptr) {
        return;
    }
    NamedSettings names = {};
    char line[256] = {0};
    while (fgets(line, sizeof line, file) != nullptr) {
        apply_settings_line(menu, line, &names);
    }
    if (ferror(file)) {
        fprintf(stderr, "Failed to read %s\n", OPTIONS_PATH);
    }
    if (fclose(file) != 0) {
        fprintf(stderr, "Failed to close %s\n", OPTIONS_PATH);
    }
    apply_names(menu, &names);
}

// Written whole and renamed over the old file, so a crash in the middle of a
// slider drag never leaves a torn settings file.
void menu_save_settings(MenuSystem* menu) {
    char text[OPTIONS_TEXT_MAX];
    const int n = format_settings(text, sizeof text, menu);
    if (n < 0 || !file_write_whole(OPTIONS_PATH, text, static_cast<size_t>(n), false)) {
        fprintf(stderr, "Failed to save options.txt\n");
    }
}

void menu_scan_fonts(MenuSystem* menu) {
    DIR* dir = opendir("./assets/fonts");
    if (dir != nullptr) {
        menu->font_families_count = 0;
        char path[PATH_BUFFER] = {0};
        char ttf[PATH_BUFFER + 8] = {0};
        struct dirent* entry = nullptr;
        while (menu->font_families_count < MENU_MAX_FONT_FAMILIES && (entry = readdir(dir)) != nullptr) {
            if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
            snprintf(path, sizeof path, "./assets/fonts/%s", entry->d_name);
            snprintf(ttf, sizeof ttf, "%s/ttf", path);
            if (!menu_is_directory(path) || !menu_is_directory(ttf)) continue;
            menu_copy_text(menu->font_families[menu->font_families_count], sizeof menu->font_families[0],
                           entry->d_name);
            menu->font_families_count++;
        }
        if (closedir(dir) != 0) {
            fprintf(stderr, "Failed to close ./assets/fonts\n");
        }
        menu->current_font_family_index = 0;
        for (int i = 0; i < menu->font_families_count; i++) {
            if (strcmp(menu->font_families[i], "JetBrainsMono") == 0) {
                menu->current_font_family_index = i;
            }
        }
        if (menu->font_families_count > 0) return;
    }
    menu_copy_text(menu->font_families[0], sizeof menu->font_families[0], "JetBrainsMono");
    menu->font_families_count = 1;
    menu->current_font_family_index = 0;
}

void menu_scan_font_variants(MenuSystem* menu, const char* font_family) {
    char path[PATH_BUFFER] = {0};
    snprintf(path, sizeof path, "./assets/fonts/%s/ttf", font_family);
    menu->font_variants_count = 0;
    menu->current_font_variant_index = 0;
    DIR* dir = opendir(path);
    if (dir != nullptr) {
        struct dirent* entry = nullptr;
        while (menu->font_variants_count < MENU_MAX_FONT_VARIANTS && (entry = readdir(dir)) != nullptr) {
            const char* dot = strrchr(entry->d_name, '.');
            if (dot == nullptr || strcmp(dot, ".ttf") != 0) continue;
            menu_copy_text(menu->font_variants[menu->font_variants_count], sizeof menu->font_variants[0],
                           entry->d_name);
            if (strstr(entry->d_name, "Regular") != nullptr) {
                menu->current_font_variant_index = menu->font_variants_count;
            }
            menu->font_variants_count++;
        }
        if (closedir(dir) != 0) {
            fprintf(stderr, "Failed to close %s\n", path);
        }
    }
    if (menu->font_variants_count == 0) {
        menu_copy_text(menu->font_variants[0], sizeof menu->font_variants[0], "Regular");
        menu->font_variants_count = 1;
        menu->current_font_variant_index = 0;
    }
}

int menu_render_distance_knob_offset(float render_distance) {
    float n = fmaf(render_distance, 1.0f / 90.0f, -1.0f / 9.0f);
    if (n < 0.0f) return 0;
    return static_cast<int>(fminf(n, 1.0f) * 500.0f);
}

float menu_render_distance_from_mouse(float mouse_x, int slider_x) {
    float t = (mouse_x - static_cast<float>(slider_x)) * 0.002f;
    if (t < 0.0f) return 10.0f;
    return fmaf(fminf(t, 1.0f), 90.0f, 10.0f);
}

int menu_max_fps_knob_offset(int max_fps) {
    if (max_fps == 0) return 500;
    float n = static_cast<float>(max_fps - 30) * (1.0f / 210.0f);
    if (n < 0.0f) return 0;
    return static_cast<int>(fminf(n, 1.0f) * 500.0f);
}

int menu_max_fps_from_mouse(float mouse_x, int slider_x) {
    float t = (mouse_x - static_cast<float>(slider_x)) * 0.002f;
    t = fminf(fmaxf(t, 0.0f), 1.0f);
    if (t >= 0.95f) return 0;
    int fps = static_cast<int>(fmaf(t, 210.0f, 30.0f));
    return fps < 30 ? 30 : fps;
}

void menu_draw_setting_sliders(const MenuSystem* menu, Font font, int panel_x) {
    char value[32] = {0};
    snprintf(value, sizeof value, "%.0f", static_cast<double>(menu->render_distance));
    draw_slider(font, panel_x, 115, menu->game_text.render_dist_label, value,
                menu_render_distance_knob_offset(menu->render_distance));
    if (menu->max_fps == 0) {
        menu_copy_text(value, sizeof value, menu->game_text.uncapped);
    } else {
        snprintf(value, sizeof value, "%d", menu->max_fps);
    }
    draw_slider(font, panel_x, 215, menu->game_text.max_fps_label, value, menu_max_fps_knob_offset(menu->max_fps));
}

void menu_update_setting_sliders(MenuSystem* menu, int panel_x, const MenuInput* input) {
    int slider_x = panel_x + 50;
    if (dragging_in(input, slider_x, 140)) {
        menu->render_distance = menu_render_distance_from_mouse(input->mouse.x, slider_x);
        menu_save_settings(menu);
    }
    if (dragging_in(input, slider_x, 240)) {
        menu->max_fps = menu_max_fps_from_mouse(input->mouse.x, slider_x);
        menu_save_settings(menu);
    }
}
