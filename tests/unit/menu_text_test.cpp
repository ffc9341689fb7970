// Language files filled by line position, the checks on format lines, the
// language scan, splash lines and background candidates.
#include <cstring>
#include <string>

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
};

TEST_F(MenuText, FortyLinesFillTheThirtyEightSlotsInOrder) {
    write_language("xx", numbered_lines("L", 40));
    menu_load_language(menu_, "xx");
    EXPECT_STREQ(menu_->current_language, "xx");
    EXPECT_STREQ(menu_->text_select_world, "L1");
    EXPECT_STREQ(menu_->text_back, "L5");
    EXPECT_STREQ(menu_->text_last, "L14");
    EXPECT_STREQ(menu_->game_text.move_controls, "L15");
    EXPECT_STREQ(menu_->game_text.settings, "L29");
    EXPECT_STREQ(menu_->game_text.inventory_close, "L38");
    EXPECT_STREQ(menu_->text_chunks, "");
}

TEST_F(MenuText, ShortFileLeavesLaterSlotsAsTheyWere) {
    strcpy(menu_->text_no_worlds, "kept");
    strcpy(menu_->game_text.paused, "kept too");
    write_language("xx", numbered_lines("L", 10));
    menu_load_language(menu_, "xx");
    EXPECT_STREQ(menu_->text_error_exists, "L10");
    EXPECT_STREQ(menu_->text_no_worlds, "kept");
    EXPECT_STREQ(menu_->game_text.paused, "kept too");
}

TEST_F(MenuText, LinesAreCutToTheSlotCapacityAndKeepCarriageReturns) {
    std::string lines = "a\r\nb\r\n\r\nd\r\ne\r\nf\r\n" + std::string(300, 'x') + "\r\n";
    write_language("xx", lines);
    menu_load_language(menu_, "xx");
    EXPECT_STREQ(menu_->text_select_world, "a\r");
    EXPECT_STREQ(menu_->text_credits_info, "\r");
    EXPECT_EQ(strlen(menu_->text_create_btn), 127u);
    EXPECT_EQ(std::string(menu_->text_create_btn), std::string(127, 'x'));
}

TEST_F(MenuText, EmptyLineEmptiesItsSlot) {
    strcpy(menu_->text_create_world, "old");
    write_language("xx", "one\n\nthree\n");
    menu_load_language(menu_, "xx");
    EXPECT_STREQ(menu_->text_create_world, "");
    EXPECT_STREQ(menu_->text_credits_info, "three");
}

TEST_F(MenuText, PiecesOfAVeryLongLineTakeTheNextSlots) {
    // 600 bytes are read as 511 + 89; the first piece is cut to 255 characters.
    write_language("xx", std::string(600, 'a') + "\nnext\n");
    menu_load_language(menu_, "xx");
    EXPECT_EQ(std::string(menu_->text_select_world), std::string(255, 'a'));
    EXPECT_EQ(std::string(menu_->text_create_world), std::string(89, 'a'));
    EXPECT_STREQ(menu_->text_credits_info, "next");
}

TEST_F(MenuText, MissingFilesKeepTextsAndSayWhichPath) {
    strcpy(menu_->text_quit, "Quit");
    strcpy(menu_->game_text.msg_quitting, "bye");
    make_dirs("assets/text/xx");
    testing::internal::CaptureStderr();
    menu_load_language(menu_, "xx");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to load menu text from: ./assets/text/xx/menu.txt\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Failed to load chat text from: ./assets/text/xx/chat.txt\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Failed to load credits text from: ./assets/text/xx/credits.txt\n"), std::string::npos);
    EXPECT_STREQ(menu_->text_quit, "Quit");
    EXPECT_STREQ(menu_->game_text.msg_quitting, "bye");
    EXPECT_STREQ(menu_->credits_text, "Credits data not available.");
    EXPECT_STREQ(menu_->current_language, "xx");
}

TEST_F(MenuText, CreditsAreReadWholeUpTo4095Bytes) {
    write_language("xx", "", "", "line one\nline two\n");
    menu_load_language(menu_, "xx");
    EXPECT_STREQ(menu_->credits_text, "line one\nline two\n");
    write_language("yy", "", "", std::string(5000, 'c'));
    menu_load_language(menu_, "yy");
    EXPECT_EQ(strlen(menu_->credits_text), 4095u);
}

TEST_F(MenuText, FormatLinesThatWouldReadMissingArgumentsAreDropped) {
    std::string menu_txt = numbered_lines("m", 13) + "%d then %s\n";
    std::string chat_txt = "q\n%s\nu\n%s saved\n%n\n%s %s\n%*d\ni\n%%s selected\n%.20s?\n";
    chat_txt += "f\nf\nf\nn\nn\nn\n%s at %.1f %.1f %.1f\no\ns\n%s!\n";
    write_language("xx", menu_txt, chat_txt);
    testing::internal::CaptureStderr();
    menu_load_language(menu_, "xx");
    std::string err = testing::internal::GetCapturedStderr();
    const GameText& g = menu_->game_text;
    EXPECT_STREQ(menu_->text_last, "");
    EXPECT_STREQ(g.msg_teleported, "");  // a string where floats come
    EXPECT_STREQ(g.msg_world_saved, "%s saved");
    EXPECT_STREQ(g.msg_world_save_failed, "");  // %n
    EXPECT_STREQ(g.msg_world_loaded, "");       // two strings for one
    EXPECT_STREQ(g.msg_world_load_failed, "");  // width from an argument
    EXPECT_STREQ(g.msg_block_selected, "%%s selected");
    EXPECT_STREQ(g.msg_unknown_block, "%.20s?");
    EXPECT_STREQ(g.msg_block_set, "%s at %.1f %.1f %.1f");
    EXPECT_STREQ(g.msg_unknown_command, "%s!");
    EXPECT_NE(err.find("./assets/text/xx/menu.txt, line 14"), std::string::npos) << err;
    EXPECT_NE(err.find("./assets/text/xx/chat.txt, line 5"), std::string::npos) << err;
}

