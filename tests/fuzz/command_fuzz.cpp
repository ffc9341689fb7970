// Typed console lines against a headless running game. The input is cut at
// newlines into up to four lines run one after the other; each becomes a line
// of at most 255 printable characters, as the chat input allows.
#include <unistd.h>

#include <cstring>

#include "fuzz_game.h"
#include "fuzz_util.h"

static const int MAX_LINES = 4;

static std::string printable_line(const std::string& raw) {
    std::string line = raw.substr(0, 255);
    for (char& c : line) {
        const uint8_t byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte > 0x7E) c = static_cast<char>(0x20 + byte % 95);
    }
    return line;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MenuSystem* menu = nullptr;
    if (menu == nullptr) {  // the game's own English messages, formats included
        menu = fuzz_menu_once();
        if (symlink(QVOX_ASSETS, "assets") != 0) abort();
        menu_load_language(menu, "en");
    }
    GameState* game = fuzz_headless_game(menu);

    std::string lines[MAX_LINES];
    const int count = fuzz_split(data, size, '\n', lines, MAX_LINES);
    for (int i = 0; i < count; i++) game_execute_command(game, printable_line(lines[i]).c_str());

    fuzz_free_game(game);
    fuzz_remove_tree("worlds");
    return 0;
}
