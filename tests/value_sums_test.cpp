// The fits and statistics sum over the count values that positions hold; the
// plain forms sum over every value 0..M. Both must give the same bits on
// every input: here on crafted vectors that put each skipped value's term to
// the test, and on random ones from shallow to deep.
#include "isocmp/lrtmfit2.h"
#include "lvcmp/lrtmfit.h"
#include "numcore/histogram.h"
#include "numcore/mfitmle.h"
#include "tests/support/plain_fits.h"

#include "tests/support/numbers.h"
#include "tests/support/test_counts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Both forms of mfitmle from the same sentinels; every result the same bits.
void expect_same_fit(const std::vector<int>& counts, const std::string& what)
{
    const std::vector<int> x = one_based(counts);
    const int n = static_cast<int>(counts.size());
    int c1 = -7, c2 = -7;
    double l1 = -5.5, t1 = -6.5, p1 = -7.5, l2 = -5.5, t2 = -6.5, p2 = -7.5;
    mfitmle(n, x.data(), c1, l1, t1, p1);
    plain_mfitmle(n, x.data(), c2, l2, t2, p2);
    EXPECT_EQ(c1, c2) << what;
    EXPECT_TRUE(same_bits(l1, l2)) << what << ": lambda " << l1 << " against " << l2;
    EXPECT_TRUE(same_bits(t1, t2)) << what << ": theta " << t1 << " against " << t2;
    EXPECT_TRUE(same_bits(p1, p2)) << what;
}

struct LevelCase {
    std::vector<int> x, y;
    double a, theta_x, theta_y, lambda_x, lambda_y;
};

void expect_same_level(const LevelCase& c, const std::string& what)
{
    const std::vector<int> x = one_based(c.x), y = one_based(c.y);
    const int nx = static_cast<int>(c.x.size()), ny = static_cast<int>(c.y.size());
    int v1 = -7, v2 = -7;
    double s1 = -5.5, s2 = -5.5;
    lrtmfit(nx, x.data(), ny, y.data(), v1, s1, c.a, c.theta_x, c.theta_y, c.lambda_x, c.lambda_y);
    plain_lrtmfit(nx, x.data(), ny, y.data(), v2, s2, c.a, c.theta_x, c.theta_y, c.lambda_x, c.lambda_y);
    EXPECT_EQ(v1, v2) << what;
    EXPECT_TRUE(same_bits(s1, s2)) << what << ": statistic " << s1 << " against " << s2;
}

struct ShareCase {
    std::vector<int> x1, y1, x2, y2;
    double le1, lg1, le2, lg2, te1, tg1, te2, tg2;
};

void expect_same_share(const ShareCase& c, const std::string& what)
{
    const std::vector<int> x1 = one_based(c.x1), y1 = one_based(c.y1), x2 = one_based(c.x2), y2 = one_based(c.y2);
    const int ne = static_cast<int>(c.x1.size()), ng = static_cast<int>(c.y1.size());
    int v1 = -7, v2 = -7;
    double T1 = -5.5, T2 = -5.5;
    lrtmfit2(ne, ng, x1.data(), y1.data(), x2.data(), y2.data(), c.le1, c.lg1, c.le2, c.lg2, c.te1, c.tg1, c.te2,
             c.tg2, v1, T1);
    plain_lrtmfit2(ne, ng, x1.data(), y1.data(), x2.data(), y2.data(), c.le1, c.lg1, c.le2, c.lg2, c.te1, c.tg1,
                   c.te2, c.tg2, v2, T2);
    EXPECT_EQ(v1, v2) << what;
    EXPECT_TRUE(same_bits(T1, T2)) << what << ": T " << T1 << " against " << T2;
}

} // namespace

