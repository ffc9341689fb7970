// The command dispatcher: every prefix, its messages, and the lines it refuses.
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "game_ui_fixture.h"

namespace {

bool exists(const char* path) {
    struct stat info = {};
    return stat(path, &info) == 0;
}

class CommandsTest : public GameUiTest {
protected:
    struct Step {
        const char* line;
        const char* message;
        std::function<bool()> holds;
    };

    void play(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            run(step.line);
            EXPECT_EQ(message(), step.message) << step.line;
            EXPECT_TRUE(step.holds()) << step.line;
        }
    }

    BlockType block(int x, int y, int z) const { return world_get_block(world(), x, y, z); }

    // The saved world `name` as it reads back from disk.
    static std::unique_ptr<World, decltype(&world_free)> reread(const char* name) {
        std::unique_ptr<World, decltype(&world_free)> copy(world_create(), world_free);
        EXPECT_TRUE(world_load(copy.get(), name)) << name;
        return copy;
    }

    bool stands_above_ground(float x, float z) const {
        const Vector3 p = player()->position;
        const float ground = static_cast<float>(smooth_terrain_height(0, 0, world()->seed)) + PLAYER_HALF_HEIGHT;
        return p.x == x && p.z == z && p.y >= 105.0f && p.y >= ground;
    }
};

TEST_F(CommandsTest, PlayerCommandsActAndSayWhatTheyDid) {
    player()->velocity = Vector3{1.0f, -3.0f, 2.0f};
    player()->is_flying = true;
    const InventorySlot* hotbar = player()->inventory;
    play({
        {"/tp 100.5 120 -50.25", "Teleported to 100.50, 120.00, -50.25",
         [&] {
             const Vector3 p = player()->position;
             return p.x == 100.5f && p.y == 120.0f && p.z == -50.25f && player()->velocity.y == 0.0f;
         }},
        {"/select   sand  ", "Selected sand", [&] { return player()->selected_block == BLOCK_SAND; }},
        {"/fly enable", "Flight on", [&] { return game_->flight_enabled && player()->is_flying; }},
        {"/fly disable", "Flight off", [&] { return !game_->flight_enabled && !player()->is_flying; }},
        {"/noclip enable ", "Noclip on", [&] { return player()->no_clip; }},
        {"/noclip disable", "Noclip off", [&] { return !player()->no_clip; }},
        {"/setblock 8 110 8 glowstone", "Set glowstone at 8.0 110.0 8.0",
         [&] { return block(8, 110, 8) == BLOCK_GLOWSTONE; }},
        {"/setblock 8.9 110.2 8.5 air", "Set air at 8.9 110.2 8.5", [&] { return block(8, 110, 8) == BLOCK_AIR; }},
        // Three numbers place the selected block.
        {"/setblock -1.5 200 3", "Set sand at -1.5 200.0 3.0", [&] { return block(-2, 200, 3) == BLOCK_SAND; }},
        {"/give stone 10", "Gave 10 stone.", [&] { return hotbar[0].type == BLOCK_STONE && hotbar[0].count == 10; }},
        {"/give dirt", "Gave 1 dirt.", [&] { return hotbar[1].type == BLOCK_DIRT && hotbar[1].count == 1; }},
        {"/give sand lots", "Gave 1 sand.", [&] { return hotbar[2].type == BLOCK_SAND && hotbar[2].count == 1; }},
        {"/quit now please", "Quitting", [&] { return game_->should_quit; }},
    });
}

