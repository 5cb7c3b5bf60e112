// Where the lamp opens, for one screen and for screens side by side with the primary one not at (0, 0).
#include "lamp/LampPlacement.h"

#include <climits>

#include <gtest/gtest.h>

namespace {

const QSize kLamp(70, 180);

struct SCase
{
    const char* what;
    QPoint stored;
    QPoint expected;
};

void Check(const QRect& primary, const QList<QRect>& screens, std::initializer_list<SCase> cases)
{
    for (const SCase& c : cases)
        EXPECT_EQ(ChooseLampPosition(c.stored, kLamp, primary, screens), c.expected) << c.what;
}

TEST(LampPlacement, OneScreen)
{
    const QRect screen(0, 0, 1024, 768);
    Check(screen, {screen},
          {
              {"the first-run default, the centre", {512, 384}, {512, 384}},
              {"beyond the right edge: that axis only", {3000, 100}, {512, 100}},
              {"beyond the bottom edge", {100, 3000}, {100, 384}},
              {"beyond both", {3000, 3000}, {512, 384}},
              {"partly off the left edge, no lower bound", {-20, 100}, {-20, 100}},
              {"50 of 70 pixels shown at the right", {974, 100}, {974, 100}},
              {"exactly 20 pixels shown", {1004, 748}, {1004, 748}},
              {"19 pixels shown: on no screen", {1005, 100}, {512, 384}},
              {"exactly at the right edge", {1024, 100}, {512, 384}},
              {"far off the left: no axis to correct", {-5000, 100}, {512, 384}},
              {"far off the top", {100, -5000}, {512, 384}},
              {"near the largest values", {INT_MAX, INT_MAX}, {512, 384}},
              {"near the smallest values", {INT_MIN, INT_MIN}, {512, 384}},
          });
}

TEST(LampPlacement, PrimaryOnTheRightOfAnother)
{
    const QRect left(0, 0, 1280, 1024);
    const QRect primary(1280, 0, 1024, 768);
    Check(primary, {left, primary},
          {
              {"the first-run default, the primary's centre", PrimaryCentre(primary), {1792, 384}},
              {"on the primary", {1500, 200}, {1500, 200}},
              {"on the other screen", {100, 800}, {100, 800}},
              {"across both", {1250, 100}, {1250, 100}},
              {"below the primary but on the other, taller screen", {600, 900}, {600, 900}},
              {"beyond the primary's right edge", {5000, 200}, {1792, 200}},
              {"below the primary, right of the other: y corrected", {1500, 900}, {1500, 384}},
          });
}

TEST(LampPlacement, MonitorRemovedSince)
{
    // The lamp was left on a monitor at the right that is gone now.
    const QRect primary(0, 0, 1920, 1080);
    Check(primary, {primary},
          {
              {"where the removed monitor was", {2200, 300}, {960, 300}},
              {"above the screens", {100, -400}, {960, 540}},
          });
}

TEST(LampPlacement, PrimaryWithAnOffsetAndNoScreensKnown)
{
    const QRect primary(-1024, 200, 1024, 768);
    EXPECT_EQ(PrimaryCentre(primary), QPoint(-512, 584));
    EXPECT_EQ(PrimaryCentre(QRect(0, 0, 1023, 767)), QPoint(511, 383)) << "halves are truncated";
    // Without screens only the per-axis rule is left.
    EXPECT_EQ(ChooseLampPosition({5000, 10}, kLamp, primary, {}), QPoint(-512, 10));
}

TEST(LampPlacement, ShownMeansTwentyByTwentyOnOneScreen)
{
    const QList<QRect> screens{QRect(0, 0, 100, 100), QRect(100, 0, 100, 100)};
    EXPECT_TRUE(IsShownOnAScreen(QRect(80, 80, 70, 180), screens));
    EXPECT_FALSE(IsShownOnAScreen(QRect(81, 80, 70, 180), {QRect(0, 0, 100, 100)}));
    EXPECT_FALSE(IsShownOnAScreen(QRect(0, 81, 70, 180), screens));
    // 15 pixels on each of two screens do not add up.
    EXPECT_FALSE(IsShownOnAScreen(QRect(85, 90, 30, 30), {QRect(0, 0, 100, 100), QRect(100, 0, 15, 100)}));
}

} // namespace
