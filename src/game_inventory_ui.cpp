// The hotbar at the bottom of the screen and the big inventory screen, where
// stacks are picked up and put down with the left mouse button.
#include <cstdio>

#include "game.h"
#include "game_ui.h"
#include "menu.h"
#include "player.h"

constexpr int HOTBAR_SLOT_SIZE = 50;
constexpr int HOTBAR_SLOT_STEP = 60;  // slot plus 10 pixels of spacing
constexpr int HOTBAR_WIDTH = 9 * 50 + 8 * 10;
constexpr int HOTBAR_BOTTOM_OFFSET = 80;
constexpr int HOTBAR_BLOCK_INDENT = 10;
constexpr int HOTBAR_BLOCK_SIZE = 30;
constexpr int HOTBAR_COUNT_RIGHT = 45;
constexpr int HOTBAR_COUNT_DOWN = 30;

// The panel of the inventory screen, centred in the window.
constexpr int PANEL_SLOT_SIZE = 40;
constexpr int PANEL_SLOT_STEP = 44;  // slot plus 4 pixels of spacing
constexpr int PANEL_WIDTH = 9 * 40 + 8 * 4;
constexpr int PANEL_HEIGHT = 5 * 40 + 4 * 4;
constexpr int PANEL_HOTBAR_DOWN = 240;
constexpr int PANEL_ROWS = 4;
constexpr int PANEL_BLOCK_INDENT = 8;
constexpr int PANEL_BLOCK_SIZE = 24;
constexpr int PANEL_COUNT_RIGHT = 37;
constexpr int PANEL_COUNT_DOWN = 24;
constexpr float INVENTORY_SPACING = 1.0f;

constexpr Color SLOT_FILL = {80, 80, 80, 200};
constexpr Color SLOT_FILL_SELECTED = {100, 100, 100, 255};
constexpr Color SLOT_BORDER = {100, 100, 100, 255};
constexpr Color SLOT_NUMBER = {150, 150, 150, 255};
constexpr Color SLOT_TEXT = {255, 255, 255, 255};

// ---------------------------------------------------------------- geometry and colours

// The inventory's own block colours; sand, wood and glowstone differ from the world's flat colours.
Color game_inventory_block_color(BlockType type) {
    switch (type) {
    case BLOCK_STONE: return Color{128, 128, 128, 255};
    case BLOCK_DIRT: return Color{139, 69, 19, 255};
    case BLOCK_GRASS: return Color{34, 139, 34, 255};
    case BLOCK_SAND: return Color{194, 178, 128, 255};
    case BLOCK_WOOD: return Color{139, 90, 43, 255};
    case BLOCK_BEDROCK: return Color{64, 64, 64, 255};
    case BLOCK_GLOWSTONE: return Color{255, 255, 0, 255};
    default: return Color{200, 200, 200, 255};
    }
}

Rectangle game_hotbar_slot_rect(int screen_width, int screen_height, int slot) {
    const int inv_x = (screen_width - HOTBAR_WIDTH) / 2;
    const int x = inv_x + HOTBAR_SLOT_STEP * slot;
    const int y = screen_height - HOTBAR_BOTTOM_OFFSET;
    return Rectangle{static_cast<float>(x), static_cast<float>(y), static_cast<float>(HOTBAR_SLOT_SIZE),
                     static_cast<float>(HOTBAR_SLOT_SIZE)};
}

static int screen_left(int screen_width) {
    return (screen_width - PANEL_WIDTH) / 2;
}
static int screen_top(int screen_height) {
    return (screen_height - PANEL_HEIGHT) / 2;
}

Rectangle game_inventory_backpack_rect(int screen_width, int screen_height, int row, int col) {
    const int x = screen_left(screen_width) + PANEL_SLOT_STEP * col;
    const int y = screen_top(screen_height) + PANEL_SLOT_STEP * row;
    return Rectangle{static_cast<float>(x), static_cast<float>(y), static_cast<float>(PANEL_SLOT_SIZE),
                     static_cast<float>(PANEL_SLOT_SIZE)};
}

Rectangle game_inventory_hotbar_rect(int screen_width, int screen_height, int slot) {
    const int x = screen_left(screen_width) + PANEL_SLOT_STEP * slot;
    const int y = screen_top(screen_height) + PANEL_HOTBAR_DOWN;
    return Rectangle{static_cast<float>(x), static_cast<float>(y), static_cast<float>(PANEL_SLOT_SIZE),
                     static_cast<float>(PANEL_SLOT_SIZE)};
}

int game_slot_count_x(int slot_x, int right, float text_width) {
    return static_cast<int>(static_cast<float>(slot_x + right) - text_width);
}

// ---------------------------------------------------------------- click rule

static void clear_slot(InventorySlot* slot) {
    *slot = InventorySlot{BLOCK_AIR, 0};
}

void game_inventory_click(Player* player, InventorySlot* slot) {
    InventorySlot* held = &player->held_slot;
    if (!player->holding_item) {
        if (slot->count <= 0) return;
        *held = *slot;
        player->holding_item = true;
        clear_slot(slot);
    } else if (slot->count == 0) {
        *slot = *held;
        clear_slot(held);
        player->holding_item = false;
    } else if (slot->type == held->type) {
        const int can_add = INVENTORY_MAX_STACK - slot->count;
        const int moved = can_add < held->count ? can_add : held->count;
        slot->count += moved;
        held->count -= moved;
        if (held->count <= 0) {
            held->type = BLOCK_AIR;
            player->holding_item = false;
        }
    } else {
        const InventorySlot tmp = *slot;
        *slot = *held;
        *held = tmp;
    }
}