TEST(SparseSums, MfitmleOnCraftedVectors)
{
    // The worked examples.
    expect_same_fit({0, 0, 1, 3, 0, 7, 2, 0, 0, 5}, "example 1");
    expect_same_fit({0, 0, 0, 0, 0, 0, 0, 0, 9}, "example 2");
    expect_same_fit({3, 2, 1}, "example 3");
    expect_same_fit({0, 1, 1, 2}, "example 4");
    expect_same_fit({3, 3, 4}, "example 5");
    // Mean 2, variance 1/2 exactly, so θ starts at -1 and (4 - m)·θ + m is 0
    // at the value 4, which no position holds: the fit must stop there.
    std::vector<int> zero_at_absent = {5, 1, 1, 1};
    zero_at_absent.insert(zero_at_absent.end(), 21, 2);
    expect_same_fit(zero_at_absent, "zero denominator at an absent value");
    // Values far apart, one position, all zeros, nothing at all.
    expect_same_fit({0, 1, 1000000, 0, 1, 0}, "0, 1 and 10^6");
    expect_same_fit({0, 1000000, 999999, 0, 0, 3}, "neighbours far from the rest");
    expect_same_fit({7}, "one position: not-a-number θ");
    expect_same_fit({3000}, "one position far from 0: not-a-number θ over 3000 values");
    expect_same_fit(std::vector<int>(50, 0), "all zeros");
    expect_same_fit({}, "empty");
    // Under-dispersed deep counts: θ < 0, the denominator negative past the
    // truncation point of the iterates.
    expect_same_fit({100000, 100001, 99999, 100000, 100002, 99998, 100000}, "under-dispersed at depth");
    expect_same_fit({40, 41, 39, 40, 40, 0, 42}, "under-dispersed with a zero");
}

TEST(SparseSums, MfitmleWeighsCountsNear2To31WithoutOverflow)
{
    // (j - 1)·j·h passes 2^63 for two positions of 2^31 - 1 reads: formed in
    // 64 bits it overflowed (the sanitizer build stops on that). The plain
    // pass over 0..2^31 is out of reach here; the fit must simply run, with
    // the mean it always gives.
    const std::vector<int> x = one_based({2147483647, 2147483647, 0, 5, 2147483646, 0});
    int converged = -7;
    double lambda = -5.5, theta = -6.5, poisson_lambda = -7.5;
    mfitmle(6, x.data(), converged, lambda, theta, poisson_lambda);
    EXPECT_TRUE(converged == 0 || converged == 1);
    EXPECT_NEAR(poisson_lambda, (3.0 * 2147483647 + 4) / 6, 1e-3);
}

TEST(SparseSums, MfitmleOnRandomVectorsFromShallowToDeep)
{
    std::mt19937 rng(2024);
    for (double mean : {0.3, 2.0, 20.0, 300.0, 5000.0, 60000.0})
        for (int n : {2, 5, 40, 400})
            for (double zeros : {0.0, 0.5})
                for (int k = 0; k < 3; ++k)
                    expect_same_fit(overdispersed_values(rng, n, mean, zeros),
                                    "mean " + std::to_string(mean) + ", n " + std::to_string(n));
}

