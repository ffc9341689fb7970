// Typed console lines against a headless running game. The input is cut at
// newlines into up to four lines run one after the other; each becomes a line
// of at most 255 printable characters, as the chat input allows.
#include <cstring>

#include "fuzz_game.h"
#include "fuzz_util.h"

static const int MAX_LINES = 4;

static void fill_texts(GameText* t) {
    snprintf(t->msg_quitting, sizeof t->msg_quitting, "%s", "Quitting");
    snprintf(t->msg_teleported, sizeof t->msg_teleported, "%s", "Teleported to %.2f, %.2f, %.2f");
    snprintf(t->msg_teleport_usage, sizeof t->msg_teleport_usage, "%s", "Usage: /tp x y z");
    snprintf(t->msg_world_saved, sizeof t->msg_world_saved, "%s", "Saved %s");
    snprintf(t->msg_world_save_failed, sizeof t->msg_world_save_failed, "%s", "Save failed: %s");
    snprintf(t->msg_world_loaded, sizeof t->msg_world_loaded, "%s", "Loaded %s");
    snprintf(t->msg_world_load_failed, sizeof t->msg_world_load_failed, "%s", "Load failed: %s");
    snprintf(t->msg_invalid_world_name, sizeof t->msg_invalid_world_name, "%s", "Invalid world name");
    snprintf(t->msg_block_selected, sizeof t->msg_block_selected, "%s", "Selected %s");
    snprintf(t->msg_unknown_block, sizeof t->msg_unknown_block, "%s", "Unknown block: %s");
    snprintf(t->msg_block_set, sizeof t->msg_block_set, "%s", "Set %s at %.1f %.1f %.1f");
    snprintf(t->msg_unknown_command, sizeof t->msg_unknown_command, "%s", "Unknown command: %s");
}

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
    if (menu == nullptr) fill_texts(&(menu = fuzz_menu_once())->game_text);
    GameState* game = fuzz_headless_game(menu);

    std::string lines[MAX_LINES];
    const int count = fuzz_split(data, size, '\n', lines, MAX_LINES);
    for (int i = 0; i < count; i++) game_execute_command(game, printable_line(lines[i]).c_str());

    fuzz_free_game(game);
    fuzz_remove_tree("worlds");
    return 0;
}
