// System information, the chat history reader and trim_string.
#include "utils.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char* const PROC_STATUS_PATH = "/proc/self/status";
static const char* const PROC_CPUINFO_PATH = "/proc/cpuinfo";
static const char* const GPU_QUERY_COMMAND = "glxinfo -B 2>/dev/null | grep -i 'OpenGL renderer' | head -1";
static const char* const KERNEL_QUERY_COMMAND = "uname -r";
static const char* const CHAT_HISTORY_PATH = "./chathistory";

// Lines of the proc files, the glxinfo pipe and the history are read in pieces of this size.
constexpr int UTILS_LINE_SIZE = 256;
constexpr int KERNEL_LINE_SIZE = 128;
constexpr int HISTORY_FIRST_CAPACITY = 10;

static void close_file(FILE* file, const char* path) {
    if (fclose(file) != 0) fprintf(stderr, "[utils] Failed to close %s: %s\n", path, strerror(errno));
}

static void close_pipe(FILE* pipe, const char* command) {
    if (pclose(pipe) == -1)
        fprintf(stderr, "[utils] Failed to close the pipe of \"%s\": %s\n", command, strerror(errno));
}

static void cut_at_newline(char* text) {
    char* newline = strchr(text, '\n');
    if (newline) *newline = '\0';
}

// The text after the first colon, without the spaces that follow it. Only
// spaces are skipped: a tab after the colon stays part of the value.
static const char* value_after_colon(char* line) {
    char* colon = strchr(line, ':');
    if (!colon) return nullptr;
    char* value = colon + 1;
    while (*value == ' ') value++;
    cut_at_newline(value);
    return value;
}

// ---------------------------------------------------------------- memory

int get_process_memory_mb_from(const char* status_path) {
    FILE* file = fopen(status_path, "r");
    if (!file) {
        fprintf(stderr, "[utils] Failed to open %s: %s\n", status_path, strerror(errno));
        return 0;
    }
    char line[UTILS_LINE_SIZE];
    int kilobytes = 0;
    bool found = false;
    while (!found && fgets(line, sizeof line, file)) found = sscanf(line, "VmRSS: %d", &kilobytes) == 1;
    close_file(file, status_path);
    return found ? kilobytes / 1024 : 0;
}

int get_process_memory_mb(void) {
    return get_process_memory_mb_from(PROC_STATUS_PATH);
}

// ---------------------------------------------------------------- CPU, GPU, kernel

void get_cpu_model_from(const char* cpuinfo_path, char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    snprintf(buffer, size, "CPU: Unknown");
    FILE* file = fopen(cpuinfo_path, "r");
    if (!file) {
        fprintf(stderr, "[utils] Failed to open %s: %s\n", cpuinfo_path, strerror(errno));
        return;
    }
    char line[UTILS_LINE_SIZE];
    while (fgets(line, sizeof line, file)) {
        if (strncmp(line, "model name", 10) != 0) continue;
        const char* value = value_after_colon(line);
        if (!value) continue;
        snprintf(buffer, size, "CPU: %s", value);
        break;
    }
    close_file(file, cpuinfo_path);
}

void get_cpu_model(char* buffer, size_t size) {
    get_cpu_model_from(PROC_CPUINFO_PATH, buffer, size);
}

// Reads the first line `command` prints (newline kept) into `line`; false when
// the command cannot be run or prints nothing.
static bool first_line_of_command(const char* command, char* line, size_t size) {
    FILE* pipe = popen(command, "r");
    if (!pipe) {
        fprintf(stderr, "[utils] Failed to run \"%s\": %s\n", command, strerror(errno));
        return false;
    }
    const bool got = fgets(line, static_cast<int>(size), pipe) != nullptr;
    close_pipe(pipe, command);
    return got;
}

void get_gpu_model_from_command(const char* command, char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    snprintf(buffer, size, "GPU: Unknown");
    char line[UTILS_LINE_SIZE];
    if (!first_line_of_command(command, line, sizeof line)) return;
    const char* value = value_after_colon(line);
    if (value) snprintf(buffer, size, "GPU: %s", value);
}

