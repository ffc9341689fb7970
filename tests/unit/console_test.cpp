// The chat line's editing, history browsing and submitting, and the fading message list.
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>

#include "game_ui_fixture.h"

namespace {

using ConsoleTest = GameUiTest;

TEST_F(ConsoleTest, FadingMessagesAndTheLinesEditingBrowsingSubmittingAndClosing) {
    // The five newest messages show for five seconds, newest lowest, fading in the last second, skipping empty ones.
    for (int i = 0; i < 20; i++) game_post_message_at(game_, std::to_string(i).c_str(), 0.25 * i);
    game_post_message_at(game_, "", 5.0);
    ChatMessageLine lines[GAME_CHAT_VISIBLE_MESSAGES];
    // The time, how many lines show, and the newest one's alpha.
    const double times[][3] = {{5.0, 5, 255}, {8.75, 4, 255}, {9.25, 2, 127}, {9.749, 1, 0}, {9.75, 0, 0}};
    for (const auto& [now, shown, alpha] : times) {
        EXPECT_EQ(game_chat_visible_messages(game_, now, 800, lines), shown) << now;
        EXPECT_TRUE(shown == 0 || (lines[0].alpha == alpha && lines[0].y == 600 && strcmp(lines[0].text, "19") == 0));
    }
    EXPECT_TRUE(game_chat_caret_visible(0.49) && !game_chat_caret_visible(0.5) && game_chat_caret_visible(1.0));

    // Scripts run over a ./chathistory (or none); <...> is a frame of keys: Left Right Backspace Up Down Enter eXcape.
    const char* three = "first\n\nsecond\nthird\n";
    const std::string full(255, 'x');
    const ChatOutcome OPEN = CHAT_STILL_OPEN, SENT = CHAT_SUBMITTED;
    // History, script; the line, cursor, history position, outcome and ./chathistory afterwards.
    const std::tuple<const char*, std::string, std::string, int, int, ChatOutcome, const char*> cases[] = {
        {nullptr, "abc<L><L>XY", "aXYbc", 3, 0, OPEN, nullptr},
        {nullptr, full + "<L>Q", full, 254, 0, OPEN, nullptr},  // a full line of 255 takes nothing
        {nullptr, "abc<L><B><L><B>", "ac", 0, 0, OPEN, nullptr},
        {nullptr, "ab<R>", "ab", 2, 0, OPEN, nullptr},
        {nullptr, "ab<L><L><L><L>", "ab", 0, 0, OPEN, nullptr},
        {nullptr, "\x1f A}~\x7f\xc3\n", " A}", 3, 0, OPEN, nullptr},  // printable up to the close brace only
        {nullptr, "typed<U>", "typed", 5, 0, OPEN, nullptr},
        {three, "<U><U><U><U>", "first", 5, 3, OPEN, three},  // nothing older than the oldest
        {three, "<U><U><U><D>", "second", 6, 2, OPEN, three},
        {three, "<U><U><D><D>", "", 0, 0, OPEN, three},
        {"earlier\n", "/fly enable<U>", "earlier", 7, 1, OPEN, "earlier\n"},  // browsing replaces the typed line
        {nullptr, "<E>", "", 0, 0, SENT, nullptr},
        {nullptr, "hello there<E>", "hello there", 0, 0, SENT, "hello there\n"},
        {"earlier\n", "/fly enable<E>", "/fly enable", 0, 0, SENT, "earlier\n/fly enable\n"},
        {"/fly enable\n", "<U><DE>", "", 0, 0, SENT, "/fly enable\n"},  // Down empties the line first
        {"x\n", "/fly enable<U><X>", "x", 0, 0, CHAT_CANCELLED, "x\n"}};
    static bool ChatKeys::*const named[] = {&ChatKeys::left, &ChatKeys::right, &ChatKeys::backspace, &ChatKeys::up,
                                            &ChatKeys::down, &ChatKeys::enter, &ChatKeys::escape};
    for (const auto& [history, script, want, cursor, history_index, expected, recorded] : cases) {
        SCOPED_TRACE(script);
        game_->chat = {};
        game_->chat.active = true;
        game_->look.mouse_captured = game_->flight_enabled = false;
        std::remove("chathistory");
        if (history) write_file("chathistory", history);
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
        EXPECT_EQ(outcome, expected);
        const std::string line(game_->chat.input, static_cast<size_t>(game_->chat.input_len));
        EXPECT_EQ(std::tuple(line, std::string(game_->chat.input), game_->chat.cursor_pos, game_->chat.history_index),
                  std::tuple(want, want, cursor, history_index));
        EXPECT_EQ(std::tuple(game_->chat.active, game_->look.mouse_captured),
                  std::tuple(expected == OPEN, expected != OPEN));
        const bool ran = script == "/fly enable<E>";  // plain text is recorded but not shown
        EXPECT_EQ(std::pair(game_->flight_enabled, message()), std::pair(ran, std::string(ran ? "Flight on" : "")));
        EXPECT_EQ(read_file("chathistory"), recorded ? recorded : "");
    }
}

}  // namespace
