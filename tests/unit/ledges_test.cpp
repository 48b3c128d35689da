#include "motion/ledges.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "motion/random.h"

namespace tovalin::motion {
namespace {

using platform::Area;

constexpr double kPx = 15.0;  // twips per pixel at 96 dpi

Area Px(double left, double top, double right, double bottom) {
    return {left * kPx, top * kPx, right * kPx, bottom * kPx};
}

// One 1280 × 1024 monitor whose work area ends at 1000 (a taskbar below).
platform::Desktop OneMonitor() {
    return platform::Desktop({{Px(0, 0, 1280, 1024), Px(0, 0, 1280, 1000), 96, true}});
}

TEST(Ledges, RoleOfAWindowFollowsWhatTheSystemSaysOfIt) {
    const platform::Desktop desktop = OneMonitor();
    struct Case {
        const char* name;
        WindowTraits traits;
        WindowRole role;
    };
    const Area normal = Px(100, 200, 500, 400);
    const Case cases[] = {
        {"an ordinary window", {.rect = normal, .visible = true}, WindowRole::kLedge},
        {"hidden", {.rect = normal}, WindowRole::kNothing},
        {"minimised", {.rect = normal, .visible = true, .minimised = true}, WindowRole::kNothing},
        {"cloaked", {.rect = normal, .visible = true, .cloaked = true}, WindowRole::kNothing},
        {"the player's own", {.rect = normal, .visible = true, .ours = true}, WindowRole::kNothing},
        {"empty", {.rect = Px(10, 10, 10, 50), .visible = true}, WindowRole::kNothing},
        {"a tool window", {.rect = normal, .visible = true, .tool = true}, WindowRole::kCovers},
        {"the taskbar",
         {.rect = Px(0, 1000, 1280, 1024), .visible = true, .shell = true},
         WindowRole::kCovers},
        {"over the whole monitor",
         {.rect = Px(-8, -8, 1288, 1032), .visible = true},
         WindowRole::kCovers},
        {"maximised into the work area",
         {.rect = Px(0, 0, 1280, 1000), .visible = true},
         WindowRole::kLedge},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RoleOf(c.traits, desktop), c.role) << c.name;
}

// What is left of a window's top edge once the windows above it have covered their part.
TEST(Ledges, VisibleLedgesCutAwayWhatWindowsAboveCover) {
    struct Case {
        const char* name;
        std::vector<TopWindow> zOrder;  // top first
        std::vector<Ledge> expected;
    };
    const TopWindow low{1, Px(100, 500, 600, 800), true};
    const Case cases[] = {
        {"alone", {low}, {{1, 500 * kPx, 100 * kPx, 600 * kPx}}},
        {"covered in the middle",
         {{2, Px(200, 400, 300, 700), true}, low},
         {{2, 400 * kPx, 200 * kPx, 300 * kPx},
          {1, 500 * kPx, 100 * kPx, 200 * kPx},
          {1, 500 * kPx, 300 * kPx, 600 * kPx}}},
        {"a window below covers nothing",
         {low, {2, Px(200, 400, 300, 700), true}},
         {{1, 500 * kPx, 100 * kPx, 600 * kPx}, {2, 400 * kPx, 200 * kPx, 300 * kPx}}},
        {"covering the left end by a window that is no ledge",
         {{2, Px(50, 450, 250, 550), false}, low},
         {{1, 500 * kPx, 250 * kPx, 600 * kPx}}},
        {"a window above ending where the edge begins covers none of it",
         {{2, Px(0, 300, 1000, 500), false}, low},
         {{1, 500 * kPx, 100 * kPx, 600 * kPx}}},
        {"a window above beginning on the edge's line covers it",
         {{2, Px(0, 500, 350, 900), false}, low},
         {{1, 500 * kPx, 350 * kPx, 600 * kPx}}},
        {"covered whole", {{2, Px(0, 0, 1280, 1000), false}, low}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VisibleLedges(c.zOrder), c.expected) << c.name;
}

TEST(Ledges, AFallMeetsTheHighestLedgeHoldingHalfTheFeet) {
    const std::vector<Ledge> ledges = {{1, 600, 0, 1000}, {2, 400, 500, 800}, {3, 300, 0, 240}};
    struct Case {
        const char* name;
        double left, right, from, to;
        std::optional<std::uintptr_t> expected;
    };
    const Case cases[] = {
        {"the higher of two", 500, 700, 100, 900, 2},
        {"half the feet is enough", 0, 480, 100, 310, 3},
        {"less than half is not", 0, 490, 100, 350, std::nullopt},
        {"only ledges between from and to", 500, 700, 401, 599, std::nullopt},
        {"from and to count", 500, 700, 400, 400, 2},
        {"beside the higher ledges, the lower", 250, 450, 100, 900, 1},
    };
    for (const Case& c : cases) {
        const auto found = FirstLedgeBetween(ledges, c.left, c.right, c.from, c.to);
        EXPECT_EQ(found ? std::optional(found->window) : std::nullopt, c.expected) << c.name;
    }
}

// A character 49 × 64 pixels.
class Character : public MotionWindow {
  public:
    CharaInfo& Info() override { return info; }
    double LeftTwips() const override { return left; }
    double TopTwips() const override { return top; }
    double WidthTwips() const override { return 49 * kPx; }
    double HeightTwips() const override { return 64 * kPx; }
    void MoveTwips(double l, double t) override {
        left = l;
        top = t;
    }
    double Bottom() const { return top + HeightTwips(); }
    double CentreX() const { return left + WidthTwips() / 2; }

    CharaInfo info;
    double left = 0.0;
    double top = 0.0;
};

// The user's windows in z-order, top first; Check answers as the system would.
class Windows : public LedgeWorld {
  public:
    std::span<const Ledge> Ledges() override {
        std::vector<TopWindow> shown;
        for (const auto& w : zOrder) {
            if (!gone.count(w.id))
                shown.push_back(w);
        }
        ledges_ = VisibleLedges(shown);
        return ledges_;
    }
    std::optional<Area> Check(std::uintptr_t window) override {
        ++checks;
        if (gone.count(window))
            return std::nullopt;
        for (const auto& w : zOrder) {
            if (w.id == window)
                return w.rect;
        }
        return std::nullopt;
    }
    TopWindow& operator[](std::uintptr_t id) {
        for (auto& w : zOrder) {
            if (w.id == id)
                return w;
        }
        throw std::out_of_range("no such window");
    }

    std::vector<TopWindow> zOrder;
    std::map<std::uintptr_t, bool> gone;
    int checks = 0;

  private:
    std::vector<Ledge> ledges_;
};

double FixedClock() {
    return 1234.5;
}

class OnWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        SetTimerSource(&FixedClock);
        Rng().Seed(7);
        chara.MoveTwips(300 * kPx, 100 * kPx);
        chara.info.xPos = static_cast<float>(chara.left);
        chara.info.yPos = static_cast<float>(chara.top);
    }
    void TearDown() override { SetTimerSource(nullptr); }

