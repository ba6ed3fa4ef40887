// The goodness-of-fit test on deep count vectors, where it skips the count
// values that cannot form a class, held bit for bit to the direct pass over
// every value (mychisq_plain), outputs left alone included.
#include "mfit/mychisq.h"
#include "numcore/gammln.h"
#include "tests/support/mychisq_plain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

struct Outputs {
    // Sentinels: a field that the routine leaves alone keeps them.
    int gp_valid = -7, p_valid = -8, gp_df = -9, p_df = -10;
    double gp = -11.5, p = -12.5;
};

using Routine = void (*)(int, const int*, double, double, double, int&, int&, int&, int&, double&, double&);

Outputs run(Routine routine, const std::vector<int>& counts, double theta, double lambda, double mu)
{
    std::vector<int> v(counts.size() + 1, -999);
    std::copy(counts.begin(), counts.end(), v.begin() + 1);
    Outputs o;
    routine(static_cast<int>(counts.size()), v.data(), theta, lambda, mu, o.gp_valid, o.p_valid, o.gp_df, o.p_df,
            o.gp, o.p);
    return o;
}

std::string describe(const Outputs& o)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, "gp %d df %d %.17g | p %d df %d %.17g", o.gp_valid, o.gp_df, o.gp, o.p_valid, o.p_df,
                  o.p);
    return buf;
}

bool same_bits(const Outputs& a, const Outputs& b)
{
    return a.gp_valid == b.gp_valid && a.p_valid == b.p_valid && a.gp_df == b.gp_df && a.p_df == b.p_df &&
           std::bit_cast<std::uint64_t>(a.gp) == std::bit_cast<std::uint64_t>(b.gp) &&
           std::bit_cast<std::uint64_t>(a.p) == std::bit_cast<std::uint64_t>(b.p);
}

// Runs the direct pass and the routine under test (mychisq unless given) on
// one case and reports any difference; returns the direct pass's outputs for
// checks of their own.
Outputs expect_same(const std::vector<int>& counts, double theta, double lambda, double mu, const std::string& what,
                    Routine tested = mychisq)
{
    const Outputs want = run(mychisq_plain, counts, theta, lambda, mu);
    const Outputs got = run(tested, counts, theta, lambda, mu);
    EXPECT_TRUE(same_bits(want, got)) << what << "\n  n " << counts.size() << " theta " << theta << " lambda "
                                      << lambda << " mu " << mu << "\n  want " << describe(want) << "\n  got  "
                                      << describe(got);
    return want;
}

std::string label(const char* kind, double theta, double lambda, int n, int M)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s theta=%.17g lambda=%.17g n=%d M=%d", kind, theta, lambda, n, M);
    return buf;
}

// n counts drawn around a centre with a spread, clipped to 0..M, with the
// largest count M placed `tops` times.
std::vector<int> around(std::mt19937_64& rng, int n, double centre, double spread, int M, int tops = 1)
{
    std::normal_distribution<double> normal(centre, spread);
    std::vector<int> v(n);
    for (int& x : v) x = static_cast<int>(std::clamp(std::round(normal(rng)), 0.0, static_cast<double>(M)));
    for (int i = 0; i < std::min(tops, n); ++i) v[static_cast<std::size_t>(i) * 7 % v.size()] = M;
    return v;
}

// Mostly zeros with a few deep values up to M: the vector of a position
// range that a handful of very deep positions dominate.
std::vector<int> zeros_and_peaks(std::mt19937_64& rng, int n, int M)
{
    std::vector<int> v(n, 0);
    std::uniform_int_distribution<int> deep(M / 100, M);
    std::uniform_int_distribution<int> where(0, n - 1);
    for (int i = 0; i < 1 + n / 50; ++i) v[where(rng)] = deep(rng);
    v[where(rng)] = M;
    return v;
}

double log_uniform(std::mt19937_64& rng, double lo, double hi)
{
    return std::exp(std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(rng));
}

