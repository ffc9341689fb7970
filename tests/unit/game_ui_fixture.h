// A headless running game for the console, command, HUD and inventory tests:
// a GameState with a real World and Player and a menu record whose chat and
// HUD texts are filled with recognisable formats. Runs in a fresh temporary
// directory, so ./chathistory and ./worlds start absent.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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
        fill_texts(&menu_->game_text);
        game_ = new GameState{};
        game_->menu = menu_;
        game_->hud.prev_mode = HUD_MODE_NONE;
        game_->world = world_create();
        ASSERT_NE(game_->world, nullptr);
        game_->player = player_create(8.0f, 100.0f, 8.0f);
        ASSERT_NE(game_->player, nullptr);
    }

    void TearDown() override {
        player_free(game_->player);
        world_unload_textures(game_->world);
        world_free(game_->world);
        delete game_;
        delete menu_;
        TempDirTest::TearDown();
    }

    static void fill_texts(GameText* t) {
        set(t->msg_quitting, "Quitting");
        set(t->msg_teleported, "Teleported to %.2f, %.2f, %.2f");
        set(t->msg_teleport_usage, "Usage: /tp x y z");
        set(t->msg_world_saved, "Saved %s");
        set(t->msg_world_save_failed, "Save failed: %s");
        set(t->msg_world_loaded, "Loaded %s");
        set(t->msg_world_load_failed, "Load failed: %s");
        set(t->msg_invalid_world_name, "Invalid world name");
        set(t->msg_block_selected, "Selected %s");
        set(t->msg_unknown_block, "Unknown block: %s");
        set(t->msg_flight_enabled, "Flight on");
        set(t->msg_flight_disabled, "Flight off");
        set(t->msg_fly_usage, "Usage: /fly enable|disable");
        set(t->msg_noclip_enabled, "Noclip on");
        set(t->msg_noclip_disabled, "Noclip off");
        set(t->msg_noclip_usage, "Usage: /noclip enable|disable");
        set(t->msg_block_set, "Set %s at %.1f %.1f %.1f");
        set(t->msg_out_of_bounds, "Out of bounds");
        set(t->msg_setblock_usage, "Usage: /setblock x y z [block]");
        set(t->msg_unknown_command, "Unknown command: %s");
        set(t->move_controls, "WASD to move");
        set(t->metrics_help, "F2-F5 pages");
        set(t->mouse_help, "Mouse to break and place");
        set(t->look_help, "Mouse to look");
        set(t->pause_help, "P to pause");
        set(t->coord_label, "Position:");
        set(t->fps_label, "FPS:");
        set(t->perf_metrics, "Performance");
        set(t->version, "qvox test build");
        set(t->inventory_close, "Escape to close");
    }

    template <size_t N>
    static void set(char (&field)[N], const char* text) {
        snprintf(field, N, "%s", text);
    }

    void run(const char* line) { game_execute_command(game_, line); }

    std::string last_message() const {
        if (game_->chat.message_count == 0) return "";
        return game_->chat.messages[(game_->chat.message_count - 1) % GAME_CHAT_RING];
    }

    std::string message_back(int n) const {
        return game_->chat.messages[(game_->chat.message_count - 1 - n) % GAME_CHAT_RING];
    }

    Player* player() const { return game_->player; }
    World* world() const { return game_->world; }

    MenuSystem* menu_ = nullptr;
    GameState* game_ = nullptr;
};
