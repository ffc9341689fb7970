// The player's 45 stacks: hotbar slots 0..8 first, then backpack slots 0..35.
#include "player.h"

static InventorySlot* inventory_slot(Player* player, int index) {
    if (index < INVENTORY_HOTBAR_SLOTS) return &player->inventory[index];
    return &player->big_inventory[index - INVENTORY_HOTBAR_SLOTS];
}

static bool inventory_accepts(BlockType block_type) {
    return block_type != BLOCK_AIR && block_type != BLOCK_BEDROCK;
}

static int min_int(int a, int b) {
    return a < b ? a : b;
}

void inventory_init(Player* player) {
    if (!player) return;
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) *inventory_slot(player, i) = InventorySlot{BLOCK_AIR, 0};
    player->selected_slot = 0;
    player->inventory_open = false;
    player->held_slot = InventorySlot{BLOCK_AIR, 0};
    player->holding_item = false;
}

bool inventory_add_block(Player* player, BlockType block_type) {
    if (!player || !inventory_accepts(block_type)) return false;
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) {
        InventorySlot* slot = inventory_slot(player, i);
        if (slot->type == block_type && slot->count < INVENTORY_MAX_STACK) {
            slot->count++;
            return true;
        }
    }
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) {
        InventorySlot* slot = inventory_slot(player, i);
        if (slot->type == BLOCK_AIR) {
            *slot = InventorySlot{block_type, 1};
            return true;
        }
    }
    return false;
}

bool inventory_remove_block(Player* player, BlockType block_type) {
    if (!player) return false;
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) {
        InventorySlot* slot = inventory_slot(player, i);
        if (slot->type != block_type || slot->count <= 0) continue;
        slot->count--;
        if (slot->count == 0) slot->type = BLOCK_AIR;
        return true;
    }
    return false;
}

BlockType inventory_get_selected_block(Player* player) {
    if (!player || player->selected_slot < 0 || player->selected_slot >= INVENTORY_HOTBAR_SLOTS) return BLOCK_AIR;
    const InventorySlot* slot = &player->inventory[player->selected_slot];
    return slot->count >= 1 ? slot->type : BLOCK_AIR;
}

void inventory_toggle_big(Player* player) {
    if (player) player->inventory_open = !player->inventory_open;
}

bool inventory_is_big_open(Player* player) {
    return player && player->inventory_open;
}

int inventory_total_free_capacity(Player* player, BlockType block_type) {
    if (!player) return 0;
    int capacity = 0;
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) {
        const InventorySlot* slot = inventory_slot(player, i);
        if (slot->type == BLOCK_AIR)
            capacity += INVENTORY_MAX_STACK;
        else if (slot->type == block_type)
            capacity += INVENTORY_MAX_STACK - slot->count;
    }
    return capacity;
}

// Puts up to `remaining` blocks into one slot that is empty or holds the type; returns how many went in.
static int inventory_fill_slot(InventorySlot* slot, BlockType block_type, int remaining, bool empty_ok) {
    if (slot->type == block_type && slot->count < INVENTORY_MAX_STACK) {
        const int take = min_int(INVENTORY_MAX_STACK - slot->count, remaining);
        slot->count += take;
        return take;
    }
    if (empty_ok && slot->type == BLOCK_AIR) {
        const int take = min_int(remaining, INVENTORY_MAX_STACK);
        *slot = InventorySlot{block_type, take};
        return take;
    }
    return 0;
}

bool inventory_give(Player* player, BlockType block_type, int count) {
    if (!player || count < 1 || !inventory_accepts(block_type)) return false;
    if (inventory_total_free_capacity(player, block_type) < count) return false;
    int remaining = count;
    const int pref = player->selected_slot;
    const bool pref_valid = pref >= 0 && pref < INVENTORY_HOTBAR_SLOTS;
    if (pref_valid) remaining -= inventory_fill_slot(&player->inventory[pref], block_type, remaining, true);
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS && remaining > 0; i++) {
        if (pref_valid && i == pref) continue;
        InventorySlot* slot = inventory_slot(player, i);
        if (slot->type == block_type) remaining -= inventory_fill_slot(slot, block_type, remaining, false);
    }
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS && remaining > 0; i++)
        remaining -= inventory_fill_slot(inventory_slot(player, i), block_type, remaining, true);
    return remaining == 0;
}
