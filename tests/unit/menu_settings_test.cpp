// ./options.txt: reading rules, clamping, the seven written lines, and the
// font family and variant discovery the settings refer to.
#include <cmath>
#include <cstring>
#include <string>

#include "menu_test_util.h"

namespace {

class MenuSettings : public MenuTempDir {
protected:
    void SetUp() override {
        MenuTempDir::SetUp();
        for (const char* lang : {"en", "de"}) {
            write_file(std::string("assets/text/") + lang + "/menu.txt", std::string(lang) + "\n");
            write_file(std::string("assets/text/") + lang + "/chat.txt", "");
            write_file(std::string("assets/text/") + lang + "/credits.txt", "");
        }
        for (const char* f : {"JetBrainsMono-Bold.ttf", "JetBrainsMono-Regular.ttf"}) {
            write_file(std::string("assets/fonts/JetBrainsMono/ttf/") + f, "");
        }
        for (const char* f : {"Sans-Regular.ttf", "Sans-Bold.ttf"}) {
            write_file(std::string("assets/fonts/DejaVuSans/ttf/") + f, "");
        }
    }

    // A menu with the defaults of start-up, before the settings file is read.
    void defaults() {
        menu_->render_distance = 50.0f;
        menu_->max_fps = 144;
        menu_scan_languages(menu_);
        menu_scan_fonts(menu_);
        menu_scan_font_variants(menu_, menu_->font_families[menu_->current_font_family_index]);
    }

    void load(const std::string& options) {
        defaults();
        write_file("options.txt", options);
        menu_load_settings(menu_);
    }

