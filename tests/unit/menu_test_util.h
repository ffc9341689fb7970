// A scratch working directory for tests that read or write the files the
// menus use (./assets, ./options.txt, ./worlds).
#pragma once

#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "menu.h"

inline int menu_test_remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

class MenuTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        char tmpl[] = "/tmp/qvox-menu-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        menu_ = static_cast<MenuSystem*>(calloc(1, sizeof(MenuSystem)));
        ASSERT_NE(menu_, nullptr);
    }

    void TearDown() override {
        if (menu_ != nullptr) {
            free(menu_->available_worlds);
            free(menu_);
        }
        ASSERT_EQ(chdir(old_cwd_), 0);
        nftw(dir_.c_str(), menu_test_remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }

    static void make_dirs(const std::string& path) {
        std::string part;
        for (size_t i = 0; i <= path.size(); i++) {
            if (i == path.size() || path[i] == '/') {
                if (!part.empty()) mkdir(part.c_str(), 0755);
            }
            if (i < path.size()) part += path[i];
        }
    }

    static void write_file(const std::string& path, const std::string& content) {
        size_t slash = path.rfind('/');
        if (slash != std::string::npos) make_dirs(path.substr(0, slash));
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr) << path;
        fwrite(content.data(), 1, content.size(), f);
        ASSERT_EQ(fclose(f), 0);
    }

    static std::string read_file(const std::string& path) {
        std::string out;
        FILE* f = fopen(path.c_str(), "rb");
        if (f == nullptr) return out;
        char buf[4096];
        size_t n = 0;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        fclose(f);
        return out;
    }

    // n lines "<prefix><i>" (1-based), each ended by a line feed.
    static std::string numbered_lines(const std::string& prefix, int n) {
        std::string out;
        for (int i = 1; i <= n; i++) out += prefix + std::to_string(i) + "\n";
        return out;
    }

    char old_cwd_[4096] = {0};
    std::string dir_;
    MenuSystem* menu_ = nullptr;
};
