// Where the installed game keeps a player's files, and how it gets there.
#include "data_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "temp_world_fixture.h"

namespace {

namespace fs = std::filesystem;

TEST(DataDirFolder, XdgDataHomeThenHome) {
    const std::string too_long = "/" + std::string(DATA_DIR_PATH_MAX, 'x');
    const char* cases[][3] = {// XDG_DATA_HOME, HOME, the folder (null: none)
                              {"/data", "/home/p", "/data/qvox"},
                              {"", "/home/p", "/home/p/.local/share/qvox"},
                              {nullptr, "/home/p", "/home/p/.local/share/qvox"},
                              {"relative/data", "/home/p", "/home/p/.local/share/qvox"},
                              {nullptr, "", nullptr},
                              {"", "relative", nullptr},
                              {nullptr, nullptr, nullptr},
                              {too_long.c_str(), "/home/p", nullptr}};
    for (const auto& [xdg, home, expected] : cases) {
        SCOPED_TRACE(std::string(xdg ? xdg : "(unset)") + " / " + (home ? home : "(unset)"));
        char folder[DATA_DIR_PATH_MAX] = {0};
        ASSERT_EQ(data_dir_player_folder(xdg, home, folder, sizeof folder), expected != nullptr);
        EXPECT_STREQ(folder, expected ? expected : folder);
    }
}

// An installed tree under a temporary root: share/games/qvox/assets and games/qvox.
class DataDirTree : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        root_ = fs::canonical(".").string();
        assets_ = root_ + "/usr/share/games/qvox/assets";
        fs::create_directories(assets_);
        fs::create_directories(root_ + "/usr/games");
        fs::create_directories(root_ + "/home");
    }

    bool enter(const std::string& folder) {
        return data_dir_enter(folder.c_str(), assets_.c_str(), error_, sizeof error_);
    }

    static std::string link_target(const std::string& link) {
        std::error_code ec;
        return fs::read_symlink(link, ec).string();
    }

    std::string root_, assets_;
    char error_[2 * DATA_DIR_PATH_MAX] = {0};
};

TEST_F(DataDirTree, InstalledTreeIsToldFromBuildTree) {
    char assets[DATA_DIR_PATH_MAX] = {0};
    EXPECT_TRUE(data_dir_installed_assets((root_ + "/usr/games/qvox").c_str(), assets, sizeof assets));
    EXPECT_EQ(std::string(assets), assets_);
    // A build tree holds an assets link beside the program, but no share/ above it.
    fs::create_directories(root_ + "/repo/build/assets");
    EXPECT_FALSE(data_dir_installed_assets((root_ + "/repo/build/qvox").c_str(), assets, sizeof assets));
    EXPECT_FALSE(data_dir_installed_assets("qvox", assets, sizeof assets));
}

TEST_F(DataDirTree, FirstStartCreatesPrivateFoldersAndLinksTheAssets) {
    const std::string folder = root_ + "/home/.local/share/qvox";
    ASSERT_TRUE(enter(folder)) << error_;
    for (const std::string& made : {root_ + "/home/.local", root_ + "/home/.local/share", folder}) {
        struct stat st;
        ASSERT_EQ(stat(made.c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
    }
    EXPECT_EQ(link_target(folder + "/assets"), assets_);
    EXPECT_EQ(fs::current_path(), folder);
    ASSERT_EQ(chdir(root_.c_str()), 0);  // the next start finds everything in place
    ASSERT_TRUE(enter(folder)) << error_;
    EXPECT_EQ(fs::current_path(), folder);

    const std::string stale = root_ + "/home/stale";
    fs::create_directories(stale);
    fs::create_symlink("/opt/old/share/games/qvox/assets", stale + "/assets");
    ASSERT_TRUE(enter(stale)) << error_;
    EXPECT_EQ(link_target(stale + "/assets"), assets_);

    const std::string own = root_ + "/home/own";  // a real assets folder of the player's stays
    fs::create_directories(own + "/assets");
    ASSERT_TRUE(enter(own)) << error_;
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(own + "/assets")));
}

TEST_F(DataDirTree, FileInTheWayFailsWithoutMoving) {
    // Root may write anywhere, so a file where a folder belongs stands in for a forbidden one.
    const std::string blocker = root_ + "/home/.local";
    write_file(blocker.c_str(), "");
    EXPECT_FALSE(enter(blocker + "/share/qvox"));
    EXPECT_NE(std::string(error_).find(blocker), std::string::npos) << error_;
    EXPECT_EQ(fs::current_path(), root_);
}

}  // namespace
