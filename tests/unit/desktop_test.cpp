// The desktop of several monitors: its geometry, the scale a character takes on it, and the
// modes moving over it.
#include "platform/desktop.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "motion/motion.h"
#include "motion/random.h"

namespace tovalin {
namespace {

using platform::Area;
using platform::Desktop;
using platform::Monitor;

Monitor M(double left, double top, double width, double height, int dpi = 96, bool primary = false,
          double taskbar = 0.0) {
    const Area bounds{left, top, left + width, top + height};
    return {bounds, {left, top, left + width, top + height - taskbar}, dpi, primary};
}

struct Layout {
    const char* name;
    std::vector<Monitor> monitors;
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name;
}

// In pixels × 15 (twips at 96 dpi): a smaller monitor right of the primary (a dead zone below
// it), one left of the primary (negative coordinates) with a taskbar, and one lower than the
// primary with a dead zone above it.
const std::vector<Layout>& Layouts() {
    static const std::vector<Layout> layouts{
        {"right", {M(0, 0, 15360, 11520, 96, true), M(15360, 0, 12000, 9000)}},
        {"left", {M(0, 0, 15360, 11520, 96, true, 600), M(-12000, 0, 12000, 11520)}},
        {"stepped", {M(0, 0, 12000, 15000, 96, true), M(12000, 6000, 12000, 9000)}},
    };
    return layouts;
}

TEST(Desktop, PutsThePrimaryFirstAndCountsAMirrorOnce) {
    const Desktop desktop(
        {M(1000, 0, 500, 500), M(0, 0, 1000, 800, 96, true), M(1000, 0, 500, 500)});
    ASSERT_EQ(desktop.Monitors().size(), 2u);
    EXPECT_TRUE(desktop.Primary().primary);
    EXPECT_TRUE(desktop.Several());
}

TEST(Desktop, AnswersWhereThingsAre) {
    const Desktop desktop(
        Layouts()[0].monitors);  // right: 0..15360 × 0..11520, 15360..27360 × 0..9000
    struct Case {
        Area area;
        bool shown;
        int nearest;  // index of the monitor
    };
    const Case cases[] = {
        {{100, 100, 835, 1060}, true, 0},
        {{15000, 100, 16000, 1060}, true, 1},     // across the seam
        {{15000, 8500, 16000, 9500}, false, 1},   // its right part in the dead zone
        {{20000, 9500, 20735, 10460}, false, 1},  // under the smaller monitor
        {{27000, 100, 28000, 1060}, false, 1},    // beyond the desktop's right edge
        {{-600, -600, -100, -100}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.area.left << "," << c.area.top);
        EXPECT_EQ(desktop.Shows(c.area), c.shown);
        EXPECT_EQ(&desktop.Nearest(c.area), &desktop.Monitors()[c.nearest]);
    }
    EXPECT_EQ(desktop.At(20000, 9500), nullptr);
    EXPECT_EQ(desktop.Below(20000, 9500), &desktop.Monitors()[1]);  // the lowest of its column
    EXPECT_EQ(desktop.Below(30000, 100), nullptr);
    const Desktop stepped(Layouts()[2].monitors);
    EXPECT_EQ(stepped.Below(15000, 100), &stepped.Monitors()[1]);  // falls into the lower one
}

TEST(Desktop, MovesAnAreaInsideTheLeastDistance) {
    const Area within{0, 0, 100, 100};
    EXPECT_EQ(platform::MovedInside({90, -5, 110, 15}, within), (Area{80, 0, 100, 20}));
    EXPECT_EQ(platform::MovedInside({10, 10, 20, 20}, within), (Area{10, 10, 20, 20}));
    EXPECT_EQ(platform::MovedInside({-50, 0, 150, 10}, within), (Area{0, 0, 200, 10}));
}

// Wine gives every monitor the same resolution; the choice of scale for mixed ones is covered
// here.
TEST(Desktop, ACharacterTakesTheScaleOfTheMonitorUnderItsCentre) {
    const Desktop desktop({M(0, 0, 1920, 1080, 96, true), M(1920, 0, 3840, 2160, 192),
                           M(-1280, 0, 1280, 1024, 144), M(0, 1080, 1920, 1080, 120)});
    struct Case {
        double left;
        double top;
        int scale;
    };
    const Case cases[] = {
        {100, 100, 1},  {2000, 100, 2}, {1900, 100, 2},                   // centre past the seam
        {1850, 100, 1}, {-500, 100, 2}, {100, 1200, 1}, {5000, 5000, 2},  // nearest: 192 dpi
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << "," << c.top);
        EXPECT_EQ(platform::ScaleOnDesktop(desktop, {c.left, c.top, c.left + 98, c.top + 128}),
                  c.scale);
    }
}

}  // namespace

