// Language files filled by line position, the checks on format lines, the
// language scan, splash lines and background candidates.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "menu_test_util.h"

namespace {

class MenuText : public MenuTempDir {
protected:
    void write_language(const std::string& lang, const std::string& menu_txt, const std::string& chat_txt = "",
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
};

// Slots past the end of the file keep what they held.
TEST_F(MenuText, LinesFillTheSlotsInOrderCutToTheirCapacity) {
    MenuSystem* m = menu_;
    GameText* g = &m->game_text;
    struct Case {
        std::string file;
        std::vector<std::pair<const char*, std::string>> slots;
    };
    const Case cases[] = {
        {numbered_lines("L", 40),
         {{m->text_select_world, "L1"},
          {m->text_back, "L5"},
          {m->text_last, "L14"},
          {g->move_controls, "L15"},
          {g->settings, "L29"},
          {g->inventory_close, "L38"},
          {m->text_chunks, ""},
          {m->current_language, "xx"}}},
        {numbered_lines("L", 10), {{m->text_error_exists, "L10"}, {m->text_no_worlds, "kept"}, {g->paused, "kept"}}},
        {"a\r\nb\r\n\r\nd\r\ne\r\nf\r\n" + std::string(300, 'x') + "\r\n",
         {{m->text_select_world, "a\r"}, {m->text_credits_info, "\r"}, {m->text_create_btn, std::string(127, 'x')}}},
        {"one\n\nthree\n", {{m->text_create_world, ""}, {m->text_credits_info, "three"}}},
        // 600 bytes are read as 511 + 89; the first piece is cut to 255 characters.
        {std::string(600, 'a') + "\nnext\n",
         {{m->text_select_world, std::string(255, 'a')},
          {m->text_create_world, std::string(89, 'a')},
          {m->text_credits_info, "next"}}}};
    for (const Case& c : cases) {
        for (char* kept : {m->text_no_worlds, g->paused, m->text_create_world}) strcpy(kept, "kept");
        write_language("xx", c.file);
        load("xx");
        for (const auto& [slot, want] : c.slots) EXPECT_EQ(slot, want) << c.file.substr(0, 20);
    }
    write_language("yy", "", "", std::string(5000, 'c'));  // credits are read whole, up to 4095 bytes
    load("yy");
    EXPECT_EQ(strlen(m->credits_text), 4095u);
    write_language("yy", "", "", "line one\nline two\n");
    load("yy");
    EXPECT_STREQ(m->credits_text, "line one\nline two\n");
}

TEST_F(MenuText, MissingFilesKeepTextsAndSayWhichPath) {
    strcpy(menu_->text_quit, "Quit");
    strcpy(menu_->game_text.msg_quitting, "bye");
    make_dirs("assets/text/xx");
    const std::string err = load("xx");
    for (const char* what : {"menu", "chat", "credits"}) {
        const std::string line =
            std::string("Failed to load ") + what + " text from: ./assets/text/xx/" + what + ".txt\n";
        EXPECT_NE(err.find(line), std::string::npos) << err;
    }
    EXPECT_STREQ(menu_->text_quit, "Quit");
    EXPECT_STREQ(menu_->game_text.msg_quitting, "bye");
    EXPECT_STREQ(menu_->credits_text, "Credits data not available.");
    EXPECT_STREQ(menu_->current_language, "xx");
}

TEST_F(MenuText, FormatLinesThatWouldReadMissingArgumentsAreDropped) {
    write_language("xx", numbered_lines("m", 13) + "%d then %s\n",
                   "q\n%s\nu\n%s saved\n%n\n%s %s\n%*d\ni\n%%s selected\n%.20s?\n"
                   "f\nf\nf\nn\nn\nn\n%s at %.1f %.1f %.1f\no\ns\n%s!\n");
    const std::string err = load("xx");
    const GameText& g = menu_->game_text;
    const std::pair<const char*, const char*> slots[] = {{menu_->text_last, ""},
                                                         {g.msg_teleported, ""},  // a string where floats come
                                                         {g.msg_world_saved, "%s saved"},
                                                         {g.msg_world_save_failed, ""},  // %n
                                                         {g.msg_world_loaded, ""},       // two strings for one
                                                         {g.msg_world_load_failed, ""},  // width from an argument
                                                         {g.msg_block_selected, "%%s selected"},
                                                         {g.msg_unknown_block, "%.20s?"},
                                                         {g.msg_block_set, "%s at %.1f %.1f %.1f"},
                                                         {g.msg_unknown_command, "%s!"}};
    for (const auto& [slot, want] : slots) EXPECT_STREQ(slot, want);
    EXPECT_NE(err.find("./assets/text/xx/menu.txt, line 14"), std::string::npos) << err;
    EXPECT_NE(err.find("./assets/text/xx/chat.txt, line 5"), std::string::npos) << err;

    const std::pair<const char*, const char*> fits[] = {{"Last: %s (%d chunks)", "sd"},
                                                        {"no conversions, 100%% sure", "sd"},
                                                        {"%-20s|%5d", "sd"},
                                                        {"only %s", "sd"},
                                                        {"%.2f %lf %e", "fff"}};
    for (const auto& [format, kinds] : fits) EXPECT_TRUE(menu_format_fits(format, kinds)) << format;
    const std::pair<const char*, const char*> misfits[] = {{"%d %s", "sd"}, {"%s %d %d", "sd"}, {"%ld", "d"},
                                                           {"%1$s", "s"},   {"%.*f", "ff"},     {"ends with %", "s"},
                                                           {"%Lf", "f"},    {"%p", "s"}};
    for (const auto& [format, kinds] : misfits) EXPECT_FALSE(menu_format_fits(format, kinds)) << format;
}

// Each row adds to the folder; English is preferred wherever it is listed, else the first.
TEST_F(MenuText, LanguageScanListsFoldersWithShortNames) {
    struct Case {
        std::vector<std::string> added;
        int count;
        const char* current;  // null: the first listed
    };
    const Case cases[] = {{{}, 0, ""},
                          {{"de", "fr"}, 2, nullptr},
                          {{"en"}, 3, "en"},
                          {{".hidden", std::string(40, 'l'), "readme.txt"}, 4, "en"}};
    for (const Case& c : cases) {
        for (const std::string& name : c.added) {
            if (name == "readme.txt")
                write_file("assets/text/readme.txt", "not a language");
            else if (name[0] == '.' || name.size() > 30)
                make_dirs("assets/text/" + name);
            else
                write_language(name, name + "\n");
        }
        testing::internal::CaptureStderr();
        menu_scan_languages(menu_);
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(menu_->available_languages_count, c.count);
        const char* want = c.current ? c.current : menu_->available_languages[0];
        EXPECT_STREQ(menu_->current_language, want);
        if (c.count > 0) {
            EXPECT_STREQ(menu_->available_languages[menu_->current_language_index], want);
            EXPECT_STREQ(menu_->text_select_world, want);
        }
    }
}

TEST_F(MenuText, SplashLinesAndBackgroundCandidates) {
    write_file("assets/splashtexts/splashs.txt", "\n" + numbered_lines("s", 300));
    menu_load_splash_text(menu_);
    EXPECT_EQ(menu_->splash_texts_count, 256);  // at most 256 non-empty lines
    EXPECT_STREQ(menu_->splash_texts[0], "s1");
    EXPECT_STREQ(menu_->splash_texts[255], "s256");
    EXPECT_EQ(menu_->current_splash_text[0], 's');
    write_file("assets/splashtexts/splashs.txt", "\n\n\n");
    menu_load_splash_text(menu_);
    EXPECT_EQ(menu_->splash_texts_count, 0);
    EXPECT_STREQ(menu_->current_splash_text, "");

    for (const char* name : {"a.png", "b.PNG", ".png", "c.png.txt", "dusk.png"})
        write_file(std::string("bg/") + name, "x");
    char names[8][256] = {};
    ASSERT_EQ(menu_list_backgrounds("bg", names, 8), 2);  // ending in lower-case .png
    const std::string found = std::string(names[0]) + "," + names[1];
    EXPECT_TRUE(found == "a.png,dusk.png" || found == "dusk.png,a.png") << found;
    EXPECT_EQ(menu_list_backgrounds("missing", names, 8), 0);
}

}  // namespace
