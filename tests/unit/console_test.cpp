// The chat line's editing rules, history browsing, submitting, and the
// message ring with its five-second fade.
#include <sys/stat.h>

#include <string>

#include "game_ui_fixture.h"

namespace {

class ConsoleTest : public GameUiTest {
protected:
    void SetUp() override {
        GameUiTest::SetUp();
        game_->chat.active = true;
    }

    ChatOutcome press(const ChatKeys& keys) { return game_chat_apply_keys(game_, &keys); }

    ChatOutcome type(const std::string& text) {
        ChatOutcome outcome = CHAT_STILL_OPEN;
        for (size_t start = 0; start < text.size(); start += GAME_CHAT_MAX_CHARS_PER_FRAME) {
            ChatKeys keys = {};
            for (size_t i = start; i < text.size() && keys.char_count < GAME_CHAT_MAX_CHARS_PER_FRAME; i++)
                keys.chars[keys.char_count++] = (unsigned char)text[i];
            outcome = press(keys);
        }
        return outcome;
    }

    ChatOutcome key(bool ChatKeys::*which) {
        ChatKeys keys = {};
        keys.*which = true;
        return press(keys);
    }

    std::string line() const { return std::string(game_->chat.input, (size_t)game_->chat.input_len); }
};

TEST_F(ConsoleTest, TypingPastTheLimitKeepsTheFirst255Characters) {
    std::string text;
    for (int i = 0; i < 300; i++) text += (char)('a' + i % 26);
    type(text);
    EXPECT_EQ(game_->chat.input_len, 255);
    EXPECT_EQ(game_->chat.cursor_pos, 255);
    EXPECT_EQ(std::string(game_->chat.input), text.substr(0, 255));
}

TEST_F(ConsoleTest, OnlyPrintableCharactersUpToCloseBraceAreTyped) {
    ChatKeys keys = {};
    const int codes[] = {31, 32, 65, 125, 126, 127, 0x44F, 10};
    for (int code : codes) keys.chars[keys.char_count++] = code;
    press(keys);
    EXPECT_EQ(line(), " A}");
}

TEST_F(ConsoleTest, InsertionInTheMiddleShiftsTheTail) {
    type("abc");
    key(&ChatKeys::left);
    key(&ChatKeys::left);
    type("XY");
    EXPECT_EQ(line(), "aXYbc");
    EXPECT_EQ(game_->chat.cursor_pos, 3);
    EXPECT_EQ(std::string(game_->chat.input), "aXYbc");
}

TEST_F(ConsoleTest, InsertingIntoAFullLineIsRefused) {
    type(std::string(255, 'x'));
    key(&ChatKeys::left);
    type("Q");
    EXPECT_EQ(line(), std::string(255, 'x'));
    EXPECT_EQ(game_->chat.cursor_pos, 254);
}

TEST_F(ConsoleTest, BackspaceDeletesBeforeTheCursorAndNothingAtZero) {
    type("abc");
    key(&ChatKeys::left);
    key(&ChatKeys::backspace);
    EXPECT_EQ(line(), "ac");
    EXPECT_EQ(game_->chat.cursor_pos, 1);
    key(&ChatKeys::left);
    key(&ChatKeys::backspace);
    EXPECT_EQ(line(), "ac");
    EXPECT_EQ(game_->chat.cursor_pos, 0);
}

TEST_F(ConsoleTest, CursorStaysWithinTheLine) {
    type("ab");
    key(&ChatKeys::right);
    EXPECT_EQ(game_->chat.cursor_pos, 2);
    for (int i = 0; i < 4; i++) key(&ChatKeys::left);
    EXPECT_EQ(game_->chat.cursor_pos, 0);
}

TEST_F(ConsoleTest, UpRecallsNewestFirstAndStopsAtTheOldest) {
    write_file("chathistory", "first\n\nsecond\nthird\n");
    key(&ChatKeys::up);
    EXPECT_EQ(line(), "third");
    EXPECT_EQ(game_->chat.history_index, 1);
    EXPECT_EQ(game_->chat.cursor_pos, 5);
    key(&ChatKeys::up);
    key(&ChatKeys::up);
    EXPECT_EQ(line(), "first");
    EXPECT_EQ(game_->chat.history_index, 3);
    key(&ChatKeys::up);
    EXPECT_EQ(line(), "first");
    EXPECT_EQ(game_->chat.history_index, 3);
}

TEST_F(ConsoleTest, DownWalksBackToAnEmptyLine) {
    write_file("chathistory", "first\nsecond\nthird\n");
    key(&ChatKeys::up);
    key(&ChatKeys::up);
    key(&ChatKeys::down);
    EXPECT_EQ(line(), "third");
    EXPECT_EQ(game_->chat.history_index, 1);
    key(&ChatKeys::down);
    EXPECT_EQ(line(), "");
    EXPECT_EQ(game_->chat.history_index, 0);
    EXPECT_EQ(game_->chat.cursor_pos, 0);
}

TEST_F(ConsoleTest, HistoryIsReadAfreshOnEachPress) {
    write_file("chathistory", "old\n");
    key(&ChatKeys::up);
    EXPECT_EQ(line(), "old");
    write_file("chathistory", "old\nnewer\n");
    key(&ChatKeys::down);
    key(&ChatKeys::up);
    EXPECT_EQ(line(), "newer");
}

TEST_F(ConsoleTest, UpWithoutAHistoryFileChangesNothing) {
    type("typed");
    key(&ChatKeys::up);
    EXPECT_EQ(line(), "typed");
    EXPECT_EQ(game_->chat.history_index, 0);
}

TEST_F(ConsoleTest, EnterOnAnEmptyLineClosesWithoutHistoryOrMessage) {
    EXPECT_EQ(key(&ChatKeys::enter), CHAT_SUBMITTED);
    EXPECT_FALSE(game_->chat.active);
    EXPECT_TRUE(game_->look.mouse_captured);
    struct stat info = {};
    EXPECT_NE(stat("chathistory", &info), 0);
    EXPECT_EQ(game_->chat.message_count, 0);
}

TEST_F(ConsoleTest, PlainTextIsRecordedButNotShown) {
    type("hello there");
    EXPECT_EQ(key(&ChatKeys::enter), CHAT_SUBMITTED);
    EXPECT_EQ(read_file("chathistory"), "hello there\n");
    EXPECT_EQ(game_->chat.message_count, 0);
    EXPECT_FALSE(game_->chat.active);
    EXPECT_EQ(game_->chat.cursor_pos, 0);
}

TEST_F(ConsoleTest, CommandLinesAreRecordedAndRun) {
    write_file("chathistory", "earlier\n");
    type("/fly enable");
    key(&ChatKeys::up);  // browsing replaces the line; Down brings back an empty one
    EXPECT_EQ(line(), "earlier");
    key(&ChatKeys::down);
    type("/fly enable");
    key(&ChatKeys::enter);
    EXPECT_EQ(read_file("chathistory"), "earlier\n/fly enable\n");
    EXPECT_TRUE(game_->flight_enabled);
    EXPECT_EQ(last_message(), "Flight on");
    EXPECT_EQ(game_->chat.history_index, 0);
}

TEST_F(ConsoleTest, DownAndEnterInOneFrameSubmitTheEmptiedLine) {
    write_file("chathistory", "/fly enable\n");
    key(&ChatKeys::up);
    ChatKeys keys = {};
    keys.down = true;
    keys.enter = true;
    press(keys);
    EXPECT_FALSE(game_->flight_enabled);
    EXPECT_EQ(read_file("chathistory"), "/fly enable\n");
}

TEST_F(ConsoleTest, EscapeClosesWithoutRunning) {
    write_file("chathistory", "x\n");
    type("/fly enable");
    key(&ChatKeys::up);
    EXPECT_EQ(key(&ChatKeys::escape), CHAT_CANCELLED);
    EXPECT_FALSE(game_->chat.active);
    EXPECT_TRUE(game_->look.mouse_captured);
    EXPECT_EQ(game_->chat.history_index, 0);
    EXPECT_EQ(game_->chat.cursor_pos, 0);
    EXPECT_FALSE(game_->flight_enabled);
    EXPECT_EQ(read_file("chathistory"), "x\n");
}

// ---------------------------------------------------------------- message ring

class ConsoleMessagesTest : public GameUiTest {};

TEST_F(ConsoleMessagesTest, SixPostsShowTheNewestFiveNewestLowest) {
    for (int i = 1; i <= 6; i++) game_post_message_at(game_, ("message " + std::to_string(i)).c_str(), 0.1 * i);
    ChatMessageLine lines[GAME_CHAT_VISIBLE_MESSAGES];
    ASSERT_EQ(game_chat_visible_messages(game_, 1.0, 800, lines), 5);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(std::string(lines[i].text), "message " + std::to_string(6 - i));
        EXPECT_EQ(lines[i].y, 600 - 35 * i);
        EXPECT_EQ(lines[i].alpha, 255);
    }
}

