#include "motion/motion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <utility>
#include <vector>

#include "motion/random.h"

namespace tovalin::motion {
namespace {

constexpr double kClock = 45296.125;
double FixedClock() {
    return kClock;
}

class FakeWindow : public MotionWindow {
  public:
    FakeWindow(double left, double top, double width, double height)
        : left_(left), top_(top), width_(width), height_(height) {}

    CharaInfo& Info() override { return info; }
    double LeftTwips() const override { return left_; }
    double TopTwips() const override { return top_; }
    double WidthTwips() const override { return width_; }
    double HeightTwips() const override { return height_; }
    // Recorded as the two settings the move stands for, Left first.
    void MoveTwips(double left, double top) override {
        left_ = left;
        moves.emplace_back('L', left);
        top_ = top;
        moves.emplace_back('T', top);
    }

    CharaInfo info;
    std::vector<std::pair<char, double>> moves;

  private:
    double left_;
    double top_;
    double width_;
    double height_;
};

struct FakeScreen : Screen {
    float WidthTwips() const override { return width; }
    float HeightTwips() const override { return height; }
    std::int32_t FloorLineTwips() const override { return floorLine; }

    float width = 19200.0f;  // 1280 × 960 pixels at 15 twips per pixel
    float height = 14400.0f;
    std::int32_t floorLine = 13500;
};

float F(double value) {
    return static_cast<float>(value);
}
double D(float value) {
    return static_cast<double>(value);
}

// Every routine re-seeds the shared generator from a fixed clock; `model` follows the same
// re-seeds and draws, so after each step the shared generator must equal it exactly, which
// checks the number of draws as well as their values.
class MotionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetTimerSource(&FixedClock);
        SeedBoth(1);
    }
    void TearDown() override { SetTimerSource(nullptr); }

    void SeedBoth(std::uint64_t seed) {
        Rng().Seed(seed);
        model.Seed(seed);
    }

    // The draws a routine is expected to take after its re-seed.
    std::vector<double> ExpectCall(int draws) {
        model.Reseed(kClock);
        std::vector<double> r;
        for (int i = 0; i < draws; ++i) {
            r.push_back(D(model.Next()));
        }
        return r;
    }

    // The first seed whose generator, re-seeded once from the clock, satisfies `wanted`.
    static std::uint64_t FindSeed(const std::function<bool(Random&)>& wanted) {
        for (std::uint64_t seed = 1; seed < 1000000; ++seed) {
            Random g(seed);
            g.Reseed(kClock);
            if (wanted(g)) {
                return seed;
            }
        }
        ADD_FAILURE() << "no seed found";
        return 0;
    }

    Random model;
    FakeScreen screen;
};

double Floor(double r, double n, double offset) {
    return std::floor(r * n + offset);
}

// ---------------------------------------------------------------------------------------------
// Dispatch

TEST(MoveModeWords, OnlyTheExactWordsSelectAMode) {
    EXPECT_EQ(ModeFromWord(L"静止"), MoveMode::kStill);
    EXPECT_EQ(ModeFromWord(L"直線"), MoveMode::kStraight);
    EXPECT_EQ(ModeFromWord(L"浮遊"), MoveMode::kFloating);
    EXPECT_EQ(ModeFromWord(L"跳ねる"), MoveMode::kBouncing);
    EXPECT_EQ(ModeFromWord(L"窓の上"), MoveMode::kOnWindows);
    EXPECT_EQ(ModeFromWord(L"窓"), MoveMode::kNone);
    EXPECT_EQ(ModeFromWord(L"跳ねる "), MoveMode::kNone);
    EXPECT_EQ(ModeFromWord(L" 直線"), MoveMode::kNone);
    EXPECT_EQ(ModeFromWord(L"跳ね"), MoveMode::kNone);
    EXPECT_EQ(ModeFromWord(L""), MoveMode::kNone);
    EXPECT_EQ(ModeFromWord(L"Straight"), MoveMode::kNone);
}

TEST_F(MotionTest, TickWithStillOrUnknownWordTouchesNothing) {
    for (const wchar_t* word : {L"静止", L"跳ねる ", L"", L"浮遊x", L"直"}) {
        FakeWindow a(1000, 1000, 900, 900);
        FakeWindow b(2000, 2000, 900, 900);
        a.info.rndx = 5;
        b.info.xi = 0.01f;
        const CharaInfo beforeA = a.info;
        const CharaInfo beforeB = b.info;
        const Random rngBefore = Rng();
        MotionWindow* views[] = {&a, &b};
        MotionTick(views, ModeFromWord(word), screen);
        EXPECT_TRUE(a.moves.empty());
        EXPECT_TRUE(b.moves.empty());
        EXPECT_EQ(a.info, beforeA);
        EXPECT_EQ(b.info, beforeB);
        EXPECT_EQ(Rng(), rngBefore) << "nothing may re-seed or draw";
    }
}

