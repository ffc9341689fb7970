// The three files of a language folder (menu.txt, chat.txt, credits.txt; the
// input is cut at 0xFE bytes), then every text that serves as a format is
// used the way the game uses it: the world list line and the chat messages of
// the console commands, against a headless world and player.
#include <cstring>

#include "fuzz_game.h"
#include "fuzz_util.h"

static const char* const COMMAND_LINES[] = {
    "/quit",
    "/tp 1 2 3",
    "/tp 1 2",
    "/select stone",
    "/select nothing",
    "/fly enable",
    "/fly disable",
    "/fly sideways",
    "/noclip enable",
    "/noclip disable",
    "/noclip maybe",
    "/setblock 1 2 3 stone",
    "/setblock 1 2 3 nothing",
    "/setblock 1 2",
    "/setblock 1 99999 3 stone",
    "/give stone 3",
    "/give nothing",
    "/save ../up",
    "/load ../up",
    "/loadworld bad-name",
    "/createworld bad-name",
    "/unknown %s%n",
    "/save fuzzed",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MenuSystem* menu = nullptr;
    if (menu == nullptr) {
        fuzz_enter_private_dir();
        fuzz_make_dirs("assets/text/fz");
        menu = new MenuSystem;
    }
    std::string parts[3];
    const int count = fuzz_split(data, size, 0xFE, parts, 3);
    fuzz_write_text("assets/text/fz/menu.txt", parts[0]);
    if (count > 1)
        fuzz_write_text("assets/text/fz/chat.txt", parts[1]);
    else
        fuzz_remove_tree("assets/text/fz/chat.txt");
    if (count > 2)
        fuzz_write_text("assets/text/fz/credits.txt", parts[2]);
    else
        fuzz_remove_tree("assets/text/fz/credits.txt");

    memset(menu, 0, sizeof *menu);
    menu_load_language(menu, "fz");
    if (strnlen(menu->credits_text, sizeof menu->credits_text) >= sizeof menu->credits_text) abort();
    char detail[256];
    snprintf(detail, sizeof detail, menu->text_last, "2026-01-01 10:00", 12);
    GameState* game = fuzz_headless_game(menu);
    for (const char* line : COMMAND_LINES) game_execute_command(game, line);
    fuzz_free_game(game);
    fuzz_remove_tree("worlds");
    return 0;
}
