// Menu screens, localized texts, the settings file and the font lists.
// Everything here runs on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raylib.h"

enum MenuState : int32_t {
    MENU_STATE_MAIN = 0,
    MENU_STATE_WORLD_SELECT = 1,
    MENU_STATE_CREATE_WORLD = 2,
    MENU_STATE_CREDITS = 3,
    MENU_STATE_SETTINGS = 4,
    MENU_STATE_GAME = 5,
};

struct WorldInfo {
    char name[256];    // directory name under ./worlds
    char created[64];  // last_saved text of world.txt, "Unknown" when absent
    int32_t chunk_count;
};

struct GameText {
    char move_controls[256];
    char metrics_help[256];
    char mouse_help[256];
    char look_help[256];
    char pause_help[256];
    char paused[64];
    char resume[64];
    char back_to_menu[64];
    char perf_metrics[256];
    char system_info[256];
    char player_info[256];
    char fps_label[64];
    char coord_label[64];
    char version[256];
    char settings[64];
    char render_dist_label[256];
    char max_fps_label[256];
    char font_family_label[256];
    char font_variant_label[256];
    char uncapped[64];
    char press_esc_to_return[256];
    char see_full_info[64];
    char msg_quitting[128];
    char msg_teleported[256];
    char msg_teleport_usage[128];
    char msg_world_saved[256];
    char msg_world_save_failed[256];
    char msg_world_loaded[256];
    char msg_world_load_failed[256];
    char msg_invalid_world_name[256];
    char msg_block_selected[128];
    char msg_unknown_block[512];
    char msg_flight_enabled[256];
    char msg_flight_disabled[128];
    char msg_fly_usage[256];
    char msg_noclip_enabled[256];
    char msg_noclip_disabled[128];
    char msg_noclip_usage[256];
    char msg_block_set[256];
    char msg_out_of_bounds[256];
    char msg_setblock_usage[256];
    char msg_unknown_command[256];
    char inventory_title[64];
    char inventory_close[128];
};

// Colours shared by the menu screens.
constexpr Color MENU_SCREEN_FILL = {20, 20, 20, 255};
constexpr Color MENU_BUTTON_NORMAL = {60, 60, 60, 255};
constexpr Color MENU_SECONDARY_TEXT = {130, 130, 130, 255};

constexpr int MENU_MAX_SPLASHES = 256;
constexpr int MENU_MAX_LANGUAGES = 16;
constexpr int MENU_MAX_FONT_FAMILIES = 16;
constexpr int MENU_MAX_FONT_VARIANTS = 32;
constexpr int MENU_MAX_BACKGROUNDS = 256;
constexpr int MENU_WORLD_ROWS = 8;

struct MenuSystem {
    MenuState current_state;
    MenuState previous_state;
    WorldInfo* available_worlds;
    int32_t world_count;
    int32_t selected_world_index;
    bool should_start_game;
    char selected_world_name[256];
    char new_world_name[256];
    int32_t new_world_name_len;
    bool create_world_error;
    char create_world_error_msg[256];
    Texture2D background_texture;
    bool background_loaded;
    char splash_texts[MENU_MAX_SPLASHES][512];
    int32_t splash_texts_count;
    char current_splash_text[512];
    char current_language[32];
    char available_languages[MENU_MAX_LANGUAGES][32];
    int32_t available_languages_count;
    int32_t current_language_index;
    char text_select_world[256];
    char text_create_world[256];
    char text_credits_info[256];
    char text_quit[256];
    char text_back[256];
    char text_world_name_label[512];
    char text_create_btn[128];
    char text_cancel_btn[128];
    char text_error_empty_name[256];
    char text_error_exists[256];
    char text_no_worlds[256];
    char text_title_create_world[256];
    char text_title_select_world[256];
    char text_last[128];
    char text_chunks[128];
    GameText game_text;
    char credits_text[4096];
    float render_distance;
    int32_t max_fps;
    char font_families[MENU_MAX_FONT_FAMILIES][256];
    int32_t font_families_count;
    int32_t current_font_family_index;
    char font_variants[MENU_MAX_FONT_VARIANTS][256];
    int32_t font_variants_count;
    int32_t current_font_variant_index;
};

