// The 45 stacks: single adds and removals in search order, the all-or-nothing
// give that fills the active hotbar slot first, and the inventory screen's clicks.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "game_ui.h"
#include "player.h"

namespace {

std::pair<BlockType, int> stack(const InventorySlot& slot) {
    return {slot.type, slot.count};
}

class InventoryTest : public ::testing::Test {
protected:
    struct Slot {
        int index;  // 0..8 the hotbar, 9..44 the backpack
        BlockType type;
        int count;
    };

    InventorySlot& slot(int i) { return i < 9 ? player_->inventory[i] : player_->big_inventory[i - 9]; }

    std::unique_ptr<Player, decltype(&player_free)> owner_{player_create(0.0f, 0.0f, 0.0f), player_free};
    Player* player_ = owner_.get();
};

// Every refused operation leaves all 45 stacks as they were.
TEST_F(InventoryTest, AddRemoveAndGiveFollowTheStackingRules) {
    struct Op {
        char what;  // 'a'dd (n times), 'r'emove, 'g'ive n
        BlockType type;
        int n;
        bool ok;
    };
    struct Case {
        std::vector<Slot> before;
        int selected;
        std::vector<Op> ops;
        std::vector<Slot> after;
    };
    std::vector<Slot> full;
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) full.push_back({i, BLOCK_DIRT, 64});
    const Case cases[] = {
        {{}, 0, {{'a', BLOCK_STONE, 65, true}}, {{0, BLOCK_STONE, 64}, {1, BLOCK_STONE, 1}, {9, BLOCK_AIR, 0}}},
        // A matching backpack stack comes before an empty hotbar slot.
        {{{0, BLOCK_STONE, 64}, {14, BLOCK_STONE, 10}},
         0,
         {{'a', BLOCK_STONE, 1, true}},
         {{14, BLOCK_STONE, 11}, {1, BLOCK_AIR, 0}}},
        {{},
         0,
         {{'a', BLOCK_AIR, 1, false},
          {'a', BLOCK_BEDROCK, 1, false},
          {'g', BLOCK_BEDROCK, 5, false},
          {'g', BLOCK_AIR, 5, false}},
         {{0, BLOCK_AIR, 0}}},
        {full, 0, {{'a', BLOCK_SAND, 1, false}, {'a', BLOCK_DIRT, 1, false}, {'g', BLOCK_DIRT, 1, false}}, {}},
        // Removal takes from the first stack, whatever the selected slot.
        {{{3, BLOCK_WOOD, 1}, {12, BLOCK_WOOD, 5}},
         8,
         {{'r', BLOCK_WOOD, 1, true}, {'r', BLOCK_WOOD, 1, true}, {'r', BLOCK_SAND, 1, false}},
         {{3, BLOCK_AIR, 0}, {12, BLOCK_WOOD, 4}}},
        {{}, 4, {{'g', BLOCK_DIRT, 100, true}}, {{4, BLOCK_DIRT, 64}, {0, BLOCK_DIRT, 36}, {1, BLOCK_AIR, 0}}},
        // The selected slot holds another type: matching stacks are topped up before empty slots.
        {{{0, BLOCK_SAND, 1}, {20, BLOCK_DIRT, 60}},
         0,
         {{'g', BLOCK_DIRT, 10, true}},
         {{20, BLOCK_DIRT, 64}, {1, BLOCK_DIRT, 6}, {0, BLOCK_SAND, 1}}},
        {{{7, BLOCK_STONE, 3}},
         0,
         {{'g', BLOCK_DIRT, 44 * 64 + 1, false},
          {'g', BLOCK_DIRT, 0, false},
          {'g', BLOCK_DIRT, -5, false},
          {'g', BLOCK_DIRT, 44 * 64, true}},
         {{7, BLOCK_STONE, 3}, {44, BLOCK_DIRT, 64}}},
    };
    for (size_t n = 0; n < std::size(cases); n++) {
        SCOPED_TRACE(n);
        const Case& c = cases[n];
        inventory_init(player_);
        for (const Slot& s : c.before) slot(s.index) = InventorySlot{s.type, s.count};
        player_->selected_slot = c.selected;
        for (const Op& op : c.ops) {
            const Player before = *player_;
            const auto unchanged = [&] {
                return memcmp(before.inventory, player_->inventory, sizeof before.inventory) == 0 &&
                       memcmp(before.big_inventory, player_->big_inventory, sizeof before.big_inventory) == 0;
            };
            bool ok = true;
            for (int i = 0; i < (op.what == 'a' ? op.n : 1); i++) {
                if (op.what == 'a') ok = ok && inventory_add_block(player_, op.type);
                if (op.what == 'r') ok = inventory_remove_block(player_, op.type);
                if (op.what == 'g') ok = inventory_give(player_, op.type, op.n);
            }
            EXPECT_EQ(ok, op.ok) << op.what << " " << op.type << " " << op.n;
            EXPECT_TRUE(op.ok || unchanged()) << op.what << " " << op.type;
        }
        for (const Slot& s : c.after) EXPECT_EQ(stack(slot(s.index)), std::pair(s.type, s.count)) << s.index;
    }
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_STONE), 64 - 3);
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_DIRT), 0);
}

