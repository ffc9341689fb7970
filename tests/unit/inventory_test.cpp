// The 45 stacks: adds and removals in search order, the all-or-nothing give, and the inventory screen's clicks.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <tuple>

#include "game_ui.h"
#include "player.h"

namespace {

// "14s10" is ten stone in slot 14: slots 0..8 are the hotbar, 9..44 the backpack, 99 the held stack.
const std::string BLOCKS = "asdgnwbl";

class InventoryTest : public ::testing::Test {
protected:
    InventorySlot& slot(int i) {
        return i == 99 ? player_->held_slot : i < 9 ? player_->inventory[i] : player_->big_inventory[i - 9];
    }

    // Sets the stacks written in `text`, or (when `read`) writes back what those slots now hold.
    std::string stacks(const std::string& text, bool read = true) {
        std::istringstream in(text);
        std::string out;
        int index = 0, count = 0;
        for (char block = 0; in >> index >> block >> count;) {
            if (!read) slot(index) = InventorySlot{static_cast<BlockType>(BLOCKS.find(block)), count};
            out += std::to_string(index) + BLOCKS[slot(index).type] + std::to_string(slot(index).count) + " ";
        }
        return out;
    }

    std::unique_ptr<Player, decltype(&player_free)> owner_{player_create(0.0f, 0.0f, 0.0f), player_free};
    Player* player_ = owner_.get();
};

// "+s" adds a stone, "-s" removes one, "*s10" gives ten, "c44" clicks slot 44; "!" marks a refusal, changing nothing.
TEST_F(InventoryTest, AddRemoveGiveAndClicksFollowTheStackingRules) {
    std::string full, stone65;
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) full += std::to_string(i) + "d64 ";
    for (int i = 0; i < 65; i++) stone65 += "+s ";
    // Stacks before, the selected slot, operations, and stacks after.
    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {"", 0, stone65, "0s64 1s1 9a0"},
        {"0s64 14s10", 0, "+s", "14s11 1a0"},  // a matching backpack stack before an empty hotbar slot
        {"", 0, "!+a !+b !*b5 !*a5", "0a0"},
        {full, 0, "!+n !+d !*d1", "0d64"},
        {"3w1 12w5", 8, "-w -w !-n", "3a0 12w4"},  // removal takes the first stack, whatever is selected
        {"", 4, "*d100", "4d64 0d36 1a0"},
        {"0n1 20d60", 0, "*d10", "20d64 1d6 0n1"},  // matching stacks are topped up before empty slots
        // Clicks pick up, put down, merge or swap; what is held belongs to neither array.
        {"44s10", 0, "c44", "44a0 99s10"},
        {"", 0, "c44", "44a0 99a0"},
        {"0d12", 0, "c0 c44", "44d12 0a0 99a0"},
        {"0s64 44s30", 0, "c0 c44", "44s64 0a0 99s30"},
        {"0n20 44n30", 0, "c0 c44", "44n50 0a0 99a0"},
        {"0w5 44l9", 0, "c0 c44", "44w5 0a0 99l9"},
        {"7s3", 0, "!*d2817 !*d0 !*d-5 *d2816", "7s3 44d64"}};
    for (const auto& [before, selected, operations, after] : cases) {
        SCOPED_TRACE(before.substr(0, 20) + " / " + operations.substr(0, 20));
        inventory_init(player_);
        stacks(before, false);
        player_->selected_slot = selected;
        std::istringstream ops(operations);
        for (std::string op; ops >> op;) {
            const std::string unchanged = stacks(full);
            const bool refused = op[0] == '!';
            const char kind = op[refused];
            if (kind == 'c') {
                game_inventory_click(player_, &slot(std::stoi(op.substr(1))));
                continue;
            }
            const auto type = static_cast<BlockType>(BLOCKS.find(op[refused + 1]));
            const bool ok = kind == '+'   ? inventory_add_block(player_, type)
                            : kind == '-' ? inventory_remove_block(player_, type)
                                          : inventory_give(player_, type, std::stoi(op.substr(refused + 2)));
            EXPECT_EQ(ok, !refused) << op;
            EXPECT_TRUE(ok || stacks(full) == unchanged) << op;
        }
        EXPECT_EQ(stacks(after), after + " ");
        EXPECT_EQ(player_->holding_item, player_->held_slot.count > 0);
    }
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_STONE), 64 - 3);
}

// A click between two slots hits neither; the hotbar is centred, with its offset cut toward zero.
TEST_F(InventoryTest, ClicksFindTheSlotUnderTheMouse) {
    stacks("30g3 4d1", false);  // backpack row 2, column 3
    const Rectangle backpack = game_inventory_backpack_rect(1200, 800, 2, 3),
                    gap = game_inventory_backpack_rect(1200, 800, 0, 0);
    game_inventory_click_at(player_, 1200, 800, Vector2{backpack.x + 39.5f, backpack.y});
    EXPECT_EQ(stacks("99g3"), "99g3 ");
    game_inventory_click_at(player_, 1200, 800, Vector2{gap.x + 41.0f, gap.y + 5.0f});
    EXPECT_TRUE(player_->holding_item);
    const Rectangle hotbar = game_inventory_hotbar_rect(1200, 800, 4);
    game_inventory_click_at(player_, 1200, 800, Vector2{hotbar.x + 20.0f, hotbar.y + 20.0f});
    EXPECT_EQ(stacks("4g3 99d1"), "4g3 99d1 ");
    const Rectangle last = game_hotbar_slot_rect(1200, 800, 8);
    EXPECT_EQ(game_hotbar_slot_rect(1200, 800, 0).x + last.x + last.width, 1200.0f);
    EXPECT_EQ(game_hotbar_slot_rect(527, 800, 0).x, -1.0f);
    EXPECT_EQ(game_slot_count_x(-30, 5, 0.5f), -25);
}

}  // namespace