void get_gpu_model(char* buffer, size_t size) {
    get_gpu_model_from_command(GPU_QUERY_COMMAND, buffer, size);
}

void get_kernel_info_from_command(const char* command, char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    snprintf(buffer, size, "Kernel: Unknown");
    char line[KERNEL_LINE_SIZE];
    if (!first_line_of_command(command, line, sizeof line)) return;
    cut_at_newline(line);
    snprintf(buffer, size, "Kernel: %s", line);
}

void get_kernel_info(char* buffer, size_t size) {
    get_kernel_info_from_command(KERNEL_QUERY_COMMAND, buffer, size);
}

// ---------------------------------------------------------------- chat history

struct HistoryLines {
    char** lines;
    int count;
    int capacity;
};

static void history_release(HistoryLines* history) {
    for (int i = 0; i < history->count; i++) free(history->lines[i]);
    free(history->lines);
    *history = HistoryLines{};
}

static bool history_append(HistoryLines* history, const char* line) {
    if (history->count == history->capacity) {
        const int capacity = history->capacity ? history->capacity * 2 : HISTORY_FIRST_CAPACITY;
        char** grown = static_cast<char**>(realloc(history->lines, sizeof(char*) * static_cast<size_t>(capacity)));
        if (!grown) return false;
        history->lines = grown;
        history->capacity = capacity;
    }
    const size_t length = strlen(line);
    char* copy = static_cast<char*>(malloc(length + 1));
    if (!copy) return false;
    memcpy(copy, line, length + 1);
    history->lines[history->count++] = copy;
    return true;
}

// Every non-empty line of the file in order; false when it cannot be read whole.
static bool history_read(const char* path, HistoryLines* history) {
    FILE* file = fopen(path, "r");
    if (!file) return false;  // no history yet is the usual case, not a fault
    char line[UTILS_LINE_SIZE];
    bool ok = true;
    while (ok && fgets(line, sizeof line, file)) {
        const size_t length = strlen(line);
        if (length > 0 && line[length - 1] == '\n') line[length - 1] = '\0';
        if (line[0] == '\0') continue;
        ok = history_append(history, line);
        if (!ok) fprintf(stderr, "[utils] Out of memory reading %s\n", path);
    }
    if (ok && ferror(file)) {
        fprintf(stderr, "[utils] Failed to read %s\n", path);
        ok = false;
    }
    close_file(file, path);
    return ok;
}

bool get_chat_history_line_from(const char* path, int lines_back, char* out_line, size_t max_len) {
    if (!out_line || max_len == 0) return false;
    out_line[0] = '\0';
    if (lines_back <= 0) return false;
    HistoryLines history = {};
    bool found = history_read(path, &history) && history.count >= lines_back;
    if (found) snprintf(out_line, max_len, "%s", history.lines[history.count - lines_back]);
    history_release(&history);
    return found;
}

bool get_chat_history_line(int lines_back, char* out_line, size_t max_len) {
    return get_chat_history_line_from(CHAT_HISTORY_PATH, lines_back, out_line, max_len);
}

// ---------------------------------------------------------------- trim_string

void trim_string(char* str) {
    if (!str || str[0] == '\0') return;
    size_t length = strlen(str);
    while (length > 0 && strchr(" \t\n\r", str[length - 1])) str[--length] = '\0';
    size_t start = 0;
    while (str[start] == ' ' || str[start] == '\t') start++;
    if (start > 0) memmove(str, str + start, length - start + 1);
}

bool grow_buffer(void** buffer, int* capacity, int needed, size_t size) {
    if (needed <= *capacity) return true;
    int grown = *capacity > 0 ? *capacity : 64;
    while (grown < needed) grown *= 2;
    void* bigger = realloc(*buffer, static_cast<size_t>(grown) * size);
    if (!bigger) {
        fprintf(stderr, "[utils] Out of memory for %d entries of %zu bytes\n", grown, size);
        return false;
    }
    *buffer = bigger;
    *capacity = grown;
    return true;
}
