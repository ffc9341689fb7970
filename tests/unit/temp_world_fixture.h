// Fixtures that run each test in a fresh temporary working directory, so that
// ./worlds, ./options.txt and ./chathistory start absent; TempWorldTest adds a
// World (with its running worker) created there.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "world.h"

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(old_dir_, sizeof(old_dir_)), nullptr);
        char tmpl[] = "/tmp/qvox_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }

    void TearDown() override {
        EXPECT_EQ(chdir(old_dir_), 0);
        std::filesystem::remove_all(dir_);
    }

    static void write_file(const char* path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }

    static std::string read_file(const char* path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    char old_dir_[4096] = {};
    std::string dir_;
};

class TempWorldTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        world_ = world_create();
        ASSERT_NE(world_, nullptr);
    }

    void TearDown() override {
        world_free(world_);
        TempDirTest::TearDown();
    }

    // A cached record in play with terrain; its blocks are air until the test
    // fills them. Appended without cache_mutex: call it while the worker is idle.
    Chunk* add_chunk(int32_t cx, int32_t cy, int32_t cz) {
        Chunk* chunk = world_load_or_create_chunk(world_, cx, cy, cz);
        if (chunk) {
            chunk->generated = true;
            chunk->loaded = true;
        }
        return chunk;
    }

    World* world_ = nullptr;
};
