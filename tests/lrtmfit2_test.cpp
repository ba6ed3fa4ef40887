// The share statistics under both models.
#include "isocmp/lrtmfit2.h"
#include "isocmp/lrtp2.h"
#include "numcore/gpsupport.h"

#include "tests/support/numbers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Share {
    std::vector<int> x1, y1, x2, y2;
    int n_e() const { return static_cast<int>(x1.size()) - 1; }
    int n_g() const { return static_cast<int>(y1.size()) - 1; }
};

const Share kSmall{one_based({3, 1}), one_based({3, 1, 2, 2}), one_based({1, 1}), one_based({1, 1, 4, 2})};
const Share kDispersed{one_based({3, 1, 0, 2}), one_based({3, 1, 0, 2, 2, 5, 1}), one_based({1, 1, 0, 0}),
                       one_based({1, 1, 0, 0, 4, 2, 3})};

} // namespace

TEST(Lrtp2, WorkedExampleWithRealShare)
{
    double t = -1;
    lrtp2(2, 4, kSmall.x1.data(), kSmall.y1.data(), kSmall.x2.data(), kSmall.y2.data(), 2, 2, 1, 2, t);
    EXPECT_EQ(six(t), "0.497527");
}

TEST(Lrtmfit2, ZeroDispersionsMatchThePoissonStatistic)
{
    int valid = -1;
    double t = -1;
    lrtmfit2(2, 4, kSmall.x1.data(), kSmall.y1.data(), kSmall.x2.data(), kSmall.y2.data(), 2, 2, 1, 2, 0, 0, 0, 0,
             valid, t);
    EXPECT_EQ(valid, 1);
    EXPECT_NEAR(t, 0.497527, 1e-5);
}

TEST(Lrtmfit2, DispersionExample)
{
    int valid = -1;
    double t = -1;
    lrtmfit2(4, 7, kDispersed.x1.data(), kDispersed.y1.data(), kDispersed.x2.data(), kDispersed.y2.data(), 1.35, 1.9,
             0.55, 1.25, 0.1, 0.05, -0.1, 0.2, valid, t);
    EXPECT_EQ(valid, 1);
    EXPECT_EQ(six(t), "0.418675");
    // The exon's null rate in condition 2, ρΛ2 = 0.588378 · 1.158435, over 0.1
    // truncates to 6: the check passes.
    EXPECT_TRUE(gp_supported(0.588378 * 1.158435, -0.1));
}

TEST(Lrtmfit2, SameDataInBothConditionsGivesZero)
{
    int valid = -1;
    double t = -1;
    const std::vector<int> x = one_based({3, 1, 0, 2}), y = one_based({3, 1, 0, 2, 2, 5, 1});
    // Poisson estimates (θ = 0): the means are the maximum-likelihood rates.
    lrtmfit2(4, 7, x.data(), y.data(), x.data(), y.data(), 1.5, 2.0, 1.5, 2.0, 0, 0, 0, 0, valid, t);
    EXPECT_EQ(valid, 1);
    EXPECT_NEAR(t, 0.0, 1e-9);
}

TEST(Lrtmfit2, ZeroRatesNeverConvergeAndLeaveTUntouched)
{
    int valid = -1;
    double t = -12345;
    const std::vector<int> zeros = one_based({0, 0});
    lrtmfit2(2, 4, zeros.data(), kSmall.y1.data(), zeros.data(), kSmall.y2.data(), 0, 2, 0, 2, 0, 0, 0, 0, valid, t);
    EXPECT_EQ(valid, 0);
    EXPECT_EQ(t, -12345);
}

TEST(GpSupport, ShareDispersionCases)
{
    EXPECT_TRUE(gp_supported(2, -0.5));
    EXPECT_FALSE(gp_supported(2, -0.6));
    EXPECT_FALSE(gp_supported(10, -1.5));
    EXPECT_TRUE(gp_supported(10, -1));
}
