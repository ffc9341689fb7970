// The menus' files and inputs: options, fonts, sliders, languages, splashes, backgrounds, the world list, new names.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "menu.h"
#include "temp_world_fixture.h"

namespace {

// A zeroed menu record in a scratch working directory.
class MenuFiles : public TempDirTest {
protected:
    void TearDown() override {
        free(menu_->available_worlds);
        TempDirTest::TearDown();
    }

    static void make_dirs(const std::string& path) { std::filesystem::create_directories(path); }

    static void write_file(const std::string& path, const std::string& content) {
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) make_dirs(parent);
        TempDirTest::write_file(path, content);
    }

    static void write_language(const std::string& lang, const std::string& menu_txt, const std::string& chat_txt = "",
                               const std::string& credits = "credits") {
        write_file("assets/text/" + lang + "/menu.txt", menu_txt);
        write_file("assets/text/" + lang + "/chat.txt", chat_txt);
        write_file("assets/text/" + lang + "/credits.txt", credits);
    }

    std::string load(const char* lang) {
        testing::internal::CaptureStderr();
        menu_load_language(menu_, lang);
        return testing::internal::GetCapturedStderr();
    }

    MenuSystem record_ = {};
    MenuSystem* menu_ = &record_;
};

std::string numbered_lines(const std::string& prefix, int n) {
    std::string out;
    for (int i = 1; i <= n; i++) out += prefix + std::to_string(i) + "\n";
    return out;
}

// Settings shown as "distance fps language family variant"; a font family needs a ttf folder.
TEST_F(MenuFiles, OptionsReadingRulesFontScanAFailedSaveAndTheSliders) {
    for (const std::string lang : {"en", "de"}) write_language(lang, lang + "\n");
    for (const char* f :
         {"NoTtf/readme", "Loose.ttf", "Other/ttf/Other.ttf", "JetBrainsMono/ttf/JetBrainsMono-Bold.ttf",
          "JetBrainsMono/ttf/JetBrainsMono-Regular.ttf", "Empty/ttf/Empty.TTF", "Empty/ttf/notes.txt",
          "F/ttf/F-Bold.ttf", "F/ttf/F-Regular.ttf", "F/ttf/F-Italic.ttf", "F/ttf/F.v2.ttf"})
        write_file(std::string("assets/fonts/") + f, "");
    const std::string plain = " en JetBrainsMono JetBrainsMono-Regular.ttf";
    const std::pair<std::string, std::string> cases[] = {
        {"", "50.00 144" + plain},
        {"max_fps=60 # a comment\nmax_fps = 90\n#render_distance=20\n render_distance=20\nrender_distance\n",
         "50.00 60" + plain},
        {"RENDER_DISTANCE=20\nrender_distance=\t 33.5\t \r\n", "33.50 144" + plain},
        {"render_distance=5\nmax_fps=1\n", "10.00 30" + plain},
        {"render_distance=inf\nmax_fps=1000\n", "100.00 240" + plain},
        {"render_distance=nan\nmax_fps=fast\n", "10.00 0" + plain},  // a frame rate of 0 is unlimited
        {"render_distance=40\nrender_distance=60\nlanguage=de\nlanguage=en\n", "60.00 144" + plain},  // the last counts
        // An unknown family leaves the variant to be looked up in the family chosen before.
        {"language=xx\nfont_family=Comic\nfont_variant=JetBrainsMono-Bold.ttf\n",
         "50.00 144 en JetBrainsMono JetBrainsMono-Bold.ttf"},
        {"font_variant=JetBrainsMono-Bold.ttf\n", "50.00 144" + plain},  // a variant without a family is ignored
        // The second 255-byte piece of this line is a settings line of its own.
        {"#" + std::string(254, 'x') + "max_fps=200\n", "50.00 200" + plain},
        {"font_family=F # a comment after a value\nfont_variant=F-Bold.ttf\nlanguage=de\n",
         "50.00 144 de F F-Bold.ttf"},
        {"font_family=F\n", "50.00 144 en F F-Regular.ttf"}};  // the family's variants are read again
    for (const auto& [options, want] : cases) {
        std::remove("options.txt");
        if (!options.empty()) write_file("options.txt", options);
        testing::internal::CaptureStderr();
        menu_system_init(menu_);
        testing::internal::GetCapturedStderr();
        char got[1024];
        snprintf(got, sizeof got, "%.2f %d %s %s %s", static_cast<double>(menu_->render_distance), menu_->max_fps,
                 menu_->current_language, menu_->font_families[menu_->current_font_family_index],
                 menu_->font_variants[menu_->current_font_variant_index]);
        EXPECT_EQ(got, want) << options;
        EXPECT_STREQ(menu_->available_languages[menu_->current_language_index], menu_->current_language);
        EXPECT_STREQ(menu_->text_select_world, menu_->current_language);  // its texts are loaded
    }
    ASSERT_TRUE(menu_->font_families_count == 4 && menu_->font_variants_count == 4);
    menu_->current_font_variant_index = 0;
    EXPECT_FALSE(menu_font_variant_step(menu_, -1));
    EXPECT_TRUE(menu_font_variant_step(menu_, 3));
    EXPECT_FALSE(menu_font_variant_step(menu_, 1));
    menu_->current_font_family_index = 0;
    menu_previous_font_family(menu_);
    EXPECT_EQ(menu_->current_font_family_index, 3);

    std::remove("options.txt");
    make_dirs("options.txt/inside");  // a directory cannot be replaced by a file
    testing::internal::CaptureStderr();
    menu_save_settings(menu_);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to save options.txt\n"), std::string::npos) << err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 2) << "a temporary file is left";

    // The sliders: the value the mouse picks over a 500-pixel track starting at x 350.
    EXPECT_EQ(menu_render_distance_from_mouse(300.0f, 350), 10.0f);
    const std::pair<float, int> fps[] = {{350.0f + 0.94f * 500.0f, 227}, {350.0f + 0.95f * 500.0f, 0}, {300.0f, 30}};
    for (const auto& [mouse, value] : fps) EXPECT_EQ(menu_max_fps_from_mouse(mouse, 350), value) << mouse;
}

