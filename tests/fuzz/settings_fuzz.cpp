// ./options.txt as the game reads it at start, with two languages and two
// font families installed so that the named settings have something to match.
#include <cstring>

#include "fuzz_util.h"
#include "menu.h"

static void prepare_assets(void) {
    fuzz_write_text("assets/text/en/menu.txt", "Select World\nCreate World\n");
    fuzz_write_text("assets/text/de/menu.txt", "Welt waehlen\n");
    fuzz_write_text("assets/text/de/chat.txt", "Beenden\n");
    fuzz_write_text("assets/text/de/credits.txt", "Dank\n");
    fuzz_write_text("assets/fonts/JetBrainsMono/ttf/JetBrainsMono-Regular.ttf", "");
    fuzz_write_text("assets/fonts/JetBrainsMono/ttf/JetBrainsMono-Bold.ttf", "");
    fuzz_write_text("assets/fonts/DejaVu/ttf/DejaVuSans.ttf", "");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MenuSystem* menu = nullptr;
    if (menu == nullptr) {
        menu = fuzz_menu_once(
            {"assets/text/en", "assets/text/de", "assets/fonts/JetBrainsMono/ttf", "assets/fonts/DejaVu/ttf"});
        prepare_assets();
    }
    memset(menu, 0, sizeof *menu);
    menu->render_distance = 50.0f;
    menu->max_fps = 144;
    menu_scan_languages(menu);
    menu_scan_fonts(menu);
    menu_scan_font_variants(menu, menu->font_families[menu->current_font_family_index]);
    fuzz_write_file("options.txt", data, size);
    menu_load_settings(menu);
    if (!(menu->render_distance >= 10.0f && menu->render_distance <= 100.0f)) abort();
    if (menu->max_fps != 0 && (menu->max_fps < 30 || menu->max_fps > 240)) abort();
    if (menu->current_font_variant_index < 0 || menu->current_font_variant_index >= menu->font_variants_count) abort();
    menu_save_settings(menu);
    return 0;
}
