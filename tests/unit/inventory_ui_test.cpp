// The inventory screen's click rule and the geometry of the hotbar and screen.
#include "game_ui_fixture.h"

namespace {

using InventoryUiTest = GameUiTest;

void expect_slot(const InventorySlot& slot, BlockType type, int count) {
    EXPECT_EQ(slot.type, type);
    EXPECT_EQ(slot.count, count);
}

TEST_F(InventoryUiTest, PickingUpTakesTheWholeStackOutOfBothArrays) {
    player()->big_inventory[5] = InventorySlot{BLOCK_STONE, 10};
    game_inventory_click(player(), &player()->big_inventory[5]);
    EXPECT_TRUE(player()->holding_item);
    expect_slot(player()->held_slot, BLOCK_STONE, 10);
    expect_slot(player()->big_inventory[5], BLOCK_AIR, 0);
    EXPECT_EQ(inventory_total_free_capacity(player(), BLOCK_STONE), 45 * 64);
    EXPECT_FALSE(inventory_remove_block(player(), BLOCK_STONE));
}

TEST_F(InventoryUiTest, ClickingAnEmptySlotWithNothingHeldDoesNothing) {
    game_inventory_click(player(), &player()->inventory[2]);
    EXPECT_FALSE(player()->holding_item);
    expect_slot(player()->inventory[2], BLOCK_AIR, 0);
}

TEST_F(InventoryUiTest, PuttingDownOnAnEmptySlot) {
    player()->inventory[0] = InventorySlot{BLOCK_DIRT, 12};
    game_inventory_click(player(), &player()->inventory[0]);
    game_inventory_click(player(), &player()->big_inventory[35]);
    EXPECT_FALSE(player()->holding_item);
    expect_slot(player()->big_inventory[35], BLOCK_DIRT, 12);
    expect_slot(player()->held_slot, BLOCK_AIR, 0);
}

TEST_F(InventoryUiTest, AFullStackOntoAPartialOneFillsItAndKeepsTheRestHeld) {
    player()->inventory[0] = InventorySlot{BLOCK_STONE, 64};
    player()->inventory[1] = InventorySlot{BLOCK_STONE, 30};
    game_inventory_click(player(), &player()->inventory[0]);
    game_inventory_click(player(), &player()->inventory[1]);
    expect_slot(player()->inventory[1], BLOCK_STONE, 64);
    expect_slot(player()->held_slot, BLOCK_STONE, 30);
    EXPECT_TRUE(player()->holding_item);
}

TEST_F(InventoryUiTest, MergingEverythingEmptiesTheHand) {
    player()->inventory[0] = InventorySlot{BLOCK_SAND, 20};
    player()->big_inventory[0] = InventorySlot{BLOCK_SAND, 30};
    game_inventory_click(player(), &player()->inventory[0]);
    game_inventory_click(player(), &player()->big_inventory[0]);
    expect_slot(player()->big_inventory[0], BLOCK_SAND, 50);
    expect_slot(player()->held_slot, BLOCK_AIR, 0);
    EXPECT_FALSE(player()->holding_item);
}

TEST_F(InventoryUiTest, ClickingAnotherTypeSwaps) {
    player()->inventory[0] = InventorySlot{BLOCK_WOOD, 5};
    player()->inventory[1] = InventorySlot{BLOCK_GLOWSTONE, 9};
    game_inventory_click(player(), &player()->inventory[0]);
    game_inventory_click(player(), &player()->inventory[1]);
    expect_slot(player()->inventory[1], BLOCK_WOOD, 5);
    expect_slot(player()->held_slot, BLOCK_GLOWSTONE, 9);
    EXPECT_TRUE(player()->holding_item);
}

TEST_F(InventoryUiTest, ClicksFindTheSlotUnderTheMouse) {
    player()->big_inventory[2 * 9 + 3] = InventorySlot{BLOCK_GRASS, 3};
    player()->inventory[4] = InventorySlot{BLOCK_DIRT, 1};
    const Rectangle backpack = game_inventory_backpack_rect(1200, 800, 2, 3);
    game_inventory_click_at(player(), 1200, 800, Vector2{backpack.x + 39.5f, backpack.y});
    expect_slot(player()->held_slot, BLOCK_GRASS, 3);

    const Rectangle gap = game_inventory_backpack_rect(1200, 800, 0, 0);
    game_inventory_click_at(player(), 1200, 800, Vector2{gap.x + 41.0f, gap.y + 5.0f});
    EXPECT_TRUE(player()->holding_item);

    const Rectangle hotbar = game_inventory_hotbar_rect(1200, 800, 4);
    game_inventory_click_at(player(), 1200, 800, Vector2{hotbar.x + 20.0f, hotbar.y + 20.0f});
    expect_slot(player()->inventory[4], BLOCK_GRASS, 3);
    expect_slot(player()->held_slot, BLOCK_DIRT, 1);
    EXPECT_EQ(player()->selected_slot, 0);
}

TEST(InventoryUiGeometry, HotbarIsCentredWithTheOffsetCutTowardZero) {
    EXPECT_EQ(game_hotbar_slot_rect(530, 600, 0).x, 0.0f);
    EXPECT_EQ(game_hotbar_slot_rect(1201, 800, 0).x, 335.0f);
    EXPECT_EQ(game_hotbar_slot_rect(529, 800, 0).x, 0.0f);
    EXPECT_EQ(game_hotbar_slot_rect(527, 800, 0).x, -1.0f);
    const Rectangle last = game_hotbar_slot_rect(1200, 800, 8);
    EXPECT_EQ(last.x, 335.0f + 480.0f);
    EXPECT_EQ(last.y, 720.0f);
    EXPECT_EQ(last.width, 50.0f);
}

TEST(InventoryUiGeometry, ScreenSlotsSitOnAFortyFourPixelGrid) {
    const Rectangle first = game_inventory_backpack_rect(1200, 800, 0, 0);
    EXPECT_EQ(first.x, 404.0f);
    EXPECT_EQ(first.y, 292.0f);
    const Rectangle last = game_inventory_backpack_rect(1200, 800, 3, 8);
    EXPECT_EQ(last.x, 404.0f + 352.0f);
    EXPECT_EQ(last.y, 292.0f + 132.0f);
    EXPECT_EQ(last.width, 40.0f);
    const Rectangle hotbar = game_inventory_hotbar_rect(1201, 801, 1);
    EXPECT_EQ(hotbar.x, 404.0f + 44.0f);
    EXPECT_EQ(hotbar.y, 292.0f + 240.0f);
}

TEST(InventoryUiGeometry, CountsAreRightAlignedAndCutTowardZero) {
    EXPECT_EQ(game_slot_count_x(100, 45, 22.6f), 122);
    EXPECT_EQ(game_slot_count_x(100, 37, 9.0f), 128);
    EXPECT_EQ(game_slot_count_x(-30, 5, 0.5f), -25);
}

TEST(InventoryUiGeometry, BlockColoursOfTheInventory) {
    const Color sand = game_inventory_block_color(BLOCK_SAND);
    EXPECT_EQ(sand.r, 194);
    EXPECT_EQ(sand.g, 178);
    EXPECT_EQ(sand.b, 128);
    EXPECT_EQ(game_inventory_block_color(BLOCK_WOOD).g, 90);
    const Color glow = game_inventory_block_color(BLOCK_GLOWSTONE);
    EXPECT_EQ(glow.b, 0);
    EXPECT_EQ(glow.a, 255);
    EXPECT_EQ(game_inventory_block_color(static_cast<BlockType>(42)).r, 200);
}

}  // namespace
