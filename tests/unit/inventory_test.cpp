// The 45 stacks: single adds and removals in search order, the all-or-nothing
// give that fills the active hotbar slot first, and the inventory screen's clicks.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>

#include "game_ui.h"
#include "player.h"
#include "world.h"

namespace {

// Stacks are written "<index><block><count>", e.g. "14s10": ten stone in slot
// 14. Indices 0..8 are the hotbar, 9..44 the backpack and 99 the held stack;
// the blocks are lettered in BlockType order.
const std::string BLOCKS = "asdgnwbl";

class InventoryTest : public ::testing::Test {
protected:
    InventorySlot& slot(int i) {
        return i == 99 ? player_->held_slot : i < 9 ? player_->inventory[i] : player_->big_inventory[i - 9];
    }

    void set(const std::string& stacks) {
        std::istringstream in(stacks);
        int index = 0, count = 0;
        for (char block = 0; in >> index >> block >> count;)
            slot(index) = InventorySlot{static_cast<BlockType>(BLOCKS.find(block)), count};
    }

    // The stacks at the indices named in `stacks`, written the same way.
    std::string get(const std::string& stacks) {
        std::istringstream in(stacks);
        std::string out;
        int index = 0, count = 0;
        for (char block = 0; in >> index >> block >> count;)
            out += std::to_string(index) + BLOCKS[slot(index).type] + std::to_string(slot(index).count) + " ";
        return out;
    }

    std::unique_ptr<Player, decltype(&player_free)> owner_{player_create(0.0f, 0.0f, 0.0f), player_free};
    Player* player_ = owner_.get();
};

// Operations: "+s" adds one stone, "-s" removes one, "s10" gives ten; a
// leading "!" marks a refused one, which must leave all 45 stacks as they were.
TEST_F(InventoryTest, AddRemoveAndGiveFollowTheStackingRules) {
    std::string full, stone65;
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) full += std::to_string(i) + "d64 ";
    for (int i = 0; i < 65; i++) stone65 += "+s ";
    struct Case {
        std::string before;
        int selected;
        std::string ops, after;
    };
    const Case cases[] = {
        {"", 0, stone65, "0s64 1s1 9a0"},
        {"0s64 14s10", 0, "+s", "14s11 1a0"},  // a matching backpack stack before an empty hotbar slot
        {"", 0, "!+a !+b !b5 !a5", "0a0"},
        {full, 0, "!+n !+d !d1", "0d64"},
        {"3w1 12w5", 8, "-w -w !-n", "3a0 12w4"},  // removal takes the first stack, whatever is selected
        {"", 4, "d100", "4d64 0d36 1a0"},
        {"0n1 20d60", 0, "d10", "20d64 1d6 0n1"},  // matching stacks are topped up before empty slots
        {"7s3", 0, "!d2817 !d0 !d-5 d2816", "7s3 44d64"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.substr(0, 20) + " / " + c.ops.substr(0, 20));
        inventory_init(player_);
        set(c.before);
        player_->selected_slot = c.selected;
        std::istringstream ops(c.ops);
        for (std::string op; ops >> op;) {
            const Player before = *player_;
            const bool refused = op[0] == '!';
            const char kind = op[refused];
            const size_t letter = refused + (kind == '+' || kind == '-');
            const BlockType type = static_cast<BlockType>(BLOCKS.find(op[letter]));
            const bool ok = kind == '+'   ? inventory_add_block(player_, type)
                            : kind == '-' ? inventory_remove_block(player_, type)
                                          : inventory_give(player_, type, std::stoi(op.substr(letter + 1)));
            EXPECT_EQ(ok, !refused) << op;
            EXPECT_TRUE(ok || (memcmp(before.inventory, player_->inventory, sizeof before.inventory) == 0 &&
                               memcmp(before.big_inventory, player_->big_inventory, sizeof before.big_inventory) == 0))
                << op;
        }
        EXPECT_EQ(get(c.after), c.after + " ");
    }
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_STONE), 64 - 3);
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_DIRT), 0);
}

