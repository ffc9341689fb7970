// ./chathistory as the console browses it with the arrow keys. The first two
// bytes choose how far back to look and the size of the caller's buffer.
#include <cstring>

#include "fuzz_util.h"
#include "utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_private_dir();
    if (size < 2) return 0;
    const int lines_back = static_cast<int>(data[0] % 40) - 2;
    const size_t max_len = static_cast<size_t>(data[1]) * 2;
    fuzz_write_file("chathistory", data + 2, size - 2);
    char line[512];
    memset(line, 'x', sizeof line);
    const bool found = get_chat_history_line(lines_back, line, max_len);
    if (max_len > 0 && strnlen(line, max_len) >= max_len) abort();
    if (found && max_len > 0 && line[0] == '\0') abort();
    return 0;
}