TEST_F(ConsoleMessagesTest, AMessageDisappearsExactlyFiveSecondsAfterPosting) {
    game_post_message_at(game_, "short-lived", 10.0);
    ChatMessageLine lines[GAME_CHAT_VISIBLE_MESSAGES];
    EXPECT_EQ(game_chat_visible_messages(game_, 14.999, 800, lines), 1);
    EXPECT_EQ(game_chat_visible_messages(game_, 15.0, 800, lines), 0);
}

TEST_F(ConsoleMessagesTest, FadesOnlyDuringTheLastSecond) {
    game_post_message_at(game_, "fading", 0.0);
    ChatMessageLine lines[GAME_CHAT_VISIBLE_MESSAGES];
    ASSERT_EQ(game_chat_visible_messages(game_, 4.0, 800, lines), 1);
    EXPECT_EQ(lines[0].alpha, 255);
    ASSERT_EQ(game_chat_visible_messages(game_, 4.5, 800, lines), 1);
    EXPECT_EQ(lines[0].alpha, 127);
}

TEST_F(ConsoleMessagesTest, ExpiredAndEmptyMessagesLeaveNoGap) {
    game_post_message_at(game_, "old", 0.0);
    game_post_message_at(game_, "kept", 3.0);
    game_post_message_at(game_, "", 4.0);
    ChatMessageLine lines[GAME_CHAT_VISIBLE_MESSAGES];
    ASSERT_EQ(game_chat_visible_messages(game_, 6.0, 800, lines), 1);
    EXPECT_EQ(std::string(lines[0].text), "kept");
    EXPECT_EQ(lines[0].y, 600);
}

