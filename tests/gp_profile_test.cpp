// The mean-constrained generalized Poisson fits against brute force: the
// likelihood written plainly position by position and maximised by grids
// refined around their best point, over the admissible region written out
// again here. The fits must reach the brute maximum and never fall short
// of it, on vectors made to hit each hard case.
#include "numcore/gp_profile.h"
#include "numcore/histogram.h"
#include "tests/support/count_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

using Counts = std::vector<int>;

Counts with_zeros(Counts x, int zeros)
{
    x.insert(x.end(), static_cast<std::size_t>(zeros), 0);
    return x;
}

// ln P(x) + ln x! summed over the positions, straight from the formula.
double plain_loglik(const Counts& x, double mu, double theta)
{
    const double lam = mu * (1 - theta);
    double l = 0;
    for (int v : x) {
        if (v == 0) {
            l += -lam;
            continue;
        }
        const double d = lam + theta * v;
        if (!(d > 0) || !(lam > 0)) return -INFINITY;
        l += std::log(lam) + (v - 1) * std::log(d) - lam - theta * v;
    }
    return l;
}

// The admissible θ at mean mu: -1 < θ < 1 and λ + θ·max(M, 4) > 0.
std::pair<double, double> plain_interval(const Counts& x, double mu)
{
    const int K = std::max(4, *std::max_element(x.begin(), x.end()));
    double lo = -1;
    if (K > mu) lo = std::max(lo, -mu / (K - mu));
    return {lo + 1e-10, 1 - 1e-10};
}

// Maximum of f on [lo, hi]: a grid, then rounds of finer grids around the best.
double grid_max(const std::function<double(double)>& f, double lo, double hi, int points, int rounds, double* where = nullptr)
{
    double best_x = lo, best = -INFINITY;
    double step = (hi - lo) / (points - 1);
    for (int k = 0; k < points; ++k) {
        const double t = lo + k * step, v = f(t);
        if (v > best) best = v, best_x = t;
    }
    for (int r = 0; r < rounds; ++r) {
        const double a = std::max(lo, best_x - 2 * step), b = std::min(hi, best_x + 2 * step);
        step = (b - a) / 20;
        for (int k = 0; k <= 20; ++k) {
            const double t = a + k * step, v = f(t);
            if (v > best) best = v, best_x = t;
        }
    }
    if (where) *where = best_x;
    return best;
}

double brute_theta(const Counts& x, double mu)
{
    const auto [lo, hi] = plain_interval(x, mu);
    return grid_max([&](double t) { return plain_loglik(x, mu, t); }, lo, hi, 150, 12);
}

double brute_fit(const Counts& x, double mean)
{
    return grid_max([&](double u) { return brute_theta(x, std::exp(u)); }, std::log(mean) - 3, std::log(mean) + 3, 41, 12);
}

double mean_of(const Counts& x)
{
    double s = 0;
    for (int v : x) s += v;
    return s / static_cast<double>(x.size());
}

struct Case {
    const char* name;
    Counts x, y;
    double a;
};

std::vector<Case> crafted_pairs()
{
    return {
        {"overdispersed", with_zeros({1, 1, 2, 3, 5, 8, 13, 40}, 30), with_zeros({2, 1, 4, 9, 1, 22, 3}, 25), 1.3},
        {"underdispersed", {3, 4, 4, 5, 5, 5, 6, 4, 3, 5, 4, 6}, {6, 7, 8, 7, 6, 8, 7, 7, 9, 6, 7, 8}, 0.8},
        {"one read position", with_zeros({7}, 20), with_zeros({1, 2, 1}, 18), 1.0},
        {"deep", with_zeros({12000, 35000, 80000, 100000, 5, 64000}, 6), with_zeros({9000, 41000, 77000, 52}, 10), 2.5},
        {"unequal lengths", {3, 0, 5, 1, 2, 0, 4, 2, 1, 6}, with_zeros({1, 0, 2, 1, 3, 0, 0, 1, 2}, 41), 0.6},
        {"ones and zeros", with_zeros({1, 1, 1, 1}, 10), with_zeros({1, 1, 1, 1, 1, 1, 1, 1, 1}, 3), 1.0},
    };
}

} // namespace

