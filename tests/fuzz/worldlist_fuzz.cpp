// The world list scan of a prepared ./worlds. The input is cut at 0xFF bytes
// into up to 12 entries; an entry is a kind byte, a name up to a 0xFE byte and
// the contents of its world.txt. Kinds: a world folder with world.txt, a
// folder without it, a plain file, a link to a folder, a dangling link, and a
// folder whose world.txt is itself a folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "fuzz_util.h"
#include "menu.h"

static const int MAX_ENTRIES = 12;

static std::string entry_name(const std::string& raw) {
    std::string name = raw.substr(0, 255);
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "w";
    return name;
}

static void prepare_entry(const std::string& entry) {
    if (entry.empty()) return;
    const int kind = static_cast<uint8_t>(entry[0]) % 6;
    const size_t cut = entry.find('\xFE', 1);
    const std::string name = entry_name(entry.substr(1, cut == std::string::npos ? std::string::npos : cut - 1));
    const std::string text = cut == std::string::npos ? std::string() : entry.substr(cut + 1);
    const std::string path = "worlds/" + name;
    struct stat existing = {};
    if (lstat(path.c_str(), &existing) == 0) return;  // a repeated name; lstat also sees dangling links
    if (kind == 0 || kind == 1 || kind == 5) fuzz_make_dirs(path.c_str());
    if (kind == 0) fuzz_write_text((path + "/world.txt").c_str(), text);
    if (kind == 5) fuzz_make_dirs((path + "/world.txt").c_str());
    if (kind == 2) fuzz_write_text(path.c_str(), text);
    if (kind == 3 && symlink("../linked_target", path.c_str()) != 0) abort();
    if (kind == 4 && symlink("../nowhere", path.c_str()) != 0) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MenuSystem* menu = nullptr;
    if (menu == nullptr) {
        menu = fuzz_menu_once({"linked_target"});
        fuzz_write_text("linked_target/world.txt", "last_saved=linked\nchunk_count=3\n");
        menu_copy_text(menu->text_last, sizeof menu->text_last, "Last: %s, %d chunks");
    }
    fuzz_remove_tree("worlds");
    fuzz_make_dirs("worlds");
    std::string entries[MAX_ENTRIES];
    const int count = fuzz_split(data, size, 0xFF, entries, MAX_ENTRIES);
    for (int i = 0; i < count; i++) prepare_entry(entries[i]);

    menu_scan_worlds(menu);
    if (menu->world_count < 0 || menu->world_count > count) abort();
    char detail[256];
    for (int i = 0; i < menu->world_count; i++) {
        const WorldInfo* info = &menu->available_worlds[i];
        if (strnlen(info->name, sizeof info->name) >= sizeof info->name) abort();
        if (strnlen(info->created, sizeof info->created) >= sizeof info->created) abort();
        snprintf(detail, sizeof detail, menu->text_last, info->created, info->chunk_count);
    }
    free(menu->available_worlds);
    menu->available_worlds = nullptr;
    menu->world_count = 0;
    return 0;
}