// The generalized Poisson mean (for theta < 0 roughly), the usual fit's
// centre of the data.
double genpois_mean(double lambda, double theta) { return lambda / (1.0 - theta); }

// The largest single-value probability of the generalized Poisson model
// near its mean, as the production expression computes it for n = 1.
double genpois_peak(double lambda, double theta)
{
    const int centre = static_cast<int>(genpois_mean(lambda, theta));
    double best = 0.0;
    for (int k = std::max(0, centre - 3000); k <= centre + 3000; ++k) {
        const double rate = lambda + theta * k;
        if (!(rate > 0)) break;
        best = std::max(best, std::exp(std::log(lambda) + (k - 1) * std::log(rate) - rate - gammln(k + 1)));
    }
    return best;
}

} // namespace

TEST(MychisqDepth, RandomParametersAndDeepVectorsMatchTheDirectPass)
{
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int c = 0; c < 240; ++c) {
        double theta;
        const double pick = unit(rng);
        if (pick < 0.35)
            theta = unit(rng) * 0.9;
        else if (pick < 0.55)
            theta = 0.9 + unit(rng) * 0.099;
        else if (pick < 0.8)
            theta = -unit(rng);
        else
            theta = (unit(rng) < 0.5 ? -1 : 1) * log_uniform(rng, 1e-12, 1e-3);
        const double lambda = log_uniform(rng, 1e-3, 1e6);
        const int n = static_cast<int>(log_uniform(rng, 1, 20000));
        // Deep enough for the skipping path in most cases, a few below it.
        int M = static_cast<int>(log_uniform(rng, 200, c % 20 == 0 ? 2e6 : 1.5e5));
        double mean = genpois_mean(lambda, theta);
        if (theta < 0 && unit(rng) < 0.5) {
            // Near where the rate reaches 0: before, at or after M.
            const double end = lambda / -theta;
            if (end < 2e6) M = std::max(1, static_cast<int>(end) + static_cast<int>(unit(rng) * 5) - 2);
        }
        const double spread = std::sqrt(std::max(mean, 1.0) / std::pow(1.0 - std::min(theta, 0.99), 3));
        std::vector<int> counts = unit(rng) < 0.3 ? zeros_and_peaks(rng, n, M)
                                                  : around(rng, n, std::min(mean, 1.0 * M), spread, M, 1 + c % 3);
        const double mu = unit(rng) < 0.7 ? std::max(mean, 1e-3) : log_uniform(rng, 1e-3, 2e6);
        expect_same(counts, theta, lambda, mu, label("random", theta, lambda, n, M));
    }
}

TEST(MychisqDepth, PeakExpectedFrequencyNearTheClassBoundary)
{
    // n chosen so that the highest expected frequency is about 5 (a class or
    // not by a hair) or about 2.5 (the anchor of a tail lies at the peak).
    std::mt19937_64 rng(7);
    const double shapes[][2] = {{4e4, 0.0}, {2e4, 0.3}, {500, 0.95}, {6e4, -0.2}, {30, 0.99}, {3e4, 0.5}};
    for (const auto& shape : shapes) {
        const double lambda = shape[0], theta = shape[1];
        const double peak = genpois_peak(lambda, theta);
        for (double target : {2.5, 5.0}) {
            const int base = static_cast<int>(target / peak);
            for (int n = std::max(1, base - 2); n <= base + 2; ++n) {
                const double mean = genpois_mean(lambda, theta);
                const int M = std::max(4 * n, static_cast<int>(3 * mean));
                std::vector<int> counts = around(rng, n, mean, std::sqrt(mean) * 2, M);
                expect_same(counts, theta, lambda, mean, label("peak", theta, lambda, n, M));
            }
        }
    }
    // The Poisson model alone, its peak 1 / sqrt(2 pi mu) by Stirling.
    for (double mu : {3e3, 4.1e4, 1.2e5}) {
        const double peak = std::exp(-0.5 * std::log(2 * std::numbers::pi * mu));
        for (double target : {2.5, 5.0})
            for (double f : {0.999, 1.0, 1.001}) {
                const int n = static_cast<int>(f * target / peak);
                std::vector<int> counts = around(rng, n, mu, std::sqrt(mu), static_cast<int>(2 * mu));
                expect_same(counts, 0.0, 1.0, mu, label("poisson peak", 0.0, mu, n, static_cast<int>(2 * mu)));
            }
    }
}