TEST_F(MotionTest, TickRunsTheRoutineOfEachWord) {
    struct Case {
        const wchar_t* word;
        void (*routine)(MotionWindow&, const Screen&);
    };
    for (const Case& c : {Case{L"直線", &MoveStraight}, Case{L"浮遊", &MoveFloating},
                          Case{L"跳ねる", &MoveBouncing}}) {
        FakeWindow ticked(3000, 3000, 900, 900);
        FakeWindow direct(3000, 3000, 900, 900);
        InitMotion(ticked);
        direct.info = ticked.info;
        const Random start = Rng();
        MotionWindow* views[] = {&ticked};
        MotionTick(views, ModeFromWord(c.word), screen);
        const Random afterTick = Rng();
        Rng() = start;
        c.routine(direct, screen);
        EXPECT_EQ(ticked.info, direct.info);
        EXPECT_EQ(ticked.moves, direct.moves);
        EXPECT_EQ(afterTick, Rng());
        EXPECT_EQ(ticked.moves.size(), 2u);
    }
}

TEST_F(MotionTest, TickSkipsTheDraggedWindowOnly) {
    FakeWindow first(1000, 1000, 900, 900);
    FakeWindow dragged(2000, 2000, 900, 900);
    FakeWindow last(3000, 3000, 900, 900);
    for (FakeWindow* w : {&first, &dragged, &last}) {
        w->info.xPos = F(w->LeftTwips());
        w->info.yPos = F(w->TopTwips());
        w->info.rndx = 5;  // no draws this tick
    }
    dragged.info.bMoving = true;
    const CharaInfo draggedBefore = dragged.info;
    MotionWindow* views[] = {&first, &dragged, &last};
    MotionTick(views, ModeFromWord(L"直線"), screen);
    ExpectCall(0);
    ExpectCall(0);
    EXPECT_EQ(Rng(), model) << "the dragged window must not even re-seed";
    EXPECT_EQ(first.info.xPos, 1016.0f);
    EXPECT_EQ(last.info.xPos, 3016.0f);
    EXPECT_TRUE(dragged.moves.empty());
    EXPECT_EQ(dragged.info, draggedBefore);
}

TEST_F(MotionTest, ModeChangesKeepTheRecord) {
    FakeWindow w(5000, 5000, 900, 900);
    w.info.xPos = 5000.0f;
    w.info.yPos = 5000.0f;
    w.info.rndm = 1;
    w.info.rndx = 3;
    w.info.nwait = 5;
    MotionWindow* views[] = {&w};
    MotionTick(views, ModeFromWord(L"直線"), screen);
    MotionTick(views, ModeFromWord(L"浮遊"), screen);  // pausing: counts down only
    MotionTick(views, ModeFromWord(L"静止"), screen);
    MotionTick(views, ModeFromWord(L"直線"), screen);
    EXPECT_EQ(w.info.rndm, 1);
    EXPECT_EQ(w.info.rndx, 1);
    EXPECT_EQ(w.info.nwait, 4);
    EXPECT_EQ(w.info.xPos, 5000.0f);
    EXPECT_EQ(w.info.yPos, 5032.0f);
}

// ---------------------------------------------------------------------------------------------
// InitMotion

TEST_F(MotionTest, InitMotionTakesThePlaceAndDrawsThePhasesInOrder) {
    FakeWindow w(4567, 1234.5, 900, 900);
    w.info.poi = 7;
    w.info.nwait = 3;
    InitMotion(w);
    const auto r = ExpectCall(6);
    EXPECT_EQ(Rng(), model);
    const CharaInfo& c = w.info;
    EXPECT_EQ(c.xPos, 4567.0f);
    EXPECT_EQ(c.yPos, 1234.5f);
    EXPECT_EQ(c.xVelocInit, 18.0f);
    EXPECT_EQ(c.ixVelocInit, 1.0f);
    EXPECT_EQ(c.xi, F(Floor(r[0], 100, 0) / 1000.0));
    EXPECT_EQ(c.xie, F(Floor(r[1], 36, 18)));
    EXPECT_EQ(c.xis, F(D(c.xie) - Floor(r[2], 18, 0)));
    EXPECT_EQ(c.yi, F(Floor(r[3], 100, 0) / 1000.0));
    EXPECT_EQ(c.yie, F(Floor(r[4], 36, 18)));
    EXPECT_EQ(c.yis, F(D(c.yie) - Floor(r[5], 18, 0)));
    EXPECT_EQ(c.poi, 7);
    EXPECT_EQ(c.nwait, 3);
    EXPECT_EQ(c.yVeloc, 0.0f);
    EXPECT_EQ(c.rndx, 0);
    EXPECT_TRUE(w.moves.empty()) << "InitMotion does not move the window";
}