TEST_F(CommandsTest, RefusedLinesPostOneMessageAndChangeNothing) {
    const std::string bad_names[] = {"../escape", ".hidden", "a/b", "a\\b", ".."};
    std::vector<std::pair<std::string, std::string>> cases;
    for (const char* line :
         {"/save", "/fly", "/tp", "/createworld", "/give", "/", "/Quit", "/teleport 1 2 3", "/loadworld", "/%d%s%n"})
        cases.emplace_back(line, std::string("Unknown command: ") + line);
    for (const std::string& name : bad_names) {
        cases.emplace_back("/save " + name, "Save failed: " + name);
        cases.emplace_back("/load " + name, "Load failed: " + name);
    }
    for (const char* line :
         {"/tp 1 2", "/tp a b c", "/tp nan 100 0", "/tp 0 inf 0", "/tp 3e9 100 0", "/tp 0 100 -1e30"})
        cases.emplace_back(line, "Usage: /tp x y z");
    for (const char* line : {"/setblock 1 2", "/setblock x 1 1", "/setblock nan 100 0 stone",
                             "/setblock 0 100 1e20 stone", "/setblock -inf 100 0"})
        cases.emplace_back(line, "Usage: /setblock x y z [block]");
    for (const char* line : {"/give stone 2881", "/give stone 0", "/give stone -5",
                             "/give stone 99999999999999999999999", "/give stone -99999999999999999999"})
        cases.emplace_back(line, "Not enough inventory space to give items.");
    for (const char* line :
         {"/createworld my world", "/createworld ../x", "/createworld  ", "/createworld caf\xc3\xa9"})
        cases.emplace_back(line, "Invalid world name. Use only alphanumeric characters and underscore.");
    const std::pair<const char*, const char*> others[] = {
        {"/select air", "Unknown block: air"},
        {"/select bedrock", "Unknown block: bedrock"},
        {"/select %s%s%n", "Unknown block: %s%s%n"},  // typed text never acts as a format
        {"/fly maybe", "Usage: /fly enable|disable"},
        {"/noclip ENABLE", "Usage: /noclip enable|disable"},
        {"/setblock 4 300 4 dirt", "Out of bounds"},
        {"/setblock 4 -0.5 4 dirt", "Out of bounds"},
        {"/setblock 4 120 4 diamond", "Unknown block: diamond"},
        {"/give air 5", "Unknown block: air"},
        {"/give bedrock", "Unknown block: bedrock"},
        {"/give    ", "Usage: /give <item> [count]"},
        {"/save    ", "Save failed: "},
        {"/loadworld bad-name", "Invalid world name"}};
    for (const auto& [line, text] : others) cases.emplace_back(line, text);

    int posted = 0;
    for (const auto& [line, text] : cases) {
        run(line.c_str());
        EXPECT_EQ(message(), text) << line;
        EXPECT_EQ(game_->chat.message_count, ++posted) << line;
    }
    EXPECT_FALSE(game_->should_quit || game_->flight_enabled || player()->no_clip || exists("escape") ||
                 exists("worlds"));
    EXPECT_EQ(std::tuple(player()->position.x, player()->position.y, player()->selected_block,
                         world()->chunk_cache.chunk_count, std::string(world()->world_name),
                         inventory_total_free_capacity(player(), BLOCK_AIR)),
              std::tuple(8.0f, 100.0f, BLOCK_STONE, 0, std::string("default"), 45 * 64));
    run("/give stone 2880");
    EXPECT_EQ(message(), "Gave 2880 stone.");
}

// Every way of replacing the running world saves it first, edits included.
TEST_F(CommandsTest, WorldCommandsSaveTheRunningWorldFirst) {
    player()->position = Vector3{12.5f, 101.25f, -3.0f};
    player()->selected_slot = 3;
    player()->no_clip = true;
    const World* running = world();
    const auto edited = [&](const char* name) {
        return world_get_block(reread(name).get(), 5, 110, 5) == BLOCK_GLOWSTONE;
    };
    const Step edit = {"/setblock 5 110 5 glowstone", "Set glowstone at 5.0 110.0 5.0", [] { return true; }};
    play({
        {"/save  e2e_copy ", "Saved e2e_copy",
         [&] {
             const Vector3 saved = reread("e2e_copy")->last_player_position;
             return saved.x == 12.5f && saved.y == 101.25f && saved.z == -3.0f;
         }},
        edit,
        {"/load other", "Loaded other",
         [&] {
             return world() == running && strcmp(world()->world_name, "other") == 0 &&
                    player()->position.y == 101.25f && edited("default");
         }},
        {"/give wood 7", "Gave 7 wood.", [&] { return player()->inventory[3].count == 7; }},
        edit,
        {"/createworld e2e_new", "World 'e2e_new' created and saved successfully.",
         [&] {
             return strcmp(world()->world_name, "e2e_new") == 0 && exists("worlds/e2e_new/world.txt") &&
                    player()->inventory[3].count == 7 && player()->no_clip && stands_above_ground(0.0f, 0.0f) &&
                    world()->last_player_position.y == player()->position.y && edited("other");
         }},
        edit,
        {"/loadworld fresh_one", "Loaded fresh_one",
         [&] {
             return strcmp(world()->world_name, "fresh_one") == 0 && player()->inventory[3].count == 0 &&
                    player()->selected_slot == 0 && !player()->no_clip && stands_above_ground(0.0f, 0.0f) &&
                    edited("e2e_new");
         }},
        {"/loadworld e2e_new", "Loaded e2e_new", [&] { return world()->seed == reread("e2e_new")->seed; }},
    });
}

TEST_F(CommandsTest, FailedSavesAreReportedAndTheSwitchGoesOn) {
    write_file("worlds", "not a folder");
    run("/save blocked");
    EXPECT_EQ(message(), "Save failed: blocked");
    run("/load other");
    EXPECT_EQ(message(1), "Save failed: default");
    EXPECT_STREQ(world()->world_name, "other");
    // A language text that is no format for its arguments is shown as it stands.
    strcpy(menu_->game_text.msg_world_save_failed, "Failed %d %n");
    run("/save again");
    EXPECT_EQ(message(), "Failed %d %n");
}

}  // namespace
