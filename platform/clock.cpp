// The clock, the pause and the random generator. The generator is
// xoshiro256** (Blackman and Vigna), whose four state words are filled from
// the seed by splitmix64, the seeding its authors recommend: any 64-bit seed,
// zero included, then gives a well-mixed, non-zero state.
#include "platform/clock.h"

#include <bit>
#include <chrono>
#include <cstdint>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct RandomState {
    uint64_t words[4];
};

uint64_t splitmix64_next(uint64_t& state) {
    state += 0x9E3779B97F4A7C15u;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

RandomState random_state_from(uint64_t seed_bits) {
    RandomState state{};
    for (uint64_t& word : state.words) word = splitmix64_next(seed_bits);
    return state;
}

uint64_t xoshiro256ss_next(RandomState& state) {
    uint64_t* s = state.words;
    const uint64_t result = std::rotl(s[1] * 5, 7) * 9;
    const uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = std::rotl(s[3], 45);
    return result;
}

// Until the program seeds it, the generator runs as if seeded with 0.0.
RandomState g_random = random_state_from(0);

}  // namespace

double clock_seconds() {
#ifdef _WIN32
    // The performance counter, read directly; a system without one still
    // has the millisecond tick count.
    LARGE_INTEGER frequency;
    LARGE_INTEGER count;
    if (QueryPerformanceFrequency(&frequency) != 0 && frequency.QuadPart > 0 &&
        QueryPerformanceCounter(&count) != 0) {
        return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
    return static_cast<double>(GetTickCount()) * 0.001;
#else
    const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since_start).count();
#endif
}

void pause_ms(int32_t milliseconds) {
    if (milliseconds <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void random_seed(double seed) {
    // The seed's bit pattern, not its value, starts the generator: clock
    // readings a few microseconds apart then still give unrelated sequences.
    g_random = random_state_from(std::bit_cast<uint64_t>(seed));
}

double random_next(int32_t which) {
    // Every argument asks for the next number; the showcase only ever passes 1.
    (void)which;
    // The top 53 bits fill a double's mantissa exactly, so the result is a
    // multiple of 2^-53 in [0, 1) and never rounds up to 1.
    constexpr double kTwoToMinus53 = 1.0 / 9007199254740992.0;
    return static_cast<double>(xoshiro256ss_next(g_random) >> 11) * kTwoToMinus53;
}