TEST_F(MotionTest, InitMotionValuesCoverTheirRanges) {
    struct Range {
        int low = INT_MAX;
        int high = INT_MIN;
        void Add(int v) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    };
    Range step[2], end[2], back[2];
    for (std::uint64_t seed = 1; seed <= 3000; ++seed) {
        Rng().Seed(seed);
        FakeWindow w(0, 0, 900, 900);
        InitMotion(w);
        const CharaInfo& c = w.info;
        const float steps[2] = {c.xi, c.yi};
        const float phases[2] = {c.xis, c.yis};
        const float ends[2] = {c.xie, c.yie};
        for (int axis = 0; axis < 2; ++axis) {
            const int k = static_cast<int>(std::lround(D(steps[axis]) * 1000.0));
            ASSERT_EQ(steps[axis], F(k / 1000.0));
            ASSERT_EQ(ends[axis], std::floor(ends[axis]));
            ASSERT_EQ(phases[axis], std::floor(phases[axis]));
            step[axis].Add(k);
            end[axis].Add(static_cast<int>(ends[axis]));
            back[axis].Add(static_cast<int>(ends[axis] - phases[axis]));
        }
    }
    for (int axis = 0; axis < 2; ++axis) {
        EXPECT_EQ(step[axis].low, 0) << axis;
        EXPECT_EQ(step[axis].high, 99) << axis;
        EXPECT_EQ(end[axis].low, 18) << axis;
        EXPECT_EQ(end[axis].high, 53) << axis;
        EXPECT_EQ(back[axis].low, 0) << axis;
        EXPECT_EQ(back[axis].high, 17) << axis;
    }
}

// ---------------------------------------------------------------------------------------------
// Straight

struct Delta {
    double dx;
    double dy;
};
Delta DirectionDelta(int rndm) {
    switch (rndm) {
        case 0:
            return {16, 0};
        case 1:
            return {0, 16};
        case 2:
            return {-16, 0};
        case 3:
            return {0, -16};
        default:
            return {0, 0};
    }
}

TEST_F(MotionTest, FreshRecordFirstCountsDownAndMovesRightThenDraws) {
    FakeWindow w(3000, 4000, 900, 900);
    w.info.xPos = 3000.0f;
    w.info.yPos = 4000.0f;
    MoveStraight(w, screen);
    ExpectCall(0);
    EXPECT_EQ(Rng(), model);
    EXPECT_EQ(w.info.rndx, -1);
    EXPECT_EQ(w.info.rndm, 0);
    EXPECT_EQ(w.info.xPos, 3016.0f);
    EXPECT_EQ(w.info.yPos, 4000.0f);
    const std::vector<std::pair<char, double>> placed = {{'L', 3016.0}, {'T', 4000.0}};
    EXPECT_EQ(w.moves, placed);

    MoveStraight(w, screen);
    const auto r = ExpectCall(2);
    EXPECT_EQ(Rng(), model);
    EXPECT_EQ(w.info.rndx, static_cast<int>(Floor(r[0], 50, 50)));
    EXPECT_EQ(w.info.rndm, static_cast<int>(Floor(r[1], 4, 0)));
    const Delta d = DirectionDelta(w.info.rndm);
    EXPECT_EQ(w.info.xPos, F(3016.0 + d.dx));
    EXPECT_EQ(w.info.yPos, F(4000.0 + d.dy));
}

