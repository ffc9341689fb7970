// The loop-level keys of a game frame, played as scripts from the start state.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "game_loop.h"

namespace {

// One frame of keys named in `pressed`; returns the state and effects as text.
std::string press(GameState* game, const std::string& pressed) {
    LoopKeys keys = {};
    std::istringstream words(pressed);
    for (std::string w; words >> w;) {
        bool* key = w == "f2"    ? &keys.f2
                    : w == "f3"  ? &keys.f3
                    : w == "f4"  ? &keys.f4
                    : w == "f5"  ? &keys.f5
                    : w == "esc" ? &keys.escape
                    : w == "p"   ? &keys.p
                    : w == "f11" ? &keys.f11
                    : w == "r"   ? &keys.r
                    : w == "t"   ? &keys.t
                                 : &keys.inventory_open;
        *key = true;
    }
    const LoopKeyEffects e = game_apply_loop_keys(game, keys);
    std::string text = "mode " + std::to_string(game->hud.mode) + "/" + std::to_string(game->hud.prev_mode);
    if (game->paused) text += " paused";
    if (game->look.mouse_captured) text += " captured";
    if (game->chat.active)
        text += game->chat.input[0] || game->chat.input_len || game->chat.history_index ? " stale" : " chat";
    const char* cursor[] = {"", " +show", " +hide"};
    text += cursor[e.cursor];
    if (e.fill_system_info) text += " +info";
    if (e.toggle_inventory) text += " +inventory";
    if (e.toggle_fullscreen) text += " +fullscreen";
    if (e.reset_player) text += " +reset";
    if (e.chat_opened) text += " +chat";
    return text;
}

TEST(GameLoopKeys, ScriptsFromARunningGame) {
    struct Case {
        bool paused, captured;
        std::vector<std::pair<const char*, const char*>> frames;
    };
    const Case cases[] = {
        // The later function key wins; system information is read on entering its page only.
        {false,
         true,
         {{"f4 f5", "mode 3/3 captured +info"},
          {"f5", "mode 3/3 captured"},
          {"f2", "mode 0/0 captured"},
          {"f5", "mode 3/3 captured +info"}}},
        // Escape closes the open inventory (which freed the cursor) before it pauses.
        {false, false, {{"esc inv", "mode 0/0 captured +hide +inventory"}, {"esc", "mode 0/0 paused +show"}}},
        {false, true, {{"p", "mode 0/0 paused +show"}, {"p", "mode 0/0 captured +hide"}, {"", "mode 0/0 captured"}}},
        {true, false, {{"t r", "mode 0/0 paused +reset"}}},  // no chat while paused
        {false, true, {{"t f3", "mode 1/1 chat +show +chat"}}},
        {false, true, {{"f11", "mode 0/0 captured +fullscreen"}, {"", "mode 0/0 captured"}}}};
    GameState fresh;
    game_state_init(&fresh);
    const Camera3D& start = fresh.look.camera;
    EXPECT_EQ(std::tuple(start.position.x, start.target.y, start.fovy, start.projection, fresh.look.forward.z),
              std::tuple(20.0f, 4.0f, 90.0f, CAMERA_PERSPECTIVE, 1.0f));
    EXPECT_EQ(press(&fresh, ""), "mode 0/0 captured +hide") << "a fresh state is unpaused and takes the mouse";
    for (const Case& c : cases) {
        GameState game;
        game_state_init(&game);
        EXPECT_EQ(game.hud.prev_mode, HUD_MODE_NONE);
        EXPECT_EQ(game.world, nullptr);
        game.paused = c.paused;
        game.look.mouse_captured = c.captured;
        strcpy(game.chat.input, "x");
        game.chat.input_len = 1;
        game.chat.history_index = 4;
        for (const auto& [keys, want] : c.frames) EXPECT_EQ(press(&game, keys), want) << keys;
    }
}

TEST(GameLoopKeys, HighestPressedNumberKeyWins) {
    bool keys[9] = {};
    EXPECT_EQ(game_number_key_slot(keys), -1);
    keys[1] = keys[6] = true;
    EXPECT_EQ(game_number_key_slot(keys), 6);
}

}  // namespace
