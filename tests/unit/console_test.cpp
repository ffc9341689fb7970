// The chat line's editing rules, history browsing, submitting, and the
// message ring with its five-second fade.
#include <cstdio>
#include <string>
#include <tuple>

#include "game_ui_fixture.h"

namespace {

class ConsoleTest : public GameUiTest {
protected:
    // Starts a fresh open line over the given ./chathistory (null: no file).
    void open(const char* history) {
        game_->chat = {};
        game_->chat.active = true;
        game_->look.mouse_captured = false;
        std::remove("chathistory");
        if (history != nullptr) write_file("chathistory", history);
    }

    // Plays a script: plain text is typed (at most a frame's worth of characters
    // per frame), and each <...> is one frame of keys: Left, Right, Backspace,
    // Up, Down, Enter, eXcape. Returns the outcome of the last frame.
    ChatOutcome play(const std::string& script) {
        static bool ChatKeys::*const named[] = {&ChatKeys::left, &ChatKeys::right, &ChatKeys::backspace, &ChatKeys::up,
                                                &ChatKeys::down, &ChatKeys::enter, &ChatKeys::escape};
        ChatOutcome outcome = CHAT_STILL_OPEN;
        for (size_t i = 0; i < script.size();) {
            ChatKeys keys = {};
            if (script[i] == '<') {
                for (i++; script[i++] != '>';) keys.*named[std::string("LRBUDEX").find(script[i - 1])] = true;
            } else {
                for (; i < script.size() && script[i] != '<' && keys.char_count < GAME_CHAT_MAX_CHARS_PER_FRAME; i++)
                    keys.chars[keys.char_count++] = static_cast<unsigned char>(script[i]);
            }
            outcome = game_chat_apply_keys(game_, &keys);
        }
        return outcome;
    }

    std::string line() const { return std::string(game_->chat.input, static_cast<size_t>(game_->chat.input_len)); }
};

TEST_F(ConsoleTest, EditingAndBrowsingTheHistory) {
    const std::string letters = [] {
        std::string text;
        for (int i = 0; i < 300; i++) text += static_cast<char>('a' + i % 26);
        return text;
    }();
    const char* three = "first\n\nsecond\nthird\n";
    struct Case {
        const char* history;
        std::string script, line;
        int cursor, history_index;
    };
    const Case cases[] = {
        {nullptr, letters, letters.substr(0, 255), 255, 0},  // typing stops at 255 characters
        {nullptr, "abc<L><L>XY", "aXYbc", 3, 0},
        {nullptr, std::string(255, 'x') + "<L>Q", std::string(255, 'x'), 254, 0},  // a full line takes nothing
        {nullptr, "abc<L><B>", "ac", 1, 0},
        {nullptr, "abc<L><B><L><B>", "ac", 0, 0},
        {nullptr, "ab<R>", "ab", 2, 0},
        {nullptr, "ab<L><L><L><L>", "ab", 0, 0},
        {nullptr, "typed<U>", "typed", 5, 0},
        {three, "<U>", "third", 5, 1},
        {three, "<U><U><U>", "first", 5, 3},
        {three, "<U><U><U><U>", "first", 5, 3},  // nothing older than the oldest
        {three, "<U><U><U><D>", "second", 6, 2},
        {three, "<U><U><D>", "third", 5, 1},
        {three, "<U><U><D><D>", "", 0, 0},
        {"earlier\n", "/fly enable<U>", "earlier", 7, 1}};  // browsing replaces the typed line
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        open(c.history);
        EXPECT_EQ(play(c.script), CHAT_STILL_OPEN);
        EXPECT_EQ(std::tuple(line(), std::string(game_->chat.input), game_->chat.cursor_pos, game_->chat.history_index),
                  std::tuple(c.line, c.line, c.cursor, c.history_index));
    }

    open(nullptr);
    ChatKeys keys = {};
    for (int code : {31, 32, 65, 125, 126, 127, 0x44F, 10}) keys.chars[keys.char_count++] = code;
    game_chat_apply_keys(game_, &keys);
    EXPECT_EQ(line(), " A}");  // printable up to the close brace only