// ---- the record and its texts (menu.cpp)
MenuSystem* menu_system_create(void);
void menu_system_free(MenuSystem* menu);
// Everything menu_system_create does except choosing and loading the
// background image, which needs the window; usable without one.
void menu_system_init(MenuSystem* menu);
void menu_load_language(MenuSystem* menu, const char* language);
void menu_scan_languages(MenuSystem* menu);
void menu_load_splash_text(MenuSystem* menu);
void menu_load_random_background(MenuSystem* menu);
// Names of the candidate background images in `dir`, in listing order; returns their count.
int menu_list_backgrounds(const char* dir, char names[][256], int max_names);
// Copies at most size - 1 characters of src and terminates dst.
void menu_copy_text(char* dst, size_t size, const char* src);
// stat() follows links: a linked directory counts.
bool menu_is_directory(const char* path);
// True when `format` uses only the printf conversions in `kinds` ('d' an int,
// 'f' a double, 's' a string), in that order, possibly fewer; no %n, no '*'.
bool menu_format_fits(const char* format, const char* kinds);

// What the player did in one frame on a menu screen.
constexpr int MENU_INPUT_MAX_CHARS = 32;
struct MenuInput {
    Vector2 mouse;
    bool click;      // left button pressed this frame
    bool left_down;  // left button held: slider drags
    bool up, down, enter, escape, backspace;
    int chars[MENU_INPUT_MAX_CHARS];  // typed code points in order
    int char_count;
};

// ---- settings file and font lists (menu_settings.cpp)
void menu_load_settings(MenuSystem* menu);
void menu_save_settings(MenuSystem* menu);
void menu_scan_fonts(MenuSystem* menu);
void menu_scan_font_variants(MenuSystem* menu, const char* font_family);

// Slider mappings shared by the settings screen and the in-game panel.
// Track: 500 pixels from slider_x; the knob offset runs 0..500.
int menu_render_distance_knob_offset(float render_distance);
float menu_render_distance_from_mouse(float mouse_x, int slider_x);
int menu_max_fps_knob_offset(int max_fps);
int menu_max_fps_from_mouse(float mouse_x, int slider_x);
// Draws the view-distance and frame-rate sliders of a panel at panel_x.
void menu_draw_setting_sliders(const MenuSystem* menu, Font font, int panel_x);
// Applies a drag on those sliders (saving the settings each changed frame);
// the knobs show it in the next frame.
void menu_update_setting_sliders(MenuSystem* menu, int panel_x, const MenuInput* input);

// ---- main menu, world list, create-world screen (menu_screens.cpp)
// Reads what the player did in this frame (call once a frame, before drawing).
MenuInput menu_read_input(void);
// One frame of the current menu screen: each part is drawn and then the input
// is applied to it, in the order of the parts, so a click acts in the frame
// that drew what was clicked.
void menu_screen_frame(MenuSystem* menu, Font font, const MenuInput* input);
void menu_scan_worlds(MenuSystem* menu);
// Keyboard of the world list: Up, Down, Enter, Escape pressed this frame.
void menu_world_select_keys(MenuSystem* menu, bool up, bool down, bool enter, bool escape);
// Appends one typed character to the new world name if the name rules allow it.
void menu_create_world_type_char(MenuSystem* menu, int codepoint);
// Enter or the Create button: starts the game or sets the error line.
void menu_create_world_request(MenuSystem* menu);
// Escape on a menu screen.
void menu_escape_pressed(MenuSystem* menu);
// The language button: next installed language, loaded and saved.
void menu_next_language(MenuSystem* menu);
// Shared look of the menu screens.
void menu_draw_background(const MenuSystem* menu);
bool menu_draw_button(Rectangle rect, Color normal, Vector2 mouse);

// ---- settings and credits screens (menu_settings_screen.cpp)
void menu_settings_frame(MenuSystem* menu, Font font, const MenuInput* input);
void menu_credits_frame(MenuSystem* menu, Font font, const MenuInput* input);
void menu_previous_font_family(MenuSystem* menu);
void menu_next_font_family(MenuSystem* menu);
// Up/down of the variant chooser; returns whether the index changed.
bool menu_font_variant_step(MenuSystem* menu, int step);