TEST_F(InventoryTest, SelectedBlockAndTheBigInventorySwitch) {
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_AIR);
    slot(2) = InventorySlot{BLOCK_SAND, 3};
    player_->selected_slot = 2;
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_SAND);
    slot(2).count = 0;
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_AIR);
    EXPECT_FALSE(inventory_is_big_open(player_));
    inventory_toggle_big(player_);
    EXPECT_TRUE(inventory_is_big_open(player_));
    inventory_toggle_big(player_);
    EXPECT_FALSE(inventory_is_big_open(player_));
}

// Clicking a hotbar stack, then a backpack slot: pick up, put down, merge or swap.
TEST_F(InventoryTest, ClicksPickUpPutDownMergeAndSwap) {
    struct Case {
        InventorySlot first, second, second_after, held;
        bool holding;
    };
    const InventorySlot none = {BLOCK_AIR, 0};
    const Case cases[] = {
        {none, {BLOCK_STONE, 10}, none, {BLOCK_STONE, 10}, true},
        {none, none, none, none, false},
        {{BLOCK_DIRT, 12}, none, {BLOCK_DIRT, 12}, none, false},
        {{BLOCK_STONE, 64}, {BLOCK_STONE, 30}, {BLOCK_STONE, 64}, {BLOCK_STONE, 30}, true},
        {{BLOCK_SAND, 20}, {BLOCK_SAND, 30}, {BLOCK_SAND, 50}, none, false},
        {{BLOCK_WOOD, 5}, {BLOCK_GLOWSTONE, 9}, {BLOCK_WOOD, 5}, {BLOCK_GLOWSTONE, 9}, true},
    };
    for (const Case& c : cases) {
        inventory_init(player_);
        player_->inventory[0] = c.first;
        player_->big_inventory[35] = c.second;
        if (c.first.count > 0) game_inventory_click(player_, &player_->inventory[0]);
        game_inventory_click(player_, &player_->big_inventory[35]);
        EXPECT_EQ(stack(player_->big_inventory[35]), stack(c.second_after)) << c.second.type;
        EXPECT_EQ(stack(player_->held_slot), stack(c.held)) << c.second.type;
        EXPECT_EQ(player_->holding_item, c.holding) << c.second.type;
        EXPECT_EQ(stack(player_->inventory[0]), stack(none));
    }
    // What is held belongs to neither array.
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_GLOWSTONE), 44 * 64);
    EXPECT_FALSE(inventory_remove_block(player_, BLOCK_GLOWSTONE));
}

TEST_F(InventoryTest, ClicksFindTheSlotUnderTheMouse) {
    slot(9 + 2 * 9 + 3) = InventorySlot{BLOCK_GRASS, 3};
    slot(4) = InventorySlot{BLOCK_DIRT, 1};
    const Rectangle backpack = game_inventory_backpack_rect(1200, 800, 2, 3);
    game_inventory_click_at(player_, 1200, 800, Vector2{backpack.x + 39.5f, backpack.y});
    EXPECT_EQ(stack(player_->held_slot), std::pair(BLOCK_GRASS, 3));
    const Rectangle gap = game_inventory_backpack_rect(1200, 800, 0, 0);
    game_inventory_click_at(player_, 1200, 800, Vector2{gap.x + 41.0f, gap.y + 5.0f});
    EXPECT_TRUE(player_->holding_item);
    const Rectangle hotbar = game_inventory_hotbar_rect(1200, 800, 4);
    game_inventory_click_at(player_, 1200, 800, Vector2{hotbar.x + 20.0f, hotbar.y + 20.0f});
    EXPECT_EQ(stack(slot(4)), std::pair(BLOCK_GRASS, 3));
    EXPECT_EQ(stack(player_->held_slot), std::pair(BLOCK_DIRT, 1));
    EXPECT_EQ(player_->selected_slot, 0);
    // Both the hotbar and the screen are centred, their offsets cut toward zero.
    EXPECT_EQ(game_hotbar_slot_rect(1200, 800, 0).x + game_hotbar_slot_rect(1200, 800, 8).x + 50.0f, 1200.0f);
    EXPECT_EQ(game_hotbar_slot_rect(527, 800, 0).x, -1.0f);
    EXPECT_EQ(gap.x + game_inventory_hotbar_rect(1201, 801, 8).x + 40.0f, 1200.0f);
    EXPECT_EQ(game_slot_count_x(-30, 5, 0.5f), -25);
}

}  // namespace
