// xorshift64*: small, fast and identical on every platform, so the painting
// tools produce the same pixels on every run and machine.
#pragma once

#include <cstdint>

struct Rng {
    uint64_t state;

    uint32_t next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<uint32_t>((state * 0x2545F4914F6CDD1DULL) >> 32);
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint32_t>(hi - lo + 1)); }
    bool chance(int percent) { return range(0, 99) < percent; }
};