TEST(MychisqDepth, NegativeThetaAroundTheLastPositiveRate)
{
    std::mt19937_64 rng(11);
    const int n = 1500;
    // lambda + theta * 4000 is exactly 0: the rate is 0 at k = M (no NaN, e = 0)
    // and negative one value beyond (the model fails).
    for (int M : {3998, 3999, 4000, 4001, 4100}) {
        std::vector<int> counts = around(rng, n, 800, 40, M);
        const Outputs o = expect_same(counts, -0.25, 1000.0, 800.0, label("rate 0 at 4000", -0.25, 1000, n, M));
        EXPECT_EQ(o.gp_valid, M > 4000 ? 0 : 1);
    }
    // One ulp either side of 0 at k = M.
    const int M = 5000;
    const double theta = -0.3;
    const double lambda0 = -theta * M;
    for (double lambda : {std::nextafter(lambda0, 0.0), lambda0, std::nextafter(lambda0, 1e9)}) {
        std::vector<int> counts = around(rng, n, lambda / 1.3, 30, M);
        expect_same(counts, theta, lambda, lambda / 1.3, label("ulp at M", theta, lambda, n, M));
    }
    // The rate 0 at k = 1 (lambda = -theta), and far before M.
    for (double t : {-0.5, -1.0, -0.125}) {
        std::vector<int> counts = zeros_and_peaks(rng, n, 20000);
        const Outputs o = expect_same(counts, t, -t, 3.0, label("rate 0 at 1", t, -t, n, 20000));
        EXPECT_EQ(o.gp_valid, 0);
        EXPECT_EQ(o.gp_df, -9);
    }
    // The rate small but positive over the last few hundred values.
    for (double lambda : {1000.0, 1000.3, 999.99}) {
        const int top = static_cast<int>(lambda / 0.5) - 1;
        std::vector<int> counts = around(rng, 900, lambda / 1.5, 20, top);
        expect_same(counts, -0.5, lambda, lambda / 1.5, label("near end", -0.5, lambda, 900, top));
    }
}

TEST(MychisqDepth, TinyNegativeThetaEndsBeyondAnyCount)
{
    // The last positive rate lies beyond 2^31 here.
    std::mt19937_64 rng(13);
    for (double theta : {-1e-12, -3e-10, -1e-7, -0x1p-60, -4.9e-324}) {
        for (double lambda : {0.01, 5.0, 2e4, 3e5}) {
            const int n = 1500;
            const int M = 400000;
            std::vector<int> counts = around(rng, n, lambda, std::sqrt(lambda) + 1, M);
            expect_same(counts, theta, lambda, lambda, label("tiny theta", theta, lambda, n, M));
        }
    }
}

TEST(MychisqDepth, HeavyTailsCloseToThetaOne)
{
    // Long flat tails: the bounds cannot always follow them, and the answer
    // must still be the direct pass's.
    std::mt19937_64 rng(17);
    for (double theta : {0.99, 0.999, 0.9999, 0.99999}) {
        for (double lambda : {0.5, 10.0, 300.0}) {
            const int n = 2000;
            const int M = theta > 0.9995 ? 400000 : 150000;
            std::vector<int> counts = zeros_and_peaks(rng, n, M);
            expect_same(counts, theta, lambda, 50.0, label("heavy", theta, lambda, n, M));
        }
    }
}