void game_inventory_click_at(Player* player, int screen_width, int screen_height, Vector2 mouse) {
    for (int row = 0; row < PANEL_ROWS; row++) {
        for (int col = 0; col < INVENTORY_HOTBAR_SLOTS; col++) {
            if (CheckCollisionPointRec(mouse, game_inventory_backpack_rect(screen_width, screen_height, row, col))) {
                game_inventory_click(player, &player->big_inventory[row * INVENTORY_HOTBAR_SLOTS + col]);
                return;
            }
        }
    }
    for (int i = 0; i < INVENTORY_HOTBAR_SLOTS; i++) {
        if (CheckCollisionPointRec(mouse, game_inventory_hotbar_rect(screen_width, screen_height, i))) {
            game_inventory_click(player, &player->inventory[i]);
            return;
        }
    }
}

// ---------------------------------------------------------------- drawing

struct SlotStyle {
    int block_indent;
    int block_size;
    int count_right;
    int count_down;
    float count_font;
    float number_font;  // 0: no slot number
};

static const SlotStyle HOTBAR_STYLE = {
    HOTBAR_BLOCK_INDENT, HOTBAR_BLOCK_SIZE, HOTBAR_COUNT_RIGHT, HOTBAR_COUNT_DOWN, 20.0f, 16.0f};
static const SlotStyle PANEL_STYLE = {
    PANEL_BLOCK_INDENT, PANEL_BLOCK_SIZE, PANEL_COUNT_RIGHT, PANEL_COUNT_DOWN, 16.0f, 0.0f};
static const SlotStyle PANEL_HOTBAR_STYLE = {
    PANEL_BLOCK_INDENT, PANEL_BLOCK_SIZE, PANEL_COUNT_RIGHT, PANEL_COUNT_DOWN, 16.0f, 14.0f};

static void draw_slot(const GameState* game, Rectangle rect, const InventorySlot* slot, bool selected, int number,
                      const SlotStyle* style) {
    const int x = static_cast<int>(rect.x);
    const int y = static_cast<int>(rect.y);
    const int size = static_cast<int>(rect.width);
    DrawRectangle(x, y, size, size, selected ? SLOT_FILL_SELECTED : SLOT_FILL);
    DrawRectangleLines(x, y, size, size, selected ? WHITE : SLOT_BORDER);
    if (slot->count > 0) {
        DrawRectangle(x + style->block_indent, y + style->block_indent, style->block_size, style->block_size,
                      game_inventory_block_color(slot->type));
        char count_text[8];
        snprintf(count_text, sizeof count_text, "%d", slot->count);
        const float width = MeasureTextEx(game->custom_font, count_text, style->count_font, INVENTORY_SPACING).x;
        const Vector2 at = {static_cast<float>(game_slot_count_x(x, style->count_right, width)),
                            static_cast<float>(y + style->count_down)};
        DrawTextEx(game->custom_font, count_text, at, style->count_font, INVENTORY_SPACING, SLOT_TEXT);
    }
    if (style->number_font > 0.0f) {
        char number_text[4];
        snprintf(number_text, sizeof number_text, "%d", number);
        DrawTextEx(game->custom_font, number_text, Vector2{static_cast<float>(x + 3), static_cast<float>(y + 3)},
                   style->number_font, INVENTORY_SPACING, SLOT_NUMBER);
    }
}

void game_draw_hotbar(GameState* game) {
    const Player* player = game->player;
    if (!player) return;
    const int width = GetScreenWidth();
    const int height = GetScreenHeight();
    const Rectangle first = game_hotbar_slot_rect(width, height, 0);
    DrawRectangle(static_cast<int>(first.x) - 5, height - 85, HOTBAR_WIDTH + 10, 60, Color{0, 0, 0, 150});
    for (int i = 0; i < INVENTORY_HOTBAR_SLOTS; i++)
        draw_slot(game, game_hotbar_slot_rect(width, height, i), &player->inventory[i], i == player->selected_slot,
                  i + 1, &HOTBAR_STYLE);
}

static void draw_screen_frame(const GameState* game, int left, int top) {
    DrawRectangle(left - 10, top - 10, PANEL_WIDTH + 20, PANEL_HEIGHT + 20, Color{50, 50, 50, 220});
    DrawRectangleLines(left - 10, top - 10, PANEL_WIDTH + 20, PANEL_HEIGHT + 20, SLOT_BORDER);
    DrawTextEx(game->custom_font, "Inventory", Vector2{static_cast<float>(left), static_cast<float>(top - 35)}, 24.0f,
               INVENTORY_SPACING, WHITE);
}

void game_draw_big_inventory(const GameState* game) {
    const Player* player = game->player;
    if (!player || !player->inventory_open) return;
    const int width = GetScreenWidth();
    const int height = GetScreenHeight();
    const int left = screen_left(width);
    const int top = screen_top(height);
    draw_screen_frame(game, left, top);
    for (int row = 0; row < PANEL_ROWS; row++)
        for (int col = 0; col < INVENTORY_HOTBAR_SLOTS; col++)
            draw_slot(game, game_inventory_backpack_rect(width, height, row, col),
                      &player->big_inventory[row * INVENTORY_HOTBAR_SLOTS + col], false, 0, &PANEL_STYLE);
    for (int i = 0; i < INVENTORY_HOTBAR_SLOTS; i++)
        draw_slot(game, game_inventory_hotbar_rect(width, height, i), &player->inventory[i], i == player->selected_slot,
                  i + 1, &PANEL_HOTBAR_STYLE);
    const char* hint = game->menu ? game->menu->game_text.inventory_close : "";
    DrawTextEx(game->custom_font, hint, Vector2{static_cast<float>(left), static_cast<float>(top + 290)}, 16.0f,
               INVENTORY_SPACING, SLOT_NUMBER);
}
