// Quit signals: a desktop logout, `kill`, Ctrl+C or a closed terminal end the
// game the way closing its window does, world and settings saved.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "game_loop.h"

namespace {

std::atomic<int> quit_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch a lock-free atomic");

// Only an async-signal-safe store: the main loop notices it at the next frame.
// The first signal's number is kept; later ones change nothing, so a second
// Ctrl+C cannot cut the save short.
void remember_quit_signal(int signal_number) {
    int none = 0;
    quit_signal.compare_exchange_strong(none, signal_number);
}

}  // namespace

void game_catch_quit_signals(void) {
    struct sigaction action {};
    action.sa_handler = remember_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        if (sigaction(signal_number, &action, nullptr) != 0) {
            fprintf(stderr, "[main] Failed to catch signal %d: %s\n", signal_number, strerror(errno));
        }
    }
}

int game_quit_signal(void) {
    return quit_signal.load();
}