    void Step(int ticks = 1) {
        for (int i = 0; i < ticks; ++i)
            MoveOnWindows(chara, desktop, windows);
    }
    // Steps until the character stands on something, at most `ticks` times.
    bool StepUntilStanding(int ticks = 400) {
        for (int i = 0; i < ticks; ++i) {
            Step();
            if (chara.LedgeFooting().on != Footing::On::kNothing)
                return true;
        }
        return false;
    }

    platform::Desktop desktop = OneMonitor();
    Windows windows;
    Character chara;
};

TEST_F(OnWindows, FallsUnderGravityAndStandsOnTheEdgeToTheTwip) {
    windows.zOrder = {{1, Px(200, 500, 700, 800), true}};
    const double start = chara.top;
    Step(3);
    EXPECT_EQ(chara.top, start + 1 + 2 + 3) << "one twip faster every tick, from rest";
    ASSERT_TRUE(StepUntilStanding());
    EXPECT_EQ(chara.LedgeFooting().on, Footing::On::kWindow);
    EXPECT_EQ(chara.Bottom(), 500 * kPx);
    EXPECT_EQ(chara.info.yPos + chara.HeightTwips(), 500 * kPx) << "the record follows";
}

TEST_F(OnWindows, LandsOnTheGroundWhereNoWindowHoldsIt) {
    struct Case {
        const char* name;
        std::vector<TopWindow> zOrder;
    };
    const Case cases[] = {
        {"no window", {}},
        {"a window too narrow for half of it", {{1, Px(330, 500, 350, 800), true}}},
        {"a window beside it", {{1, Px(400, 500, 900, 800), true}}},
        {"an edge covered by a window above",
         {{2, Px(250, 480, 420, 520), false}, {1, Px(200, 500, 700, 800), true}}},
    };
    for (const Case& c : cases) {
        SetUp();
        windows.zOrder = c.zOrder;
        ASSERT_TRUE(StepUntilStanding()) << c.name;
        EXPECT_EQ(chara.LedgeFooting().on, Footing::On::kGround) << c.name;
        EXPECT_EQ(chara.Bottom(), 1000 * kPx) << c.name << ": the work area's floor";
    }
}

// The list may be behind the system: a landing is checked, and the stale edge is not used.
TEST_F(OnWindows, ALandingIsCheckedAgainstTheSystem) {
    windows.zOrder = {{1, Px(200, 500, 700, 800), true}};
    struct Stale : Windows {
        std::optional<Area> Check(std::uintptr_t window) override {
            auto now = Windows::Check(window);
            if (now)
                now->top += 100 * kPx;  // the system has it lower than the list says
            return now;
        }
    } stale;
    stale.zOrder = windows.zOrder;
    for (int i = 0; i < 400 && chara.LedgeFooting().on == Footing::On::kNothing; ++i)
        MoveOnWindows(chara, desktop, stale);
    EXPECT_NE(chara.Bottom(), 500 * kPx) << "stood on an edge the system no longer has";
    EXPECT_GT(stale.checks, 0);
}

TEST_F(OnWindows, WalksAtASteadyPaceAndRidesItsWindow) {
    windows.zOrder = {{1, Px(100, 500, 900, 800), true}};
    ASSERT_TRUE(StepUntilStanding());
    const double before = chara.left;
    Step(10);
    EXPECT_EQ(std::abs(chara.left - before), 10 * kWalkStep) << "no turn in the middle of an edge";
    const double offset = chara.left - windows[1].rect.left;
    windows[1].rect = Px(150, 300, 950, 600);  // the user moves the window up and right
    Step();
    EXPECT_EQ(chara.Bottom(), 300 * kPx);
    EXPECT_EQ(std::abs(chara.left - windows[1].rect.left - offset), kWalkStep);
    const double standing = chara.left;
    windows[1].rect.right += 200 * kPx;  // and makes it wider to the right
    windows[1].rect.left -= 100 * kPx;   // and to the left: the character stays where it is
    Step();
    EXPECT_EQ(std::abs(chara.left - standing), kWalkStep);
}

TEST_F(OnWindows, FallsWhenItsWindowGoesOrItsPlaceIsCovered) {
    struct Case {
        const char* name;
        void (*change)(Windows&, const Character&);
    };
    const Case cases[] = {
        {"closed, hidden or minimised", [](Windows& w, const Character&) { w.gone[1] = true; }},
        {"covered by a window raised over it",
         [](Windows& w, const Character& c) {
             const double x = c.left / kPx;
             w.zOrder.insert(w.zOrder.begin(), {2, Px(x - 100, 450, x + 150, 550), true});
         }},
        {"made narrower than half of it",
         [](Windows& w, const Character& c) { w[1].rect.left = c.left + c.WidthTwips() * 0.8; }},
    };
    for (const Case& c : cases) {
        SetUp();
        windows.zOrder = {{1, Px(100, 500, 900, 800), true}};
        windows.gone.clear();
        ASSERT_TRUE(StepUntilStanding()) << c.name;
        c.change(windows, chara);
        Step();
        EXPECT_EQ(chara.LedgeFooting().on, Footing::On::kNothing) << c.name;
        ASSERT_TRUE(StepUntilStanding()) << c.name;
        EXPECT_NE(chara.LedgeFooting().window, 1u) << c.name;
    }
}

// At the end of an edge the character turns or walks off, drawn on every arrival: over many
// arrivals both happen, and it never stands with less than half of itself on the edge.
TEST_F(OnWindows, TurnsOrWalksOffAtTheEndsOfAnEdge) {
    windows.zOrder = {{1, Px(300, 500, 420, 800), true}};
    int fell = 0;
    int turned = 0;
    for (int round = 0; round < 40; ++round) {
        SetUp();
        Rng().Seed(100 + static_cast<std::uint64_t>(round));
        ASSERT_TRUE(StepUntilStanding());
        ASSERT_EQ(chara.LedgeFooting().on, Footing::On::kWindow);
        int direction = chara.LedgeFooting().direction;
        for (int tick = 0; tick < 400; ++tick) {
            Step();
            const Footing& f = chara.LedgeFooting();
            if (f.on != Footing::On::kWindow) {
                ++fell;
                break;
            }
            const Ledge edge{1, 500 * kPx, 300 * kPx, 420 * kPx};
            ASSERT_TRUE(Holds(edge, chara.left, chara.left + chara.WidthTwips()));
            if (f.direction != direction)
                ++turned;
            direction = f.direction;
        }
    }
    EXPECT_GT(fell, 0);
    EXPECT_GT(turned, 0);
}

TEST_F(OnWindows, TurnsAtTheDesktopsEdgesOnTheGround) {
    chara.MoveTwips(1230 * kPx, 900 * kPx);  // 1 pixel from the right edge
    chara.info.xPos = static_cast<float>(chara.left);
    chara.info.yPos = static_cast<float>(chara.top);
    ASSERT_TRUE(StepUntilStanding());
    for (int tick = 0; tick < 2000; ++tick) {
        Step();
        ASSERT_GE(chara.left, 0.0);
        ASSERT_LE(chara.left + chara.WidthTwips(), 1280 * kPx);
        ASSERT_EQ(chara.Bottom(), 1000 * kPx);
    }
}

// Dropped by the user, or moved by another mode: it falls from where it now is.
TEST_F(OnWindows, ADropOrAnotherModesMoveStartsAFallFromThere) {
    windows.zOrder = {{1, Px(100, 500, 900, 800), true}, {2, Px(100, 800, 900, 900), true}};
    ASSERT_TRUE(StepUntilStanding());
    ASSERT_EQ(chara.LedgeFooting().window, 1u);
    chara.MoveTwips(400 * kPx, 650 * kPx);  // the user let go of it here
    chara.LedgeFooting().Drop();
    ASSERT_TRUE(StepUntilStanding());
    EXPECT_EQ(chara.LedgeFooting().window, 2u);
    EXPECT_EQ(chara.Bottom(), 800 * kPx);

    chara.info.yPos = static_cast<float>(100 * kPx);  // another mode had it up here
    Step();
    EXPECT_EQ(chara.LedgeFooting().on, Footing::On::kNothing);
    ASSERT_TRUE(StepUntilStanding());
    EXPECT_EQ(chara.LedgeFooting().window, 1u);
}

}  // namespace
}  // namespace tovalin::motion