TEST_F(MotionTest, OneDirectionLastsItsCountPlusTwoTicks) {
    for (std::uint64_t seed : {3u, 17u, 99u, 1234u}) {
        SeedBoth(seed);
        FakeWindow w(9000, 7000, 600, 600);
        w.info.xPos = 9000.0f;
        w.info.yPos = 7000.0f;
        w.info.rndx = -1;
        MoveStraight(w, screen);
        const auto r = ExpectCall(2);
        const int n = static_cast<int>(Floor(r[0], 50, 50));
        const int direction = static_cast<int>(Floor(r[1], 4, 0));
        ASSERT_EQ(w.info.rndx, n);
        ASSERT_EQ(w.info.rndm, direction);
        const Delta d = DirectionDelta(direction);
        for (int tick = 2; tick <= n + 2; ++tick) {
            const float x = w.info.xPos;
            const float y = w.info.yPos;
            MoveStraight(w, screen);
            ExpectCall(0);
            ASSERT_EQ(Rng(), model) << "tick " << tick << " of " << n + 2 << " drew";
            ASSERT_EQ(w.info.xPos, F(D(x) + d.dx));
            ASSERT_EQ(w.info.yPos, F(D(y) + d.dy));
        }
        EXPECT_EQ(w.info.rndx, -1);
        MoveStraight(w, screen);
        const auto next = ExpectCall(2);
        EXPECT_EQ(Rng(), model) << "a new direction is due after " << n + 2 << " ticks";
        EXPECT_EQ(w.info.rndx, static_cast<int>(Floor(next[0], 50, 50)));
    }
}

TEST_F(MotionTest, StraightWrapsOnlyBeyondTheEdge) {
    const double W = screen.width;
    const double H = screen.height;
    struct Case {
        int direction;
        float x, y;
        float wantX, wantY;
    };
    const Case cases[] = {
        {0, F(W - 1000 - 16), 500, F(W - 1000), 500},  // right edges touch: stays
        {0, F(W - 1000 - 15), 500, 0, 500},            // one twip beyond: to the left edge
        {1, 500, F(H - 800 - 16), 500, F(H - 800)},    // bottom edges touch: stays
        {1, 500, F(H - 800 - 15), 500, 0},             // beyond: to the top
        {2, 16, 500, 0, 500},                          // at the left edge: stays
        {2, 15, 500, F(W - 1000), 500},                // beyond: flush with the right edge
        {3, 500, 16, 500, 0},                          // at the top: stays
        {3, 500, 15.5f, 500, F(H - 800)},              // beyond: flush with the bottom edge
    };
    for (const Case& c : cases) {
        FakeWindow w(0, 0, 1000, 800);
        w.info.rndm = c.direction;
        w.info.rndx = 10;
        w.info.xPos = c.x;
        w.info.yPos = c.y;
        MoveStraight(w, screen);
        EXPECT_EQ(w.info.xPos, c.wantX) << c.direction << " " << c.x << " " << c.y;
        EXPECT_EQ(w.info.yPos, c.wantY) << c.direction << " " << c.x << " " << c.y;
        const std::vector<std::pair<char, double>> placed = {{'L', D(c.wantX)}, {'T', D(c.wantY)}};
        EXPECT_EQ(w.moves, placed);
    }
}

TEST_F(MotionTest, StraightTakesTheWindowSizeToTheNearestTwip) {
    // 1000.4 counts as 1000: the right edges touch, no wrap.
    FakeWindow narrow(0, 0, 1000.4, 800);
    narrow.info.rndx = 10;
    narrow.info.xPos = F(screen.width - 1000.0 - 16.0);
    MoveStraight(narrow, screen);
    EXPECT_EQ(narrow.info.xPos, F(screen.width - 1000.0));

    // 999.6 counts as 1000 too: half a twip beyond wraps, and the left wrap lands at W - 1000.
    FakeWindow wide(0, 0, 999.6, 800);
    wide.info.rndx = 10;
    wide.info.xPos = F(screen.width - 1000.0 - 15.5);
    MoveStraight(wide, screen);
    EXPECT_EQ(wide.info.xPos, 0.0f);
    wide.info.rndm = 2;
    wide.info.xPos = 10.0f;
    MoveStraight(wide, screen);
    EXPECT_EQ(wide.info.xPos, F(screen.width - 1000.0));
}

// ---------------------------------------------------------------------------------------------
// Floating

bool NoPause(Random& g) {
    g.Next();
    g.Next();
    return std::floor(D(g.Next()) * 250.0) != 3;
}

