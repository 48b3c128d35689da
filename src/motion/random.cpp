#include "motion/random.h"

#include <bit>
#include <chrono>

namespace tovalin::motion {
namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15u;

// The SplitMix64 finaliser: a bijection of 64-bit values with full avalanche.
constexpr std::uint64_t Mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

TimerSource g_timerSource = &SystemTimerSeconds;

}  // namespace

void Random::Reseed(double timerSeconds) {
    // For a fixed reading the step is a bijection of the state that is not the identity, so
    // repeated re-seeds within one clock tick keep walking to new states.
    const std::uint64_t reading = std::bit_cast<std::uint64_t>(timerSeconds);
    state_ = Mix(state_ ^ Mix(reading + kGolden)) + kGolden;
}

float Random::Next() {
    state_ += kGolden;
    const auto top24 = static_cast<std::uint32_t>(Mix(state_) >> 40);
    return static_cast<float>(top24) * 0x1p-24f;
}

Random& Rng() {
    static Random generator;
    return generator;
}

double SystemTimerSeconds() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto midnight = floor<days>(now);
    return duration<double>(now - midnight).count();
}

void SetTimerSource(TimerSource source) {
    g_timerSource = source != nullptr ? source : &SystemTimerSeconds;
}

double TimerSeconds() {
    return g_timerSource();
}

void ReseedFromTimer() {
    Rng().Reseed(TimerSeconds());
}

}  // namespace tovalin::motion
