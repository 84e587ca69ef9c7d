#include "gfx/Trig.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(Trig, WithinOneUnitInTheLastPlaceAtEveryCircleAngle)
{
    for (int i = 0; i < 360; ++i) {
        double angle = 2 * (i * 2 * Trig::Pi / 360);
        double c = std::cos(angle), s = std::sin(angle);
        EXPECT_LE(std::fabs(Trig::cos(angle) - c), std::fabs(std::nextafter(c, 2.0) - c)) << "i = " << i;
        EXPECT_LE(std::fabs(Trig::sin(angle) - s), std::fabs(std::nextafter(s, 2.0) - s)) << "i = " << i;
    }
}

TEST(Trig, StaysAccurateOverOtherArguments)
{
    for (double x = -40; x < 40; x += 0.0137) {
        EXPECT_NEAR(Trig::sin(x), std::sin(x), 2e-16) << x;
        EXPECT_NEAR(Trig::cos(x), std::cos(x), 2e-16) << x;
    }
}

// The circles truncate coordinates, so a last-bit difference where r * cos
// lands on a whole number (60 degrees, 90 degrees, ...) would move a dot.
TEST(Trig, CirclePointsMatchTruncatedHostMaths)
{
    for (int r = 1; r <= 320; ++r) {
        for (int i = 0; i < 360; ++i) {
            double theta = i * 2 * M_PI / 360;
            auto p = Trig::circle_point(r + 7, r + 3, r, i);
            EXPECT_EQ(p.x, static_cast<int>(r + 7 + r * std::cos(2 * theta))) << r << " " << i;
            EXPECT_EQ(p.y, static_cast<int>(r + 3 + r * std::sin(2 * theta))) << r << " " << i;
        }
    }
}