// One moving floating step computed the long way: double arithmetic, float storage.
CharaInfo ExpectedFloatingStep(CharaInfo c, const std::vector<double>& r, double W, double H,
                               double w, double h) {
    std::size_t k = 0;
    c.xis = F(D(c.xis) + D(c.xi));
    if (c.xis > c.xie) {
        c.xi = F(Floor(r[k++], 100, 30) / 10000.0);
        c.xie = F(Floor(r[k++], 36, 18));
        c.xis = F(D(c.xie) - Floor(r[k++], 18, 0));
    }
    c.yis = F(D(c.yis) + D(c.yi));
    if (c.yis > c.yie) {
        c.yi = F(Floor(r[k++], 100, 30) / 1000.0);
        c.yie = F(Floor(r[k++], 36, 18));
        c.yis = F(D(c.yie) - Floor(r[k++], 18, 0));
    }
    c.xPos = F(D(c.xPos) + Floor(r[k++], 30, 20) * std::cos(D(c.xis)));
    c.yPos = F(D(c.yPos) + Floor(r[k++], 30, 20) * std::sin(D(c.yis)));
    if (c.yPos < 0)
        c.yPos = F(H - h);
    if (D(c.yPos) + h > H)
        c.yPos = 0;
    if (D(c.xPos) + w > W)
        c.xPos = 0;
    if (c.xPos < 0)
        c.xPos = F(W - w);
    if (std::floor(r[k++] * 250.0) == 3)
        c.nwait = static_cast<int>(Floor(r[k++], 10, 0)) * 50;
    return c;
}

TEST_F(MotionTest, FloatingStepMatchesDoubleArithmeticStoredAsFloat) {
    // Records on both sides of the renewal threshold, with fractional positions that make
    // single-precision arithmetic round differently.
    struct Start {
        float xi, xis, xie, yi, yis, yie;
        int draws;
    };
    const Start starts[] = {
        {0.0071f, 20.3f, 40.0f, 0.053f, 10.7f, 30.0f, 3},     // no renewal
        {0.0129f, 39.995f, 40.0f, 0.053f, 10.7f, 30.0f, 6},   // x renews
        {0.0071f, 20.3f, 40.0f, 0.129f, 29.95f, 30.0f, 6},    // y renews
        {0.0129f, 39.995f, 40.0f, 0.129f, 29.95f, 30.0f, 9},  // both: x draws first
    };
    // Far from the origin the float spacing of the position dwarfs that of the step; near it
    // they are alike, which is where rounding the step to float first would show.
    struct Place {
        float x, dx, y, dy;
    };
    const Place places[] = {{5000.3f, 17.77f, 4000.7f, 13.13f}, {30.3f, 0.2113f, 200.3f, 0.37f}};
    for (const Start& s : starts) {
        for (const Place& p : places) {
            for (std::uint64_t seed = 1; seed <= 150; ++seed) {
                SeedBoth(seed);
                FakeWindow w(0, 0, 1350, 1110);
                w.info.xi = s.xi;
                w.info.xis = s.xis;
                w.info.xie = s.xie;
                w.info.yi = s.yi;
                w.info.yis = s.yis;
                w.info.yie = s.yie;
                w.info.xPos = p.x + static_cast<float>(seed) * p.dx;
                w.info.yPos = p.y + static_cast<float>(seed) * p.dy;
                const CharaInfo before = w.info;
                MoveFloating(w, screen);
                Random peek = model;
                peek.Reseed(kClock);
                for (int i = 0; i < s.draws - 1; ++i)
                    peek.Next();
                const bool pause = std::floor(D(peek.Next()) * 250.0) == 3;
                const auto r = ExpectCall(s.draws + (pause ? 1 : 0));
                ASSERT_EQ(Rng(), model) << "seed " << seed;
                const CharaInfo want =
                    ExpectedFloatingStep(before, r, screen.width, screen.height, 1350, 1110);
                ASSERT_EQ(w.info, want) << "seed " << seed << " draws " << s.draws;
                const std::vector<std::pair<char, double>> placed = {{'L', D(want.xPos)},
                                                                     {'T', D(want.yPos)}};
                ASSERT_EQ(w.moves, placed);
            }
        }
    }
}

TEST_F(MotionTest, FloatingPhaseEqualToItsEndIsNotRenewed) {
    SeedBoth(FindSeed(NoPause));
    FakeWindow w(0, 0, 900, 900);
    w.info.xPos = 5000.0f;
    w.info.yPos = 5000.0f;
    w.info.xi = 0.5f;
    w.info.xis = 17.5f;
    w.info.xie = 18.0f;
    w.info.yi = 0.25f;
    w.info.yis = 29.75f;
    w.info.yie = 30.0f;
    MoveFloating(w, screen);
    ExpectCall(3);
    EXPECT_EQ(Rng(), model);
    EXPECT_EQ(w.info.xis, 18.0f);
    EXPECT_EQ(w.info.xi, 0.5f);
    EXPECT_EQ(w.info.xie, 18.0f);
    EXPECT_EQ(w.info.yis, 30.0f);
    EXPECT_EQ(w.info.yi, 0.25f);
    EXPECT_EQ(w.info.yie, 30.0f);
}