TEST_F(InventoryTest, SelectedBlockAndTheBigInventorySwitch) {
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_AIR);
    set("2n3");
    player_->selected_slot = 2;
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_SAND);
    set("2n0");
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_AIR);
    for (bool open : {false, true, false}) {
        EXPECT_EQ(inventory_is_big_open(player_), open);
        inventory_toggle_big(player_);
    }
}

// A click on hotbar slot 0 when it holds something, then one on backpack slot
// 44: pick up, put down, merge or swap. What is held belongs to neither array.
TEST_F(InventoryTest, ClicksPickUpPutDownMergeAndSwap) {
    const std::pair<const char*, const char*> cases[] = {
        {"44s10", "44a0 0a0 99s10"},      {"", "44a0 0a0 99a0"},
        {"0d12", "44d12 0a0 99a0"},       {"0s64 44s30", "44s64 0a0 99s30"},
        {"0n20 44n30", "44n50 0a0 99a0"}, {"0w5 44l9", "44w5 0a0 99l9"}};
    for (const auto& [before, after] : cases) {
        inventory_init(player_);
        set(before);
        if (player_->inventory[0].count > 0) game_inventory_click(player_, &player_->inventory[0]);
        game_inventory_click(player_, &player_->big_inventory[35]);
        EXPECT_EQ(get(after), std::string(after) + " ") << before;
        EXPECT_EQ(player_->holding_item, player_->held_slot.count > 0) << before;
    }
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_GLOWSTONE), 44 * 64);
    EXPECT_FALSE(inventory_remove_block(player_, BLOCK_GLOWSTONE));
}

TEST_F(InventoryTest, ClicksFindTheSlotUnderTheMouse) {
    set("30g3 4d1");  // backpack row 2, column 3
    const Rectangle backpack = game_inventory_backpack_rect(1200, 800, 2, 3);
    game_inventory_click_at(player_, 1200, 800, Vector2{backpack.x + 39.5f, backpack.y});
    EXPECT_EQ(get("99g3"), "99g3 ");
    const Rectangle gap = game_inventory_backpack_rect(1200, 800, 0, 0);
    game_inventory_click_at(player_, 1200, 800, Vector2{gap.x + 41.0f, gap.y + 5.0f});
    EXPECT_TRUE(player_->holding_item);
    const Rectangle hotbar = game_inventory_hotbar_rect(1200, 800, 4);
    game_inventory_click_at(player_, 1200, 800, Vector2{hotbar.x + 20.0f, hotbar.y + 20.0f});
    EXPECT_EQ(get("4g3 99d1"), "4g3 99d1 ");
    EXPECT_EQ(player_->selected_slot, 0);
    // Both the hotbar and the screen are centred, their offsets cut toward zero.
    const Rectangle last = game_hotbar_slot_rect(1200, 800, 8), corner = game_inventory_backpack_rect(1200, 800, 3, 8),
                    lower = game_inventory_hotbar_rect(1201, 801, 1);
    EXPECT_EQ(std::tuple(game_hotbar_slot_rect(1200, 800, 0).x + last.x + last.width, last.y, last.width),
              std::tuple(1200.0f, 720.0f, 50.0f));
    EXPECT_EQ(std::tuple(gap.x + corner.x + corner.width, gap.y, corner.y, corner.width, lower.x, lower.y),
              std::tuple(1200.0f, 292.0f, 424.0f, 40.0f, 448.0f, 532.0f));
    EXPECT_EQ(game_hotbar_slot_rect(527, 800, 0).x, -1.0f);
    EXPECT_EQ(game_slot_count_x(-30, 5, 0.5f), -25);
}

// The hotbar shows blocks in the world's colours, except three of its own.
TEST(InventoryColours, HotbarMatchesTheWorldButForSandWoodAndGlowstone) {
    for (int type = BLOCK_AIR + 1; type <= BLOCK_GLOWSTONE; type++) {
        const Color own = game_inventory_block_color(static_cast<BlockType>(type)),
                    world = world_get_block_color(static_cast<BlockType>(type));
        const bool same = own.r == world.r && own.g == world.g && own.b == world.b && own.a == world.a;
        EXPECT_EQ(same, type != BLOCK_SAND && type != BLOCK_WOOD && type != BLOCK_GLOWSTONE) << type;
    }
}

}  // namespace
