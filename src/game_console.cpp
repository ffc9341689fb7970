// The chat console: editing the line, browsing ./chathistory, submitting, and
// the ring of posted messages with its fading list and the input box.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "game.h"
#include "game_ui.h"
#include "utils.h"

static const char* const CHAT_HISTORY_FILE = "./chathistory";

constexpr int CHAT_FIRST_PRINTABLE = 32;
constexpr int CHAT_LAST_PRINTABLE = 125;  // "~" (126) cannot be typed
constexpr int CHAT_MAX_LENGTH = GAME_CHAT_INPUT_SIZE - 1;
constexpr float CHAT_FONT_SIZE = 28.0f;
constexpr float CHAT_SPACING = 1.0f;
constexpr int CHAT_LIST_BOTTOM_OFFSET = 200;
constexpr int CHAT_LINE_HEIGHT = 35;

// ---------------------------------------------------------------- editing

static void insert_char(GameState* game, int code) {
    if (code < CHAT_FIRST_PRINTABLE || code > CHAT_LAST_PRINTABLE) return;
    if (game->chat.input_len >= CHAT_MAX_LENGTH) return;
    char* at = game->chat.input + game->chat.cursor_pos;
    memmove(at + 1, at, static_cast<size_t>(game->chat.input_len - game->chat.cursor_pos + 1));
    *at = static_cast<char>(code);
    game->chat.input_len++;
    game->chat.cursor_pos++;
}

static void delete_before_cursor(GameState* game) {
    if (game->chat.cursor_pos <= 0) return;
    char* at = game->chat.input + game->chat.cursor_pos;
    memmove(at - 1, at, static_cast<size_t>(game->chat.input_len - game->chat.cursor_pos + 1));
    game->chat.input_len--;
    game->chat.cursor_pos--;
}

static void clear_line(GameState* game) {
    game->chat.input[0] = '\0';
    game->chat.input_len = 0;
    game->chat.cursor_pos = 0;
}

// Shows history line `lines_back`; the line stays as it was when there is none.
static bool recall_history(GameState* game, int lines_back) {
    char line[GAME_CHAT_INPUT_SIZE] = {};
    if (!get_chat_history_line(lines_back, line, sizeof line)) return false;
    snprintf(game->chat.input, sizeof game->chat.input, "%s", line);
    game->chat.input_len = static_cast<int>(strlen(game->chat.input));
    game->chat.cursor_pos = game->chat.input_len;
    return true;
}

static void history_older(GameState* game) {
    if (recall_history(game, game->chat.history_index + 1)) game->chat.history_index++;
}

static void history_newer(GameState* game) {
    if (game->chat.history_index < 2) {
        clear_line(game);
        game->chat.history_index = 0;
        return;
    }
    game->chat.history_index--;
    recall_history(game, game->chat.history_index);
}

static void append_history(const char* line) {
    FILE* file = fopen(CHAT_HISTORY_FILE, "a");
    if (!file) {
        fprintf(stderr, "[chat] Failed to open %s for appending: %s\n", CHAT_HISTORY_FILE, strerror(errno));
        return;
    }
    if (fprintf(file, "%s\n", line) < 0)
        fprintf(stderr, "[chat] Failed to append to %s: %s\n", CHAT_HISTORY_FILE, strerror(errno));
    if (fclose(file) != 0) fprintf(stderr, "[chat] Failed to close %s: %s\n", CHAT_HISTORY_FILE, strerror(errno));
}

static void close_line(GameState* game) {
    game->chat.active = false;
    game->look.mouse_captured = true;
    game->chat.cursor_pos = 0;
    game->chat.history_index = 0;
}

// Text without a leading "/" is only recorded in the history.
static void submit_line(GameState* game) {
    if (game->chat.input[0] != '\0') append_history(game->chat.input);
    if (game->chat.input[0] == '/') game_execute_command(game, game->chat.input);
    close_line(game);
}

ChatOutcome game_chat_apply_keys(GameState* game, const ChatKeys* keys) {
    const int typed =
        keys->char_count < GAME_CHAT_MAX_CHARS_PER_FRAME ? keys->char_count : GAME_CHAT_MAX_CHARS_PER_FRAME;
    for (int i = 0; i < typed; i++) insert_char(game, keys->chars[i]);
    if (keys->backspace) delete_before_cursor(game);
    if (keys->left && game->chat.cursor_pos > 0) game->chat.cursor_pos--;
    if (keys->right && game->chat.cursor_pos < game->chat.input_len) game->chat.cursor_pos++;
    if (keys->up) history_older(game);
    if (keys->down) history_newer(game);
    if (keys->enter) {
        submit_line(game);
        return CHAT_SUBMITTED;
    }
    if (keys->escape) {
        close_line(game);
        return CHAT_CANCELLED;
    }
    return CHAT_STILL_OPEN;
}

