// A scratch working directory and a zeroed menu record for tests that read
// or write the files the menus use (./assets, ./options.txt, ./worlds).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "menu.h"
#include "temp_world_fixture.h"

class MenuTempDir : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        menu_ = static_cast<MenuSystem*>(calloc(1, sizeof(MenuSystem)));
        ASSERT_NE(menu_, nullptr);
    }

    void TearDown() override {
        if (menu_ != nullptr) free(menu_->available_worlds);
        free(menu_);
        TempDirTest::TearDown();
    }

    static void make_dirs(const std::string& path) { std::filesystem::create_directories(path); }

    // Writes a file, creating the folders above it.
    static void write_file(const std::string& path, const std::string& content) {
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) make_dirs(parent);
        TempDirTest::write_file(path.c_str(), content);
    }

    static std::string read_file(const std::string& path) { return TempDirTest::read_file(path.c_str()); }

    // n lines "<prefix><i>" (1-based), each ended by a line feed.
    static std::string numbered_lines(const std::string& prefix, int n) {
        std::string out;
        for (int i = 1; i <= n; i++) out += prefix + std::to_string(i) + "\n";
        return out;
    }

    MenuSystem* menu_ = nullptr;
};