TEST(SparseSums, LrtmfitOnCraftedParameters)
{
    const std::vector<int> x = {3, 1, 0, 4}, y = {1, 1, 2, 0};
    expect_same_level({x, y, 1.0, 0.0, 0.0, 2.0, 1.0}, "Poisson-like example");
    expect_same_level({x, y, 1.0, 0.2, -0.1, 1.6, 1.1}, "example with dispersions");
    // The start value 2 and θx = -0.5 put d = 0 at 4 (held) and, with the
    // counts below, at 4 where no position holds it.
    expect_same_level({{0, 1, 5, 9}, {2, 3, 1, 0}, 1.0, -0.5, 0.1, 2.0, 2.0}, "zero denominator at an absent value");
    expect_same_level({{0, 1, 5, 9}, {2, 3, 1, 0}, 1.0, 0.1, -0.5, 2.0, 2.0}, "the same in the second vector");
    // Denominators that turn negative past the truncation point, in the
    // iteration and in the likelihoods, at a value held and at one not held.
    expect_same_level({{0, 2, 30, 3}, {1, 2, 3, 2}, 1.0, -0.2, -0.1, 2.0, 2.0}, "negative past truncation");
    expect_same_level({{0, 2, 3, 1}, {1, 2, 3, 25}, 1.3, 0.1, -0.15, 1.5, 2.5}, "negative past truncation in y");
    // Denominators so small that d·d is 0: 0/0 at a value no position holds.
    expect_same_level({{0, 3, 0, 5}, {1, 2, 0, 3}, 1.0, -1e-170, 0.1, 1e-200, 1e-200}, "tiny denominators");
    // m = 5e-150 and θx = -(m - 1e-163): d = 1e-163 at the value 1, which no
    // position holds, and d·d is 0 there (0/0); elsewhere d·d is a number.
    expect_same_level({{0, 0, 2}, {0, 2, 2}, 1.0, -(5e-150 - 1e-163), 0.1, 5e-150, 5e-150}, "0/0 at a value not held");
    // The likelihoods stop where λx + v·θx turns negative (at 5, not held),
    // before m + v·θx does: the first term of the stop still counts, and
    // the held value after it not.
    const LevelCase stop{{0, 1, 2, 3, 6, 12}, {1, 2, 3, 4, 2, 1}, 1.0, -0.2, 0.1, 1.0, 2.0};
    expect_same_level(stop, "likelihood stopped at a value not held");
    {
        const std::vector<int> sx = one_based(stop.x), sy = one_based(stop.y);
        int valid = -7;
        double statistic = -5.5;
        plain_lrtmfit(6, sx.data(), 6, sy.data(), valid, statistic, 1.0, -0.2, 0.1, 1.0, 2.0);
        EXPECT_EQ(valid, 0);
        EXPECT_NE(statistic, -5.5) << "the case must reach the likelihoods";
    }
    // Not-a-number and infinite parameters and iterates.
    expect_same_level({x, y, 1.0, 0.1, 0.1, kNaN, 1.0}, "NaN lambda");
    expect_same_level({x, y, kInf, 0.1, 0.1, 2.0, 1.0}, "infinite factor");
    expect_same_level({x, y, 1.0, kInf, 0.1, 2.0, 1.0}, "infinite theta");
    expect_same_level({x, y, 1.0, 0.1, 0.1, 0.0, 0.0}, "start value 0");
    expect_same_level({x, y, 1e200, 0.1, 0.1, 2.0, 1.0}, "a·a overflows");
    // Far-apart values, one position, all zeros, empty vectors.
    expect_same_level({{0, 1, 1000000, 0}, {2, 0, 999990, 1}, 1.0, 0.75, 0.75, 62500.0, 62500.0}, "0, 1 and 10^6");
    expect_same_level({{7}, {9}, 1.0, 0.1, 0.1, 6.0, 8.0}, "one position");
    expect_same_level({{0, 0, 0}, {0, 0, 0}, 1.0, 0.1, 0.1, 1.0, 1.0}, "all zeros");
    expect_same_level({{}, {}, 1.0, 0.1, 0.1, 1.0, 1.0}, "empty vectors");
    expect_same_level({{}, {}, 1.0, 0.1, 0.1, -1.0, -1.0}, "empty vectors, negative rates");
}