namespace motion {
namespace {

double FixedClock() {
    return 45296.125;
}

class Chara : public MotionWindow {
  public:
    Chara(double left, double top) : left_(left), top_(top) {}
    CharaInfo& Info() override { return info; }
    double LeftTwips() const override { return left_; }
    double TopTwips() const override { return top_; }
    double WidthTwips() const override { return 735; }  // 49 × 64 pixels
    double HeightTwips() const override { return 960; }
    void MoveTwips(double left, double top) override {
        left_ = left;
        top_ = top;
    }
    Area Where() const { return {left_, top_, left_ + 735, top_ + 960}; }

    CharaInfo info;

  private:
    double left_;
    double top_;
};

// Above the desktop's top edge is open sky, as above a single screen.
bool ShownBelowTheSky(const Desktop& desktop, Area area) {
    double top = desktop.Primary().bounds.top;
    for (const Monitor& m : desktop.Monitors())
        top = std::min(top, m.bounds.top);
    area.top = std::max(area.top, top);
    return desktop.Shows(area);
}

struct NoScreen : Screen {
    float WidthTwips() const override { return 0; }
    float HeightTwips() const override { return 0; }
    std::int32_t FloorLineTwips() const override { return 0; }
};

class AcrossMonitors : public ::testing::TestWithParam<Layout> {
  protected:
    void SetUp() override {
        SetTimerSource(&FixedClock);
        Rng().Seed(7);
    }
    void TearDown() override { SetTimerSource(nullptr); }

    // Three characters in the middle of each monitor, `ticks` ticks of `mode`: no position
    // is ever one that no monitor shows. Returns, per character, the monitors it was on.
    std::vector<std::set<const Monitor*>> Run(MoveMode mode, int ticks,
                                              std::set<double>* landings = nullptr) {
        const Desktop desktop(GetParam().monitors);
        std::vector<Chara> charas;
        for (const Monitor& m : desktop.Monitors())
            charas.emplace_back(m.work.CentreX(), m.work.CentreY());
        std::vector<MotionWindow*> views;
        for (Chara& c : charas) {
            InitMotion(c);
            views.push_back(&c);
        }
        std::vector<std::set<const Monitor*>> visited(charas.size());
        for (int t = 0; t < ticks; ++t) {
            MotionTick(views, mode, NoScreen(), &desktop);
            for (std::size_t i = 0; i < charas.size(); ++i) {
                const Area at = charas[i].Where();
                EXPECT_TRUE(ShownBelowTheSky(desktop, at))
                    << "tick " << t << ": character " << i << " at " << at.left << "," << at.top;
                if (const Monitor* m = desktop.At(at.CentreX(), at.CentreY()))
                    visited[i].insert(m);
                if (landings && at.bottom == desktop.Nearest(at).work.bottom)
                    landings->insert(at.bottom);
            }
            if (HasFailure())
                break;
        }
        return visited;
    }
};

bool SomeoneCrossed(const std::vector<std::set<const Monitor*>>& visited) {
    for (const auto& monitors : visited) {
        if (monitors.size() > 1)
            return true;
    }
    return false;
}

TEST_P(AcrossMonitors, StraightCrossesSeamsAndWrapsWithoutEnteringDeadZones) {
    EXPECT_TRUE(SomeoneCrossed(Run(MoveMode::kStraight, 20000)));
}

TEST_P(AcrossMonitors, FloatingDriftsOnlyWhereANeighbourTouches) {
    EXPECT_TRUE(SomeoneCrossed(Run(MoveMode::kFloating, 20000)));
}

TEST_P(AcrossMonitors, BouncingLandsOnEveryMonitorsOwnFloor) {
    std::set<double> landings;
    EXPECT_TRUE(SomeoneCrossed(Run(MoveMode::kBouncing, 20000, &landings)));
    std::set<double> floors;
    for (const Monitor& m : GetParam().monitors)
        floors.insert(m.work.bottom);
    EXPECT_EQ(landings, floors);
}

INSTANTIATE_TEST_SUITE_P(Layouts, AcrossMonitors, ::testing::ValuesIn(Layouts()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(BringBack, OnlyACharacterNoMonitorShowsComesBackIntoTheNearestWorkArea) {
    const Desktop desktop(Layouts()[1].monitors);  // left, the primary with a taskbar
    Chara away(20000, 11000);                      // right of the primary, low
    EXPECT_TRUE(BringBack(away, desktop));
    EXPECT_EQ(away.Where(), (Area{15360 - 735, 11520 - 600 - 960, 15360, 11520 - 600}));
    EXPECT_EQ(static_cast<double>(away.info.xPos), 15360 - 735);
    Chara home(-5000, 100);
    EXPECT_FALSE(BringBack(home, desktop));
    EXPECT_EQ(home.Where().left, -5000);
}

}  // namespace
}  // namespace motion
}  // namespace tovalin
