// The world list scan, its keyboard, the create-world name rules, Escape
// on the menu screens and the language button.
#include <cstring>
#include <string>

#include "menu_test_util.h"

namespace {

using MenuWorlds = MenuTempDir;

TEST_F(MenuWorlds, ListsWorldFoldersWithTheirMetadata) {
    menu_->current_state = MENU_STATE_WORLD_SELECT;
    menu_scan_worlds(menu_);  // no ./worlds: an empty list where Enter does nothing
    EXPECT_EQ(menu_->world_count, 0);
    EXPECT_EQ(menu_->available_worlds, nullptr);
    menu_world_select_keys(menu_, false, false, true, false);
    EXPECT_EQ(menu_->current_state, MENU_STATE_WORLD_SELECT);
    EXPECT_FALSE(menu_->should_start_game);

    write_file("worlds/alpha/world.txt", "seed=1\nlast_saved=2026-01-02 03:04:05\nchunk_count=42\n");
    make_dirs("worlds/bare");
    make_dirs("worlds/.hidden");
    write_file("worlds/notes.txt", "a file, not a world");
    write_file("worlds/long/world.txt", "last_saved=" + std::string(100, 'z') + "\nchunk_count=7x\n");
    menu_scan_worlds(menu_);
    ASSERT_EQ(menu_->world_count, 3);
    std::string listed;
    for (int i = 0; i < 3; i++) {
        const WorldInfo& w = menu_->available_worlds[i];
        listed += std::string(w.name) + "=" + w.created + "/" + std::to_string(w.chunk_count) + " ";
    }
    for (const std::string& entry : {std::string("alpha=2026-01-02 03:04:05/42 "), std::string("bare=Unknown/0 "),
                                     "long=" + std::string(63, 'z') + "/7 "})
        EXPECT_NE(listed.find(entry), std::string::npos) << listed;
}

TEST_F(MenuWorlds, KeyboardSelectionReachesBeyondTheEightRowsAndRescanResetsIt) {
    for (int i = 0; i < 10; i++) make_dirs("worlds/w" + std::to_string(i));
    menu_scan_worlds(menu_);
    ASSERT_EQ(menu_->world_count, 10);
    menu_world_select_keys(menu_, true, false, false, false);
    EXPECT_EQ(menu_->selected_world_index, 0);
    for (int i = 0; i < 12; i++) menu_world_select_keys(menu_, false, true, false, false);
    EXPECT_EQ(menu_->selected_world_index, 9);
    menu_scan_worlds(menu_);
    EXPECT_EQ(menu_->selected_world_index, 0);
    menu_->selected_world_index = 9;
    menu_world_select_keys(menu_, false, false, true, false);
    EXPECT_STREQ(menu_->selected_world_name, menu_->available_worlds[9].name);
    EXPECT_TRUE(menu_->should_start_game);
    EXPECT_EQ(menu_->current_state, MENU_STATE_GAME);
}

TEST_F(MenuWorlds, NewWorldNamesAreFilteredAndCheckedAgainstTheList) {
    for (char c : std::string("a-b c_1!\xe9")) menu_create_world_type_char(menu_, static_cast<unsigned char>(c));
    menu_create_world_type_char(menu_, 0x439);  // a Cyrillic letter
    EXPECT_STREQ(menu_->new_world_name, "ab c_1");
    EXPECT_EQ(menu_->new_world_name_len, 6);
    for (int i = 0; i < 256; i++) menu_create_world_type_char(menu_, 'x');
    EXPECT_EQ(menu_->new_world_name_len, 255);
    EXPECT_EQ(strlen(menu_->new_world_name), 255u);

    memset(menu_->new_world_name, 0, sizeof menu_->new_world_name);
    menu_->new_world_name_len = 0;
    make_dirs("worlds/Taken");
    menu_scan_worlds(menu_);
    strcpy(menu_->text_error_empty_name, "empty!");
    strcpy(menu_->text_error_exists, "exists!");
    menu_->current_state = MENU_STATE_CREATE_WORLD;
    menu_create_world_request(menu_);
    EXPECT_TRUE(menu_->create_world_error);
    EXPECT_STREQ(menu_->create_world_error_msg, "empty!");
    for (char c : std::string("Taken")) menu_create_world_type_char(menu_, c);
    EXPECT_FALSE(menu_->create_world_error);  // typing clears the error line
    menu_create_world_request(menu_);
    EXPECT_STREQ(menu_->create_world_error_msg, "exists!");
    EXPECT_EQ(menu_->current_state, MENU_STATE_CREATE_WORLD);
    menu_create_world_type_char(menu_, ' ');
    menu_create_world_request(menu_);
    EXPECT_STREQ(menu_->selected_world_name, "Taken ");  // used as typed, not trimmed
    EXPECT_TRUE(menu_->should_start_game);
    EXPECT_EQ(menu_->current_state, MENU_STATE_GAME);
}

TEST_F(MenuWorlds, EscapeReturnsToTheMainMenuFromItsScreens) {
    for (MenuState s :
         {MENU_STATE_WORLD_SELECT, MENU_STATE_CREDITS, MENU_STATE_SETTINGS, MENU_STATE_CREATE_WORLD, MENU_STATE_GAME}) {
        menu_->current_state = s;
        menu_->create_world_error = true;
        menu_escape_pressed(menu_);
        EXPECT_EQ(menu_->current_state, s == MENU_STATE_GAME ? MENU_STATE_GAME : MENU_STATE_MAIN) << s;
        EXPECT_EQ(menu_->create_world_error, s != MENU_STATE_CREATE_WORLD) << s;
    }
}

TEST_F(MenuWorlds, LanguageButtonVisitsEveryLanguageWrapsAndSaves) {
    menu_next_language(menu_);  // no languages: nothing happens
    EXPECT_EQ(menu_->current_language_index, 0);
    EXPECT_EQ(access("options.txt", F_OK), -1);

    for (const char* lang : {"de", "en", "fr"})
        write_file(std::string("assets/text/") + lang + "/menu.txt", std::string("title ") + lang + "\n");
    testing::internal::CaptureStderr();
    menu_scan_languages(menu_);
    const int start = menu_->current_language_index;
    std::string seen;
    for (int i = 0; i < 3; i++) {
        menu_next_language(menu_);
        EXPECT_EQ(std::string(menu_->text_select_world), std::string("title ") + menu_->current_language);
        EXPECT_NE(read_file("options.txt").find(std::string("language=") + menu_->current_language + "\n"),
                  std::string::npos);
        seen += menu_->current_language;
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(menu_->current_language_index, start);
    EXPECT_EQ(seen.size(), 6u);
    for (const char* lang : {"de", "en", "fr"}) EXPECT_NE(seen.find(lang), std::string::npos) << seen;
}

}  // namespace