TEST(SparseSums, LrtmfitOnFittedRandomVectorsFromShallowToDeep)
{
    std::mt19937 rng(7);
    for (double mean : {0.5, 3.0, 40.0, 2000.0, 80000.0})
        for (int n : {3, 30, 300})
            for (double a : {1.0, 0.7, 1.9})
                for (int k = 0; k < (mean > 1000 ? 1 : 2); ++k) {
                    // The plain pass costs the largest count per iteration:
                    // deep vectors stay short here.
                    if (mean > 1000 && n != 30) continue;
                    const std::vector<int> x = overdispersed_values(rng, n, mean, 0.3);
                    const std::vector<int> y = overdispersed_values(rng, n, mean * a, 0.3);
                    const std::vector<int> x1 = one_based(x), y1 = one_based(y);
                    int cx, cy;
                    double lx = 1, tx = 0, px, ly = 1, ty = 0, py;
                    mfitmle(n, x1.data(), cx, lx, tx, px);
                    mfitmle(n, y1.data(), cy, ly, ty, py);
                    expect_same_level({x, y, a, tx, ty, lx, ly}, "mean " + std::to_string(mean));
                    // Perturbed estimates, as another condition's records give
                    // them (at shallow depth, where the plain pass is quick
                    // even when the fit runs all its iterations).
                    if (mean < 100)
                        expect_same_level({x, y, a, tx - 0.3, ty * 0.5, lx * 1.3, ly}, "perturbed, mean " + std::to_string(mean));
                }
}

TEST(SparseSums, Lrtmfit2OnCraftedParameters)
{
    ShareCase example{{3, 1, 0, 2}, {3, 1, 0, 2, 2, 5, 1}, {1, 1, 0, 0}, {1, 1, 0, 0, 4, 2, 3},
                      1.35, 1.9, 0.55, 1.25, 0.1, 0.05, -0.1, 0.2};
    expect_same_share(example, "example with dispersions");
    ShareCase poisson{{3, 1}, {3, 1, 2, 2}, {1, 1}, {1, 1, 4, 2}, 2, 2, 1, 2, 0, 0, 0, 0};
    expect_same_share(poisson, "Poisson-like example");
    // Start Λ1 = 2, ρ = 1: θ = -0.5 puts d = 0 at the value 4, which the exon
    // of condition 1 does not hold; then the same in each other pair.
    ShareCase zero{{0, 1, 6, 9}, {0, 1, 6, 9, 2, 3}, {1, 2, 0, 3}, {1, 2, 0, 3, 5, 1}, 2, 2, 2, 2, -0.5, 0.1, 0.1, 0.1};
    expect_same_share(zero, "zero denominator, exon 1");
    zero.te1 = 0.1;
    zero.tg1 = -0.5;
    expect_same_share(zero, "zero denominator, gene 1");
    zero.tg1 = 0.1;
    zero.x2 = {0, 1, 6, 9};
    zero.y2 = {0, 1, 6, 9, 2, 3};
    zero.te2 = -0.5;
    expect_same_share(zero, "zero denominator, exon 2");
    zero.te2 = 0.1;
    zero.tg2 = -0.5;
    expect_same_share(zero, "zero denominator, gene 2");
    // Negative denominators past the truncation point; tiny ones.
    ShareCase negative = example;
    negative.y2 = {1, 1, 0, 0, 40, 2, 3};
    negative.tg2 = -0.1;
    expect_same_share(negative, "negative past truncation");
    ShareCase tiny = example;
    tiny.te1 = -1e-170;
    tiny.le1 = tiny.lg1 = 1e-200;
    expect_same_share(tiny, "tiny denominators");
    // Not-a-number and infinite estimates.
    ShareCase bad = example;
    bad.le1 = kNaN;
    expect_same_share(bad, "NaN start");
    bad = example;
    bad.lg2 = kInf;
    expect_same_share(bad, "infinite start");
    bad = example;
    bad.te2 = kInf;
    expect_same_share(bad, "infinite theta");
    // Far-apart values, all zeros, one position.
    expect_same_share({{0, 1, 1000000}, {0, 1, 1000000, 3, 999999}, {0, 2, 900000}, {0, 2, 900000, 5, 888888},
                       333333.7, 399999.2, 300000.6, 357780.4, 0.0, 0.0, 0.0, 0.0},
                      "0, 1 and 10^6");
    expect_same_share({{0, 0}, {0, 0, 3, 1}, {0, 0}, {0, 0, 2, 2}, 0.1, 1, 0.1, 1, 0.1, 0.1, 0.1, 0.1}, "zero exon");
    expect_same_share({{5}, {5, 2}, {3}, {3, 4}, 5, 3.5, 3, 3.5, 0.1, 0.1, 0.1, 0.1}, "one position");
}

