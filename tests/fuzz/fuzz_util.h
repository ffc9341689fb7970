// Shared pieces of the fuzz targets: a private working directory per process
// (the readers all use paths relative to it) and small file helpers.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "menu.h"

// Creates a fresh directory under /tmp once and makes it the working
// directory; aborts when that fails, since every input would then be wasted.
inline void fuzz_enter_private_dir(void) {
    static bool entered = false;
    if (entered) return;
    char tmpl[] = "/tmp/qvox_fuzz_XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) {
        perror("qvox fuzz: cannot enter a private directory");
        abort();
    }
    entered = true;
}

inline void fuzz_make_dirs(const char* path) {
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
}

inline void fuzz_remove_tree(const char* path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// The menu record a target keeps from input to input, made on the first one
// after entering the private directory and creating `dirs`.
inline MenuSystem* fuzz_menu_once(std::initializer_list<const char*> dirs = {}) {
    static MenuSystem* menu = nullptr;
    if (menu != nullptr) return menu;
    fuzz_enter_private_dir();
    for (const char* dir : dirs) fuzz_make_dirs(dir);
    menu = new MenuSystem;
    memset(menu, 0, sizeof *menu);
    return menu;
}

// Writes `size` bytes to `path`, replacing the file; aborts on failure so a
// broken harness is not mistaken for a reader that accepts everything.
inline void fuzz_write_file(const char* path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        perror(path);
        abort();
    }
    if ((size > 0 && fwrite(data, 1, size, file) != size) || fclose(file) != 0) {
        perror(path);
        abort();
    }
}

inline void fuzz_write_text(const char* path, const std::string& text) {
    fuzz_write_file(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The input cut at `separator` into at most `max_parts` pieces; the last piece keeps the rest.
inline int fuzz_split(const uint8_t* data, size_t size, uint8_t separator, std::string* parts, int max_parts) {
    int count = 0;
    size_t start = 0;
    for (size_t i = 0; i < size && count < max_parts - 1; i++) {
        if (data[i] != separator) continue;
        parts[count++].assign(reinterpret_cast<const char*>(data + start), i - start);
        start = i + 1;
    }
    parts[count++].assign(reinterpret_cast<const char*>(data + start), size - start);
    return count;
}