// Slots past the end of the file keep what they held; an empty line empties its slot.
TEST_F(MenuFiles, LinesFillTheirSlotsMissingFilesAreNamedAndFormatsThatDoNotFitAreDropped) {
    MenuSystem* m = menu_;
    const std::pair<std::string, std::vector<std::pair<const char*, std::string>>> cases[] = {
        {numbered_lines("L", 40),
         {{m->text_select_world, "L1"}, {m->text_last, "L14"}, {m->game_text.inventory_close, "L38"}}},
        {numbered_lines("L", 10), {{m->text_error_exists, "L10"}, {m->text_no_worlds, "kept"}}},
        {"a\r\n\nthree\nd\ne\nf\n" + std::string(300, 'x') + "\n",
         {{m->text_select_world, "a\r"}, {m->text_create_world, ""}, {m->text_create_btn, std::string(127, 'x')}}},
        // 600 bytes are read as 511 + 89; the first piece is cut to 255 characters.
        {std::string(600, 'a') + "\nnext\n",
         {{m->text_select_world, std::string(255, 'a')}, {m->text_create_world, std::string(89, 'a')}}}};
    for (const auto& [file, slots] : cases) {
        for (char* kept : {m->text_no_worlds, m->text_create_world}) strcpy(kept, "kept");
        write_language("xx", file);
        load("xx");
        for (const auto& [slot, want] : slots) EXPECT_EQ(slot, want) << file.substr(0, 20);
    }
    const std::string credits = "line one\nline two\n" + std::string(5000, 'c');  // read whole, up to 4095 bytes
    write_language("yy", "", "", credits);
    load("yy");
    EXPECT_EQ(m->credits_text, credits.substr(0, 4095));
    make_dirs("assets/text/zz");  // missing files say which path, and the credits fall back
    EXPECT_NE(load("zz").find("Failed to load chat text from: ./assets/text/zz/chat.txt\n"), std::string::npos);
    EXPECT_STREQ(m->credits_text, "Credits data not available.");

    // Dropped: a string where floats come, %n, two strings for one, a width read from an argument.
    write_language("xx", numbered_lines("m", 13) + "%d then %s\n",
                   "q\n%s\nu\ns\n%n\n%s %s\n%*d\ni\n%%s selected\n%.20s?\nf\nf\nf\nn\nn\nn\n%s at %.1f %.1f %.1f\n");
    const std::string err = load("xx");
    const GameText& g = menu_->game_text;
    const std::pair<const char*, const char*> slots[] = {
        {menu_->text_last, ""},          {g.msg_teleported, ""},
        {g.msg_world_save_failed, ""},   {g.msg_world_loaded, ""},
        {g.msg_world_load_failed, ""},   {g.msg_block_selected, "%%s selected"},
        {g.msg_unknown_block, "%.20s?"}, {g.msg_block_set, "%s at %.1f %.1f %.1f"}};
    for (const auto& [slot, want] : slots) EXPECT_STREQ(slot, want);
    EXPECT_NE(err.find("./assets/text/xx/chat.txt, line 5"), std::string::npos) << err;

    const std::tuple<const char*, const char*, bool> formats[] = {
        {"%-20s|%5d", "sd", true}, {"only %s", "sd", true},     {"%.2f %lf %e", "fff", true}, {"%ld", "d", false},
        {"%1$s", "s", false},      {"ends with %", "s", false}, {"%Lf", "f", false}};
    for (const auto& [format, kinds, fits] : formats) EXPECT_EQ(menu_format_fits(format, kinds), fits) << format;
}