TEST(MychisqDepth, NoClassAnywhereLeavesTheOutputsAlone)
{
    std::mt19937_64 rng(19);
    for (double theta : {0.0, 0.6, 0.97, -0.4}) {
        for (int n : {1, 3, 40}) {
            const double lambda = 5e4 * (1 - theta);
            std::vector<int> counts = around(rng, n, 5e4, 300, 120000);
            const Outputs o = expect_same(counts, theta, lambda, 5e4, label("no class", theta, lambda, n, 120000));
            EXPECT_EQ(o.gp_valid, 0);
            EXPECT_EQ(o.p_valid, 0);
            EXPECT_EQ(o.gp_df, -9);
            EXPECT_EQ(o.p_df, -10);
            EXPECT_EQ(o.gp, -11.5);
            EXPECT_EQ(o.p, -12.5);
        }
    }
}

TEST(MychisqDepth, ManyClassesFromManyPositions)
{
    std::mt19937_64 rng(23);
    const int n = 20000;
    for (double theta : {0.0, 0.2, 0.7, -0.02}) {
        const double lambda = 3000 * (1 - theta);
        std::vector<int> counts = around(rng, n, 3000, 120, 90000, 5);
        const Outputs o = expect_same(counts, theta, lambda, 3000.0, label("many", theta, lambda, n, 90000));
        EXPECT_EQ(o.gp_valid, 1);
        EXPECT_GT(o.gp_df, 100);
    }
}

TEST(MychisqDepth, SmallMeansAndMeansAboveTheLargestCount)
{
    std::mt19937_64 rng(29);
    const int n = 1000;
    const int M = 50000;
    std::vector<int> counts = zeros_and_peaks(rng, n, M);
    // Peaks at 0, past M, at and around M, and parameters too small, too
    // large or not numbers, which the skipping path does not take on.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double mu : {0x1p-30, 1e-9, 0.3, 2.0, 49999.5, 50000.0, 50001.0, 8e4, 3e6, 0x1p32, 1e10, 0.0, -1.0, inf,
                      nan}) {
        expect_same(counts, 0.1, 0.9 * mu, mu, label("mu", 0.1, 0.9 * mu, n, M));
        expect_same(counts, -0.01, mu, mu, label("mu", -0.01, mu, n, M));
    }
    for (double theta : {-1.0, -1.0000001, 1.0, 1.5, nan, inf})
        expect_same(counts, theta, 2.0, 2.0, label("theta", theta, 2.0, n, M));
}

TEST(MychisqDepth, EitherSideOfTheDepthAtWhichTheSkippingStarts)
{
    std::mt19937_64 rng(31);
    for (int n : {1, 2, 100, 127, 128, 129, 300, 2000}) {
        for (int M : {250, 255, 256, 257, 258, 2 * n - 1, 2 * n, 2 * n + 1, 2 * n + 2, 2 * n + 3}) {
            if (M < 1) continue;
            for (double theta : {0.0, 0.4, -0.05}) {
                const double lambda = 0.2 * M * (1 - theta);
                std::vector<int> counts = around(rng, n, 0.2 * M, 0.05 * M + 1, M);
                expect_same(counts, theta, lambda, 0.2 * M, label("edge", theta, lambda, n, M));
            }
        }
    }
}

namespace {

// mychisq_walk_from with its start held in a variable, as a Routine.
int g_from = -1;
void walk_from(int n, const int* counts, double theta, double lambda, double mu, int& a, int& b, int& c, int& d,
               double& e, double& f)
{
    mychisq_walk_from(g_from, n, counts, theta, lambda, mu, a, b, c, d, e, f);
}

} // namespace

