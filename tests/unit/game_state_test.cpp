// The loop-level keys of a game frame, played as scripts from the start state.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "game_loop.h"

namespace {

// One frame of keys named in `pressed`; returns the state and effects as text.
std::string press(GameState* game, const std::string& pressed) {
    LoopKeys k = {};
    const char* names[] = {" f2 ", " f3 ", " f4 ", " f5 ", " esc ", " p ", " f11 ", " r ", " t ", " inv "};
    bool* keys[] = {&k.f2, &k.f3, &k.f4, &k.f5, &k.escape, &k.p, &k.f11, &k.r, &k.t, &k.inventory_open};
    for (int i = 0; i < 10; i++) *keys[i] = (" " + pressed + " ").find(names[i]) != std::string::npos;
    const LoopKeyEffects e = game_apply_loop_keys(game, k);
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
        {false, true, {{"f4 f5", "mode 3/3 captured +info"}, {"f5", "mode 3/3 captured"}, {"f2", "mode 0/0 captured"}}},
        // Escape closes the open inventory (which freed the cursor) before it pauses.
        {false, false, {{"esc inv", "mode 0/0 captured +hide +inventory"}, {"esc", "mode 0/0 paused +show"}}},
        {false, true, {{"p", "mode 0/0 paused +show"}, {"p", "mode 0/0 captured +hide"}, {"", "mode 0/0 captured"}}},
        {true, false, {{"t r f11", "mode 0/0 paused +fullscreen +reset"}}},  // no chat while paused
        {false, true, {{"t f3", "mode 1/1 chat +show +chat"}}}};
    for (const Case& c : cases) {
        GameState game;
        game_state_init(&game);
        game.paused = c.paused;
        game.look.mouse_captured = c.captured;
        strcpy(game.chat.input, "x");
        game.chat.input_len = 1;
        game.chat.history_index = 4;
        for (const auto& [keys, want] : c.frames) EXPECT_EQ(press(&game, keys), want) << keys;
    }
    bool numbers[9] = {};
    EXPECT_EQ(game_number_key_slot(numbers), -1);
    numbers[1] = numbers[6] = true;
    EXPECT_EQ(game_number_key_slot(numbers), 6) << "the highest pressed number key wins";
}

}  // namespace
