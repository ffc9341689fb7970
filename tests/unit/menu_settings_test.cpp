// ./options.txt: reading rules, clamping, the seven written lines, the font
// family and variant discovery the settings refer to, and the two sliders.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "menu_test_util.h"

namespace {

class MenuSettings : public MenuTempDir {
protected:
    void SetUp() override {
        MenuTempDir::SetUp();
        for (const char* lang : {"en", "de"}) {
            for (const char* file : {"/menu.txt", "/chat.txt", "/credits.txt"})
                write_file(std::string("assets/text/") + lang + file, file[1] == 'm' ? std::string(lang) + "\n" : "");
        }
        for (const char* f : {"JetBrainsMono/ttf/JetBrainsMono-Bold.ttf", "JetBrainsMono/ttf/JetBrainsMono-Regular.ttf",
                              "DejaVuSans/ttf/Sans-Regular.ttf", "DejaVuSans/ttf/Sans-Bold.ttf"})
            write_file(std::string("assets/fonts/") + f, "");
    }

    // The start-up defaults, before the settings file is read.
    void defaults() {
        menu_->render_distance = 50.0f;
        menu_->max_fps = 144;
        menu_scan_languages(menu_);
        menu_scan_fonts(menu_);
        menu_scan_font_variants(menu_, menu_->font_families[menu_->current_font_family_index]);
    }