TEST(GpProfile, ThetaProfileReachesTheBruteMaximumAtEveryMean)
{
    for (const Case& c : crafted_pairs()) {
        Hist h(c.x);
        const gp_profile::Vector v = gp_profile::describe(h.view());
        for (double scale : {0.2, 0.7, 1.0, 1.6, 5.0}) {
            const double mu = mean_of(c.x) * scale;
            const gp_profile::ThetaFit f = gp_profile::best_theta(v, mu);
            const double brute = brute_theta(c.x, mu);
            const double plain = plain_loglik(c.x, mu, f.theta);
            const double tol = 1e-9 * (1 + std::fabs(brute));
            EXPECT_GE(plain, brute - tol) << c.name << " mu " << mu;
            EXPECT_LE(plain, brute + tol) << c.name << " mu " << mu; // and no wider region than the model's
            EXPECT_NEAR(plain, f.loglik, tol) << c.name << " mu " << mu;
        }
    }
}

TEST(GpProfile, UnconstrainedFitHasTheSampleMeanAndTheBruteMaximum)
{
    for (const Case& c : crafted_pairs()) {
        for (const Counts* x : {&c.x, &c.y}) {
            Hist h(*x);
            const gp_profile::Fit f = gp_profile::fit(gp_profile::describe(h.view()));
            ASSERT_TRUE(f.ok) << c.name;
            const double brute = brute_fit(*x, mean_of(*x));
            EXPECT_GE(f.loglik, brute - 1e-8 * (1 + std::fabs(brute))) << c.name;
            EXPECT_NEAR(plain_loglik(*x, f.mu, f.theta), f.loglik, 1e-9 * (1 + std::fabs(brute))) << c.name;
        }
    }
}

TEST(GpProfile, MeanTestNullIsTheTrueMaximumWithBothDispersionsFree)
{
    for (const Case& c : crafted_pairs()) {
        Hist hx(c.x), hy(c.y);
        const gp_profile::MeanTest t = gp_profile::mean_test(hx.view(), hy.view(), c.a);
        ASSERT_TRUE(t.ok) << c.name;
        const double l0 = plain_loglik(c.x, t.mu, t.theta_x) + plain_loglik(c.y, c.a * t.mu, t.theta_y);
        const double m1 = std::log(mean_of(c.x)), m2 = std::log(mean_of(c.y) / c.a);
        const double brute_l0 = grid_max(
            [&](double u) { return brute_theta(c.x, std::exp(u)) + brute_theta(c.y, c.a * std::exp(u)); },
            std::min(m1, m2) - 3, std::max(m1, m2) + 3, 61, 12);
        const double tol = 1e-8 * (1 + std::fabs(brute_l0));
        EXPECT_GE(l0, brute_l0 - tol) << c.name;
        const double brute_l1 = brute_fit(c.x, mean_of(c.x)) + brute_fit(c.y, mean_of(c.y));
        EXPECT_NEAR(t.statistic, std::max(0.0, 2 * (brute_l1 - brute_l0)), 1e-6 * (1 + std::fabs(brute_l0))) << c.name;
    }
}

TEST(GpProfile, MeanTestNeedsReadsInBothConditionsAndAPositiveFactor)
{
    Hist some(with_zeros({3, 1}, 5)), none(Counts(8, 0));
    EXPECT_FALSE(gp_profile::mean_test(some.view(), none.view(), 1.0).ok);
    EXPECT_FALSE(gp_profile::mean_test(none.view(), some.view(), 1.0).ok);
    EXPECT_FALSE(gp_profile::mean_test(some.view(), some.view(), 0.0).ok);
    EXPECT_FALSE(gp_profile::mean_test(some.view(), some.view(), INFINITY).ok);
    // The same vector at the factor 1 is the null itself.
    const gp_profile::MeanTest same = gp_profile::mean_test(some.view(), some.view(), 1.0);
    ASSERT_TRUE(same.ok);
    EXPECT_LT(same.statistic, 1e-9);
    EXPECT_NEAR(same.mu, 4.0 / 7, 1e-7);
}

