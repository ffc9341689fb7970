// The command dispatcher: every prefix, its messages, and the lines it refuses.
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "game_ui_fixture.h"

namespace {

class CommandsTest : public GameUiTest {
protected:
    void play(const std::vector<std::tuple<const char*, const char*, std::function<bool()>>>& steps) {
        for (const auto& [line, posted, holds] : steps) {
            run(line);
            EXPECT_EQ(std::pair(message(), holds()), std::pair(std::string(posted), true)) << line;
        }
    }

    BlockType block(int x, int y, int z) const { return world_get_block(world(), x, y, z); }
};

TEST_F(CommandsTest, RefusedLinesChangeNothingAndTheOthersActAndSayWhatTheyDid) {
    std::vector<std::pair<std::string, std::string>> cases;
    for (const char* line :
         {"/save", "/fly", "/tp", "/createworld", "/give", "/", "/Quit", "/teleport 1 2 3", "/loadworld", "/%d%s%n"})
        cases.emplace_back(line, std::string("Unknown command: ") + line);
    // Typed text goes into the message as it stands, never as a format.
    for (const char* line : {"/select air", "/select %s%s%n", "/setblock 4 120 4 diamond", "/give air"})
        cases.emplace_back(line, std::string("Unknown block: ") + (strrchr(line, ' ') + 1));
    for (const std::string name : {"../escape", "a\\b", ".."}) {
        cases.emplace_back("/save " + name, "Save failed: " + name);
        cases.emplace_back("/load " + name, "Load failed: " + name);
    }
    const std::pair<const char*, std::vector<const char*>> fixed[] = {
        {"Usage: /tp x y z", {"/tp 1 2", "/tp nan 100 0", "/tp 0 inf 0", "/tp 3e9 100 0", "/tp 0 100 -1e30"}},
        {"Usage: /setblock x y z [block]", {"/setblock 1 2", "/setblock nan 100 0 stone", "/setblock 0 100 1e20"}},
        {"Out of bounds", {"/setblock 4 300 4 dirt", "/setblock 4 -0.5 4 dirt"}},
        {"Not enough inventory space to give items.",
         {"/give stone 2881", "/give stone 0", "/give stone 99999999999999999999999"}},
        {"Invalid world name. Use only alphanumeric characters and underscore.",
         {"/createworld ../x", "/createworld  "}},
        {"Usage: /fly enable|disable", {"/fly maybe"}},
        {"Usage: /noclip enable|disable", {"/noclip ENABLE"}},
        {"Usage: /give <item> [count]", {"/give    "}},
        {"Save failed: ", {"/save    "}},
        {"Invalid world name", {"/loadworld bad-name"}}};
    for (const auto& [text, lines] : fixed)
        for (const char* line : lines) cases.emplace_back(line, text);

    for (size_t i = 0; i < cases.size(); i++) {
        run(cases[i].first.c_str());
        EXPECT_EQ(message(), cases[i].second) << cases[i].first;
        EXPECT_EQ(game_->chat.message_count, static_cast<int>(i + 1)) << cases[i].first;
    }
    EXPECT_FALSE(game_->should_quit || game_->flight_enabled || player()->no_clip ||
                 std::filesystem::exists("escape") || std::filesystem::exists("worlds"));
    EXPECT_EQ(std::tuple(player()->position.x, player()->position.y, player()->selected_block,
                         world()->chunk_cache.chunk_count, std::string(world()->world_name),
                         inventory_total_free_capacity(player(), BLOCK_AIR)),
              std::tuple(8.0f, 100.0f, BLOCK_STONE, 0, std::string("default"), 45 * 64));

    player()->velocity = Vector3{1.0f, -3.0f, 2.0f};
    player()->is_flying = true;
    const InventorySlot* hotbar = player()->inventory;
    play({
        {"/tp 100.5 120 -50.25", "Teleported to 100.50, 120.00, -50.25",
         [&] { return player()->position.z == -50.25f && player()->velocity.y == 0.0f; }},
        {"/select   sand  ", "Selected sand", [&] { return player()->selected_block == BLOCK_SAND; }},
        {"/fly enable", "Flight on", [&] { return game_->flight_enabled && player()->is_flying; }},
        {"/fly disable", "Flight off", [&] { return !game_->flight_enabled && !player()->is_flying; }},
        {"/noclip enable ", "Noclip on", [&] { return player()->no_clip; }},
        {"/noclip disable", "Noclip off", [&] { return !player()->no_clip; }},
        {"/setblock 8 110 8 glowstone", "Set glowstone at 8.0 110.0 8.0",
         [&] { return block(8, 110, 8) == BLOCK_GLOWSTONE; }},
        {"/setblock 8.9 110.2 8.5 air", "Set air at 8.9 110.2 8.5", [&] { return block(8, 110, 8) == BLOCK_AIR; }},
        {"/setblock -1.5 200 3", "Set sand at -1.5 200.0 3.0", [&] { return block(-2, 200, 3) == BLOCK_SAND; }},
        {"/give stone 10", "Gave 10 stone.", [&] { return hotbar[0].type == BLOCK_STONE && hotbar[0].count == 10; }},
        {"/give dirt", "Gave 1 dirt.", [&] { return hotbar[1].type == BLOCK_DIRT && hotbar[1].count == 1; }},
        {"/give dirt lots", "Gave 1 dirt.", [&] { return hotbar[1].count == 2; }},
        {"/quit now please", "Quitting", [&] { return game_->should_quit; }},
    });

    // Failed saves are reported, as they stand when the language's text is no format for them; the switch goes on.
    write_file("worlds", "not a folder");
    strcpy(menu_->game_text.msg_world_save_failed, "Failed %d %n");
    player()->no_clip = true;
    const auto at_start = [&] {
        const Vector3 p = player()->position;
        return p.x == 0.0f && p.z == 0.0f && p.y == player_safe_spawn_y(0.0f, 105.0f, 0.0f, world()->seed);
    };
    play({{"/save blocked", "Failed %d %n", [] { return true; }},
          {"/load other", "Loaded other",
           [&] { return message(1) == "Failed %d %n" && world()->world_name == std::string("other"); }}});
    std::filesystem::remove("worlds");
    // /createworld keeps the body, /loadworld brings a fresh one.
    play({{"/save e2e_copy", "Saved e2e_copy", [] { return true; }},
          {"/createworld e2e_new", "World 'e2e_new' created and saved successfully.",
           [&] { return player()->no_clip && at_start() && world()->last_player_position.y == player()->position.y; }},
          {"/loadworld fresh_one", "Loaded fresh_one", [&] { return !player()->no_clip && at_start(); }}});
}

}  // namespace