    // The settings as "distance fps language family variant".
    std::string settings() const {
        char distance[32];
        snprintf(distance, sizeof distance, "%.2f", static_cast<double>(menu_->render_distance));
        return std::string(distance) + " " + std::to_string(menu_->max_fps) + " " + menu_->current_language + " " +
               menu_->font_families[menu_->current_font_family_index] + " " +
               menu_->font_variants[menu_->current_font_variant_index];
    }
};

TEST_F(MenuSettings, ReadingRulesClampingAndNamesThatAreNotInstalled) {
    const std::string plain = " en JetBrainsMono JetBrainsMono-Regular.ttf";
    const std::pair<std::string, std::string> cases[] = {
        {"", "50.00 144" + plain},  // no line changes the defaults
        {"max_fps=60 # a comment\nmax_fps = 90\n#render_distance=20\n render_distance=20\nrender_distance\n",
         "50.00 60" + plain},
        {"RENDER_DISTANCE=20\nrender_distance=\t 33.5\t \r\n", "33.50 144" + plain},
        {"render_distance=5\n", "10.00 144" + plain},
        {"render_distance=250.5\n", "100.00 144" + plain},
        {"render_distance=nan\n", "10.00 144" + plain},
        {"render_distance=abc\n", "10.00 144" + plain},
        {"render_distance=37.44\n", "37.44 144" + plain},
        {"render_distance=inf\n", "100.00 144" + plain},
        {"max_fps=0\n", "50.00 0" + plain},  // unlimited
        {"max_fps=1\n", "50.00 30" + plain},
        {"max_fps=-5\n", "50.00 30" + plain},
        {"max_fps=1000\n", "50.00 240" + plain},
        {"max_fps=fast\n", "50.00 0" + plain},
        {"max_fps=99999999999\n", "50.00 240" + plain},
        {"render_distance=40\nrender_distance=60\nlanguage=de\nlanguage=en\n", "60.00 144" + plain},  // the last counts
        // An unknown family leaves the variant to be looked up in the family chosen before.
        {"language=xx\nfont_family=Comic\nfont_variant=JetBrainsMono-Bold.ttf\n",
         "50.00 144 en JetBrainsMono JetBrainsMono-Bold.ttf"},
        {"font_variant=JetBrainsMono-Bold.ttf\n", "50.00 144" + plain},  // a variant without a family is ignored
        {"font_family=DejaVuSans\nfont_variant=Sans-Bold.ttf\nlanguage=de\n", "50.00 144 de DejaVuSans Sans-Bold.ttf"},
        // The second 255-byte piece of this line is a settings line of its own.
        {"#" + std::string(254, 'x') + "max_fps=200\n", "50.00 200" + plain}};
    for (const auto& [options, want] : cases) {
        SCOPED_TRACE(options);
        defaults();
        std::remove("options.txt");
        if (!options.empty()) write_file("options.txt", options);
        menu_load_settings(menu_);
        EXPECT_EQ(settings(), want);
        EXPECT_STREQ(menu_->available_languages[menu_->current_language_index], menu_->current_language);
    }
}

TEST_F(MenuSettings, WritesTheSevenLinesAndStartUpNormalisesAMessyFile) {
    const auto written = [](const std::string& distance, const std::string& fps, const std::string& language) {
        return "# QVOX Game Settings\nrender_distance=" + distance + "\nmax_fps=" + fps +
               " # 0 means unlimited\nlanguage=" + language +
               "\n# do not change fonts manually i made a nice little interface for that :c\n"
               "font_family=JetBrainsMono\nfont_variant=JetBrainsMono-Regular.ttf\n";
    };
    defaults();
    menu_->render_distance = 37.44f;
    menu_->max_fps = 0;
    menu_save_settings(menu_);
    EXPECT_EQ(read_file("options.txt"), written("37.4", "0", "en"));
    EXPECT_EQ(access("options.txt.tmp", F_OK), -1);

    write_file("options.txt", "# mine\nmax_fps=60 # sixty\nrender_distance=  75\nlanguage=de\nfoo=bar\n");
    menu_system_init(menu_);
    EXPECT_EQ(read_file("options.txt"), written("75.0", "60", "de"));
    EXPECT_STREQ(menu_->text_select_world, "de");
    EXPECT_EQ(menu_->current_state, MENU_STATE_MAIN);

    std::remove("options.txt");
    make_dirs("options.txt/inside");  // a directory cannot be replaced by a file
    testing::internal::CaptureStderr();
    menu_save_settings(menu_);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to save options.txt\n"), std::string::npos) << err;
    EXPECT_EQ(access("options.txt.tmp", F_OK), -1);
}

using MenuFonts = MenuTempDir;

TEST_F(MenuFonts, FamiliesNeedATtfFolderAndRegularIsTheDefaultVariant) {
    menu_scan_fonts(menu_);  // no font folder at all
    EXPECT_EQ(menu_->font_families_count, 1);
    EXPECT_STREQ(menu_->font_families[0], "JetBrainsMono");
    EXPECT_EQ(menu_->current_font_family_index, 0);
    menu_scan_font_variants(menu_, "Missing");
    EXPECT_EQ(menu_->font_variants_count, 1);
    EXPECT_STREQ(menu_->font_variants[0], "Regular");

    for (const char* f : {"NoTtf/readme", "Loose.ttf", "Other/ttf/Other.ttf",
                          "JetBrainsMono/ttf/JetBrainsMono-Regular.ttf", "Empty/ttf/Empty.TTF", "Empty/ttf/notes.txt",
                          "F/ttf/F-Bold.ttf", "F/ttf/F-Regular.ttf", "F/ttf/F-Italic.ttf", "F/ttf/F.v2.ttf"})
        write_file(std::string("assets/fonts/") + f, "");
    menu_scan_fonts(menu_);
    ASSERT_EQ(menu_->font_families_count, 4);
    EXPECT_STREQ(menu_->font_families[menu_->current_font_family_index], "JetBrainsMono");
    menu_scan_font_variants(menu_, "F");
    ASSERT_EQ(menu_->font_variants_count, 4);
    EXPECT_STREQ(menu_->font_variants[menu_->current_font_variant_index], "F-Regular.ttf");
    menu_scan_font_variants(menu_, "Empty");
    EXPECT_EQ(menu_->font_variants_count, 1);
    EXPECT_STREQ(menu_->font_variants[0], "Regular");
}

TEST_F(MenuFonts, FamilyButtonsWrapAndSaveAndVariantButtonsStop) {
    write_file("options.txt", "");
    for (const char* f : {"A/ttf/A-Regular.ttf", "B/ttf/B-Regular.ttf", "B/ttf/B-Bold.ttf"})
        write_file(std::string("assets/fonts/") + f, "");
    menu_scan_fonts(menu_);
    ASSERT_EQ(menu_->font_families_count, 2);
    menu_scan_font_variants(menu_, menu_->font_families[0]);
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

// Knob offsets on the 500-pixel track, and the values the mouse picks (slider at x 350).
TEST(MenuSliders, ClampedAtBothEndsAndTheTopOfTheFrameRateIsUnlimited) {
    const std::pair<float, int> distance_knob[] = {{50.0f, 222}, {10.0f, 0}, {100.0f, 500}, {5.0f, 0}, {250.0f, 500}};
    for (const auto& [value, offset] : distance_knob) EXPECT_EQ(menu_render_distance_knob_offset(value), offset);
    const std::pair<int, int> fps_knob[] = {{144, 271}, {0, 500}, {240, 500}, {30, 0}, {20, 0}};
    for (const auto& [value, offset] : fps_knob) EXPECT_EQ(menu_max_fps_knob_offset(value), offset) << value;
    const std::pair<float, float> distance[] = {{349.0f, 10.0f}, {350.0f, 10.0f}, {850.0f, 100.0f}, {899.0f, 100.0f}};
    for (const auto& [mouse, value] : distance) EXPECT_FLOAT_EQ(menu_render_distance_from_mouse(mouse, 350), value);
    const float mid = menu_render_distance_from_mouse(502.0f, 350);
    EXPECT_NEAR(mid, 37.36f, 0.001f);
    EXPECT_NE(mid, std::floor(mid));
    const std::pair<float, int> fps[] = {
        {350.0f + 0.94f * 500.0f, 227}, {350.0f + 0.95f * 500.0f, 0}, {900.0f, 0}, {350.0f, 30}, {300.0f, 30},
        {350.0f + 0.5f * 500.0f, 135}};
    for (const auto& [mouse, value] : fps) EXPECT_EQ(menu_max_fps_from_mouse(mouse, 350), value) << mouse;
}

}  // namespace