TEST_F(ConsoleMessagesTest, RingKeepsTheSixteenNewestAndCutsLongTexts) {
    for (int i = 0; i < 20; i++) game_post_message_at(game_, std::to_string(i).c_str(), 1.0);
    EXPECT_EQ(game_->chat.message_count, 20);
    EXPECT_STREQ(game_->chat.messages[3], "19");
    EXPECT_STREQ(game_->chat.messages[4], "4");
    ChatMessageLine lines[GAME_CHAT_VISIBLE_MESSAGES];
    ASSERT_EQ(game_chat_visible_messages(game_, 1.0, 800, lines), 5);
    EXPECT_STREQ(lines[0].text, "19");
    EXPECT_STREQ(lines[4].text, "15");

    game_post_message_at(game_, std::string(600, 'm').c_str(), 1.0);
    EXPECT_EQ(strlen(game_->chat.messages[4]), 511u);
}

TEST_F(ConsoleMessagesTest, CaretBlinksEveryHalfSecond) {
    EXPECT_TRUE(game_chat_caret_visible(0.0));
    EXPECT_TRUE(game_chat_caret_visible(0.49));
    EXPECT_FALSE(game_chat_caret_visible(0.5));
    EXPECT_TRUE(game_chat_caret_visible(1.0));
}

}  // namespace
