// Where the installed game keeps a player's files, and how it gets there.
#include "data_dir.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct FolderCase {
    const char* xdg;
    const char* home;
    const char* expected;  // null: no folder
};

TEST(DataDirFolder, XdgDataHomeThenHome) {
    const std::string too_long = "/" + std::string(DATA_DIR_PATH_MAX, 'x');
    const FolderCase cases[] = {
        {"/data", "/home/p", "/data/qvox"},
        {"", "/home/p", "/home/p/.local/share/qvox"},
        {nullptr, "/home/p", "/home/p/.local/share/qvox"},
        {"relative/data", "/home/p", "/home/p/.local/share/qvox"},
        {nullptr, "", nullptr},
        {"", "relative", nullptr},
        {nullptr, nullptr, nullptr},
        {too_long.c_str(), "/home/p", nullptr},
    };
    for (const FolderCase& c : cases) {
        char folder[DATA_DIR_PATH_MAX] = {0};
        const bool found = data_dir_player_folder(c.xdg, c.home, folder, sizeof folder);
        const std::string label = std::string(c.xdg ? c.xdg : "(unset)") + " / " + (c.home ? c.home : "(unset)");
        ASSERT_EQ(found, c.expected != nullptr) << label;
        if (found) {
            EXPECT_STREQ(folder, c.expected) << label;
        }
    }
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

class DataDirTree : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        char tmpl[] = "/tmp/qvox-data-dir-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        char resolved[PATH_MAX];
        ASSERT_NE(realpath(tmpl, resolved), nullptr);
        root_ = resolved;
        assets_ = root_ + "/usr/share/games/qvox/assets";
        make(root_ + "/usr/share/games/qvox/assets");
        make(root_ + "/usr/games");
        make(root_ + "/home");
    }

    void TearDown() override {
        ASSERT_EQ(chdir(old_cwd_), 0);
        nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }

    static void make(const std::string& path) {
        for (size_t i = 1; i <= path.size(); i++) {
            if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
        }
    }

    static std::string link_target(const std::string& link) {
        char target[PATH_MAX] = {0};
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        return n < 0 ? std::string() : std::string(target, static_cast<size_t>(n));
    }

    static std::string cwd() {
        char dir[PATH_MAX] = {0};
        return getcwd(dir, sizeof dir) != nullptr ? dir : "";
    }

    char old_cwd_[PATH_MAX] = {0};
    std::string root_;
    std::string assets_;
};

TEST_F(DataDirTree, InstalledTreeIsToldFromBuildTree) {
    char assets[DATA_DIR_PATH_MAX] = {0};
    EXPECT_TRUE(data_dir_installed_assets((root_ + "/usr/games/qvox").c_str(), assets, sizeof assets));
    EXPECT_EQ(std::string(assets), assets_);

    // A build tree holds an assets link beside the program, but no share/ above it.
    make(root_ + "/repo/build/assets");
    EXPECT_FALSE(data_dir_installed_assets((root_ + "/repo/build/qvox").c_str(), assets, sizeof assets));
    EXPECT_FALSE(data_dir_installed_assets("qvox", assets, sizeof assets));
}

TEST_F(DataDirTree, FirstStartCreatesPrivateFoldersAndEntersThem) {
    const std::string folder = root_ + "/home/.local/share/qvox";
    char error[2 * DATA_DIR_PATH_MAX] = {0};
    ASSERT_TRUE(data_dir_enter(folder.c_str(), assets_.c_str(), error, sizeof error)) << error;
    for (const std::string& made : {root_ + "/home/.local", root_ + "/home/.local/share", folder}) {
        struct stat st;
        ASSERT_EQ(stat(made.c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
    }
    EXPECT_EQ(link_target(folder + "/assets"), assets_);
    EXPECT_EQ(cwd(), folder);

    // The next start finds everything in place.
    ASSERT_EQ(chdir(root_.c_str()), 0);
    ASSERT_TRUE(data_dir_enter(folder.c_str(), assets_.c_str(), error, sizeof error)) << error;
    EXPECT_EQ(cwd(), folder);
}

TEST_F(DataDirTree, StaleLinkIsRepointedAndOwnAssetsFolderKept) {
    const std::string stale = root_ + "/home/stale";
    make(stale);
    ASSERT_EQ(symlink("/opt/old/share/games/qvox/assets", (stale + "/assets").c_str()), 0);
    char error[2 * DATA_DIR_PATH_MAX] = {0};
    ASSERT_TRUE(data_dir_enter(stale.c_str(), assets_.c_str(), error, sizeof error)) << error;
    EXPECT_EQ(link_target(stale + "/assets"), assets_);

    const std::string own = root_ + "/home/own";
    make(own + "/assets");
    ASSERT_TRUE(data_dir_enter(own.c_str(), assets_.c_str(), error, sizeof error)) << error;
    struct stat st;
    ASSERT_EQ(lstat((own + "/assets").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(DataDirTree, FileInTheWayFailsWithoutMoving) {
    // Root may write anywhere, so a file where a folder belongs stands in for a forbidden one.
    const std::string blocker = root_ + "/home/.local";
    FILE* f = fopen(blocker.c_str(), "w");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fclose(f), 0);
    ASSERT_EQ(chdir(root_.c_str()), 0);

    char error[2 * DATA_DIR_PATH_MAX] = {0};
    EXPECT_FALSE(data_dir_enter((blocker + "/share/qvox").c_str(), assets_.c_str(), error, sizeof error));
    EXPECT_NE(std::string(error).find(blocker), std::string::npos) << error;
    EXPECT_EQ(cwd(), root_);
}

}  // namespace
