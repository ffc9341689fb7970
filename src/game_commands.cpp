// Console commands: a line beginning with "/" is matched against the command
// prefixes in a fixed order and its result is posted as a chat message.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clouds.h"
#include "game.h"
#include "game_edit.h"
#include "menu.h"
#include "player.h"
#include "utils.h"
#include "world.h"

constexpr int CMD_MESSAGE_SIZE = 512;
constexpr int CMD_SHORT_MESSAGE_SIZE = 256;  // messages whose text is cut at 255 characters
constexpr int CMD_NAME_SIZE = 256;
constexpr int CMD_WORD_SIZE = 32;
constexpr int CMD_ITEM_SIZE = 64;
constexpr int CMD_MIN_BLOCK_Y = 0;
constexpr int CMD_MAX_BLOCK_Y = 255;

struct BlockName {
    const char* name;
    BlockType type;
};

// "air" comes last: only the set-block command accepts it.
static const BlockName BLOCK_NAMES[] = {
    {"stone", BLOCK_STONE}, {"dirt", BLOCK_DIRT},           {"grass", BLOCK_GRASS}, {"sand", BLOCK_SAND},
    {"wood", BLOCK_WOOD},   {"glowstone", BLOCK_GLOWSTONE}, {"air", BLOCK_AIR},
};
constexpr int PLACEABLE_BLOCK_NAMES = 6;
constexpr int ALL_BLOCK_NAMES = 7;

static bool find_block(const char* name, int names, BlockType* out) {
    for (int i = 0; i < names; i++) {
        if (strcmp(BLOCK_NAMES[i].name, name) == 0) {
            *out = BLOCK_NAMES[i].type;
            return true;
        }
    }
    return false;
}

static const char* block_name(BlockType type) {
    for (const BlockName& entry : BLOCK_NAMES)
        if (entry.type == type) return entry.name;
    return "unknown";
}

// ---------------------------------------------------------------- messages

static const GameText* texts(const GameState* game) {
    static const GameText no_texts = {};
    return game->menu ? &game->menu->game_text : &no_texts;
}

// A language file's text is shown as it stands when it is not a format for
// these arguments, so a damaged file can never make the formatter misread them.
static bool format_usable(const char* format, const char* kinds) {
    return menu_format_fits(format, kinds);
}

