#include "motion/random.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>

namespace tovalin::motion {
namespace {

constexpr double kReading = 37800.5;
double FixedClock() {
    return kReading;
}

TEST(Random, ValuesAreExactFloatsInUnitInterval) {
    Random g(12345);
    for (int i = 0; i < 200000; ++i) {
        const float r = g.Next();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        const double scaled = static_cast<double>(r) * 16777216.0;
        ASSERT_EQ(scaled, std::floor(scaled)) << "not a multiple of 2^-24: " << r;
    }
}

TEST(Random, SeedMakesTheSequenceRepeatable) {
    Random a(7);
    Random b;
    b.Seed(7);
    Random other(8);
    int differences = 0;
    for (int i = 0; i < 100; ++i) {
        const float r = a.Next();
        ASSERT_EQ(r, b.Next());
        differences += r != other.Next() ? 1 : 0;
    }
    EXPECT_GT(differences, 90);
    EXPECT_EQ(a, b);
}

TEST(Random, ReseedsWithinOneClockTickStillDrawDifferentNumbers) {
    // Five characters set up within one tick of the clock get five different first draws.
    Random g(1);
    std::set<float> first;
    for (int i = 0; i < 5; ++i) {
        g.Reseed(kReading);
        first.insert(g.Next());
    }
    EXPECT_EQ(first.size(), 5u);

    // Re-seeding twice with no draw in between is not the same as re-seeding once.
    Random once(1);
    Random twice(1);
    once.Reseed(kReading);
    twice.Reseed(kReading);
    twice.Reseed(kReading);
    EXPECT_NE(once, twice);
}

TEST(Random, ReseedMixesTheReadingIntoTheState) {
    // Replacing the state would make these two equal.
    Random a(1);
    Random b(2);
    a.Reseed(kReading);
    b.Reseed(kReading);
    EXPECT_NE(a.Next(), b.Next());

    // And the reading itself matters.
    Random c(3);
    Random d(3);
    c.Reseed(kReading);
    d.Reseed(kReading + 0.01);
    EXPECT_NE(c.Next(), d.Next());
}

TEST(Random, DrawsAreRoughlyUniform) {
    constexpr int kBuckets = 16;
    constexpr int kDraws = 160000;
    std::array<int, kBuckets> counts{};
    Random g(99);
    double sum = 0.0;
    for (int i = 0; i < kDraws; ++i) {
        const float r = g.Next();
        sum += r;
        ++counts[static_cast<std::size_t>(r * kBuckets)];
    }
    const double expected = static_cast<double>(kDraws) / kBuckets;
    double chiSquare = 0.0;
    for (int n : counts) {
        chiSquare += (n - expected) * (n - expected) / expected;
    }
    EXPECT_LT(chiSquare, 37.7);  // 15 degrees of freedom, p = 0.001
    EXPECT_NEAR(sum / kDraws, 0.5, 0.005);
}

TEST(Random, DrawsAfterFrequentReseedsStayUniform) {
    // The motion routines re-seed before nearly every draw; that pattern must not skew the values.
    constexpr int kBuckets = 4;
    std::array<int, kBuckets> counts{};
    Random g(5);
    for (int i = 0; i < 40000; ++i) {
        g.Reseed(kReading);
        ++counts[static_cast<std::size_t>(g.Next() * kBuckets)];
    }
    for (int n : counts) {
        EXPECT_NEAR(n, 10000, 400);
    }
}

TEST(Random, TimerSourceFeedsReseedAndCanBeRestored) {
    const Random saved = Rng();
    SetTimerSource(&FixedClock);
    EXPECT_EQ(TimerSeconds(), kReading);
    Rng().Seed(11);
    Random model(11);
    ReseedFromTimer();
    model.Reseed(kReading);
    EXPECT_EQ(Rng(), model);

    SetTimerSource(nullptr);
    const double now = TimerSeconds();
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 86400.0);
    Rng() = saved;
}

TEST(Random, SystemTimerCountsSecondsOfTheDay) {
    const double t = SystemTimerSeconds();
    EXPECT_GE(t, 0.0);
    EXPECT_LT(t, 86400.0);
}

}  // namespace
}  // namespace tovalin::motion
