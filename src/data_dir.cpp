// Build tree or installed game: which folder the game runs in.
#include "data_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The installed tree's layout, seen from the folder of the executable.
constexpr const char* INSTALLED_ASSETS_FROM_BINARY = "/../share/games/qvox/assets";
constexpr const char* ASSETS_LINK = "assets";

bool fits(int written, size_t size) {
    return written >= 0 && static_cast<size_t>(written) < size;
}

bool running_executable(char* path, size_t size) {
    ssize_t n = readlink("/proc/self/exe", path, size - 1);
    if (n <= 0 || static_cast<size_t>(n) >= size - 1) {
        fprintf(stderr, "[data] Failed to read /proc/self/exe: %s\n", n < 0 ? strerror(errno) : "path too long");
        return false;
    }
    path[n] = '\0';
    return true;
}

// Every missing component of an absolute path, each with mode 0700: the
// XDG base folders are private to their owner, and so are a player's worlds.
bool make_folders(const char* folder, char* error, size_t error_size) {
    if (folder[0] != '/') {
        snprintf(error, error_size, "Data folder is not an absolute path: %s", folder);
        return false;
    }
    char path[DATA_DIR_PATH_MAX];
    if (!fits(snprintf(path, sizeof path, "%s", folder), sizeof path)) {
        snprintf(error, error_size, "Data folder path too long: %s", folder);
        return false;
    }
    for (char* p = path + 1;; p++) {
        const bool end = *p == '\0';
        if (!end && *p != '/') continue;
        *p = '\0';
        if (mkdir(path, 0700) != 0) {
            const int err = errno;
            struct stat st;
            if (err != EEXIST || stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) {
                snprintf(error, error_size, "Failed to create the data folder %s: %s", path,
                         err == EEXIST ? "not a directory" : strerror(err));
                return false;
            }
        }
        if (end) return true;
        *p = '/';
    }
}

// A link that names another tree (a package installed under a new prefix)
// is pointed at this one; a real folder of that name is the player's own
// choice and stays.
bool link_assets(const char* folder, const char* assets, char* error, size_t error_size) {
    char link[DATA_DIR_PATH_MAX];
    if (!fits(snprintf(link, sizeof link, "%s/%s", folder, ASSETS_LINK), sizeof link)) {
        snprintf(error, error_size, "Data folder path too long: %s", folder);
        return false;
    }
    struct stat st;
    if (lstat(link, &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            printf("[data] Using %s instead of the installed assets\n", link);
            return true;
        }
        char target[DATA_DIR_PATH_MAX];
        ssize_t n = readlink(link, target, sizeof target - 1);
        if (n >= 0) {
            target[n] = '\0';
            if (strcmp(target, assets) == 0) return true;
        }
        if (unlink(link) != 0) {
            snprintf(error, error_size, "Failed to remove the old link %s: %s", link, strerror(errno));
            return false;
        }
    } else if (errno != ENOENT) {
        snprintf(error, error_size, "Failed to inspect %s: %s", link, strerror(errno));
        return false;
    }
    if (symlink(assets, link) != 0) {
        snprintf(error, error_size, "Failed to link %s to %s: %s", link, assets, strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

bool data_dir_installed_assets(const char* exe_path, char* assets, size_t size) {
    const char* slash = strrchr(exe_path, '/');
    if (slash == nullptr) return false;
    char candidate[DATA_DIR_PATH_MAX];
    const int dir_len = static_cast<int>(slash - exe_path);
    if (!fits(snprintf(candidate, sizeof candidate, "%.*s%s", dir_len, exe_path, INSTALLED_ASSETS_FROM_BINARY),
              sizeof candidate)) {
        return false;
    }
    char resolved[PATH_MAX];
    struct stat st;
    if (realpath(candidate, resolved) == nullptr || stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return fits(snprintf(assets, size, "%s", resolved), size);
}

bool data_dir_player_folder(const char* xdg_data_home, const char* home, char* folder, size_t size) {
    // The base directory rules ignore a relative XDG_DATA_HOME.
    if (xdg_data_home != nullptr && xdg_data_home[0] == '/') {
        return fits(snprintf(folder, size, "%s/qvox", xdg_data_home), size);
    }
    if (home != nullptr && home[0] == '/') {
        return fits(snprintf(folder, size, "%s/.local/share/qvox", home), size);
    }
    return false;
}

bool data_dir_enter(const char* folder, const char* assets, char* error, size_t error_size) {
    if (!make_folders(folder, error, error_size)) return false;
    if (!link_assets(folder, assets, error, error_size)) return false;
    if (chdir(folder) != 0) {
        snprintf(error, error_size, "Failed to enter the data folder %s: %s", folder, strerror(errno));
        return false;
    }
    return true;
}

DataDirOutcome data_dir_choose(char* message, size_t size) {
    char exe[DATA_DIR_PATH_MAX];
    char assets[DATA_DIR_PATH_MAX];
    if (!running_executable(exe, sizeof exe) || !data_dir_installed_assets(exe, assets, sizeof assets)) {
        return DATA_DIR_BUILD_TREE;
    }
    char folder[DATA_DIR_PATH_MAX];
    if (!data_dir_player_folder(getenv("XDG_DATA_HOME"), getenv("HOME"), folder, sizeof folder)) {
        snprintf(message, size, "No data folder: neither XDG_DATA_HOME nor HOME names an absolute folder");
        fprintf(stderr, "[data] %s\n", message);
        return DATA_DIR_FAILED;
    }
    if (!data_dir_enter(folder, assets, message, size)) {
        fprintf(stderr, "[data] %s\n", message);
        return DATA_DIR_FAILED;
    }
    printf("[data] Playing in %s with the assets of %s\n", folder, assets);
    return DATA_DIR_PLAYER;
}

bool data_dir_program_assets(char* assets, size_t size) {
    char exe[DATA_DIR_PATH_MAX];
    if (!running_executable(exe, sizeof exe)) return false;
    if (data_dir_installed_assets(exe, assets, size)) return true;
    const char* slash = strrchr(exe, '/');
    if (slash == nullptr) return false;
    return fits(snprintf(assets, size, "%.*s/%s", static_cast<int>(slash - exe), exe, ASSETS_LINK), size);
}
