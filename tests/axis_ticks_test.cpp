// The plots' tick choice: 1-2-5 steps giving five to eight ticks that cover
// the data, the axis running from the first tick to the last, sensible
// ranges for a single value, and labels without floating-point noise.
#include "sigtable/axis_ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<std::string> labels(const Axis& axis)
{
    std::vector<std::string> out;
    for (double t : axis.ticks) out.push_back(tick_label(t, axis));
    return out;
}

using Labels = std::vector<std::string>;

} // namespace

TEST(AxisTicks, RoundStepsCoverTheDataWithFiveToEightTicks)
{
    const struct {
        double lo, hi;
        bool from_zero;
        Labels expected;
    } cases[] = {
        {0, 1, false, {"0", "0.2", "0.4", "0.6", "0.8", "1"}},
        {-7.3, 12, false, {"-10", "-5", "0", "5", "10", "15"}},
        // The negative side of a fold change, down to a step of 0.005.
        {-0.02, 0.013, false, {"-0.02", "-0.015", "-0.01", "-0.005", "0", "0.005", "0.01", "0.015"}},
        // 0.3 / 0.1 is 2.9999999999999996: still the tick 0.3, not 0.2.
        {0.3, 0.7, false, {"0.3", "0.4", "0.5", "0.6", "0.7"}},
        {0, 1e-9, false, {"0", "2e-10", "4e-10", "6e-10", "8e-10", "1e-9"}},
        {0, 2.5e6, false, {"0", "5e5", "1e6", "1.5e6", "2e6", "2.5e6"}},
        {120, 4800, false, {"0", "1000", "2000", "3000", "4000", "5000"}},
        // One value: a unit of its magnitude on either side; from zero, 0 to it.
        {3, 3, false, {"2", "2.5", "3", "3.5", "4"}},
        {-250, -250, false, {"-350", "-300", "-250", "-200", "-150"}},
        {0, 0, false, {"-1", "-0.5", "0", "0.5", "1"}},
        {3, 3, true, {"0", "0.5", "1", "1.5", "2", "2.5", "3"}},
        {0, 0, true, {"0", "0.2", "0.4", "0.6", "0.8", "1"}},
        // A volcano plot's -log10 p from 0, whatever the smallest.
        {0.4986, 1.301, true, {"0", "0.2", "0.4", "0.6", "0.8", "1", "1.2", "1.4"}},
        {2.1, 57.3, true, {"0", "10", "20", "30", "40", "50", "60"}},
        // No data at all.
        {NAN, NAN, false, {"-1", "-0.5", "0", "0.5", "1"}},
    };
    for (const auto& c : cases) {
        const Axis axis = choose_axis(c.lo, c.hi, c.from_zero);
        EXPECT_EQ(labels(axis), c.expected) << c.lo << " " << c.hi << " " << c.from_zero;
        ASSERT_FALSE(axis.ticks.empty());
        // The axis runs from tick to tick and holds the data.
        EXPECT_EQ(axis.lo, axis.ticks.front());
        EXPECT_EQ(axis.hi, axis.ticks.back());
        if (std::isfinite(c.lo)) {
            EXPECT_LE(axis.lo, c.lo + 1e-12 * std::abs(c.lo));
            EXPECT_GE(axis.hi, c.hi - 1e-12 * std::abs(c.hi));
        }
    }
}

TEST(AxisTicks, TicksAreExactMultiplesOfTheStep)
{
    // 3 · 0.1 computed as 3 / 10: the tick is the double nearest 0.3, not
    // 0.30000000000000004.
    const Axis axis = choose_axis(0, 0.7);
    ASSERT_EQ(labels(axis), (Labels{"0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7"}));
    EXPECT_EQ(axis.ticks[3], 0.3);
    EXPECT_EQ(axis.ticks[6], 0.6);
    // Every range from a thousandth to a million gives four to eight ticks
    // (the next 1-2-5 step may be 2.5 times the last one refused).
    for (double span = 1e-3; span < 1e6; span *= 1.37) {
        const Axis a = choose_axis(-0.3 * span, span);
        EXPECT_GE(a.ticks.size(), 4u) << span;
        EXPECT_LE(a.ticks.size(), 8u) << span;
    }
}
