// The loop-level keys of a game frame and the start values of the loop state.
#include <gtest/gtest.h>

#include "game_loop.h"

namespace {

class GameLoopKeys : public ::testing::Test {
protected:
    void SetUp() override {
        game_state_init(&game_);
        game_.look.mouse_captured = true;  // a running, unpaused game
    }

    LoopKeyEffects press(LoopKeys keys) { return game_apply_loop_keys(&game_, keys); }

    GameState game_{};
};

TEST(GameState, StartValues) {
    GameState game;
    game_state_init(&game);
    EXPECT_EQ(game.hud.mode, 0);
    EXPECT_EQ(game.hud.prev_mode, -1);
    EXPECT_FLOAT_EQ(game.look.camera.position.x, 20.0f);
    EXPECT_FLOAT_EQ(game.look.camera.target.y, 4.0f);
    EXPECT_FLOAT_EQ(game.look.camera.fovy, 90.0f);
    EXPECT_EQ(game.look.camera.projection, CAMERA_PERSPECTIVE);
    EXPECT_FLOAT_EQ(game.look.forward.z, 1.0f);
    EXPECT_EQ(game.world, nullptr);
    EXPECT_FALSE(game.paused);
    EXPECT_FALSE(game.look.mouse_captured);
}

TEST_F(GameLoopKeys, LaterFunctionKeyWinsAndSystemInfoIsReadOnce) {
    LoopKeys keys = {};
    keys.f4 = true;
    keys.f5 = true;
    LoopKeyEffects e = press(keys);
    EXPECT_EQ(game_.hud.mode, 3);
    EXPECT_TRUE(e.fill_system_info);
    EXPECT_EQ(game_.hud.prev_mode, 3);

    keys.f4 = false;
    e = press(keys);
    EXPECT_FALSE(e.fill_system_info);

    LoopKeys f2 = {};
    f2.f2 = true;
    press(f2);
    EXPECT_EQ(game_.hud.mode, 0);
    e = press(keys);
    EXPECT_TRUE(e.fill_system_info);
}

TEST_F(GameLoopKeys, EscapeClosesTheInventoryBeforeItPauses) {
    game_.look.mouse_captured = false;  // the open inventory freed the cursor
    LoopKeys keys = {};
    keys.escape = true;
    keys.inventory_open = true;
    LoopKeyEffects e = press(keys);
    EXPECT_TRUE(e.toggle_inventory);
    EXPECT_FALSE(game_.paused);
    EXPECT_TRUE(game_.look.mouse_captured);
    EXPECT_EQ(e.cursor, LOOP_CURSOR_DISABLE);

    keys.inventory_open = false;
    e = press(keys);
    EXPECT_FALSE(e.toggle_inventory);
    EXPECT_TRUE(game_.paused);
    EXPECT_FALSE(game_.look.mouse_captured);
    EXPECT_EQ(e.cursor, LOOP_CURSOR_ENABLE);
}

TEST_F(GameLoopKeys, PTogglesThePauseAndTheCursorFollows) {
    LoopKeys keys = {};
    keys.p = true;
    press(keys);
    EXPECT_TRUE(game_.paused);
    EXPECT_FALSE(game_.look.mouse_captured);
    LoopKeyEffects e = press(keys);
    EXPECT_FALSE(game_.paused);
    EXPECT_TRUE(game_.look.mouse_captured);
    EXPECT_EQ(e.cursor, LOOP_CURSOR_DISABLE);

    LoopKeyEffects idle = press(LoopKeys{});
    EXPECT_EQ(idle.cursor, LOOP_CURSOR_KEEP);
}

TEST_F(GameLoopKeys, TWhilePausedDoesNothingButRStillResets) {
    game_.paused = true;
    game_.look.mouse_captured = false;
    LoopKeys keys = {};
    keys.t = true;
    keys.r = true;
    LoopKeyEffects e = press(keys);
    EXPECT_FALSE(game_.chat.active);
    EXPECT_FALSE(e.chat_opened);
    EXPECT_TRUE(e.reset_player);
    EXPECT_TRUE(game_.paused);
}

TEST_F(GameLoopKeys, TOpensTheChat) {
    game_.chat.input[0] = 'x';
    game_.chat.input_len = 1;
    game_.chat.history_index = 4;
    LoopKeys keys = {};
    keys.t = true;
    keys.f3 = true;
    LoopKeyEffects e = press(keys);
    EXPECT_TRUE(e.chat_opened);
    EXPECT_TRUE(game_.chat.active);
    EXPECT_FALSE(game_.look.mouse_captured);
    EXPECT_EQ(e.cursor, LOOP_CURSOR_ENABLE);
    EXPECT_EQ(game_.chat.input[0], '\0');
    EXPECT_EQ(game_.chat.input_len, 0);
    EXPECT_EQ(game_.chat.history_index, 0);
    EXPECT_EQ(game_.hud.prev_mode, 1);
}

TEST_F(GameLoopKeys, F11AsksForFullscreen) {
    LoopKeys keys = {};
    keys.f11 = true;
    EXPECT_TRUE(press(keys).toggle_fullscreen);
    EXPECT_FALSE(press(LoopKeys{}).toggle_fullscreen);
}

TEST(GameNumberKeys, HighestPressedKeyWins) {
    bool keys[9] = {};
    EXPECT_EQ(game_number_key_slot(keys), -1);
    keys[1] = true;
    keys[6] = true;
    EXPECT_EQ(game_number_key_slot(keys), 6);
}

}  // namespace
