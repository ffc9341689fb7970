// The command dispatcher: every prefix, its messages, and the lines it refuses.
#include <sys/stat.h>

#include <cmath>
#include <string>

#include "game_ui_fixture.h"

namespace {

bool exists(const char* path) {
    struct stat info = {};
    return stat(path, &info) == 0;
}

using CommandsTest = GameUiTest;

TEST_F(CommandsTest, QuitEndsTheGameEvenWithTextAfterIt) {
    run("/quit now please");
    EXPECT_TRUE(game_->should_quit);
    EXPECT_EQ(last_message(), "Quitting");
}

TEST_F(CommandsTest, BareWordsAndUnknownCommandsPostTheWholeLine) {
    const char* lines[] = {"/save", "/fly", "/tp", "/createworld", "/give", "/", "/Quit", "/teleport 1 2 3"};
    for (const char* line : lines) {
        run(line);
        EXPECT_EQ(last_message(), std::string("Unknown command: ") + line);
    }
    EXPECT_FALSE(game_->should_quit);
    EXPECT_EQ(game_->chat.message_count, 8);
}

TEST_F(CommandsTest, TeleportMovesAndStopsThePlayer) {
    player()->velocity = Vector3{1.0f, -3.0f, 2.0f};
    run("/tp 100.5 120 -50.25");
    EXPECT_FLOAT_EQ(player()->position.x, 100.5f);
    EXPECT_FLOAT_EQ(player()->position.y, 120.0f);
    EXPECT_FLOAT_EQ(player()->position.z, -50.25f);
    EXPECT_EQ(player()->velocity.y, 0.0f);
    EXPECT_EQ(last_message(), "Teleported to 100.50, 120.00, -50.25");
}

TEST_F(CommandsTest, TeleportRefusesMissingAndUnusableNumbers) {
    const char* lines[] = {"/tp 1 2", "/tp a b c", "/tp nan 100 0", "/tp 0 inf 0", "/tp 3e9 100 0", "/tp 0 100 -1e30"};
    for (const char* line : lines) {
        run(line);
        EXPECT_EQ(last_message(), "Usage: /tp x y z") << line;
        EXPECT_FLOAT_EQ(player()->position.x, 8.0f) << line;
        EXPECT_FLOAT_EQ(player()->position.y, 100.0f) << line;
    }
}

TEST_F(CommandsTest, SelectChoosesPlaceableBlocksByName) {
    run("/select   sand  ");
    EXPECT_EQ(player()->selected_block, BLOCK_SAND);
    EXPECT_EQ(last_message(), "Selected sand");
    run("/select air");
    run("/select bedrock");
    EXPECT_EQ(player()->selected_block, BLOCK_SAND);
    EXPECT_EQ(last_message(), "Unknown block: bedrock");
}

TEST_F(CommandsTest, FlyAndNoclipSwitchAndExplainOtherWords) {
    run("/fly enable");
    EXPECT_TRUE(game_->flight_enabled);
    player()->is_flying = true;
    run("/fly disable");
    EXPECT_FALSE(game_->flight_enabled);
    EXPECT_FALSE(player()->is_flying);
    EXPECT_EQ(last_message(), "Flight off");
    run("/fly maybe");
    EXPECT_EQ(last_message(), "Usage: /fly enable|disable");

    run("/noclip enable ");
    EXPECT_TRUE(player()->no_clip);
    EXPECT_EQ(last_message(), "Noclip on");
    run("/noclip disable");
    EXPECT_FALSE(player()->no_clip);
    run("/noclip ENABLE");
    EXPECT_FALSE(player()->no_clip);
    EXPECT_EQ(last_message(), "Usage: /noclip enable|disable");
}

TEST_F(CommandsTest, SetblockPlacesTheNamedBlock) {
    run("/setblock 8 110 8 glowstone");
    EXPECT_EQ(world_get_block(world(), 8, 110, 8), BLOCK_GLOWSTONE);
    EXPECT_EQ(last_message(), "Set glowstone at 8.0 110.0 8.0");
    run("/setblock 8.9 110.2 8.5 air");
    EXPECT_EQ(world_get_block(world(), 8, 110, 8), BLOCK_AIR);
}

TEST_F(CommandsTest, SetblockWithThreeNumbersUsesTheSelectedBlock) {
    run("/setblock -1.5 200 3");
    EXPECT_EQ(world_get_block(world(), -2, 200, 3), BLOCK_STONE);
    EXPECT_EQ(last_message(), "Set stone at -1.5 200.0 3.0");
}

TEST_F(CommandsTest, SetblockOutsideTheHeightRangeChangesNothing) {
    run("/setblock 4 300 4 dirt");
    EXPECT_EQ(last_message(), "Out of bounds");
    run("/setblock 4 -0.5 4 dirt");
    EXPECT_EQ(last_message(), "Out of bounds");
    EXPECT_EQ(world()->chunk_cache.chunk_count, 0);
}

TEST_F(CommandsTest, SetblockWithAnUnknownWordPostsOnlyThatAndChangesNothing) {
    run("/setblock 4 120 4 diamond");
    EXPECT_EQ(last_message(), "Unknown block: diamond");
    EXPECT_EQ(game_->chat.message_count, 1);
    EXPECT_EQ(world()->chunk_cache.chunk_count, 0);
}

TEST_F(CommandsTest, SetblockRefusesMissingAndUnusableNumbers) {
    const char* lines[] = {"/setblock 1 2", "/setblock x 1 1", "/setblock nan 100 0 stone",
                           "/setblock 0 100 1e20 stone", "/setblock -inf 100 0"};
    for (const char* line : lines) {
        run(line);
        EXPECT_EQ(last_message(), "Usage: /setblock x y z [block]") << line;
    }
    EXPECT_EQ(world()->chunk_cache.chunk_count, 0);
}

TEST_F(CommandsTest, GiveFillsTheActiveSlotAndDefaultsToOne) {
    run("/give stone 10");
    EXPECT_EQ(last_message(), "Gave 10 stone.");
    EXPECT_EQ(player()->inventory[0].type, BLOCK_STONE);
    EXPECT_EQ(player()->inventory[0].count, 10);
    run("/give dirt");
    EXPECT_EQ(last_message(), "Gave 1 dirt.");
    EXPECT_EQ(player()->inventory[1].count, 1);
    run("/give sand lots");
    EXPECT_EQ(last_message(), "Gave 1 sand.");
}

TEST_F(CommandsTest, GiveOverCapacityOrBelowOneChangesNothing) {
    const char* lines[] = {"/give stone 2881", "/give stone 0", "/give stone -5", "/give stone 99999999999999999999999",
                           "/give stone -99999999999999999999"};
    for (const char* line : lines) {
        run(line);
        EXPECT_EQ(last_message(), "Not enough inventory space to give items.") << line;
    }
    EXPECT_EQ(inventory_total_free_capacity(player(), BLOCK_STONE), 45 * 64);
    run("/give stone 2880");
    EXPECT_EQ(last_message(), "Gave 2880 stone.");
}

TEST_F(CommandsTest, GiveRefusesUnknownItemsAndEmptyArguments) {
    run("/give air 5");
    EXPECT_EQ(last_message(), "Unknown block: air");
    run("/give bedrock");
    EXPECT_EQ(last_message(), "Unknown block: bedrock");
    run("/give    ");
    EXPECT_EQ(last_message(), "Usage: /give <item> [count]");
    EXPECT_EQ(inventory_total_free_capacity(player(), BLOCK_AIR), 45 * 64);
}

TEST_F(CommandsTest, SaveWritesTheWorldUnderTheName) {
    run("/save  e2e_copy ");
    EXPECT_EQ(last_message(), "Saved e2e_copy");
    EXPECT_TRUE(exists("worlds/e2e_copy/world.txt"));
}

TEST_F(CommandsTest, SaveAndLoadRefuseNamesThatLeaveTheWorldsFolder) {
    const char* names[] = {"../escape", ".hidden", "a/b", "a\\b", ".."};
    for (const char* name : names) {
        run(("/save " + std::string(name)).c_str());
        EXPECT_EQ(last_message(), std::string("Save failed: ") + name);
        run(("/load " + std::string(name)).c_str());
        EXPECT_EQ(last_message(), std::string("Load failed: ") + name);
    }
    run("/save    ");
    EXPECT_EQ(last_message(), "Save failed: ");
    EXPECT_FALSE(exists("escape"));
    EXPECT_FALSE(exists("worlds"));
    EXPECT_STREQ(world()->world_name, "default");
}

TEST_F(CommandsTest, SaveReportsAFailedWrite) {
    write_file("worlds", "not a folder");
    run("/save blocked");
    EXPECT_EQ(last_message(), "Save failed: blocked");
}

TEST_F(CommandsTest, LoadSavesTheCurrentWorldFirstAndKeepsThePlayer) {
    World* before = world();
    run("/load other");
    EXPECT_EQ(last_message(), "Loaded other");
    EXPECT_TRUE(exists("worlds/default/world.txt"));
    EXPECT_EQ(world(), before);
    EXPECT_STREQ(world()->world_name, "other");
    EXPECT_FLOAT_EQ(player()->position.y, 100.0f);
}

TEST_F(CommandsTest, LoadReportsAFailedSaveOfTheCurrentWorldBeforeLoading) {
    write_file("worlds", "not a folder");
    run("/load other");
    EXPECT_EQ(message_back(1), "Save failed: default");
    EXPECT_STREQ(world()->world_name, "other");
}

TEST_F(CommandsTest, CreateworldReplacesTheWorldAndKeepsThePlayer) {
    run("/give wood 7");
    player()->no_clip = true;
    run("/createworld e2e_new");
    EXPECT_EQ(last_message(), "World 'e2e_new' created and saved successfully.");
    EXPECT_STREQ(world()->world_name, "e2e_new");
    EXPECT_TRUE(exists("worlds/e2e_new/world.txt"));
    EXPECT_EQ(player()->inventory[0].count, 7);
    EXPECT_TRUE(player()->no_clip);
    EXPECT_EQ(player()->position.x, 0.0f);
    EXPECT_EQ(player()->position.z, 0.0f);
    EXPECT_GE(player()->position.y, 105.0f);
    EXPECT_GE(player()->position.y,
              static_cast<float>(smooth_terrain_height(0, 0, world()->seed)) + PLAYER_HALF_HEIGHT);
    EXPECT_FLOAT_EQ(world()->last_player_position.y, player()->position.y);
}

TEST_F(CommandsTest, SaveStoresWhereThePlayerStands) {
    player()->position = Vector3{12.5f, 101.25f, -3.0f};
    run("/save here");
    World* copy = world_create();
    ASSERT_TRUE(world_load(copy, "here"));
    EXPECT_FLOAT_EQ(copy->last_player_position.x, 12.5f);
    EXPECT_FLOAT_EQ(copy->last_player_position.y, 101.25f);
    EXPECT_FLOAT_EQ(copy->last_player_position.z, -3.0f);
    world_free(copy);
}

// Replacing the world by command keeps the edits of the world that was running.
TEST_F(CommandsTest, WorldSwitchesSaveTheRunningWorldFirst) {
    const char* switches[] = {"/createworld next_one", "/loadworld next_two"};
    for (const char* line : switches) {
        const std::string old_name = world()->world_name;
        run("/setblock 5 110 5 glowstone");
        run(line);
        World* reread = world_create();
        ASSERT_TRUE(world_load(reread, old_name.c_str()));
        EXPECT_EQ(world_get_block(reread, 5, 110, 5), BLOCK_GLOWSTONE) << line;
        world_free(reread);
    }
}

TEST_F(CommandsTest, CreateworldRefusesNamesOutsideLettersDigitsAndUnderscore) {
    const char* lines[] = {"/createworld my world", "/createworld ../x", "/createworld  ", "/createworld caf\xc3\xa9"};
    for (const char* line : lines) {
        run(line);
        EXPECT_EQ(last_message(), "Invalid world name. Use only alphanumeric characters and underscore.") << line;
    }
    EXPECT_STREQ(world()->world_name, "default");
    EXPECT_FALSE(exists("worlds"));
}

TEST_F(CommandsTest, LoadworldStartsANewPlayerAboveTheGround) {
    run("/give wood 7");
    player()->selected_slot = 3;
    run("/loadworld fresh_one");
    EXPECT_EQ(last_message(), "Loaded fresh_one");
    EXPECT_STREQ(world()->world_name, "fresh_one");
    EXPECT_EQ(player()->inventory[0].count, 0);
    EXPECT_EQ(player()->selected_slot, 0);
    EXPECT_EQ(player()->position.x, 0.0f);
    EXPECT_GE(player()->position.y, 105.0f);
    EXPECT_GE(player()->position.y,
              static_cast<float>(smooth_terrain_height(0, 0, world()->seed)) + PLAYER_HALF_HEIGHT);
}

TEST_F(CommandsTest, LoadworldReadsASavedWorld) {
    run("/createworld saved_one");
    const uint64_t seed = world()->seed;
    run("/loadworld saved_one");
    EXPECT_EQ(last_message(), "Loaded saved_one");
    EXPECT_EQ(world()->seed, seed);
}

TEST_F(CommandsTest, LoadworldRefusesInvalidNames) {
    run("/loadworld bad-name");
    EXPECT_EQ(last_message(), "Invalid world name");
    run("/loadworld");
    EXPECT_EQ(last_message(), "Unknown command: /loadworld");
    EXPECT_STREQ(world()->world_name, "default");
}

TEST_F(CommandsTest, TypedTextNeverActsAsAFormat) {
    run("/select %s%s%n");
    EXPECT_EQ(last_message(), "Unknown block: %s%s%n");
    run("/%d%s%n");
    EXPECT_EQ(last_message(), "Unknown command: /%d%s%n");
}

TEST_F(CommandsTest, ALanguageTextThatIsNoFormatForItsArgumentsIsShownAsItStands) {
    set(menu_->game_text.msg_world_saved, "Saved %d %n");
    run("/save fine");
    EXPECT_EQ(last_message(), "Saved %d %n");
}

}  // namespace
