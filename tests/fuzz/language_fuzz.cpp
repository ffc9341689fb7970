// The three files of a language folder (menu.txt, chat.txt, credits.txt; the
// input is cut at 0xFE bytes), then every text that serves as a format is
// used the way the game uses it: the world list line and the chat messages of
// the console commands, against a headless world and player.
#include <cstring>

#include "fuzz_game.h"
#include "fuzz_util.h"

static const char COMMAND_LINES[] =
    "/quit\n/tp 1 2 3\n/tp 1 2\n/select stone\n/select nothing\n/fly enable\n/fly disable\n/fly sideways\n"
    "/noclip enable\n/noclip disable\n/noclip maybe\n/setblock 1 2 3 stone\n/setblock 1 2 3 nothing\n"
    "/setblock 1 2\n/setblock 1 99999 3 stone\n/give stone 3\n/give nothing\n/save ../up\n/load ../up\n"
    "/loadworld bad-name\n/createworld bad-name\n/unknown %s%n\n/save fuzzed";

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MenuSystem* menu = fuzz_menu_once({"assets/text/fz"});
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
    std::string lines[32];
    const int lines_count =
        fuzz_split(reinterpret_cast<const uint8_t*>(COMMAND_LINES), sizeof COMMAND_LINES - 1, '\n', lines, 32);
    for (int i = 0; i < lines_count; i++) game_execute_command(game, lines[i].c_str());
    fuzz_free_game(game);
    fuzz_remove_tree("worlds");
    return 0;
}
