// ./assets/splashtexts/splashs.txt as the main menu reads it.
#include <cstring>

#include "fuzz_util.h"
#include "menu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MenuSystem* menu = fuzz_menu_once({"assets/splashtexts"});
    memset(menu, 0, sizeof *menu);
    fuzz_write_file("assets/splashtexts/splashs.txt", data, size);
    menu_load_splash_text(menu);
    if (menu->splash_texts_count < 0 || menu->splash_texts_count > MENU_MAX_SPLASHES) abort();
    for (int i = 0; i < menu->splash_texts_count; i++) {
        if (menu->splash_texts[i][0] == '\0') abort();
        if (strlen(menu->splash_texts[i]) >= sizeof menu->splash_texts[i]) abort();
    }
    return 0;
}
