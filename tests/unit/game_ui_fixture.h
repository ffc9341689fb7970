// A headless running game with a real World and Player and recognisable texts, in a fresh directory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "game.h"
#include "game_ui.h"
#include "menu.h"
#include "player.h"
#include "temp_world_fixture.h"
#include "world.h"

class GameUiTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        menu_ = new MenuSystem{};
        std::filesystem::create_directories("assets/text/t");
        write_file("assets/text/t/menu.txt",
                   std::string(14, '\n') +
                       "WASD to move\nF2-F5 pages\nMouse to edit\nMouse to look\nP to pause\n\n\n\n"
                       "Performance\n\n\nFPS:\nPosition:\nqvox test build\n");
        write_file("assets/text/t/chat.txt",
                   "Quitting\nTeleported to %.2f, %.2f, %.2f\nUsage: /tp x y z\nSaved %s\nSave failed: %s\nLoaded %s\n"
                   "Load failed: %s\nInvalid world name\nSelected %s\nUnknown block: %s\nFlight on\nFlight off\n"
                   "Usage: /fly enable|disable\nNoclip on\nNoclip off\nUsage: /noclip enable|disable\n"
                   "Set %s at %.1f %.1f %.1f\nOut of bounds\nUsage: /setblock x y z [block]\nUnknown command: %s\n");
        write_file("assets/text/t/credits.txt", "");
        menu_load_language(menu_, "t");
        game_ = new GameState{};
        game_->menu = menu_;
        game_->world = world_create();
        game_->player = player_create(8.0f, 100.0f, 8.0f);
    }

    void TearDown() override {
        player_free(game_->player);
        world_unload_textures(game_->world);
        world_free(game_->world);
        delete game_;
        delete menu_;
        TempDirTest::TearDown();
    }

    void run(const char* line) { game_execute_command(game_, line); }

    // The newest chat message (n = 0) or one posted n messages before it.
    std::string message(int n = 0) const {
        const int count = game_->chat.message_count;
        return count > n ? game_->chat.messages[(count - 1 - n) % GAME_CHAT_RING] : "";
    }

    Player* player() const { return game_->player; }
    World* world() const { return game_->world; }

    MenuSystem* menu_ = nullptr;
    GameState* game_ = nullptr;
};