TEST(GpProfile, RestTestNullReachesTheBruteMaximum)
{
    struct RestCase {
        const char* name;
        Counts ei, ri, ej, rj;
    };
    const std::vector<RestCase> cases = {
        {"changed share", {4, 6, 2, 9}, with_zeros({3, 1, 2, 0, 5, 2}, 4), {1, 0, 2, 1}, with_zeros({6, 4, 8, 2, 7, 3}, 4)},
        {"exon silent in one", {0, 0, 0, 0}, with_zeros({3, 1, 2, 4}, 6), {3, 5, 1, 2}, with_zeros({2, 2, 1, 3}, 6)},
        {"deep and underdispersed", {20000, 21000, 19500}, {9000, 9100, 8800, 9050, 0}, {15000, 16000, 15500},
         {12000, 11800, 12100, 11900, 0}},
    };
    for (const RestCase& c : cases) {
        Hist ei(c.ei), ri(c.ri), ej(c.ej), rj(c.rj);
        const gp_profile::RestTest t = gp_profile::rest_test(ei.view(), ri.view(), ej.view(), rj.view());
        ASSERT_TRUE(t.ok) << c.name;
        const gp_profile::Vector Ei = gp_profile::describe(ei.view()), Ri = gp_profile::describe(ri.view()),
                                 Ej = gp_profile::describe(ej.view()), Rj = gp_profile::describe(rj.view());
        // The dispersions by the profile checked above; the means and the
        // share by grids.
        auto condition = [](const gp_profile::Vector& e, const gp_profile::Vector& r, double rho) {
            const double m = std::max(r.mean(), e.mean() / rho);
            return grid_max(
                [&](double u) {
                    return gp_profile::best_theta(e, rho * std::exp(u)).loglik +
                           gp_profile::best_theta(r, std::exp(u)).loglik;
                },
                std::log(m) - 6, std::log(m) + 3, 41, 10);
        };
        double at = 0;
        const double brute_l0 = grid_max([&](double s) { return condition(Ei, Ri, std::exp(s)) + condition(Ej, Rj, std::exp(s)); },
                                         std::log(t.rho) - 3, std::log(t.rho) + 3, 21, 10, &at);
        double l1 = 0;
        for (const gp_profile::Vector* v : {&Ei, &Ri, &Ej, &Rj}) l1 += gp_profile::fit(*v).loglik;
        EXPECT_NEAR(t.statistic, std::max(0.0, 2 * (l1 - brute_l0)), 1e-6 * (1 + std::fabs(brute_l0))) << c.name;
        EXPECT_NEAR(std::log(t.rho), at, 1e-3) << c.name;
    }
}

TEST(GpProfile, RestTestValidity)
{
    Hist some({2, 0, 1}), none({0, 0, 0});
    // Exon silent in both conditions, rest silent in both, a silent condition.
    EXPECT_FALSE(gp_profile::rest_test(none.view(), some.view(), none.view(), some.view()).ok);
    EXPECT_FALSE(gp_profile::rest_test(some.view(), none.view(), some.view(), none.view()).ok);
    EXPECT_FALSE(gp_profile::rest_test(none.view(), none.view(), some.view(), some.view()).ok);
    // Exon reads in one condition only and rest reads in the other only.
    EXPECT_TRUE(gp_profile::rest_test(some.view(), none.view(), none.view(), some.view()).ok);
}

TEST(GpProfile, PoissonRestStatisticByHand)
{
    // [[10, 30], [20, 20]]: margins 40, 40 and 30, 50 of 80, expected
    // [[15, 25], [15, 25]]; G = 2 Σ O ln(O/E).
    const double by_hand = 2 * (10 * std::log(10.0 / 15) + 30 * std::log(30.0 / 25) + 20 * std::log(20.0 / 15) +
                                20 * std::log(20.0 / 25));
    EXPECT_NEAR(gp_profile::poisson_rest_statistic(10, 30, 20, 20), by_hand, 1e-12);
    EXPECT_NEAR(by_hand, 5.41154, 1e-5);
    EXPECT_EQ(gp_profile::poisson_rest_statistic(0, 30, 0, 20), 0.0);
    EXPECT_EQ(gp_profile::poisson_rest_statistic(5, 10, 10, 20), 0.0);
}

TEST(GpProfile, MeanTestHoldsItsLevelOnNullData)
{
    // 500 genes of Poisson counts, the second condition at twice the depth
    // with its mean doubled: no change once normalised.
    std::mt19937_64 rng(20240611);
    int above = 0;
    const int genes = 500;
    for (int g = 0; g < genes; ++g) {
        const double rate = 0.5 + 3.0 * static_cast<double>(g % 10) / 10;
        std::poisson_distribution<int> first(rate), second(2 * rate);
        Counts x(40), y(40);
        for (int& v : x) v = first(rng);
        for (int& v : y) v = second(rng);
        Hist hx(x), hy(y);
        const gp_profile::MeanTest t = gp_profile::mean_test(hx.view(), hy.view(), 2.0);
        ASSERT_TRUE(t.ok);
        above += t.statistic > 3.841;
    }
    const double fraction = static_cast<double>(above) / genes;
    EXPECT_GT(fraction, 0.02);
    EXPECT_LT(fraction, 0.09);
}