TEST(SparseSums, Lrtmfit2OnFittedRandomVectorsFromShallowToDeep)
{
    std::mt19937 rng(11);
    for (double mean : {0.5, 4.0, 60.0, 3000.0, 70000.0})
        for (int ne : {4, 40})
            for (int k = 0; k < 2; ++k) {
                const int ng = 3 * ne;
                std::vector<int> y1 = overdispersed_values(rng, ng, mean, 0.3);
                std::vector<int> y2 = overdispersed_values(rng, ng, mean * 1.4, 0.3);
                std::vector<int> x1(y1.begin() + ne, y1.begin() + 2 * ne), x2(y2.begin() + ne, y2.begin() + 2 * ne);
                struct {
                    int converged;
                    double lambda, theta, poisson_lambda;
                } f[4];
                const std::vector<int>* v[4] = {&x1, &y1, &x2, &y2};
                for (int q = 0; q < 4; ++q) {
                    const std::vector<int> one = one_based(*v[q]);
                    f[q].lambda = 1;
                    f[q].theta = 0;
                    mfitmle(static_cast<int>(v[q]->size()), one.data(), f[q].converged, f[q].lambda, f[q].theta,
                            f[q].poisson_lambda);
                }
                expect_same_share({x1, y1, x2, y2, f[0].lambda, f[1].lambda, f[2].lambda, f[3].lambda, f[0].theta,
                                   f[1].theta, f[2].theta, f[3].theta},
                                  "mean " + std::to_string(mean));
                if (mean < 100)
                    expect_same_share({x1, y1, x2, y2, f[0].lambda * 0.8, f[1].lambda, f[2].lambda, f[3].lambda * 1.2,
                                   f[0].theta - 0.2, f[1].theta, -0.05, f[3].theta},
                                  "perturbed, mean " + std::to_string(mean));
            }
}

TEST(CountHistogram, HoldsEveryValueOnceInAscendingOrderByTableAndBySorting)
{
    std::mt19937 rng(5);
    CountHistogram h; // reused from vector to vector, as the permutation jobs do
    for (double mean : {0.5, 30.0, 1e4, 1e6, 1e8})
        for (int n : {0, 1, 17, 500}) {
            const std::vector<int> counts = overdispersed_values(rng, n, mean, 0.2);
            const std::vector<int> x = one_based(counts);
            h.build(n, x.data());
            const CountView v = h.view();
            const int M = max_count(n, x.data());
            ASSERT_EQ(v.n, n);
            ASSERT_EQ(v.max, M);
            std::vector<int> sorted = counts;
            std::sort(sorted.begin(), sorted.end());
            std::vector<std::pair<int, int>> expected;
            for (int c : sorted)
                if (expected.empty() || expected.back().first != c)
                    expected.push_back({c, 1});
                else
                    ++expected.back().second;
            ASSERT_EQ(v.distinct, static_cast<int>(expected.size())) << "mean " << mean << ", n " << n;
            for (int i = 0; i < v.distinct; ++i) {
                EXPECT_EQ(v.values[i], expected[static_cast<std::size_t>(i)].first);
                EXPECT_EQ(v.counts[i], expected[static_cast<std::size_t>(i)].second);
            }
        }
}