TEST(MenuFormat, AcceptsOnlyTheArgumentsItWillBeGiven) {
    EXPECT_TRUE(menu_format_fits("Last: %s (%d chunks)", "sd"));
    EXPECT_TRUE(menu_format_fits("no conversions, 100%% sure", "sd"));
    EXPECT_TRUE(menu_format_fits("%-20s|%5d", "sd"));
    EXPECT_TRUE(menu_format_fits("only %s", "sd"));
    EXPECT_TRUE(menu_format_fits("%.2f %lf %e", "fff"));
    EXPECT_FALSE(menu_format_fits("%d %s", "sd"));
    EXPECT_FALSE(menu_format_fits("%s %d %d", "sd"));
    EXPECT_FALSE(menu_format_fits("%ld", "d"));
    EXPECT_FALSE(menu_format_fits("%1$s", "s"));
    EXPECT_FALSE(menu_format_fits("%.*f", "ff"));
    EXPECT_FALSE(menu_format_fits("ends with %", "s"));
    EXPECT_FALSE(menu_format_fits("%Lf", "f"));
    EXPECT_FALSE(menu_format_fits("%p", "s"));
}

TEST_F(MenuText, EnglishIsPreferredWhereverItIsListed) {
    for (const char* lang : {"de", "en", "fr"}) write_language(lang, std::string(lang) + "\n");
    menu_scan_languages(menu_);
    ASSERT_EQ(menu_->available_languages_count, 3);
    int idx = menu_->current_language_index;
    EXPECT_STREQ(menu_->available_languages[idx], "en");
    EXPECT_STREQ(menu_->current_language, "en");
    EXPECT_STREQ(menu_->text_select_world, "en");
}

TEST_F(MenuText, WithoutEnglishTheFirstListedLanguageIsLoaded) {
    for (const char* lang : {"de", "fr"}) write_language(lang, std::string(lang) + "\n");
    menu_scan_languages(menu_);
    ASSERT_EQ(menu_->available_languages_count, 2);
    EXPECT_EQ(menu_->current_language_index, 0);
    EXPECT_STREQ(menu_->current_language, menu_->available_languages[0]);
    EXPECT_STREQ(menu_->text_select_world, menu_->available_languages[0]);
}

TEST_F(MenuText, HiddenDirectoriesCountFilesAndLongNamesDoNot) {
    write_language("en", "en\n");
    make_dirs("assets/text/.hidden");
    make_dirs("assets/text/" + std::string(40, 'l'));
    write_file("assets/text/readme.txt", "not a language");
    testing::internal::CaptureStderr();
    menu_scan_languages(menu_);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(menu_->available_languages_count, 2);
    EXPECT_STREQ(menu_->current_language, "en");
}

TEST_F(MenuText, NoTextDirectoryLeavesEverythingEmpty) {
    menu_scan_languages(menu_);
    EXPECT_EQ(menu_->available_languages_count, 0);
    EXPECT_STREQ(menu_->current_language, "");
}

TEST_F(MenuText, SplashFileKeepsAtMost256NonEmptyLines) {
    write_file("assets/splashtexts/splashs.txt", "\n" + numbered_lines("s", 300));
    menu_load_splash_text(menu_);
    EXPECT_EQ(menu_->splash_texts_count, 256);
    EXPECT_STREQ(menu_->splash_texts[0], "s1");
    EXPECT_STREQ(menu_->splash_texts[255], "s256");
    EXPECT_EQ(menu_->current_splash_text[0], 's');
}

TEST_F(MenuText, SplashOfOnlyEmptyLinesShowsNothing) {
    write_file("assets/splashtexts/splashs.txt", "\n\n\n");
    menu_load_splash_text(menu_);
    EXPECT_EQ(menu_->splash_texts_count, 0);
    EXPECT_STREQ(menu_->current_splash_text, "");
}

TEST_F(MenuText, BackgroundCandidatesEndInLowerCasePng) {
    for (const char* name : {"a.png", "b.PNG", ".png", "c.png.txt", "dusk.png"}) {
        write_file(std::string("bg/") + name, "x");
    }
    char names[8][256] = {};
    int n = menu_list_backgrounds("bg", names, 8);
    ASSERT_EQ(n, 2);
    std::string found = std::string(names[0]) + "," + names[1];
    EXPECT_TRUE(found == "a.png,dusk.png" || found == "dusk.png,a.png") << found;
    EXPECT_EQ(menu_list_backgrounds("missing", names, 8), 0);
}

}  // namespace
