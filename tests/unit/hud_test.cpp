// The four HUD pages: their lines, positions, buffer limits and the speed
// computed from the distance actually moved.
#include <string>
#include <vector>

#include "game_ui_fixture.h"

namespace {

class HudTest : public GameUiTest {
protected:
    struct Line {
        std::string text;
        int y;
        bool grey;
    };

    std::vector<Line> lines(int fps = 60, int memory_mb = 42) {
        HudLine out[GAME_HUD_MAX_LINES];
        const int count = game_hud_lines(game_, fps, memory_mb, out);
        std::vector<Line> result;
        for (int i = 0; i < count; i++) result.push_back(Line{out[i].text, out[i].y, out[i].grey});
        return result;
    }

    void moved(Vector3 from, Vector3 to, Vector3 velocity, float dt) {
        player()->prev_position = from;
        player()->position = to;
        player()->velocity = velocity;
        game_->frame.dt = dt;
    }
};

TEST_F(HudTest, HelpPageShowsControlsCoordinatesAndVersion) {
    player()->position = Vector3{1.04f, 2.5f, -3.26f};
    const std::vector<Line> page = lines(59);
    ASSERT_EQ(page.size(), 8u);
    const char* expected[] = {"WASD to move",  "F2-F5 pages",    "Mouse to break and place",
                              "Mouse to look", "P to pause",     "Position: (1.0, 2.5, -3.3)",
                              "FPS: 59",       "qvox test build"};
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(page[i].text, expected[i]);
        EXPECT_EQ(page[i].y, 10 + 40 * i);
        EXPECT_EQ(page[i].grey, i == 7);
    }
}

TEST_F(HudTest, PerformancePageShowsFrameTimeBlocksAndMemory) {
    game_->hud.mode = HUD_MODE_PERFORMANCE;
    game_->frame.dt = 1.0f / 60.0f;
    game_->frame.blocks_rendered = 1234;
    player()->position = Vector3{8.0f, 100.25f, -0.04f};
    const std::vector<Line> page = lines(60, 512);
    ASSERT_EQ(page.size(), 7u);
    EXPECT_EQ(page[0].text, "Performance");
    EXPECT_EQ(page[1].text, "Frame Time: 16.67 ms");
    EXPECT_EQ(page[2].text, "FPS: 60");
    EXPECT_EQ(page[3].text, "Blocks Rendered: 1234");
    EXPECT_EQ(page[4].text, "Memory Usage: 512 MB");
    EXPECT_EQ(page[5].text, "Pos: (8.0, 100.2, -0.0)");
    EXPECT_EQ(page[6].text, "qvox 0.0.17-beta");
    EXPECT_EQ(page[6].y, 250);
    EXPECT_TRUE(page[6].grey);
}

TEST_F(HudTest, LinesAreCutToTheirBuffers) {
    game_->hud.mode = HUD_MODE_PERFORMANCE;
    set(menu_->game_text.fps_label, std::string(50, 'f').c_str());
    EXPECT_EQ(lines()[2].text, std::string(31, 'f'));

    game_->hud.mode = HUD_MODE_HELP;
    set(menu_->game_text.coord_label, std::string(63, 'c').c_str());
    player()->position = Vector3{1e30f, 1e30f, 1e30f};
    EXPECT_EQ(lines()[5].text.size(), 127u);
}

TEST_F(HudTest, PlayerPageShowsSpeedFromTheDistanceMoved) {
    game_->hud.mode = HUD_MODE_PLAYER;
    moved(Vector3{0, 100, 0}, Vector3{0.03f, 100.0f, 0.04f}, Vector3{5.5f, -2.0f, 0.0f}, 0.01f);
    const std::vector<Line> page = lines(75);
    ASSERT_EQ(page.size(), 6u);
    EXPECT_EQ(page[0].text, "=== PLAYER STATS ===");
    EXPECT_EQ(page[1].text, "FPS: 75");
    EXPECT_EQ(page[2].text, "Pos: (0.0, 100.0, 0.0)");
    EXPECT_EQ(page[3].text, "Speed: 5.00 m/s");
    EXPECT_EQ(page[4].text, "Vel: (5.50, -2.00, 0.00) m/s");
    EXPECT_EQ(page[4].y, 170);
    EXPECT_EQ(page[5].y, 250);
}

TEST_F(HudTest, ABlockedPlayerShowsNoSpeedWhileTheVelocityLineKeepsTheCommand) {
    game_->hud.mode = HUD_MODE_PLAYER;
    moved(Vector3{3, 90, 3}, Vector3{3, 90, 3}, Vector3{5.5f, 0.0f, 0.0f}, 1.0f / 60.0f);
    EXPECT_EQ(lines()[3].text, "Speed: 0.00 m/s");
    EXPECT_EQ(lines()[4].text, "Vel: (5.50, 0.00, 0.00) m/s");
}

TEST_F(HudTest, SpeedOfAZeroLengthFrameIsZero) {
    moved(Vector3{0, 0, 0}, Vector3{1, 0, 0}, Vector3{}, 0.0f);
    EXPECT_EQ(game_hud_actual_speed(player(), 0.0f), 0.0f);
    EXPECT_EQ(game_hud_actual_speed(nullptr, 0.5f), 0.0f);
    EXPECT_FLOAT_EQ(game_hud_actual_speed(player(), 0.5f), 2.0f);
}

TEST_F(HudTest, SystemPageShowsTheCachedLines) {
    game_->hud.mode = HUD_MODE_SYSTEM;
    set(game_->hud.cpu, "CPU: Test");
    set(game_->hud.gpu, "GPU: Test");
    set(game_->hud.kernel, "Kernel: 6.1");
    const std::vector<Line> page = lines();
    ASSERT_EQ(page.size(), 5u);
    EXPECT_EQ(page[0].text, "=== SYSTEM INFO ===");
    EXPECT_EQ(page[1].text, "CPU: Test");
    EXPECT_EQ(page[3].text, "Kernel: 6.1");
    EXPECT_EQ(page[3].y, 130);
    EXPECT_EQ(page[4].y, 250);
}

}  // namespace
