// Where worlds live and what they may be called: the names a world may have,
// the layout of ./worlds (world.txt and the chunk files of each world), making
// the folders, and reading and writing world.txt. Folders are made with
// mkdir(2) directly: a world name never passes through a shell.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "file_io.h"
#include "world.h"

static const char* const WORLDS_DIR = "./worlds";

// ---------------------------------------------------------------- names

bool world_name_is_file_safe(const char* name) {
    if (!name || name[0] == '\0' || name[0] == '.') return false;
    if (strlen(name) >= static_cast<size_t>(WORLD_NAME_MAX)) return false;
    return strchr(name, '/') == nullptr && strchr(name, '\\') == nullptr;
}

static bool is_plain_name_char(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool world_name_is_plain(const char* name) {
    if (!world_name_is_file_safe(name)) return false;
    for (const char* p = name; *p; p++)
        if (!is_plain_name_char(*p)) return false;
    return true;
}

bool world_name_char_typable(int c) {
    return is_plain_name_char(c) || c == ' ';
}

bool world_check_name(const char* name, const char* action) {
    if (world_name_is_file_safe(name)) return true;
    fprintf(stderr, "[world] Refused to %s world \"%s\": not a valid world name\n", action, name ? name : "");
    return false;
}

// ---------------------------------------------------------------- the folder layout

void world_folder_path(char* out, const char* world_name) {
    snprintf(out, WORLD_PATH_MAX, "%s/%s", WORLDS_DIR, world_name);
}

void world_chunks_path(char* out, const char* world_name) {
    snprintf(out, WORLD_PATH_MAX, "%s/%s/chunks", WORLDS_DIR, world_name);
}

void world_metadata_path(char* out, const char* world_name) {
    snprintf(out, WORLD_PATH_MAX, "%s/%s/world.txt", WORLDS_DIR, world_name);
}

void world_chunk_path(char* out, const char* world_name, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z) {
    snprintf(out, WORLD_PATH_MAX, "%s/%s/chunks/chunk_%d_%d_%d.chunk", WORLDS_DIR, world_name,
             static_cast<int>(chunk_x), static_cast<int>(chunk_y), static_cast<int>(chunk_z));
}

static bool make_dir(const char* path) {
    if (mkdir(path, 0755) == 0 || errno == EEXIST) return true;
    fprintf(stderr, "[world] Failed to create directory %s: %s\n", path, strerror(errno));
    return false;
}

void world_system_init(void) {
    make_dir(WORLDS_DIR);
}

bool world_make_folders(const char* world_name) {
    char path[WORLD_PATH_MAX];
    if (!make_dir(WORLDS_DIR)) return false;
    world_folder_path(path, world_name);
    if (!make_dir(path)) return false;
    world_chunks_path(path, world_name);
    return make_dir(path);
}

DIR* world_open_worlds_folder(void) {
    return opendir(WORLDS_DIR);
}

bool world_folder_exists(const char* world_name) {
    char path[WORLD_PATH_MAX];
    world_folder_path(path, world_name);
    struct stat st = {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool world_metadata_exists(const char* world_name) {
    char path[WORLD_PATH_MAX];
    world_metadata_path(path, world_name);
    struct stat st = {};
    return stat(path, &st) == 0;
}

static bool is_stale_temp_name(const char* name) {
    return file_is_temp_name(name) && (strncmp(name, "chunk_", 6) == 0 || strncmp(name, "world.txt", 9) == 0);
}

static void remove_temp_files_in(const char* dir) {
    DIR* d = opendir(dir);
    if (!d) return;
    char path[WORLD_PATH_MAX + 256];
    while (struct dirent* entry = readdir(d)) {
        if (!is_stale_temp_name(entry->d_name)) continue;
        snprintf(path, sizeof path, "%s/%s", dir, entry->d_name);
        if (unlink(path) != 0) fprintf(stderr, "[world] Failed to remove %s: %s\n", path, strerror(errno));
    }
    if (closedir(d) != 0) fprintf(stderr, "[world] Failed to close %s: %s\n", dir, strerror(errno));
}

void world_remove_stale_temp_files(const char* world_name) {
    char dir[WORLD_PATH_MAX];
    world_folder_path(dir, world_name);
    remove_temp_files_in(dir);
    world_chunks_path(dir, world_name);
    remove_temp_files_in(dir);
}

// ---------------------------------------------------------------- world.txt

bool world_write_metadata_values(const WorldMetadata* metadata, const char* world_name, int64_t saved_at) {
    if (!metadata || !world_check_name(world_name, "save")) return false;
    char stamp[64] = "";
    const time_t when = static_cast<time_t>(saved_at);
    struct tm local = {};
    if (!localtime_r(&when, &local) || strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local) == 0)
        fprintf(stderr, "[world] Failed to format the save time %lld\n", static_cast<long long>(saved_at));
    char text[1024];
    const Vector3 p = metadata->player_position;
    int n = snprintf(text, sizeof text,
                     "name=%s\nseed=%lu\nlast_saved=%s\nchunk_count=%d\nplayer_x=%.6f\nplayer_y=%.6f\nplayer_z=%.6f\n",
                     world_name, static_cast<unsigned long>(metadata->seed), stamp, metadata->chunk_count,
                     static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z));
    if (n < 0 || static_cast<size_t>(n) >= sizeof text) {
        fprintf(stderr, "[world] Metadata of world %s does not fit its buffer\n", world_name);
        return false;
    }
    char dir[WORLD_PATH_MAX], path[WORLD_PATH_MAX];
    world_folder_path(dir, world_name);
    world_metadata_path(path, world_name);
    return file_write_whole(path, text, static_cast<size_t>(n), true) && file_sync_directory(dir);
}

static void apply_coordinate(float* field, float value) {
    // A damaged file must never put the player at NaN or infinity.
    if (std::isfinite(value)) *field = value;
}

static void apply_metadata_line(WorldMetadata* metadata, const char* line) {
    float value = 0.0f;
    unsigned long seed = 0;
    if (sscanf(line, "player_x=%f", &value) == 1) {
        apply_coordinate(&metadata->player_position.x, value);
    } else if (sscanf(line, "player_y=%f", &value) == 1) {
        apply_coordinate(&metadata->player_position.y, value);
    } else if (sscanf(line, "player_z=%f", &value) == 1) {
        apply_coordinate(&metadata->player_position.z, value);
    } else if (sscanf(line, "seed=%lu", &seed) == 1) {
        metadata->seed = static_cast<uint64_t>(seed);
    } else if (strncmp(line, "last_saved=", 11) == 0) {
        snprintf(metadata->last_saved, sizeof metadata->last_saved, "%.*s", static_cast<int>(strcspn(line + 11, "\n")),
                 line + 11);
    } else if (strncmp(line, "chunk_count=", 12) == 0) {
        metadata->chunk_count = static_cast<int32_t>(strtol(line + 12, nullptr, 10));
    }
}

// Reads the rest of an overlong line so that its tail is not taken as a line of its own.
static void skip_rest_of_line(FILE* file) {
    int c = 0;
    do {
        c = fgetc(file);
    } while (c != '\n' && c != EOF);
}

bool world_metadata_read(const char* world_name, WorldMetadata* metadata) {
    char path[WORLD_PATH_MAX];
    world_metadata_path(path, world_name);
    FILE* file = fopen(path, "r");
    if (!file) return false;
    char line[WORLD_METADATA_LINE_MAX];
    while (fgets(line, sizeof line, file)) {
        if (!strchr(line, '\n')) skip_rest_of_line(file);
        apply_metadata_line(metadata, line);
    }
    if (ferror(file)) fprintf(stderr, "[world] Failed to read %s\n", path);
    if (fclose(file) != 0) fprintf(stderr, "[world] Failed to close %s\n", path);
    return true;
}