TEST(SparseSums, KeptLogTermsGiveTheSameStatisticsComparisonAfterComparison)
{
    // The programs keep each vector's own log-likelihood terms between its
    // comparisons; the statistics must be those of the plain passes however
    // often the terms are reused, and new estimates must replace them.
    std::mt19937 rng(23);
    for (double mean : {3.0, 500.0, 30000.0}) {
        const int n = 40;
        const std::vector<int> x = overdispersed_values(rng, n, mean, 0.2);
        const std::vector<int> y = overdispersed_values(rng, n, mean * 1.5, 0.2);
        const std::vector<int> x1 = one_based(x), y1 = one_based(y);
        CountHistogram hx, hy;
        hx.build(n, x1.data());
        hy.build(n, y1.data());
        int cx, cy;
        double lx = 1, tx = 0, px, ly = 1, ty = 0, py;
        mfitmle(n, x1.data(), cx, lx, tx, px);
        mfitmle(n, y1.data(), cy, ly, ty, py);
        for (double a : {1.0, 1.5, 0.8, 1.5})
            for (double shift : {0.0, 0.01}) {
                int v1 = -7, v2 = -7;
                double s1 = -5.5, s2 = -5.5;
                lrtmfit_counts(hx.view_with_log_terms(), hy.view_with_log_terms(), v1, s1, a, tx, ty + shift, lx, ly);
                plain_lrtmfit(n, x1.data(), n, y1.data(), v2, s2, a, tx, ty + shift, lx, ly);
                EXPECT_EQ(v1, v2) << mean << " " << a;
                EXPECT_TRUE(same_bits(s1, s2)) << mean << " " << a << ": " << s1 << " against " << s2;
                // The share statistic with the same vectors as exon and gene.
                lrtmfit2_counts(hx.view_with_log_terms(), hy.view_with_log_terms(), hx.view_with_log_terms(),
                                hy.view_with_log_terms(), lx, ly, lx * a, ly, tx, ty + shift, tx, ty + shift, v1, s1);
                plain_lrtmfit2(n, n, x1.data(), y1.data(), x1.data(), y1.data(), lx, ly, lx * a, ly, tx, ty + shift,
                               tx, ty + shift, v2, s2);
                EXPECT_EQ(v1, v2) << mean << " " << a;
                EXPECT_TRUE(same_bits(s1, s2)) << mean << " " << a << ": " << s1 << " against " << s2;
            }
    }
}

TEST(CountHistogram, RestOfAVectorByDifferenceIsItsOwnHistogram)
{
    // A gene's rows, one exon's rows cut out of them and zeros up to a
    // longer rest: the difference of histograms against the histogram
    // built from the rest's positions.
    std::mt19937 rng(11);
    CountHistogram whole, part, by_difference, built;
    for (double mean : {0.3, 30.0, 1e5})
        for (int n : {1, 12, 400})
            for (int cut : {0, 1, n / 3, n}) {
                const std::vector<int> rows = overdispersed_values(rng, n, mean, 0.3);
                const int zeros = cut % 5;
                std::vector<int> rest(rows.begin(), rows.begin() + (n - cut));
                rest.insert(rest.end(), static_cast<std::size_t>(zeros), 0);
                const std::vector<int> all = one_based(rows), piece = one_based({rows.end() - cut, rows.end()}),
                                       rest_x = one_based(rest);
                whole.build(n, all.data());
                part.build(cut, piece.data());
                const int length = static_cast<int>(rest.size());
                by_difference.take_difference(length, whole.view(), part.view());
                built.build(length, rest_x.data());
                const CountView a = by_difference.view(), b = built.view();
                ASSERT_EQ(a.n, b.n);
                ASSERT_EQ(a.max, b.max) << "mean " << mean << ", n " << n << ", cut " << cut;
                ASSERT_EQ(a.distinct, b.distinct) << "mean " << mean << ", n " << n << ", cut " << cut;
                for (int i = 0; i < a.distinct; ++i) {
                    EXPECT_EQ(a.values[i], b.values[i]);
                    EXPECT_EQ(a.counts[i], b.counts[i]);
                }
            }
}
