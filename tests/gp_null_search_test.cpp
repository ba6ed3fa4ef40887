// The nulls found from the profiles' slopes against the searches by grids:
// the slopes against differences of the profile itself, in every regime of
// θ, and the two tests' nulls never below the grids' on vectors drawn at
// depths 0.05 to 10^4 and dispersions from Poisson to heavy, on the cases
// where the null has two peaks, and on the shapes the further tests meet.
#include "numcore/gp_profile.h"
#include "numcore/histogram.h"
#include "tests/support/count_view.h"
#include "tests/support/test_counts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Counts = std::vector<int>;

// Counts of `n` positions of this mean and gamma shape (1e9 is Poisson).
Counts draw(std::mt19937_64& rng, int n, double mean, double shape)
{
    return overdispersed_values(rng, n, mean, 0.0, shape);
}

Counts repeat(std::initializer_list<std::pair<int, int>> values_and_counts)
{
    Counts x;
    for (const auto& [value, count] : values_and_counts) x.insert(x.end(), static_cast<std::size_t>(count), value);
    return x;
}

double profile(const gp_profile::Vector& v, double u) { return gp_profile::best_theta(v, std::exp(u)).loglik; }

} // namespace

TEST(GpNullSearch, SlopesAreTheProfilesDerivativesInEveryRegimeOfTheta)
{
    std::mt19937_64 rng(7);
    const struct {
        std::string name;
        Counts x;
        std::vector<double> scales; // means as multiples of the sample mean
    } cases[] = {
        {"overdispersed", draw(rng, 300, 5, 0.5), {0.3, 0.8, 1.0, 1.7, 4.0}},
        {"Poisson, deep", draw(rng, 200, 300, 1e9), {0.9, 0.99, 1.0, 1.02, 1.3}},
        // 0s and 1s: θ held at -μ/(4-μ) below the mean, inside above it.
        {"ones and zeros", repeat({{0, 119}, {1, 1}}), {0.3, 0.6, 2.0, 6.0}},
        // Held at -1 once μ passes half the largest count.
        {"underdispersed", {3, 4, 4, 5, 5, 5, 6, 4, 3, 5, 4, 6}, {1.0, 1.2, 1.5}},
        {"no reads", Counts(50, 0), {1.0}},
    };
    for (const auto& c : cases) {
        Hist h(c.x);
        const gp_profile::Vector v = gp_profile::describe(h.view());
        const double mean = v.total > 0 ? v.mean() : 0.1;
        for (double scale : c.scales) {
            const double u = std::log(mean * scale);
            gp_profile::Track track;
            const gp_profile::Slope s = gp_profile::profile_slope(v, std::exp(u), track);
            // Steps in proportion to the profile's width there.
            const double e = 1e-3 / std::sqrt(1 + std::fabs(s.d2));
            const double f0 = profile(v, u), up = profile(v, u + e), down = profile(v, u - e);
            const double d1 = (up - down) / (2 * e), d2 = (up - 2 * f0 + down) / (e * e);
            const double size = 1 + std::fabs(d1) + std::fabs(s.d2) * e;
            EXPECT_NEAR(s.d1, d1, 1e-5 * size) << c.name << " at " << scale;
            EXPECT_NEAR(s.d2, d2, 1e-2 * (1 + std::fabs(d2))) << c.name << " at " << scale;
            EXPECT_NEAR(gp_profile::loglik(v, std::exp(u), s.theta), f0, 1e-9 * (1 + std::fabs(f0))) << c.name;
        }
    }
}