TEST(MychisqDepth, WalksStartedAwayFromThePeakStillFindEveryClass)
{
    // From a start off the peak the walk meets values below the anchor while
    // the model still rises ahead of it (or rose behind it): the tail proofs
    // must refuse there, and the band must still reach every class.
    std::mt19937_64 rng(41);
    const double shapes[][2] = {{800, 0.0},  {300, 0.5},  {60, 0.9},  {20, 0.97}, {2, 0.995},
                                {2500, -0.3}, {900, -1e-6}, {40, 0.0}, {3, 0.6}};
    for (const auto& shape : shapes) {
        const double lambda = shape[0], theta = shape[1];
        const double mean = genpois_mean(lambda, theta);
        const int M = 30000;
        for (int n : {300, 5000}) {
            std::vector<int> counts = around(rng, n, mean, std::sqrt(mean) * 3 + 1, M);
            const int peak = static_cast<int>(mean);
            std::uniform_int_distribution<int> anywhere(0, M);
            for (int from : {0, 1, 2, 3, peak / 4, peak / 2, peak - 1, peak + 1, 2 * peak, 4 * peak + 7, M / 2, M - 1,
                             M, anywhere(rng), anywhere(rng) / 16}) {
                g_from = from;
                expect_same(counts, theta, lambda, mean,
                            label(("from " + std::to_string(from)).c_str(), theta, lambda, n, M), walk_from);
            }
        }
    }
}

TEST(MychisqDepth, DeepPathOnShallowVectors)
{
    // The walk, its proofs and its fallback where every value is near the
    // edge: largest counts from 1 to a few hundred.
    std::mt19937_64 rng(43);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int c = 0; c < 3000; ++c) {
        const int M = static_cast<int>(log_uniform(rng, 1, 400));
        const int n = static_cast<int>(log_uniform(rng, 1, 5000));
        const double theta = unit(rng) < 0.3 ? -unit(rng) : unit(rng) * 0.999;
        const double lambda = log_uniform(rng, 1e-3, 2.0 * M + 1);
        const double mean = genpois_mean(lambda, theta);
        std::vector<int> counts = around(rng, n, std::min(mean, 1.0 * M), std::sqrt(mean) + 1, M);
        g_from = unit(rng) < 0.5 ? -1 : static_cast<int>(unit(rng) * (M + 1));
        expect_same(counts, theta, lambda, std::max(mean, 1e-3),
                    label(("shallow from " + std::to_string(g_from)).c_str(), theta, lambda, n, M), walk_from);
    }
}

namespace {

// The slope log P(k + 1) - log P(k) of the generalized Poisson model in long
// double, far closer to the real one than the bounds' allowance.
long double true_slope(double lambda, double theta, std::int64_t k)
{
    const long double l = lambda, t = theta, kk = static_cast<long double>(k);
    const long double r0 = l + t * kk, r1 = l + t * (kk + 1);
    return std::log(r1 / (kk + 1)) - t + (kk - 1) * std::log1p(t / r0);
}

} // namespace

