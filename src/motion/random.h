// The program's one random generator and the clock that re-seeds it.
#pragma once

#include <cstdint>

namespace tovalin::motion {

// Uniform single-precision values in [0, 1). Every value is a 24-bit integer divided by 2^24, so
// it is an exact float and never rounds up to 1.
//
// Re-seeding mixes the timer value into the current state instead of replacing it: the scene
// re-seeds once per character and the motion routines once per character per tick, usually many
// times within one tick of the system clock, and replacing the state would hand every character
// the same numbers (five characters would move in lockstep).
class Random {
  public:
    Random() = default;
    explicit Random(std::uint64_t seed) : state_(seed) {}

    // Puts the generator in a known state (tests, reproducible runs).
    void Seed(std::uint64_t seed) { state_ = seed; }

    // Stirs a timer reading into the state; the same reading twice still changes it.
    void Reseed(double timerSeconds);

    float Next();

    friend bool operator==(const Random&, const Random&) = default;

  private:
    std::uint64_t state_ = 0x243F6A8885A308D3u;
};

// The generator shared by start-up, scene set-up and the motion routines.
Random& Rng();

// Seconds since midnight (UTC) with the sub-second fraction: the clock reading that re-seeds the
// generator. Only its variation matters, so the day boundary of the local zone is not needed.
double SystemTimerSeconds();

// Where re-seeding reads the time from; tests install a fixed clock. nullptr restores the
// system timer.
using TimerSource = double (*)();
void SetTimerSource(TimerSource source);
double TimerSeconds();

// Re-seeds Rng() from the current timer source, as every drawing routine does before its first
// draw.
void ReseedFromTimer();

}  // namespace tovalin::motion
