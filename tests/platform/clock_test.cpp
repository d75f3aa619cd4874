// The clock, the pause and the random generator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace {

std::vector<double> draws(double seed, int count) {
    random_seed(seed);
    std::vector<double> numbers;
    for (int i = 0; i < count; ++i) numbers.push_back(random_next(1));
    return numbers;
}

TEST(ClockSeconds, NeverGoesBackwards) {
    double previous = clock_seconds();
    for (int i = 0; i < 100000; ++i) {
        const double now = clock_seconds();
        ASSERT_GE(now, previous) << "reading " << i << ": have " << now << ", want at least "
                                 << previous;
        previous = now;
    }
}

TEST(PauseMs, ClockAdvancesAtLeastThePause) {
    const double before = clock_seconds();
    pause_ms(30);
    const double elapsed = clock_seconds() - before;
    EXPECT_GE(elapsed, 0.030) << "have " << elapsed << " s, want at least 0.030 s";
}

TEST(RandomNext, SeedZeroGivesXoshiroOfSplitmixState) {
    // Worked outside this code from the published algorithms: splitmix64 from
    // 0 gives the state e220a8397b1dcdaf 6e789e6aa1b965f4 06c45d188009454f
    // f88bb8a8724c81ec; xoshiro256** then yields 99ec5f36cb75f2b4 and
    // bf6e1f784956452a, whose top 53 bits are 0x133d8be6d96ebe and
    // 0x17edc3ef092ac8.
    const double want[] = {std::ldexp(static_cast<double>(0x133d8be6d96ebeULL), -53),
                           std::ldexp(static_cast<double>(0x17edc3ef092ac8ULL), -53)};
    const std::vector<double> have = draws(0.0, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(have[i], want[i]) << "draw " << i << ": have " << have[i] << ", want "
                                    << want[i];
    }
}

TEST(RandomNext, StaysInUnitIntervalAndSpreadsOverIt) {
    random_seed(12345.678);
    constexpr int kDraws = 100000;
    int below_tenth = 0;
    int above_nine_tenths = 0;
    double sum = 0;
    for (int i = 0; i < kDraws; ++i) {
        const double x = random_next(1);
        ASSERT_GE(x, 0.0) << "draw " << i << ": have " << x << ", want >= 0";
        ASSERT_LT(x, 1.0) << "draw " << i << ": have " << x << ", want < 1";
        if (x < 0.1) ++below_tenth;
        if (x >= 0.9) ++above_nine_tenths;
        sum += x;
    }
    // Uniform draws: each tenth holds about 10000, the mean is about 0.5.
    // The bounds lie more than ten standard deviations out.
    EXPECT_NEAR(below_tenth, 10000, 1000) << "have " << below_tenth << " below 0.1";
    EXPECT_NEAR(above_nine_tenths, 10000, 1000) << "have " << above_nine_tenths << " above 0.9";
    EXPECT_NEAR(sum / kDraws, 0.5, 0.01) << "have mean " << sum / kDraws << ", want 0.5";
}

TEST(RandomSeed, SameSeedRepeatsTheSequence) {
    const std::vector<double> first = draws(98765.4321, 50);
    random_next(1);  // move the generator on before seeding again
    const std::vector<double> again = draws(98765.4321, 50);
    EXPECT_EQ(first, again);
}

TEST(RandomSeed, DifferentSeedsGiveDifferentSequences) {
    struct SeedPair {
        const char* name;
        double a;
        double b;
    };
    // Clock readings a nanosecond apart must not start the same sequence.
    const SeedPair pairs[] = {
        {"1 and 2", 1.0, 2.0},
        {"0 and -0", 0.0, -0.0},
        {"close clock readings", 5000.000000001, 5000.000000002},
    };
    for (const SeedPair& pair : pairs) {
        SCOPED_TRACE(pair.name);
        const std::vector<double> a = draws(pair.a, 8);
        const std::vector<double> b = draws(pair.b, 8);
        int equal = 0;
        for (size_t i = 0; i < a.size(); ++i) equal += a[i] == b[i] ? 1 : 0;
        EXPECT_EQ(equal, 0) << "have " << equal << " equal draws of 8, want 0";
    }
}

}  // namespace