static ChatKeys read_chat_keys(void) {
    ChatKeys keys = {};
    for (int code = GetCharPressed(); code != 0; code = GetCharPressed())
        if (keys.char_count < GAME_CHAT_MAX_CHARS_PER_FRAME) keys.chars[keys.char_count++] = code;
    keys.backspace = IsKeyPressed(KEY_BACKSPACE);
    keys.left = IsKeyPressed(KEY_LEFT);
    keys.right = IsKeyPressed(KEY_RIGHT);
    keys.up = IsKeyPressed(KEY_UP);
    keys.down = IsKeyPressed(KEY_DOWN);
    keys.enter = IsKeyPressed(KEY_ENTER);
    keys.escape = IsKeyPressed(KEY_ESCAPE);
    return keys;
}

void game_chat_input(GameState* game) {
    if (!game->chat.active) return;
    const ChatKeys keys = read_chat_keys();
    if (game_chat_apply_keys(game, &keys) != CHAT_STILL_OPEN) DisableCursor();
}

// ---------------------------------------------------------------- message ring

void game_post_message_at(GameState* game, const char* text, double now) {
    const int index = game->chat.message_count % GAME_CHAT_RING;
    snprintf(game->chat.messages[index], GAME_CHAT_MESSAGE_SIZE, "%s", text ? text : "");
    game->chat.message_times[index] = now;
    game->chat.message_count++;
}

void game_post_message(GameState* game, const char* text) {
    game_post_message_at(game, text, GetTime());
}

int game_chat_visible_messages(const GameState* game, double now, int screen_height,
                               ChatMessageLine out[GAME_CHAT_VISIBLE_MESSAGES]) {
    const int start_y = screen_height - CHAT_LIST_BOTTOM_OFFSET;
    int shown = 0;
    for (int i = 0; i < GAME_CHAT_RING && i < game->chat.message_count && shown < GAME_CHAT_VISIBLE_MESSAGES; i++) {
        const int index = (game->chat.message_count - 1 - i) % GAME_CHAT_RING;
        const double age = now - game->chat.message_times[index];
        if (age >= CHAT_MESSAGE_LIFETIME || game->chat.messages[index][0] == '\0') continue;
        int alpha = 255;
        if (age > CHAT_FADE_START) alpha = static_cast<int>(fmax(CHAT_MESSAGE_LIFETIME - age, 0.0) * 255.0);
        out[shown] = ChatMessageLine{game->chat.messages[index], start_y - CHAT_LINE_HEIGHT * shown,
                                     static_cast<unsigned char>(alpha)};
        shown++;
    }
    return shown;
}

bool game_chat_caret_visible(double now) {
    return static_cast<int>(now * 2.0) % 2 == 0;
}

// ---------------------------------------------------------------- drawing

void game_draw_chat_messages(GameState* game) {
    ChatMessageLine lines[GAME_CHAT_VISIBLE_MESSAGES];
    const int count = game_chat_visible_messages(game, GetTime(), GetScreenHeight(), lines);
    for (int i = 0; i < count; i++)
        DrawTextEx(game->custom_font, lines[i].text, Vector2{10.0f, static_cast<float>(lines[i].y)}, CHAT_FONT_SIZE,
                   CHAT_SPACING, Color{255, 255, 255, lines[i].alpha});
}

void game_draw_chat_input(GameState* game) {
    if (!game->chat.active) return;
    const int width = GetScreenWidth();
    const int height = GetScreenHeight();
    const int box_height = 50;
    const int box_y = height - 60;
    DrawRectangle(10, box_y, width - 20, box_height, Color{30, 30, 30, 200});
    DrawRectangleLinesEx(
        Rectangle{10.0f, static_cast<float>(box_y), static_cast<float>(width - 20), static_cast<float>(box_height)},
        2.0f, WHITE);

    char display[GAME_CHAT_MESSAGE_SIZE];
    snprintf(display, sizeof display, "> %s", game->chat.input);
    const float text_y = static_cast<float>(height - 52);
    DrawTextEx(game->custom_font, display, Vector2{20.0f, text_y}, CHAT_FONT_SIZE, CHAT_SPACING, WHITE);
    if (!game_chat_caret_visible(GetTime())) return;

    // "> " plus the text before the caret
    char before[GAME_CHAT_MESSAGE_SIZE];
    snprintf(before, sizeof before, "> %.*s", game->chat.cursor_pos, game->chat.input);
    const float caret_x = 20.0f + MeasureTextEx(game->custom_font, before, CHAT_FONT_SIZE, CHAT_SPACING).x;
    DrawLineEx(Vector2{caret_x, text_y}, Vector2{caret_x, static_cast<float>(height - 22)}, 2.0f, WHITE);
}
