// Opens the game window and clears it to the sky colour until it is closed.
#include "raylib.h"

int main(void)
{
    SetTraceLogLevel(LOG_NONE);
    InitWindow(1200, 800, "qvox 0.0.17-beta");
    while (!WindowShouldClose()) {
        BeginDrawing();
        ClearBackground(Color{102, 191, 255, 255});
        EndDrawing();
    }
    CloseWindow();
    return 0;
}
