// The folder the game runs in. Started from a build tree, the game stays in
// the folder it was started from (make run: the repository root). Installed,
// it keeps each player's worlds, options.txt and chathistory in the player's
// own data folder and reads its assets from the installed tree through an
// "assets" link there, so every other module keeps its relative paths.
#pragma once

#include <cstddef>

constexpr int DATA_DIR_PATH_MAX = 512;

enum DataDirOutcome {
    DATA_DIR_BUILD_TREE,  // not installed: the working directory stays as it is
    DATA_DIR_PLAYER,      // installed: the player's data folder is the working directory
    DATA_DIR_FAILED,      // installed, but the data folder is unusable; `message` says why
};

// The installed assets folder when the executable at `exe_path` (a resolved
// path) lies in an installed tree, PREFIX/games/qvox beside
// PREFIX/share/games/qvox/assets; false for a build tree.
bool data_dir_installed_assets(const char* exe_path, char* assets, size_t size);

// $XDG_DATA_HOME/qvox, or $HOME/.local/share/qvox when XDG_DATA_HOME is unset,
// empty or relative. False when neither gives an absolute folder that fits.
bool data_dir_player_folder(const char* xdg_data_home, const char* home, char* folder, size_t size);

// Creates `folder` and its missing parents (mode 0700), points its "assets"
// link at `assets` and makes it the working directory. On failure the working
// directory is unchanged and `error` holds one line naming the path.
bool data_dir_enter(const char* folder, const char* assets, char* error, size_t error_size);

// Start-up: decides from the running executable and the environment, and
// enters the player's folder when installed. `message` is filled on failure.
DataDirOutcome data_dir_choose(char* message, size_t size);

// The assets folder that belongs to the running program itself (its own
// "assets" beside it, or the installed one), for pages opened by the
// desktop rather than read by the game. False when the program cannot be found.
bool data_dir_program_assets(char* assets, size_t size);
