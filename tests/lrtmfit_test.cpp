// The level statistics under both models, and the support constraint of a
// negative dispersion they share with the fit.
#include "lvcmp/lrtmfit.h"
#include "lvcmp/lrtp.h"
#include "numcore/gpsupport.h"
#include "numcore/mfitmle.h"

#include "tests/support/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::vector<int> kX = one_based({3, 1, 0, 4});
const std::vector<int> kY = one_based({1, 1, 2, 0});

double poisson_statistic(double a)
{
    double t = -1;
    lrtp(4, kX.data(), 4, kY.data(), t, a, 2.0, 1.0);
    return t;
}

struct Lrt {
    int valid = -1;
    double statistic = -12345;
};

Lrt gp(const std::vector<int>& x, const std::vector<int>& y, double a, double tx, double ty, double lx, double ly)
{
    Lrt r;
    lrtmfit(static_cast<int>(x.size()) - 1, x.data(), static_cast<int>(y.size()) - 1, y.data(), r.valid, r.statistic,
            a, tx, ty, lx, ly);
    return r;
}

// Full generalized Poisson log-likelihood of counts with rate λ and dispersion θ.
double gp_loglik(const std::vector<int>& v, double lambda, double theta)
{
    double l = 0;
    for (std::size_t i = 1; i < v.size(); ++i) {
        int x = v[i];
        l += std::log(lambda) + (x - 1) * std::log(lambda + theta * x) - lambda - theta * x - std::lgamma(x + 1.0);
    }
    return l;
}

} // namespace

TEST(Lrtp, WorkedExample)
{
    EXPECT_EQ(six(poisson_statistic(1.0)), "1.359192");
    EXPECT_EQ(six(poisson_statistic(2.0)), "5.545177");
}

TEST(Lrtp, EqualSumsGiveZeroAndAnEmptyConditionNotANumber)
{
    std::vector<int> x = one_based({2, 0, 5, 1}), y = one_based({1, 3, 0, 4});
    double t = -1;
    lrtp(4, x.data(), 4, y.data(), t, 1.0, 2.0, 2.0);
    EXPECT_NEAR(t, 0.0, 1e-12);
    std::vector<int> z = one_based({0, 0, 0, 0});
    lrtp(4, x.data(), 4, z.data(), t, 1.0, 2.0, 0.0);
    EXPECT_TRUE(std::isnan(t));
}

TEST(Lrtp, SumsOfLargeGenesDoNotOverflow)
{
    // 3000 positions of 1,000,000 reads: 3e9 reads, beyond 32 bits.
    std::vector<int> x(3001, 1000000), y(3001, 1000000);
    double t = -1;
    lrtp(3000, x.data(), 3000, y.data(), t, 1.0, 1e6, 1e6);
    EXPECT_NEAR(t, 0.0, 1e-3);
}

TEST(Lrtmfit, ZeroDispersionReducesToThePoissonStatistic)
{
    Lrt same_depth = gp(kX, kY, 1.0, 0.0, 0.0, 2.0, 1.0);
    EXPECT_EQ(same_depth.valid, 1);
    EXPECT_EQ(six(same_depth.statistic), "1.359192");
    Lrt double_depth = gp(kX, kY, 2.0, 0.0, 0.0, 2.0, 1.0);
    EXPECT_EQ(double_depth.valid, 1);
    EXPECT_EQ(six(double_depth.statistic), "5.545177");
}

TEST(Lrtmfit, DispersionExampleMatchesTheFullLikelihoods)
{
    Lrt r = gp(kX, kY, 1.0, 0.2, -0.1, 1.6, 1.1);
    ASSERT_EQ(r.valid, 1);
    EXPECT_EQ(six(r.statistic), "0.429767");
    // The restricted rate, found independently by maximising the full null
    // likelihood over m (golden section), is 1.301013, and the statistic is
    // twice the difference of the full log-likelihoods.
    auto null_loglik = [&](double m) { return gp_loglik(kX, m, 0.2) + gp_loglik(kY, m, -0.1); };
    double lo = 0.5, hi = 3.0;
    for (int i = 0; i < 200; ++i) {
        double m1 = hi - (hi - lo) / 1.618033988749895, m2 = lo + (hi - lo) / 1.618033988749895;
        (null_loglik(m1) < null_loglik(m2) ? lo : hi) = (null_loglik(m1) < null_loglik(m2) ? m1 : m2);
    }
    const double m = (lo + hi) / 2;
    EXPECT_EQ(six(m), "1.301013");
    const double full = 2 * (gp_loglik(kX, 1.6, 0.2) + gp_loglik(kY, 1.1, -0.1) - null_loglik(m));
    EXPECT_NEAR(full, r.statistic, 1e-9);
}

TEST(Lrtmfit, EqualVectorsWithTheirOwnFitsGiveZero)
{
    std::vector<int> v = one_based({0, 0, 1, 3, 0, 7, 2, 0, 0, 5});
    int converged = 0;
    double lambda = 0, theta = 0, mean = 0;
    mfitmle(10, v.data(), converged, lambda, theta, mean);
    ASSERT_EQ(converged, 1);
    Lrt r = gp(v, v, 1.0, theta, theta, lambda, lambda);
    EXPECT_EQ(r.valid, 1);
    EXPECT_NEAR(r.statistic, 0.0, 1e-9);
}

TEST(Lrtmfit, ZeroRatesFailAtTheFirstDenominator)
{
    Lrt r = gp(kX, kY, 1.0, 0.1, 0.1, 0.0, 0.0);
    EXPECT_EQ(r.valid, 0);
    EXPECT_EQ(r.statistic, -12345); // not written
}

TEST(Lrtmfit, AllZeroVectorVisitsOnlyTheValueZero)
{
    std::vector<int> zeros = one_based({0, 0, 0, 0, 0});
    Lrt r = gp(kX, zeros, 1.0, 0.0, 0.0, 2.0, 0.0);
    EXPECT_EQ(r.valid, 0); // ln 0 for the alternative rate of y
}

TEST(GpSupport, TruncationPointAndLowerBound)
{
    EXPECT_FALSE(gp_supported(1.9, -0.5)); // k = 3
    EXPECT_TRUE(gp_supported(2.1, -0.5));  // k = 4
    EXPECT_TRUE(gp_supported(2.0, -0.5));  // k = 4 exactly
    EXPECT_FALSE(gp_supported(2.0, -0.6)); // 3.33 truncates to 3
    EXPECT_FALSE(gp_supported(10.0, -1.5)); // k = 6 but -10/6 < -1 with θ < -1
    EXPECT_TRUE(gp_supported(10.0, -1.0));
    EXPECT_TRUE(gp_supported(8.0, -1.9e-16)); // quotient far beyond 32 bits
    EXPECT_TRUE(gp_supported(1.0, 0.0));
    EXPECT_TRUE(gp_supported(1.0, 0.7));
    EXPECT_TRUE(gp_supported(1.0, std::nan("")));
}
