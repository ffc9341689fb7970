// The crosshair and the four HUD pages in the upper left corner: help,
// performance, player stats and system information.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "config.h"
#include "game.h"
#include "game_ui.h"
#include "menu.h"
#include "player.h"
#include "utils.h"

constexpr float HUD_FONT_SIZE = 32.0f;
constexpr float HUD_SPACING = 1.0f;
constexpr float HUD_X = 10.0f;
constexpr int CROSSHAIR_SIZE = 10;
constexpr float CROSSHAIR_THICKNESS = 2.0f;

// ---------------------------------------------------------------- lines

struct HudPage {
    HudLine* lines;
    int count;
};

static void add_line(HudPage* page, int y, const char* text, bool grey = false) {
    if (page->count >= GAME_HUD_MAX_LINES) return;
    HudLine* line = &page->lines[page->count++];
    snprintf(line->text, sizeof line->text, "%s", text);
    line->y = y;
    line->grey = grey;
}

// Each line has its own buffer size; a longer text is cut to it.
__attribute__((format(printf, 3, 4))) static void format_line(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(out, size, format, args);
    va_end(args);
}

static const GameText* hud_texts(const GameState* game) {
    static const GameText no_texts = {};
    return game->menu ? &game->menu->game_text : &no_texts;
}

static Vector3 player_position(const GameState* game) {
    return game->player ? game->player->position : Vector3{0.0f, 0.0f, 0.0f};
}

static void help_page(const GameState* game, int fps, HudPage* page) {
    const GameText* t = hud_texts(game);
    const Vector3 p = player_position(game);
    add_line(page, 10, t->move_controls);
    add_line(page, 50, t->metrics_help);
    add_line(page, 90, t->mouse_help);
    add_line(page, 130, t->look_help);
    add_line(page, 170, t->pause_help);
    char coord_text[128];
    format_line(coord_text, sizeof coord_text, "%s (%.1f, %.1f, %.1f)", t->coord_label, static_cast<double>(p.x),
                static_cast<double>(p.y), static_cast<double>(p.z));
    add_line(page, 210, coord_text);
    char fps_text[64];
    format_line(fps_text, sizeof fps_text, "%s %d", t->fps_label, fps);
    add_line(page, 250, fps_text);
    add_line(page, 290, t->version, true);
}

static void add_position_line(const GameState* game, HudPage* page, int y) {
    const Vector3 p = player_position(game);
    char pos_text[64];
    format_line(pos_text, sizeof pos_text, "Pos: (%.1f, %.1f, %.1f)", static_cast<double>(p.x),
                static_cast<double>(p.y), static_cast<double>(p.z));
    add_line(page, y, pos_text);
}

static void performance_page(const GameState* game, int fps, int memory_mb, HudPage* page) {
    const GameText* t = hud_texts(game);
    add_line(page, 10, t->perf_metrics);
    char frame_time[64];
    format_line(frame_time, sizeof frame_time, "Frame Time: %.2f ms", static_cast<double>(game->frame.dt) * 1000.0);
    add_line(page, 50, frame_time);
    char fps_text[32];
    format_line(fps_text, sizeof fps_text, "%s %d", t->fps_label, fps);
    add_line(page, 90, fps_text);
    char blocks_text[64];
    format_line(blocks_text, sizeof blocks_text, "Blocks Rendered: %d", game->frame.blocks_rendered);
    add_line(page, 130, blocks_text);
    char memory_text[64];
    format_line(memory_text, sizeof memory_text, "Memory Usage: %d MB", memory_mb);
    add_line(page, 170, memory_text);
    add_position_line(game, page, 210);
    add_line(page, 250, QVOX_WINDOW_TITLE, true);
}

static void player_page(const GameState* game, int fps, HudPage* page) {
    add_line(page, 10, "=== PLAYER STATS ===");
    char fps_text[32];
    format_line(fps_text, sizeof fps_text, "FPS: %d", fps);
    add_line(page, 50, fps_text);
    add_position_line(game, page, 90);
    char speed_text[64];
    format_line(speed_text, sizeof speed_text, "Speed: %.2f m/s",
                static_cast<double>(game_hud_actual_speed(game->player, game->frame.dt)));
    add_line(page, 130, speed_text);
    const Vector3 v = game->player ? game->player->velocity : Vector3{0.0f, 0.0f, 0.0f};
    char momentum_text[96];
    format_line(momentum_text, sizeof momentum_text, "Vel: (%.2f, %.2f, %.2f) m/s", static_cast<double>(v.x),
                static_cast<double>(v.y), static_cast<double>(v.z));
    add_line(page, 170, momentum_text);
    add_line(page, 250, QVOX_WINDOW_TITLE, true);
}

static void system_page(const GameState* game, HudPage* page) {
    add_line(page, 10, "=== SYSTEM INFO ===");
    add_line(page, 50, game->hud.cpu);
    add_line(page, 90, game->hud.gpu);
    add_line(page, 130, game->hud.kernel);
    add_line(page, 250, QVOX_WINDOW_TITLE, true);
}

int game_hud_lines(const GameState* game, int fps, int memory_mb, HudLine out[GAME_HUD_MAX_LINES]) {
    HudPage page = {out, 0};
    switch (game->hud.mode) {
    case HUD_MODE_HELP: help_page(game, fps, &page); break;
    case HUD_MODE_PERFORMANCE: performance_page(game, fps, memory_mb, &page); break;
    case HUD_MODE_PLAYER: player_page(game, fps, &page); break;
    case HUD_MODE_SYSTEM: system_page(game, &page); break;
    default: break;
    }
    return page.count;
}

float game_hud_actual_speed(const Player* player, float dt) {
    if (!player || !(dt > 0.0f)) return 0.0f;
    const float dx = player->position.x - player->prev_position.x;
    const float dy = player->position.y - player->prev_position.y;
    const float dz = player->position.z - player->prev_position.z;
    return sqrtf(dx * dx + dy * dy + dz * dz) / dt;
}

// ---------------------------------------------------------------- drawing

void game_draw_crosshair(GameState* game) {
    (void)game;
    const float cx = static_cast<float>(GetScreenWidth() / 2);
    const float cy = static_cast<float>(GetScreenHeight() / 2);
    const float size = static_cast<float>(CROSSHAIR_SIZE);
    DrawLineEx(Vector2{cx - size, cy}, Vector2{cx + size, cy}, CROSSHAIR_THICKNESS, BLACK);
    DrawLineEx(Vector2{cx, cy - size}, Vector2{cx, cy + size}, CROSSHAIR_THICKNESS, BLACK);
}

void game_draw_hud(GameState* game) {
    // The memory line reads /proc/self/status, so only the performance page pays for it.
    const int memory_mb = game->hud.mode == HUD_MODE_PERFORMANCE ? get_process_memory_mb() : 0;
    HudLine lines[GAME_HUD_MAX_LINES];
    const int count = game_hud_lines(game, GetFPS(), memory_mb, lines);
    for (int i = 0; i < count; i++) {
        const Color color = lines[i].grey ? Color{80, 80, 80, 255} : Color{0, 0, 0, 255};
        DrawTextEx(game->custom_font, lines[i].text, Vector2{HUD_X, static_cast<float>(lines[i].y)}, HUD_FONT_SIZE,
                   HUD_SPACING, color);
    }
}
