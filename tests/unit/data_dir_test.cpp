// Where the installed game keeps a player's files, and how it gets there.
#include "data_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "temp_world_fixture.h"

namespace {

namespace fs = std::filesystem;

using DataDirTree = TempDirTest;

// A build tree has an assets link beside the program but no share/ above it; a player's own assets folder stays.
TEST_F(DataDirTree, XdgDataHomeThenHomeAndTheFirstStartMakesPrivateFoldersAndLinksTheAssets) {
    const std::string too_long = "/" + std::string(DATA_DIR_PATH_MAX, 'x');
    const char* cases[][3] = {// XDG_DATA_HOME, HOME, the folder (null: none)
                              {"/data", "/home/p", "/data/qvox"},
                              {"relative/data", "/home/p", "/home/p/.local/share/qvox"},
                              {nullptr, "", nullptr},
                              {nullptr, nullptr, nullptr},
                              {too_long.c_str(), "/home/p", nullptr}};
    for (const auto& [xdg, home, expected] : cases) {
        SCOPED_TRACE(std::string(xdg ? xdg : "(unset)") + " / " + (home ? home : "(unset)"));
        char folder[DATA_DIR_PATH_MAX] = {0};
        ASSERT_EQ(data_dir_player_folder(xdg, home, folder, sizeof folder), expected != nullptr);
        EXPECT_STREQ(folder, expected ? expected : folder);
    }

    const std::string root = fs::canonical(".").string(), installed = root + "/usr/share/games/qvox/assets";
    fs::create_directories(installed);
    fs::create_directories(root + "/usr/games");
    char error[2 * DATA_DIR_PATH_MAX] = {0};
    const auto enter = [&](const std::string& folder) {
        return data_dir_enter(folder.c_str(), installed.c_str(), error, sizeof error);
    };
    char assets[DATA_DIR_PATH_MAX] = {0};
    EXPECT_TRUE(data_dir_installed_assets((root + "/usr/games/qvox").c_str(), assets, sizeof assets));
    EXPECT_EQ(std::string(assets), installed);
    fs::create_directories(root + "/repo/build/assets");
    EXPECT_FALSE(data_dir_installed_assets((root + "/repo/build/qvox").c_str(), assets, sizeof assets) ||
                 data_dir_installed_assets("qvox", assets, sizeof assets));

    const std::string folder = root + "/home/.local/share/qvox";
    ASSERT_TRUE(enter(folder)) << error;
    for (const std::string& made : {root + "/home/.local", root + "/home/.local/share", folder})
        EXPECT_EQ(fs::status(made).permissions(), fs::perms::owner_all) << made;
    EXPECT_EQ(fs::read_symlink(folder + "/assets").string(), installed);
    ASSERT_TRUE(enter(folder)) << "the next start finds everything in place: " << error;

    const std::string stale = root + "/home/stale", own = root + "/home/own";
    fs::create_directories(stale);
    fs::create_symlink("/opt/old/share/games/qvox/assets", stale + "/assets");
    ASSERT_TRUE(enter(stale)) << error;
    EXPECT_EQ(fs::read_symlink(stale + "/assets").string(), installed);
    fs::create_directories(own + "/assets");
    ASSERT_TRUE(enter(own)) << error;
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(own + "/assets")));

    write_file(root + "/home/blocker", "");  // root writes anywhere: a file in the way stands for a forbidden folder
    EXPECT_FALSE(enter(root + "/home/blocker/qvox"));
    EXPECT_NE(std::string(error).find(root + "/home/blocker"), std::string::npos) << error;
    EXPECT_EQ(fs::current_path(), own) << "a failed start stays where it was";
}

}  // namespace
