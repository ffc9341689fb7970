// The world list scan, its keyboard, the create-world name rules, Escape
// on the menu screens and the language button.
#include <cstring>
#include <string>

#include "menu_test_util.h"

namespace {

class MenuWorlds : public MenuTempDir {
protected:
    int index_of(const char* name) const {
        for (int i = 0; i < menu_->world_count; i++) {
            if (strcmp(menu_->available_worlds[i].name, name) == 0) return i;
        }
        return -1;
    }
};

TEST_F(MenuWorlds, ListsWorldFoldersWithTheirMetadata) {
    write_file("worlds/alpha/world.txt", "seed=1\nlast_saved=2026-01-02 03:04:05\nchunk_count=42\n");
    make_dirs("worlds/bare");
    make_dirs("worlds/.hidden");
    write_file("worlds/notes.txt", "a file, not a world");
    write_file("worlds/long/world.txt", "last_saved=" + std::string(100, 'z') + "\nchunk_count=7x\n");
    menu_scan_worlds(menu_);
    ASSERT_EQ(menu_->world_count, 3);
    EXPECT_EQ(menu_->selected_world_index, 0);
    const WorldInfo& alpha = menu_->available_worlds[index_of("alpha")];
    EXPECT_STREQ(alpha.created, "2026-01-02 03:04:05");
    EXPECT_EQ(alpha.chunk_count, 42);
    const WorldInfo& bare = menu_->available_worlds[index_of("bare")];
    EXPECT_STREQ(bare.created, "Unknown");
    EXPECT_EQ(bare.chunk_count, 0);
    const WorldInfo& cut = menu_->available_worlds[index_of("long")];
    EXPECT_EQ(std::string(cut.created), std::string(63, 'z'));
    EXPECT_EQ(cut.chunk_count, 7);
}

TEST_F(MenuWorlds, NoWorldsFolderGivesAnEmptyListAndEnterDoesNothing) {
    menu_->current_state = MENU_STATE_WORLD_SELECT;
    menu_scan_worlds(menu_);
    EXPECT_EQ(menu_->world_count, 0);
    EXPECT_EQ(menu_->available_worlds, nullptr);
    menu_world_select_keys(menu_, false, false, true, false);
    EXPECT_EQ(menu_->current_state, MENU_STATE_WORLD_SELECT);
    EXPECT_FALSE(menu_->should_start_game);
}

TEST_F(MenuWorlds, KeyboardSelectionReachesBeyondTheEightRows) {
    for (int i = 0; i < 10; i++) make_dirs("worlds/w" + std::to_string(i));
    menu_scan_worlds(menu_);
    ASSERT_EQ(menu_->world_count, 10);
    menu_world_select_keys(menu_, true, false, false, false);
    EXPECT_EQ(menu_->selected_world_index, 0);
    for (int i = 0; i < 12; i++) menu_world_select_keys(menu_, false, true, false, false);
    EXPECT_EQ(menu_->selected_world_index, 9);
    menu_world_select_keys(menu_, false, false, true, false);
    EXPECT_STREQ(menu_->selected_world_name, menu_->available_worlds[9].name);
    EXPECT_TRUE(menu_->should_start_game);
    EXPECT_EQ(menu_->current_state, MENU_STATE_GAME);
}

TEST_F(MenuWorlds, RescanResetsTheSelection) {
    for (int i = 0; i < 3; i++) make_dirs("worlds/w" + std::to_string(i));
    menu_scan_worlds(menu_);
    menu_->selected_world_index = 2;
    menu_scan_worlds(menu_);
    EXPECT_EQ(menu_->selected_world_index, 0);
    EXPECT_EQ(menu_->world_count, 3);
}

TEST_F(MenuWorlds, NameFilterKeepsLettersDigitsUnderscoreAndSpace) {
    for (char c : std::string("a-b c_1!\xe9")) menu_create_world_type_char(menu_, static_cast<unsigned char>(c));
    menu_create_world_type_char(menu_, 0x439);  // a Cyrillic letter
    EXPECT_STREQ(menu_->new_world_name, "ab c_1");
    EXPECT_EQ(menu_->new_world_name_len, 6);
}

TEST_F(MenuWorlds, NameHoldsAtMost255Characters) {
    for (int i = 0; i < 256; i++) menu_create_world_type_char(menu_, 'x');
    EXPECT_EQ(menu_->new_world_name_len, 255);
    EXPECT_EQ(strlen(menu_->new_world_name), 255u);
}

TEST_F(MenuWorlds, CreationRequestChecksEmptyAndTakenNames) {
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

TEST_F(MenuWorlds, EscapeReturnsToTheMainMenu) {
    for (MenuState s : {MENU_STATE_WORLD_SELECT, MENU_STATE_CREDITS, MENU_STATE_SETTINGS}) {
        menu_->current_state = s;
        menu_escape_pressed(menu_);
        EXPECT_EQ(menu_->current_state, MENU_STATE_MAIN) << s;
    }
    menu_->current_state = MENU_STATE_CREATE_WORLD;
    menu_->create_world_error = true;
    menu_escape_pressed(menu_);
    EXPECT_EQ(menu_->current_state, MENU_STATE_MAIN);
    EXPECT_FALSE(menu_->create_world_error);
    menu_->current_state = MENU_STATE_GAME;
    menu_escape_pressed(menu_);
    EXPECT_EQ(menu_->current_state, MENU_STATE_GAME);
}

TEST_F(MenuWorlds, LanguageButtonVisitsEveryLanguageAndWraps) {
    for (const char* lang : {"de", "en", "fr"}) {
        write_file(std::string("assets/text/") + lang + "/menu.txt", std::string("title ") + lang + "\n");
    }
    testing::internal::CaptureStderr();
    menu_scan_languages(menu_);
    int start = menu_->current_language_index;
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

TEST_F(MenuWorlds, LanguageButtonWithoutLanguagesDoesNothing) {
    menu_next_language(menu_);
    EXPECT_EQ(menu_->current_language_index, 0);
    EXPECT_EQ(access("options.txt", F_OK), -1);
}

}  // namespace