    const char* family() const { return menu_->font_families[menu_->current_font_family_index]; }
    const char* variant() const { return menu_->font_variants[menu_->current_font_variant_index]; }
};

TEST_F(MenuSettings, WritesTheSevenLinesByteForByte) {
    defaults();
    menu_->render_distance = 37.44f;
    menu_->max_fps = 0;
    menu_save_settings(menu_);
    EXPECT_EQ(read_file("options.txt"),
              "# QVOX Game Settings\n"
              "render_distance=37.4\n"
              "max_fps=0 # 0 means unlimited\n"
              "language=en\n"
              "# do not change fonts manually i made a nice little interface for that :c\n"
              "font_family=JetBrainsMono\n"
              "font_variant=JetBrainsMono-Regular.ttf\n");
    EXPECT_EQ(access("options.txt.tmp", F_OK), -1);
}

TEST_F(MenuSettings, StartUpRewritesAMessyFileNormalised) {
    write_file("options.txt", "# mine\nmax_fps=60 # sixty\nrender_distance=  75\nlanguage=de\nfoo=bar\n");
    menu_system_init(menu_);
    EXPECT_EQ(read_file("options.txt"),
              "# QVOX Game Settings\n"
              "render_distance=75.0\n"
              "max_fps=60 # 0 means unlimited\n"
              "language=de\n"
              "# do not change fonts manually i made a nice little interface for that :c\n"
              "font_family=JetBrainsMono\n"
              "font_variant=JetBrainsMono-Regular.ttf\n");
    EXPECT_STREQ(menu_->text_select_world, "de");
    EXPECT_EQ(menu_->current_state, MENU_STATE_MAIN);
}

TEST_F(MenuSettings, CommentsAndKeyRules) {
    load("max_fps=60 # a comment\nmax_fps = 90\n#render_distance=20\n render_distance=20\nrender_distance\n");
    EXPECT_EQ(menu_->max_fps, 60);
    EXPECT_FLOAT_EQ(menu_->render_distance, 50.0f);
    load("RENDER_DISTANCE=20\nrender_distance=\t 33.5\t \r\n");
    EXPECT_FLOAT_EQ(menu_->render_distance, 33.5f);
}

TEST_F(MenuSettings, ViewDistanceIsClamped) {
    const std::pair<const char*, float> cases[] = {
        {"5", 10.0f}, {"250.5", 100.0f}, {"nan", 10.0f}, {"abc", 10.0f}, {"37.44", 37.44f}, {"inf", 100.0f},
    };
    for (const auto& [text, expected] : cases) {
        load(std::string("render_distance=") + text + "\n");
        EXPECT_FLOAT_EQ(menu_->render_distance, expected) << text;
    }
}

TEST_F(MenuSettings, FrameRateLimitIsClampedAndZeroMeansUnlimited) {
    const std::pair<const char*, int> cases[] = {
        {"0", 0}, {"1", 30}, {"-5", 30}, {"1000", 240}, {"fast", 0}, {"144", 144}, {"99999999999", 240},
    };
    for (const auto& [text, expected] : cases) {
        load(std::string("max_fps=") + text + "\n");
        EXPECT_EQ(menu_->max_fps, expected) << text;
    }
}

TEST_F(MenuSettings, TheLastOfRepeatedKeysCounts) {
    load("render_distance=40\nrender_distance=60\nlanguage=de\nlanguage=en\n");
    EXPECT_FLOAT_EQ(menu_->render_distance, 60.0f);
    EXPECT_STREQ(menu_->current_language, "en");
}

TEST_F(MenuSettings, NamesThatAreNotInstalledChangeNothing) {
    load("language=xx\nfont_family=Comic\nfont_variant=JetBrainsMono-Bold.ttf\n");
    EXPECT_STREQ(menu_->current_language, "en");
    EXPECT_STREQ(family(), "JetBrainsMono");
    // An unknown family leaves the variant to be looked up in the family chosen before.
    EXPECT_STREQ(variant(), "JetBrainsMono-Bold.ttf");
}

TEST_F(MenuSettings, VariantWithoutFamilyIsIgnored) {
    load("font_variant=JetBrainsMono-Bold.ttf\n");
    EXPECT_STREQ(variant(), "JetBrainsMono-Regular.ttf");
}

TEST_F(MenuSettings, FamilyAndVariantAreApplied) {
    load("font_family=DejaVuSans\nfont_variant=Sans-Bold.ttf\nlanguage=de\n");
    EXPECT_STREQ(family(), "DejaVuSans");
    EXPECT_STREQ(variant(), "Sans-Bold.ttf");
    EXPECT_STREQ(menu_->current_language, "de");
    EXPECT_STREQ(menu_->available_languages[menu_->current_language_index], "de");
}

TEST_F(MenuSettings, LongLinesAreReadInPieces) {
    // The second 255-byte piece of this line is a settings line of its own.
    load(std::string("#") + std::string(254, 'x') + "max_fps=200\n");
    EXPECT_EQ(menu_->max_fps, 200);
}

TEST_F(MenuSettings, UnwritableFileIsReportedAndNoTempFileStays) {
    defaults();
    make_dirs("options.txt/inside");  // a directory cannot be replaced by a file
    testing::internal::CaptureStderr();
    menu_save_settings(menu_);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to save options.txt\n"), std::string::npos) << err;
    EXPECT_EQ(access("options.txt.tmp", F_OK), -1);
}

TEST_F(MenuSettings, MissingFileKeepsTheDefaults) {
    defaults();
    menu_load_settings(menu_);
    EXPECT_FLOAT_EQ(menu_->render_distance, 50.0f);
    EXPECT_EQ(menu_->max_fps, 144);
}

class MenuFonts : public MenuTempDir {};

TEST_F(MenuFonts, FamiliesNeedATtfFolderAndJetBrainsMonoIsPreferred) {
    write_file("assets/fonts/NoTtf/readme", "");
    write_file("assets/fonts/Loose.ttf", "");
    write_file("assets/fonts/Other/ttf/Other.ttf", "");
    write_file("assets/fonts/JetBrainsMono/ttf/JetBrainsMono-Regular.ttf", "");
    menu_scan_fonts(menu_);
    ASSERT_EQ(menu_->font_families_count, 2);
    EXPECT_STREQ(menu_->font_families[menu_->current_font_family_index], "JetBrainsMono");
}

TEST_F(MenuFonts, NoFontFolderFallsBackToJetBrainsMono) {
    menu_scan_fonts(menu_);
    EXPECT_EQ(menu_->font_families_count, 1);
    EXPECT_STREQ(menu_->font_families[0], "JetBrainsMono");
    EXPECT_EQ(menu_->current_font_family_index, 0);
}

TEST_F(MenuFonts, TtfFolderWithoutFontsGivesTheSingleVariantRegular) {
    write_file("assets/fonts/Empty/ttf/Empty.TTF", "");
    write_file("assets/fonts/Empty/ttf/notes.txt", "");
    menu_scan_font_variants(menu_, "Empty");
    EXPECT_EQ(menu_->font_variants_count, 1);
    EXPECT_STREQ(menu_->font_variants[0], "Regular");
    menu_scan_font_variants(menu_, "Missing");
    EXPECT_STREQ(menu_->font_variants[0], "Regular");
}

TEST_F(MenuFonts, DefaultVariantIsTheOneNamedRegular) {
    for (const char* f : {"F-Bold.ttf", "F-Regular.ttf", "F-Italic.ttf", "F.v2.ttf"}) {
        write_file(std::string("assets/fonts/F/ttf/") + f, "");
    }
    menu_scan_font_variants(menu_, "F");
    ASSERT_EQ(menu_->font_variants_count, 4);
    EXPECT_STREQ(menu_->font_variants[menu_->current_font_variant_index], "F-Regular.ttf");
}

TEST_F(MenuFonts, FamilyButtonsWrapAndVariantButtonsStop) {
    write_file("options.txt", "");
    write_file("assets/fonts/A/ttf/A-Regular.ttf", "");
    write_file("assets/fonts/B/ttf/B-Regular.ttf", "");
    write_file("assets/fonts/B/ttf/B-Bold.ttf", "");
    menu_scan_fonts(menu_);
    menu_scan_font_variants(menu_, menu_->font_families[0]);
    ASSERT_EQ(menu_->font_families_count, 2);
    menu_->current_font_family_index = 0;
    menu_previous_font_family(menu_);
    EXPECT_EQ(menu_->current_font_family_index, 1);
    menu_next_font_family(menu_);
    EXPECT_EQ(menu_->current_font_family_index, 0);
    EXPECT_NE(read_file("options.txt").find("font_family="), std::string::npos);

    menu_scan_font_variants(menu_, "B");
    menu_->current_font_variant_index = 0;
    EXPECT_FALSE(menu_font_variant_step(menu_, -1));
    EXPECT_TRUE(menu_font_variant_step(menu_, 1));
    EXPECT_FALSE(menu_font_variant_step(menu_, 1));
    EXPECT_EQ(menu_->current_font_variant_index, 1);
}

TEST(MenuSliders, ViewDistanceKnob) {
    EXPECT_EQ(menu_render_distance_knob_offset(50.0f), 222);
    EXPECT_EQ(menu_render_distance_knob_offset(10.0f), 0);
    EXPECT_EQ(menu_render_distance_knob_offset(100.0f), 500);
    EXPECT_EQ(menu_render_distance_knob_offset(5.0f), 0);
    EXPECT_EQ(menu_render_distance_knob_offset(250.0f), 500);
}

TEST(MenuSliders, ViewDistanceFromTheMouse) {
    const int slider_x = 350;
    EXPECT_FLOAT_EQ(menu_render_distance_from_mouse(349.0f, slider_x), 10.0f);
    EXPECT_FLOAT_EQ(menu_render_distance_from_mouse(350.0f, slider_x), 10.0f);
    EXPECT_FLOAT_EQ(menu_render_distance_from_mouse(850.0f, slider_x), 100.0f);
    EXPECT_FLOAT_EQ(menu_render_distance_from_mouse(899.0f, slider_x), 100.0f);
    float mid = menu_render_distance_from_mouse(502.0f, slider_x);
    EXPECT_NEAR(mid, 37.36f, 0.001f);
    EXPECT_NE(mid, std::floor(mid));
}

TEST(MenuSliders, FrameRateKnob) {
    EXPECT_EQ(menu_max_fps_knob_offset(144), 271);
    EXPECT_EQ(menu_max_fps_knob_offset(0), 500);
    EXPECT_EQ(menu_max_fps_knob_offset(240), 500);
    EXPECT_EQ(menu_max_fps_knob_offset(30), 0);
    EXPECT_EQ(menu_max_fps_knob_offset(20), 0);
}

TEST(MenuSliders, FrameRateFromTheMouse) {
    const int slider_x = 350;
    EXPECT_EQ(menu_max_fps_from_mouse(350.0f + 0.94f * 500.0f, slider_x), 227);
    EXPECT_EQ(menu_max_fps_from_mouse(350.0f + 0.95f * 500.0f, slider_x), 0);
    EXPECT_EQ(menu_max_fps_from_mouse(900.0f, slider_x), 0);
    EXPECT_EQ(menu_max_fps_from_mouse(350.0f, slider_x), 30);
    EXPECT_EQ(menu_max_fps_from_mouse(300.0f, slider_x), 30);
    EXPECT_EQ(menu_max_fps_from_mouse(350.0f + 0.5f * 500.0f, slider_x), 135);
}

}  // namespace