TEST_F(MotionTest, FloatingPauseHoldsExactlyItsLength) {
    const std::uint64_t seed = FindSeed([](Random& g) {
        g.Next();
        g.Next();
        return std::floor(D(g.Next()) * 250.0) == 3 && std::floor(D(g.Next()) * 10.0) >= 1;
    });
    SeedBoth(seed);
    FakeWindow w(0, 0, 900, 900);
    w.info.xPos = 5000.0f;
    w.info.yPos = 5000.0f;
    w.info.xi = 0.01f;
    w.info.xis = 1.0f;
    w.info.xie = 50.0f;
    w.info.yi = 0.01f;
    w.info.yis = 1.0f;
    w.info.yie = 50.0f;
    MoveFloating(w, screen);
    const auto r = ExpectCall(4);
    ASSERT_EQ(Rng(), model);
    const int n = static_cast<int>(Floor(r[3], 10, 0)) * 50;
    ASSERT_EQ(w.info.nwait, n);
    ASSERT_EQ(w.moves.size(), 2u);
    const CharaInfo paused = w.info;
    for (int tick = 1; tick <= n; ++tick) {
        MoveFloating(w, screen);
        ExpectCall(0);
        ASSERT_EQ(Rng(), model) << "a pausing tick draws nothing";
        ASSERT_EQ(w.info.nwait, n - tick);
        ASSERT_EQ(w.moves.size(), 2u) << "moved during the pause at tick " << tick;
    }
    CharaInfo rest = w.info;
    rest.nwait = paused.nwait;
    EXPECT_EQ(rest, paused) << "a pause changes nothing but its count";
    MoveFloating(w, screen);
    EXPECT_EQ(w.moves.size(), 4u) << "the tick after the pause moves";
}

TEST_F(MotionTest, FloatingWaitOfOneSkipsOneTick) {
    SeedBoth(FindSeed(NoPause));
    FakeWindow w(0, 0, 900, 900);
    w.info.xPos = 5000.0f;
    w.info.yPos = 5000.0f;
    w.info.nwait = 1;
    w.info.xis = 0.0f;
    w.info.xie = 18.0f;
    w.info.yie = 18.0f;
    MoveFloating(w, screen);
    ExpectCall(0);
    EXPECT_EQ(Rng(), model);
    EXPECT_EQ(w.info.nwait, 0);
    EXPECT_TRUE(w.moves.empty());
    EXPECT_EQ(w.info.xPos, 5000.0f);

    SeedBoth(FindSeed(NoPause));
    MoveFloating(w, screen);
    EXPECT_EQ(w.moves.size(), 2u);
    EXPECT_GT(w.info.xPos, 5000.0f);  // cos 0 = 1: moved right by 20 to 49
}

TEST_F(MotionTest, FloatingNegativeWaitEndsThePause) {
    FakeWindow w(0, 0, 900, 900);
    w.info.nwait = INT_MIN;
    MoveFloating(w, screen);
    EXPECT_EQ(w.info.nwait, 0);
    EXPECT_TRUE(w.moves.empty());
}

TEST_F(MotionTest, FloatingZeroStepDriftsForGood) {
    FakeWindow w(0, 0, 900, 900);
    w.info.xPos = 1000.0f;
    w.info.yPos = 7000.0f;
    w.info.xi = 0.0f;
    w.info.xis = 1.0f;
    w.info.xie = 18.0f;
    w.info.yi = 0.0f;
    w.info.yis = 0.0f;  // sin 0 = 0: no vertical drift
    w.info.yie = 18.0f;
    const double cos1 = std::cos(1.0f);
    int moving = 0;
    int wraps = 0;
    for (int tick = 0; tick < 3000; ++tick) {
        const float x = w.info.xPos;
        const std::size_t movesBefore = w.moves.size();
        MoveFloating(w, screen);
        ASSERT_EQ(w.info.xi, 0.0f);
        ASSERT_EQ(w.info.xis, 1.0f);
        ASSERT_EQ(w.info.xie, 18.0f);
        ASSERT_EQ(w.info.yPos, 7000.0f);
        if (w.moves.size() == movesBefore) {
            continue;  // pausing
        }
        ++moving;
        if (w.info.xPos == 0.0f) {
            ++wraps;
            continue;
        }
        const double dx = D(w.info.xPos) - D(x);
        ASSERT_GE(dx, 20 * cos1 - 0.01) << tick;
        ASSERT_LE(dx, 49 * cos1 + 0.01) << tick;
    }
    EXPECT_GT(moving, 100);
    EXPECT_GT(wraps, 0);
}