static void post_with_name(GameState* game, const char* format, const char* name, size_t size) {
    char message[CMD_MESSAGE_SIZE];
    if (!format_usable(format, "s")) {
        game_post_message(game, format);
        return;
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // checked by format_usable
    snprintf(message, size, format, name);
#pragma GCC diagnostic pop
    game_post_message(game, message);
}

static void post_with_point(GameState* game, const char* format, const char* name, float x, float y, float z,
                            const char* kinds, size_t size) {
    char message[CMD_MESSAGE_SIZE];
    if (!format_usable(format, kinds)) {
        game_post_message(game, format);
        return;
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // checked by format_usable
    if (name)
        snprintf(message, size, format, name, static_cast<double>(x), static_cast<double>(y), static_cast<double>(z));
    else
        snprintf(message, size, format, static_cast<double>(x), static_cast<double>(y), static_cast<double>(z));
#pragma GCC diagnostic pop
    game_post_message(game, message);
}

// ---------------------------------------------------------------- arguments

// The text after a prefix, cut to the buffer and trimmed.
static void read_argument(const char* text, char* out, size_t size) {
    snprintf(out, size, "%s", text);
    trim_string(out);
}

// A typed coordinate is usable when it is finite and its floor fits an int.
static bool coordinate_usable(float value) {
    if (!std::isfinite(value)) return false;
    const double floored = floor(static_cast<double>(value));
    return floored >= static_cast<double> INT_MIN && floored <= static_cast<double>(INT_MAX);
}

// ---------------------------------------------------------------- player commands

static void command_quit(GameState* game, const char*, const char*) {
    game->should_quit = true;
    game_post_message(game, texts(game)->msg_quitting);
}

static void command_teleport(GameState* game, const char* line, const char*) {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    const bool parsed = sscanf(line, "/tp %f %f %f", &x, &y, &z) == 3;
    if (!parsed || !coordinate_usable(x) || !coordinate_usable(y) || !coordinate_usable(z)) {
        game_post_message(game, texts(game)->msg_teleport_usage);
        return;
    }
    game->player->position = Vector3{x, y, z};
    game->player->velocity = Vector3{0.0f, 0.0f, 0.0f};
    post_with_point(game, texts(game)->msg_teleported, nullptr, x, y, z, "fff", CMD_SHORT_MESSAGE_SIZE);
}

static void command_select(GameState* game, const char*, const char* args) {
    char word[CMD_WORD_SIZE];
    read_argument(args, word, sizeof word);
    BlockType type = BLOCK_AIR;
    if (!find_block(word, PLACEABLE_BLOCK_NAMES, &type)) {
        post_with_name(game, texts(game)->msg_unknown_block, word, CMD_MESSAGE_SIZE);
        return;
    }
    game->player->selected_block = type;
    post_with_name(game, texts(game)->msg_block_selected, word, CMD_SHORT_MESSAGE_SIZE);
}

static void command_fly(GameState* game, const char*, const char* args) {
    char word[CMD_WORD_SIZE];
    read_argument(args, word, sizeof word);
    const GameText* t = texts(game);
    if (strcmp(word, "enable") == 0) {
        game->flight_enabled = true;
        game_post_message(game, t->msg_flight_enabled);
    } else if (strcmp(word, "disable") == 0) {
        game->flight_enabled = false;
        game->player->is_flying = false;
        game_post_message(game, t->msg_flight_disabled);
    } else {
        game_post_message(game, t->msg_fly_usage);
    }
}

static void command_noclip(GameState* game, const char*, const char* args) {
    char word[CMD_WORD_SIZE];
    read_argument(args, word, sizeof word);
    const GameText* t = texts(game);
    if (strcmp(word, "enable") == 0) {
        game->player->no_clip = true;
        game_post_message(game, t->msg_noclip_enabled);
    } else if (strcmp(word, "disable") == 0) {
        game->player->no_clip = false;
        game_post_message(game, t->msg_noclip_disabled);
    } else {
        game_post_message(game, t->msg_noclip_usage);
    }
}

static void command_setblock(GameState* game, const char* line, const char*) {
    float fx = 0.0f, fy = 0.0f, fz = 0.0f;
    char name[CMD_WORD_SIZE] = {};
    const int parsed = sscanf(line, "/setblock %f %f %f %31s", &fx, &fy, &fz, name);
    if (parsed < 3 || !coordinate_usable(fx) || !coordinate_usable(fy) || !coordinate_usable(fz)) {
        game_post_message(game, texts(game)->msg_setblock_usage);
        return;
    }
    BlockType type = game->player->selected_block;
    if (parsed == 4) {
        trim_string(name);
        if (!find_block(name, ALL_BLOCK_NAMES, &type)) {
            post_with_name(game, texts(game)->msg_unknown_block, name, CMD_MESSAGE_SIZE);
            return;
        }
    }
    const int iy = static_cast<int>(floorf(fy));
    if (iy < CMD_MIN_BLOCK_Y || iy > CMD_MAX_BLOCK_Y) {
        game_post_message(game, texts(game)->msg_out_of_bounds);
        return;
    }
    game_set_block(game, static_cast<int>(floorf(fx)), iy, static_cast<int>(floorf(fz)), type);
    post_with_point(game, texts(game)->msg_block_set, block_name(type), fx, fy, fz, "sfff", CMD_MESSAGE_SIZE);
}

// The count as "%d" would read it, held inside the int range.
static int parse_count(const char* text) {
    char* end = nullptr;
    const long value = strtol(text, &end, 10);
    if (end == text) return 1;  // not a number: only the item was given
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

static void command_give(GameState* game, const char*, const char* args) {
    char item[CMD_ITEM_SIZE] = {};
    char count_text[CMD_WORD_SIZE] = {};
    const int parsed = sscanf(args, "%63s %31s", item, count_text);
    if (parsed < 1) {
        game_post_message(game, "Usage: /give <item> [count]");
        return;
    }
    const int count = parsed == 2 ? parse_count(count_text) : 1;
    trim_string(item);
    BlockType type = BLOCK_AIR;
    if (!find_block(item, PLACEABLE_BLOCK_NAMES, &type)) {
        post_with_name(game, texts(game)->msg_unknown_block, item, CMD_SHORT_MESSAGE_SIZE);
        return;
    }
    if (!inventory_give(game->player, type, count)) {
        game_post_message(game, "Not enough inventory space to give items.");
        return;
    }
    char message[CMD_SHORT_MESSAGE_SIZE];
    if (count == 1)
        snprintf(message, sizeof message, "Gave 1 %s.", item);
    else
        snprintf(message, sizeof message, "Gave %d %s.", count, item);
    game_post_message(game, message);
}

// ---------------------------------------------------------------- world commands

static void command_save(GameState* game, const char*, const char* args) {
    char name[CMD_NAME_SIZE];
    read_argument(args, name, sizeof name);
    const GameText* t = texts(game);
    game->world->last_player_position = game->player->position;
    if (!world_name_is_file_safe(name) || !world_save(game->world, name)) {
        post_with_name(game, t->msg_world_save_failed, name, CMD_MESSAGE_SIZE);
        return;
    }
    post_with_name(game, t->msg_world_saved, name, CMD_MESSAGE_SIZE);
}

// Saves the running world under its own name with the player's position,
// posting the failure message when a file could not be written.
static void save_running_world(GameState* game) {
    World* world = game->world;
    if (world->world_name[0] == '\0') return;
    world->last_player_position = game->player->position;
    if (!world_save(world, world->world_name))
        post_with_name(game, texts(game)->msg_world_save_failed, world->world_name, CMD_MESSAGE_SIZE);
}

// The current world is saved under its own name before another is loaded into it.
static void command_load(GameState* game, const char*, const char* args) {
    char name[CMD_NAME_SIZE];
    read_argument(args, name, sizeof name);
    const GameText* t = texts(game);
    if (!world_name_is_file_safe(name)) {
        post_with_name(game, t->msg_world_load_failed, name, CMD_MESSAGE_SIZE);
        return;
    }
    World* world = game->world;
    save_running_world(game);
    if (!world_load(world, name)) {
        post_with_name(game, t->msg_world_load_failed, name, CMD_MESSAGE_SIZE);
        return;
    }
    post_with_name(game, t->msg_world_loaded, name, CMD_MESSAGE_SIZE);
}

static Vector3 spawn_point(const World* world) {
    return Vector3{CMD_SPAWN_X, player_safe_spawn_y(CMD_SPAWN_X, CMD_SPAWN_Y, CMD_SPAWN_Z, world->seed), CMD_SPAWN_Z};
}

static void move_to(Player* player, Vector3 spot) {
    player->position = spot;
    player->velocity = Vector3{0.0f, 0.0f, 0.0f};
}

// Puts `fresh` (and `body`, when given) in place of the running world and
// player. The running world is saved first so that no edit is lost; a failed
// save is reported and the switch goes on. The cloud layer stays and starts over.
static void install_world(GameState* game, World* fresh, Player* body) {
    save_running_world(game);
    world_unload_textures(game->world);
    world_free(game->world);
    game->world = fresh;
    if (body) {
        player_free(game->player);
        game->player = body;
    }
    clouds_reset(game->clouds);
    world_load_textures(fresh);
}

static void command_createworld(GameState* game, const char*, const char* args) {
    char name[CMD_NAME_SIZE];
    read_argument(args, name, sizeof name);
    if (!world_name_is_plain(name)) {
        game_post_message(game, "Invalid world name. Use only alphanumeric characters and underscore.");
        return;
    }
    // The new world is made before the old one goes, so a failure leaves the game running.
    World* fresh = world_create();
    if (!fresh) {
        post_with_name(game, texts(game)->msg_world_save_failed, name, CMD_MESSAGE_SIZE);
        return;
    }
    install_world(game, fresh, nullptr);
    snprintf(fresh->world_name, sizeof fresh->world_name, "%s", name);
    printf("[world] Created world %s\n", name);
    world_generate_prism(fresh);
    const Vector3 spot = spawn_point(fresh);
    fresh->last_player_position = spot;
    const bool saved = world_save(fresh, name);
    move_to(game->player, spot);
    if (!saved) {
        post_with_name(game, texts(game)->msg_world_save_failed, name, CMD_MESSAGE_SIZE);
        return;
    }
    char message[CMD_MESSAGE_SIZE];
    snprintf(message, sizeof message, "World '%s' created and saved successfully.", name);
    game_post_message(game, message);
}

static void command_loadworld(GameState* game, const char*, const char* args) {
    char name[CMD_NAME_SIZE];
    read_argument(args, name, sizeof name);
    const GameText* t = texts(game);
    if (!world_name_is_plain(name)) {
        game_post_message(game, t->msg_invalid_world_name);
        return;
    }
    World* fresh = world_create();
    Player* body = fresh ? player_create(CMD_NEW_PLAYER_X, CMD_NEW_PLAYER_Y, CMD_NEW_PLAYER_Z) : nullptr;
    if (!body) {
        world_free(fresh);
        post_with_name(game, t->msg_world_load_failed, name, CMD_MESSAGE_SIZE);
        return;
    }
    install_world(game, fresh, body);
    const bool loaded = world_load(fresh, name);
    move_to(game->player, spawn_point(fresh));
    post_with_name(game, loaded ? t->msg_world_loaded : t->msg_world_load_failed, name, CMD_MESSAGE_SIZE);
}

// ---------------------------------------------------------------- dispatcher

static void command_unknown(GameState* game, const char* line) {
    post_with_name(game, texts(game)->msg_unknown_command, line, CMD_MESSAGE_SIZE);
}

// Each command gets the whole line and the text after its prefix.
struct CommandEntry {
    const char* prefix;
    void (*run)(GameState* game, const char* line, const char* args);
};

// Matched in this order, case-sensitive; the first prefix that fits wins. Most
// prefixes end in a space, so a bare command word is an unknown command.
static const CommandEntry COMMANDS[] = {
    {"/quit", command_quit},
    {"/tp ", command_teleport},
    {"/save ", command_save},
    {"/load ", command_load},
    {"/createworld ", command_createworld},
    {"/loadworld ", command_loadworld},
    {"/select ", command_select},
    {"/fly ", command_fly},
    {"/noclip ", command_noclip},
    {"/setblock ", command_setblock},
    {"/give ", command_give},
};

void game_execute_command(GameState* game, const char* line) {
    if (!game || !line || line[0] != '/' || !game->world || !game->player) return;
    for (const CommandEntry& command : COMMANDS) {
        const size_t length = strlen(command.prefix);
        if (strncmp(line, command.prefix, length) == 0) {
            command.run(game, line, line + length);
            return;
        }
    }
    command_unknown(game, line);
}