    open("old\n");  // the history is read afresh on each press
    play("<U>");
    write_file("chathistory", "old\nnewer\n");
    play("<D><U>");
    EXPECT_EQ(line(), "newer");
}

TEST_F(ConsoleTest, EnterRecordsAndRunsCommandsAndEscapeOnlyCloses) {
    struct Case {
        const char* history;
        const char* script;
        ChatOutcome outcome;
        const char* recorded;  // ./chathistory afterwards, null: absent
        bool flight;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, "<E>", CHAT_SUBMITTED, nullptr, false, ""},
        {nullptr, "hello there<E>", CHAT_SUBMITTED, "hello there\n", false, ""},  // plain text is not shown
        {"earlier\n", "/fly enable<E>", CHAT_SUBMITTED, "earlier\n/fly enable\n", true, "Flight on"},
        {"/fly enable\n", "<U><DE>", CHAT_SUBMITTED, "/fly enable\n", false, ""},  // Down empties the line first
        {"x\n", "/fly enable<U><X>", CHAT_CANCELLED, "x\n", false, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        open(c.history);
        game_->flight_enabled = false;
        EXPECT_EQ(play(c.script), c.outcome);
        EXPECT_EQ(std::tuple(game_->chat.active, game_->look.mouse_captured, game_->chat.cursor_pos,
                             game_->chat.history_index, game_->flight_enabled, message()),
                  std::tuple(false, true, 0, 0, c.flight, std::string(c.message)));
        EXPECT_EQ(access("chathistory", F_OK) == 0, c.recorded != nullptr);
        EXPECT_EQ(read_file("chathistory"), c.recorded ? c.recorded : "");
    }
}

TEST_F(ConsoleTest, MessageListShowsTheFiveNewestForFiveSecondsFadingInTheLast) {
    for (int i = 1; i <= 6; i++) game_post_message_at(game_, ("message " + std::to_string(i)).c_str(), 0.1 * i);
    ChatMessageLine lines[GAME_CHAT_VISIBLE_MESSAGES];
    ASSERT_EQ(game_chat_visible_messages(game_, 1.0, 800, lines), 5);
    for (int i = 0; i < 5; i++)  // newest lowest
        EXPECT_EQ(std::tuple(std::string(lines[i].text), lines[i].y, lines[i].alpha),
                  std::tuple("message " + std::to_string(6 - i), 600 - 35 * i, 255));
    struct Case {
        double posted, now;
        int shown, alpha;
    };
    for (const Case& c :
         {Case{10.0, 14.999, 1, 0}, Case{10.0, 15.0, 0, 0}, Case{0.0, 4.0, 1, 255}, Case{0.0, 4.5, 1, 127}}) {
        game_->chat = {};
        game_post_message_at(game_, "fading", c.posted);
        ASSERT_EQ(game_chat_visible_messages(game_, c.now, 800, lines), c.shown) << c.now;
        EXPECT_EQ(c.shown ? lines[0].alpha : c.alpha, c.alpha) << c.now;
    }

    game_->chat = {};  // expired and empty messages leave no gap
    game_post_message_at(game_, "old", 0.0);
    game_post_message_at(game_, "kept", 3.0);
    game_post_message_at(game_, "", 4.0);
    ASSERT_EQ(game_chat_visible_messages(game_, 6.0, 800, lines), 1);
    EXPECT_EQ(std::pair(std::string(lines[0].text), lines[0].y), std::pair(std::string("kept"), 600));

    const std::pair<double, bool> blinks[] = {{0.0, true}, {0.49, true}, {0.5, false}, {1.0, true}};
    for (const auto& [now, shown] : blinks) EXPECT_EQ(game_chat_caret_visible(now), shown) << now;
}

TEST_F(ConsoleTest, MessageRingKeepsTheSixteenNewestAndCutsLongTexts) {
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

}  // namespace