TEST_F(MotionTest, FloatingWrapsVerticallyFirstAndLandsFlush) {
    const double W = screen.width;
    const double H = screen.height;
    const float up = F(-std::numbers::pi / 2);
    const float down = F(std::numbers::pi / 2);
    const float right = 0.0f;
    const float left = F(std::numbers::pi);
    struct Case {
        const char* what;
        float xis, yis, x, y, h;
        float wantX, wantY;
    };
    const Case cases[] = {
        // Out at the top: flush with the bottom, and the strict bottom test does not then fire.
        {"top", down, up, 5000, 5, 800, -1, F(H - 800)},
        {"bottom", down, down, 5000, F(H - 800 - 5), 800, -1, 0},
        {"right", right, down, F(W - 1000 - 5), 5000, 800, 0, -1},
        {"left", left, down, 5, 5000, 800, F(W - 1000), -1},
        // A window taller than the screen leaving at the top: the top test comes first, so it
        // goes to H - h (above the screen), not to 0.
        {"tall", down, up, 5000, -10, F(H + 1000), -1, -1000},
    };
    SeedBoth(FindSeed(NoPause));
    const Random start = Rng();
    for (const Case& c : cases) {
        Rng() = start;
        FakeWindow w(0, 0, 1000, c.h);
        w.info.xis = c.xis;
        w.info.yis = c.yis;
        w.info.xie = 18.0f;
        w.info.yie = 18.0f;
        w.info.xPos = c.x;
        w.info.yPos = c.y;
        MoveFloating(w, screen);
        if (c.wantX != -1) {
            EXPECT_EQ(w.info.xPos, c.wantX) << c.what;
        }
        if (c.wantY != -1) {
            EXPECT_EQ(w.info.yPos, c.wantY) << c.what;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Bouncing

TEST_F(MotionTest, FreshRecordDriftsRightWhileFalling) {
    FakeWindow w(2000, 1000, 900, 900);
    InitMotion(w);
    ExpectCall(6);
    float y = 1000.0f;
    for (int tick = 1; tick <= 20; ++tick) {
        MoveBouncing(w, screen);
        ExpectCall(0);
        ASSERT_EQ(Rng(), model);
        y = F(D(y) + tick);
        EXPECT_EQ(w.info.yVeloc, static_cast<float>(tick));
        EXPECT_EQ(w.info.xPos, F(2000.0 + 18.0 * tick));
        EXPECT_EQ(w.info.yPos, y);
        EXPECT_EQ(w.info.xVelocInit, 18.0f);
        EXPECT_EQ(w.info.ixVelocInit, 1.0f);
    }
    const std::pair<char, double> lastLeft{'L', 2000.0 + 18.0 * 20};
    const std::pair<char, double> lastTop{'T', D(y)};
    ASSERT_GE(w.moves.size(), 2u);
    EXPECT_EQ(w.moves[w.moves.size() - 2], lastLeft);
    EXPECT_EQ(w.moves.back(), lastTop);
}

TEST_F(MotionTest, BouncingLaunchesWhenTheBottomReachesTheFloor) {
    const double floorLine = screen.floorLine;
    // After gravity the bottom edge is exactly on the floor: launched (the test includes equality).
    FakeWindow on(0, 0, 900, 700);
    on.info.xPos = 5000.0f;
    on.info.yPos = F(floorLine - 700 - 1);
    on.info.xVelocInit = 5.0f;
    MoveBouncing(on, screen);
    const auto r = ExpectCall(2);
    EXPECT_EQ(Rng(), model);
    EXPECT_EQ(on.info.xVelocInit, F(Floor(r[0], 70, -35)));
    EXPECT_EQ(on.info.ixVelocInit, on.info.xVelocInit);
    EXPECT_EQ(on.info.yVeloc, F(-Floor(r[1], 100, 50)));
    EXPECT_EQ(on.info.yPos, F(floorLine - 700));
    EXPECT_EQ(on.info.xPos, 5005.0f) << "the sideways step of this tick uses the old speed";

    // One twip above the floor: falls on.
    FakeWindow above(0, 0, 900, 700);
    above.info.xPos = 5000.0f;
    above.info.yPos = F(floorLine - 700 - 2);
    MoveBouncing(above, screen);
    ExpectCall(0);
    EXPECT_EQ(Rng(), model);
    EXPECT_EQ(above.info.yPos, F(floorLine - 701));
    EXPECT_EQ(above.info.yVeloc, 1.0f);

    // Far below the floor: launched and set onto it.
    FakeWindow below(0, 0, 900, 700);
    below.info.xPos = 5000.0f;
    below.info.yPos = F(floorLine + 3000);
    MoveBouncing(below, screen);
    ExpectCall(2);
    EXPECT_EQ(below.info.yPos, F(floorLine - 700));
    EXPECT_LT(below.info.yVeloc, 0.0f);
}

TEST_F(MotionTest, BouncingReadsTheFloorLineAtEveryStep) {
    FakeWindow w(0, 0, 900, 700);
    w.info.xPos = 5000.0f;
    w.info.yPos = 12000.0f;
    w.info.xVelocInit = 0.0f;
    screen.floorLine = 12000;  // bottom already below: launch
    MoveBouncing(w, screen);
    EXPECT_EQ(w.info.yPos, 11300.0f);
    screen.floorLine = 9000;  // the taskbar grew: the character is below the new line
    MoveBouncing(w, screen);
    EXPECT_EQ(w.info.yPos, 8300.0f);
    screen.floorLine = 14000;
    const float before = w.info.yPos;
    MoveBouncing(w, screen);
    EXPECT_LT(w.info.yPos, before) << "flying up again, no launch";
}

TEST_F(MotionTest, BouncingEdgesClampAndReverseBothSpeeds) {
    const double W = screen.width;
    struct Case {
        const char* what;
        float x, speed, copy;
        float wantX, wantSpeed, wantCopy;
    };
    const Case cases[] = {
        {"touching right", F(W - 900 - 20), 20, 7, F(W - 900), 20, 7},
        {"beyond right", F(W - 900 - 19), 20, 7, F(W - 900), -20, -7},
        {"touching left", 20, -20, 3, 0, -20, 3},
        {"beyond left", 19.5f, -20, 3, 0, 20, -3},
    };
    for (const Case& c : cases) {
        FakeWindow w(0, 0, 900, 700);
        w.info.xPos = c.x;
        w.info.yPos = 1000.0f;
        w.info.xVelocInit = c.speed;
        w.info.ixVelocInit = c.copy;
        MoveBouncing(w, screen);
        EXPECT_EQ(w.info.xPos, c.wantX) << c.what;
        EXPECT_EQ(w.info.xVelocInit, c.wantSpeed) << c.what;
        EXPECT_EQ(w.info.ixVelocInit, c.wantCopy) << c.what;
        const std::vector<std::pair<char, double>> placed = {{'L', D(c.wantX)}, {'T', 1001.0}};
        EXPECT_EQ(w.moves, placed) << c.what;
    }
}

TEST_F(MotionTest, BouncingLaunchComesBeforeTheEdgeTest) {
    // Landing beyond the right edge: the freshly drawn speed is the one reversed.
    FakeWindow w(0, 0, 900, 700);
    w.info.xPos = F(screen.width - 900 - 10);
    w.info.yPos = F(screen.floorLine);
    w.info.xVelocInit = 30.0f;
    MoveBouncing(w, screen);
    const auto r = ExpectCall(2);
    const float drawn = F(Floor(r[0], 70, -35));
    EXPECT_EQ(w.info.xVelocInit, -drawn);
    EXPECT_EQ(w.info.ixVelocInit, -drawn);
    EXPECT_EQ(w.info.xPos, F(screen.width - 900));
}

TEST_F(MotionTest, BouncingLaunchSpeedsCoverTheirRanges) {
    float minX = 1000, maxX = -1000, minY = 1000, maxY = -1000;
    for (int launch = 0; launch < 20000; ++launch) {
        FakeWindow w(0, 0, 900, 700);
        w.info.xPos = 5000.0f;
        w.info.yPos = F(screen.floorLine);
        MoveBouncing(w, screen);
        const CharaInfo& c = w.info;
        ASSERT_EQ(c.xVelocInit, std::floor(c.xVelocInit));
        ASSERT_EQ(c.yVeloc, std::floor(c.yVeloc));
        ASSERT_EQ(c.ixVelocInit, c.xVelocInit);
        minX = std::min(minX, c.xVelocInit);
        maxX = std::max(maxX, c.xVelocInit);
        minY = std::min(minY, c.yVeloc);
        maxY = std::max(maxY, c.yVeloc);
    }
    EXPECT_EQ(minX, -35.0f);
    EXPECT_EQ(maxX, 34.0f);
    EXPECT_EQ(minY, -149.0f);
    EXPECT_EQ(maxY, -50.0f);
}

}  // namespace
}  // namespace tovalin::motion
