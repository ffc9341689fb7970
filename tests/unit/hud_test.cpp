// The four HUD pages top to bottom, the buffer limits, and the speed from the distance actually moved.
#include <string>

#include "config.h"
#include "game_ui_fixture.h"

namespace {

class HudTest : public GameUiTest {
protected:
    // The page as "y text|y text|~y grey text", top to bottom.
    std::string page(HudMode mode, int fps = 59, int memory_mb = 512) {
        game_->hud.mode = mode;
        HudLine out[GAME_HUD_MAX_LINES];
        const int count = game_hud_lines(game_, fps, memory_mb, out);
        std::string text;
        for (int i = 0; i < count; i++)
            text += std::string(i ? "|" : "") + (out[i].grey ? "~" : "") + std::to_string(out[i].y) + " " + out[i].text;
        return text;
    }
};

TEST_F(HudTest, EachPageShowsItsLinesWithTheVersionInGreyCutToTheirBuffers) {
    player()->prev_position = Vector3{1.01f, 2.48f, -3.3f};
    player()->position = Vector3{1.04f, 2.5f, -3.26f};  // 0.0539 in one 10 ms frame, climbing too
    player()->velocity = Vector3{5.5f, -2.0f, 0.0f};
    game_->frame.dt = 0.01f;
    game_->frame.blocks_rendered = 1234;
    strcpy(game_->hud.cpu, "CPU: Test");
    strcpy(game_->hud.gpu, "GPU: Test");
    strcpy(game_->hud.kernel, "Kernel: 6.1");
    EXPECT_EQ(page(HUD_MODE_HELP),
              "10 WASD to move|50 F2-F5 pages|90 Mouse to edit|130 Mouse to look|170 P to pause|"
              "210 Position: (1.0, 2.5, -3.3)|250 FPS: 59|~290 qvox test build");
    const std::string title = std::string("|~250 ") + QVOX_WINDOW_TITLE;
    EXPECT_EQ(page(HUD_MODE_PERFORMANCE),
              "10 Performance|50 Frame Time: 10.00 ms|90 FPS: 59|130 Blocks Rendered: 1234|"
              "170 Memory Usage: 512 MB|210 Pos: (1.0, 2.5, -3.3)" +
                  title);
    EXPECT_EQ(page(HUD_MODE_PLAYER, 75),
              "10 === PLAYER STATS ===|50 FPS: 75|90 Pos: (1.0, 2.5, -3.3)|"
              "130 Speed: 5.39 m/s|170 Vel: (5.50, -2.00, 0.00) m/s" +
                  title);
    EXPECT_EQ(page(HUD_MODE_SYSTEM), "10 === SYSTEM INFO ===|50 CPU: Test|90 GPU: Test|130 Kernel: 6.1" + title);
    EXPECT_EQ(page(HUD_MODE_NONE), "");

    EXPECT_TRUE(game_hud_actual_speed(player(), 0.0f) == 0.0f && game_hud_actual_speed(nullptr, 0.5f) == 0.0f);

    strcpy(menu_->game_text.fps_label, std::string(50, 'f').c_str());
    EXPECT_NE(page(HUD_MODE_PERFORMANCE).find(" " + std::string(31, 'f') + "|"), std::string::npos);
    strcpy(menu_->game_text.coord_label, std::string(63, 'c').c_str());
    player()->position = Vector3{1e30f, 1e30f, 1e30f};
    const std::string help = page(HUD_MODE_HELP);
    EXPECT_EQ(help.find("|250 ") - help.find("|210 ") - 5, 127u);
}

}  // namespace