// Each language row adds to the folder; English is chosen wherever it is listed, else the first.
TEST_F(MenuFiles, LanguageScanSplashLinesAndBackgroundCandidates) {
    menu_next_language(menu_);  // no languages: the button does nothing
    EXPECT_EQ(access("options.txt", F_OK), -1);
    const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
        {{}, 0, ""}, {{"de", "fr"}, 2, nullptr}, {{"en"}, 3, "en"}, {{".hidden", std::string(40, 'l')}, 4, "en"}};
    write_file("assets/text/readme.txt", "not a language");
    for (const auto& [added, count, current] : cases) {
        for (const std::string& name : added) write_language(name, name + "\n");
        menu_scan_languages(menu_);
        ASSERT_EQ(menu_->available_languages_count, count);
        const char* want = current ? current : menu_->available_languages[0];
        EXPECT_STREQ(menu_->current_language, want);
        EXPECT_STREQ(menu_->text_select_world, want);
    }

    write_file("assets/splashtexts/splashs.txt", "\n" + numbered_lines("s", 300));
    menu_load_splash_text(menu_);
    EXPECT_EQ(menu_->splash_texts_count, 256);  // at most 256 non-empty lines
    EXPECT_EQ(menu_->current_splash_text[0], 's');
    write_file("assets/splashtexts/splashs.txt", "\n\n\n");
    menu_load_splash_text(menu_);
    EXPECT_TRUE(menu_->splash_texts_count == 0 && menu_->current_splash_text[0] == '\0');

    for (const char* name : {"a.png", "b.PNG", ".png", "c.png.txt", "dusk.png"})
        write_file(std::string("bg/") + name, "x");
    char names[8][256] = {};
    ASSERT_EQ(menu_list_backgrounds("bg", names, 8), 2);  // ending in lower-case .png
    EXPECT_EQ((std::set<std::string>{names[0], names[1]}), (std::set<std::string>{"a.png", "dusk.png"}));
}

TEST_F(MenuFiles, WorldListReadsFolderMetadataItsKeysReachEveryRowAndNewNamesAreChecked) {
    menu_->current_state = MENU_STATE_WORLD_SELECT;
    menu_scan_worlds(menu_);  // no ./worlds: an empty list where Enter does nothing
    menu_world_select_keys(menu_, false, false, true, false);
    EXPECT_EQ(menu_->current_state, MENU_STATE_WORLD_SELECT);

    write_file("worlds/alpha/world.txt", "seed=1\nlast_saved=2026-01-02 03:04:05\nchunk_count=42\n");
    write_file("worlds/long/world.txt", "last_saved=" + std::string(100, 'z') + "\nchunk_count=7x\n");
    write_file("worlds/notes.txt", "a file, not a world");
    for (const std::string dir : {"bare", ".hidden", "w1", "w2", "w3", "w4", "w5", "w6", "w7"})
        make_dirs("worlds/" + dir);
    menu_scan_worlds(menu_);
    ASSERT_EQ(menu_->world_count, 10);
    std::set<std::string> listed;
    for (const WorldInfo& w : std::span(menu_->available_worlds, 10))
        listed.insert(std::string(w.name) + "=" + w.created + "/" + std::to_string(w.chunk_count));
    for (const std::string& entry : {std::string("alpha=2026-01-02 03:04:05/42"), std::string("bare=Unknown/0"),
                                     "long=" + std::string(63, 'z') + "/7"})
        EXPECT_EQ(listed.count(entry), 1u) << entry;

    menu_world_select_keys(menu_, true, false, false, false);
    EXPECT_EQ(menu_->selected_world_index, 0);
    for (int i = 0; i < 12; i++) menu_world_select_keys(menu_, false, true, false, false);
    EXPECT_EQ(menu_->selected_world_index, 9);
    menu_world_select_keys(menu_, false, false, true, false);
    EXPECT_STREQ(menu_->selected_world_name, menu_->available_worlds[9].name);
    menu_scan_worlds(menu_);
    EXPECT_EQ(menu_->selected_world_index, 0);

    strcpy(menu_->text_error_empty_name, "empty!");
    strcpy(menu_->text_error_exists, "exists!");
    const auto error = [&] {
        return std::string(menu_->create_world_error ? "shown " : "") + menu_->create_world_error_msg;
    };
    menu_create_world_request(menu_);
    EXPECT_EQ(error(), "shown empty!");
    for (char c : std::string("alpha")) menu_create_world_type_char(menu_, c);
    EXPECT_EQ(error(), "empty!");  // typing hides the error line
    menu_create_world_request(menu_);
    EXPECT_EQ(error(), "shown exists!");
    menu_->current_state = MENU_STATE_CREATE_WORLD;
    menu_escape_pressed(menu_);  // leaving the screen hides it too
    EXPECT_EQ(std::pair(menu_->current_state, menu_->create_world_error), std::pair(MENU_STATE_MAIN, false));
    menu_create_world_type_char(menu_, ' ');
    menu_create_world_request(menu_);
    EXPECT_STREQ(menu_->selected_world_name, "alpha ");  // used as typed, not trimmed

    for (char c : std::string("a-b c_1!\xe9")) menu_create_world_type_char(menu_, static_cast<unsigned char>(c));
    menu_create_world_type_char(menu_, 0x439);  // a Cyrillic letter
    EXPECT_STREQ(menu_->new_world_name, "alpha ab c_1");
    for (int i = 0; i < 256; i++) menu_create_world_type_char(menu_, 'x');
    EXPECT_EQ(strlen(menu_->new_world_name), 255u);
}

}  // namespace