TEST(MychisqDepth, SlopeBoundsHoldAtEveryValueOfTheirBlock)
{
    std::mt19937_64 rng(47);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int finite = 0;
    for (int c = 0; c < 1500; ++c) {
        const double pick = unit(rng);
        const double theta = pick < 0.4    ? unit(rng) * 0.999
                             : pick < 0.55 ? 1 - log_uniform(rng, 1e-5, 0.1)
                             : pick < 0.85 ? -unit(rng)
                                           : (unit(rng) < 0.5 ? -1 : 1) * log_uniform(rng, 1e-12, 1e-3);
        const double lambda = log_uniform(rng, 1e-3, 1e6);
        int M = 2000000;
        if (theta < 0) M = static_cast<int>(std::min(2e6, lambda / -theta - unit(rng) * 3));
        if (M < 2) continue;
        const double mean = genpois_mean(lambda, theta);
        std::uniform_int_distribution<int> anywhere(1, M - 1);
        // Blocks around the peak, from the first values, up to the end, anywhere.
        for (int block = 0; block < 12; ++block) {
            const int width = block < 3 ? block : static_cast<int>(log_uniform(rng, 1, 2e6));
            int a;
            switch (block % 4) {
            case 0: a = std::clamp(static_cast<int>(std::min(mean, 1.0 * M)) - width / 2, 1, M - 1); break;
            case 1: a = 1 + block; break;
            case 2: a = std::max(1, M - 2 - width); break;
            default: a = anywhere(rng);
            }
            const int b = static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(a) + width, M - 1));
            double below = 0, above = 0;
            if (!mychisq_slope_bounds(lambda, theta, M, a, b, below, above)) continue;
            finite += std::isfinite(below) && std::isfinite(above);
            std::vector<int> ks;
            if (b - a <= 64) {
                for (int k = a; k <= b; ++k) ks.push_back(k);
            } else {
                ks = {a, a + 1, a + 2, (a + b) / 2, b - 2, b - 1, b};
                std::uniform_int_distribution<int> inside(a, b);
                for (int i = 0; i < 24; ++i) ks.push_back(inside(rng));
            }
            for (int k : ks) {
                const long double slope = true_slope(lambda, theta, k);
                ASSERT_TRUE(below <= slope && slope <= above)
                    << "theta " << theta << " lambda " << lambda << " M " << M << " block " << a << ".." << b
                    << " k " << k << ": " << below << " <= " << static_cast<double>(slope) << " <= " << above;
            }
        }
    }
    EXPECT_GT(finite, 5000); // the check above is not empty
}

TEST(MychisqDepth, LogGammaIsCloseEnoughForTheTailBounds)
{
    // The tail proofs allow the computed log-probabilities 1e-3 of error in
    // all; ln k! alone must stay far inside that up to the largest count.
    for (double x = 1; x < 2147483648.0; x = std::floor(x * 1.37) + 1) {
        const long double want = std::lgamma(static_cast<long double>(x));
        EXPECT_LT(std::fabs(static_cast<double>(gammln(x) - want)), 1e-4) << x;
    }
}

TEST(MychisqDepth, DISABLED_Timing)
{
    // Per-call times of the direct pass and of the routine, for the record:
    // default-depth vectors and deep ones. Not run by default.
    std::mt19937_64 rng(37);
    struct Shape {
        const char* name;
        int n;
        double centre, spread, theta;
        int M;
    };
    const Shape shapes[] = {
        {"default depth", 2000, 15, 5, 0.1, 40},   {"default depth, wide", 2000, 20, 12, 0.4, 110},
        {"medium", 2000, 900, 200, 0.4, 3000},     {"medium, past 2n", 2000, 1500, 400, 0.5, 4500},
        {"deep", 2000, 2e4, 4e3, 0.6, 1000000},    {"deep, Poisson-like", 2000, 3e5, 600, 0.0, 1000000},
        {"deep, short", 300, 5e4, 2e4, 0.8, 1300000},   {"deep, with classes", 2000, 5000, 71, 0.0, 1000000},
        {"deep, heavy tail", 2000, 1e4, 1e4, 0.99, 1000000},
    };
    for (const Shape& s : shapes) {
        std::vector<int> counts = around(rng, s.n, s.centre, s.spread, s.M);
        const double lambda = s.centre * (1 - s.theta);
        for (Routine routine : {static_cast<Routine>(mychisq_plain), static_cast<Routine>(mychisq)}) {
            int reps = 0;
            const auto t0 = std::chrono::steady_clock::now();
            auto t1 = t0;
            do {
                run(routine, counts, s.theta, lambda, s.centre);
                ++reps;
                t1 = std::chrono::steady_clock::now();
            } while (t1 - t0 < std::chrono::milliseconds(300));
            std::printf("%-26s %-6s %12.2f us\n", s.name, routine == mychisq ? "new" : "direct",
                        std::chrono::duration<double, std::micro>(t1 - t0).count() / reps);
        }
    }
}