TEST(GpNullSearch, NullsNeverBelowTheGrids)
{
    // Statistics are 2(ℓ₁ - ℓ₀) with the same ℓ₁: a null below the grids'
    // is a statistic above theirs.
    std::mt19937_64 rng(20261208);
    const double depths[] = {0.05, 0.3, 1, 5, 30, 300, 10000};
    const double shapes[] = {0.3, 2, 1e9};
    int mean_tests = 0, rest_tests = 0;
    for (double depth : depths) {
        for (double shape : shapes) {
            for (int round = 0; round < 6; ++round) {
                // Conditions apart by up to a factor of 3 in level and share.
                std::uniform_real_distribution<double> factor(1.0 / 3, 3.0);
                const double level = factor(rng), share = factor(rng);
                Hist x(draw(rng, 60, depth, shape)), y(draw(rng, 60, depth * level, shape));
                const gp_profile::Fitted fx = gp_profile::fitted(x.view()), fy = gp_profile::fitted(y.view());
                const double a = factor(rng);
                const gp_profile::MeanTest fast = gp_profile::mean_test(fx, fy, a);
                const gp_profile::MeanTest grid = gp_profile::mean_test_by_grid(fx, fy, a);
                ASSERT_EQ(fast.ok, grid.ok);
                if (fast.ok) {
                    ++mean_tests;
                    EXPECT_LE(fast.statistic, grid.statistic + 1e-7 * (1 + grid.statistic))
                        << "mean test, depth " << depth << " shape " << shape << " round " << round;
                }
                Hist ei(draw(rng, 20, depth, shape)), ri(draw(rng, 80, depth, shape));
                Hist ej(draw(rng, 20, depth * share, shape)), rj(draw(rng, 80, depth, shape));
                const gp_profile::Fitted fei = gp_profile::fitted(ei.view()), fri = gp_profile::fitted(ri.view()),
                                         fej = gp_profile::fitted(ej.view()), frj = gp_profile::fitted(rj.view());
                const gp_profile::RestTest rest = gp_profile::rest_test(fei, fri, fej, frj);
                const gp_profile::RestTest rest_grid = gp_profile::rest_test_by_grid(fei, fri, fej, frj);
                ASSERT_EQ(rest.ok, rest_grid.ok);
                if (rest.ok) {
                    ++rest_tests;
                    EXPECT_LE(rest.statistic, rest_grid.statistic + 1e-7 * (1 + rest_grid.statistic))
                        << "rest test, depth " << depth << " shape " << shape << " round " << round;
                }
            }
        }
    }
    EXPECT_GT(mean_tests, 100);
    EXPECT_GT(rest_tests, 100);
}

TEST(GpNullSearch, NullsOnKinksAndWithTwoPeaksTakeTheHighest)
{
    // Ten 2s: θ is held at its moving end below the mean and at -1 above it,
    // so the exon's profile has a kink at its mode, where the best level of
    // its condition stays for a range of shares.
    {
        Hist ei(repeat({{0, 5}, {1, 1}, {2, 1}, {3, 1}, {5, 1}, {7, 1}})), ri(repeat({{0, 3}, {1, 1}, {2, 1}, {3, 1}}));
        Hist ej(repeat({{2, 10}})), rj(repeat({{0, 3}, {3, 2}, {4, 1}}));
        const gp_profile::RestTest rest = gp_profile::rest_test(ei.view(), ri.view(), ej.view(), rj.view());
        const gp_profile::RestTest grid =
            gp_profile::rest_test_by_grid(gp_profile::fitted(ei.view()), gp_profile::fitted(ri.view()),
                                          gp_profile::fitted(ej.view()), gp_profile::fitted(rj.view()));
        ASSERT_TRUE(rest.ok);
        EXPECT_NEAR(rest.statistic, grid.statistic, 1e-7);
        EXPECT_NEAR(rest.rho, grid.rho, 1e-5);
    }

    // An exon with 1 and 2 reads against rests of 19 and 9 reads, all 0s and
    // 1s: the null over the share has peaks at about 0.50 and 0.71, the
    // first higher by 0.004 and narrower than the scan's cells.
    Hist ei(repeat({{0, 119}, {1, 1}})), ri(repeat({{0, 547}, {1, 19}}));
    Hist ej(repeat({{0, 118}, {1, 2}})), rj(repeat({{0, 557}, {1, 9}}));
    const gp_profile::RestTest rest = gp_profile::rest_test(ei.view(), ri.view(), ej.view(), rj.view());
    ASSERT_TRUE(rest.ok);
    EXPECT_NEAR(rest.rho, 0.504662, 2e-3);
    EXPECT_NEAR(rest.statistic, 1.349284, 1e-5);

    // Underdispersed counts, θ held at -1 by both: the level's null peaks
    // where one vector sits at its mode and the other takes the difference.
    Hist x({3, 4, 4, 5, 5, 5, 6, 4, 3, 5, 4, 6}), y({6, 7, 8, 7, 6, 8, 7, 7, 9, 6, 7, 8});
    const gp_profile::MeanTest mean = gp_profile::mean_test(x.view(), y.view(), 0.8);
    const gp_profile::MeanTest grid =
        gp_profile::mean_test_by_grid(gp_profile::fitted(x.view()), gp_profile::fitted(y.view()), 0.8);
    ASSERT_TRUE(mean.ok);
    EXPECT_NEAR(mean.statistic, grid.statistic, 1e-7);
    EXPECT_NEAR(mean.mu, grid.mu, 1e-5);
}
