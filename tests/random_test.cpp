// The uniform stream, the binomial deviates, the count re-split and the
// summary of a permutation null.
#include "numcore/nullsummary.h"
#include "numcore/random.h"

#include "tests/support/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

// How many ran2 draws, in a fresh stream started from `start`, leave the
// seed at `after`; -1 when no number up to `limit` does.
int draws_to_reach(std::int64_t start, std::int64_t after, int limit)
{
    reset_random_state();
    std::int64_t s = start;
    for (int k = 1; k <= limit; ++k) {
        ran2(s);
        if (s == after) return k;
    }
    return -1;
}

} // namespace

TEST(Ran2, FirstFiveValuesFromSeedMinusOne)
{
    reset_random_state();
    std::int64_t seed = -1;
    char buf[32];
    std::vector<std::string> got;
    for (int i = 0; i < 5; ++i) {
        std::snprintf(buf, sizeof buf, "%.7f", ran2(seed));
        got.push_back(buf);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"0.2853809", "0.2533582", "0.0934685", "0.6084969", "0.9034203"}));
    EXPECT_EQ(seed, 1776642162);
}

TEST(Ran2, SeedsZeroAndMinusOneGiveTheSameStream)
{
    std::vector<float> a, b;
    reset_random_state();
    std::int64_t s = 0;
    for (int i = 0; i < 100; ++i) a.push_back(ran2(s));
    reset_random_state();
    s = -1;
    for (int i = 0; i < 100; ++i) b.push_back(ran2(s));
    EXPECT_EQ(a, b);
}

TEST(Ran2, StaysStrictlyInsideTheUnitInterval)
{
    reset_random_state();
    std::int64_t s = -4242;
    for (int i = 0; i < 2000000; ++i) {
        float u = ran2(s);
        ASSERT_GT(u, 0.0f);
        ASSERT_LT(u, 1.0f);
        ASSERT_LE(static_cast<double>(u), 0.99999988 + 1e-9);
    }
}

TEST(Bnldev, SmallPoolsDrawOncePerReadLargeOnesByRejection)
{
    // A pool of 24 is split read by read: exactly 24 draws.
    reset_random_state();
    std::int64_t seed = -77;
    float k = bnldev(0.5f, 24, seed);
    EXPECT_GE(k, 0.0f);
    EXPECT_LE(k, 24.0f);
    EXPECT_EQ(draws_to_reach(-77, seed, 1000), 24);

    // 25 takes the rejection method: two draws per attempt, so an even
    // number of at least two.
    for (std::int64_t start : {-77, -78, -79, -80}) {
        reset_random_state();
        seed = start;
        bnldev(0.5f, 25, seed);
        const int used = draws_to_reach(start, seed, 1000);
        EXPECT_GE(used, 2);
        EXPECT_EQ(used % 2, 0);
    }
}

TEST(Bnldev, ReflectsProbabilitiesAboveOneHalf)
{
    for (int n : {10, 30, 400}) {
        reset_random_state();
        std::int64_t s = -9;
        float high = bnldev(0.7f, n, s);
        reset_random_state();
        s = -9;
        float low = bnldev(0.3f, n, s);
        EXPECT_EQ(high, static_cast<float>(n) - low) << n;
    }
}

TEST(Bnldev, EveryMethodStaysWithinZeroToN)
{
    reset_random_state();
    std::int64_t s = -123;
    // Direct (n <= 24), Poisson (n p < 1) and rejection.
    for (auto [p, n] : std::vector<std::pair<float, int>>{{0.5f, 3}, {0.02f, 30}, {0.01f, 90}, {0.5f, 25}, {0.5f, 5000}}) {
        double sum = 0;
        for (int i = 0; i < 4000; ++i) {
            float k = bnldev(p, n, s);
            ASSERT_GE(k, 0.0f);
            ASSERT_LE(k, static_cast<float>(n));
            ASSERT_EQ(k, std::floor(k));
            sum += k;
        }
        EXPECT_NEAR(sum / 4000 / n, p, 5 * std::sqrt(p * (1 - p) / n / 4000) + 1e-3) << p << " " << n;
    }
}

TEST(FPermuteValues, KeepsEveryPooledCountAndLeavesTheInputs)
{
    reset_random_state();
    std::int64_t seed = -31;
    const std::vector<int> x = {0, 0, 5, 24, 0, 13, 100, 7, 99999, 16777216, 30000000};
    const std::vector<int> y = {0, 0, 0, 1, 25, 12, 3, 7, 1, 1, 2000000};
    const int n = static_cast<int>(x.size()) - 1;
    std::vector<int> xp(n + 1), yp(n + 1);
    for (int round = 0; round < 200; ++round) {
        fPermuteValues(x.data(), y.data(), xp.data(), yp.data(), n, seed);
        for (int i = 1; i <= n; ++i) {
            const long long s = static_cast<long long>(x[i]) + y[i];
            ASSERT_GE(xp[i], 0);
            ASSERT_LE(xp[i], s);
            ASSERT_EQ(static_cast<long long>(xp[i]) + yp[i], s);
        }
    }
    EXPECT_EQ(x[3], 24);
    EXPECT_EQ(y[10], 2000000);
}

TEST(FPermuteValues, SameSeedSameSplitAndEmptyPoolsDrawNothing)
{
    const std::vector<int> x = {0, 3, 0, 40, 2};
    const std::vector<int> y = {0, 1, 0, 9, 2};
    std::vector<int> a(5), b(5), c(5), d(5);
    reset_random_state();
    std::int64_t s1 = -5;
    fPermuteValues(x.data(), y.data(), a.data(), b.data(), 4, s1);
    reset_random_state();
    std::int64_t s2 = -5;
    fPermuteValues(x.data(), y.data(), c.data(), d.data(), 4, s2);
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, d);
    EXPECT_EQ(s1, s2);

    const std::vector<int> zeros = {0, 0, 0, 0};
    std::vector<int> zp(4), zq(4);
    std::int64_t s3 = 12345;
    fPermuteValues(zeros.data(), zeros.data(), zp.data(), zq.data(), 3, s3);
    EXPECT_EQ(s3, 12345);
    EXPECT_EQ(zp, (std::vector<int>{0, 0, 0, 0}));
}

TEST(NullSummary, OneTwoThreeInSinglePrecision)
{
    PermutationSummary s;
    for (double x : {1.0, 2.0, 3.0}) nulladd(s, x);
    nullgamma(s);
    EXPECT_EQ(s.nvalid, 3);
    EXPECT_EQ(six(s.scale), "0.222222");
    EXPECT_EQ(six(s.shape), "9.000002");

    // The same steps in double precision print 9.000000: the test tells the
    // two apart.
    double sum = 6, sumsq = 14, n = 3;
    double q = sumsq / n, mean = sum / n, v = (q - mean * mean) * ((n - 1) / n);
    double scale = v / mean;
    EXPECT_EQ(six(mean / scale), "9.000000");
}

TEST(NullSummary, DegenerateCountsGiveNotANumberOrInfinity)
{
    PermutationSummary none;
    nullgamma(none);
    EXPECT_TRUE(std::isnan(none.scale));
    EXPECT_TRUE(std::isnan(none.shape));

    PermutationSummary one;
    nulladd(one, 2.5);
    nullgamma(one);
    EXPECT_EQ(one.scale, 0.0f);
    EXPECT_TRUE(std::isinf(one.shape));

    PermutationSummary zero;
    nulladd(zero, 0.0);
    nullgamma(zero);
    EXPECT_TRUE(std::isnan(zero.shape));
}

TEST(ComparisonSeed, MixesTheRunSeedAndEveryFieldIntoARestart)
{
    // Worked out apart from the code, from SplitMix64's step as documented
    // (its first value from state 0 is 0xe220a8397b1dcdaf).
    EXPECT_EQ(comparison_seed(-81079, 1, 1, 2, 0), -1019999654);
    EXPECT_EQ(comparison_seed(-81079, 1, 1, 2, 3), -1037652652);
    EXPECT_EQ(comparison_seed(-81079, 2, 1, 2, 0), -1093782586);
    EXPECT_EQ(comparison_seed(-81079, 40, 3, 4, 0), -850533554);
    EXPECT_EQ(comparison_seed(0, 0, 0, 0, 0), -1555859861);
    EXPECT_EQ(comparison_seed(1, 2, 3, 4, 5), -937174351);
    // The order of the fields counts: the pair (2, 1) is not the pair (1, 2).
    EXPECT_EQ(comparison_seed(-81079, 1, 2, 1, 0), -633225338);
    EXPECT_EQ(comparison_seed(-81078, 1, 1, 2, 0), -1825615438);
    constexpr std::int64_t lo = INT64_MIN, hi = INT64_MAX;
    EXPECT_EQ(comparison_seed(lo, hi, -1, 0, hi), -1267757421);
    EXPECT_EQ(comparison_seed(hi, lo, 0, -1, lo), -265018245);

    // Every value, for any inputs, is a restart that ran2 can take.
    const std::int64_t extremes[] = {lo, lo + 1, -2147483648, -2147483647, -1, 0, 1, 2147483647, 2147483648, hi};
    for (std::int64_t a : extremes)
        for (std::int64_t b : extremes)
            for (std::int64_t c : extremes)
                for (std::int64_t d : {lo, std::int64_t{0}, hi})
                    for (std::int64_t e : {lo, std::int64_t{-1}, hi}) {
                        const std::int64_t s = comparison_seed(a, b, c, d, e);
                        ASSERT_GE(s, -kMaxSeedMagnitude);
                        ASSERT_LE(s, -1);
                    }

    // Changing any one field changes the seed.
    const std::int64_t base[5] = {-81079, 7, 1, 3, 12};
    auto seed_of = [](const std::int64_t f[5]) { return comparison_seed(f[0], f[1], f[2], f[3], f[4]); };
    for (int k = 0; k < 5; ++k)
        for (std::int64_t delta : {-1, 1, 1000}) {
            std::int64_t changed[5] = {base[0], base[1], base[2], base[3], base[4]};
            changed[k] += delta;
            EXPECT_NE(seed_of(changed), seed_of(base)) << "field " << k << " moved by " << delta;
        }

    // The comparisons of a run of 100 genes, 4 conditions and up to 10 exons
    // a gene all get streams of their own.
    std::set<std::int64_t> seeds;
    int count = 0;
    for (int g = 1; g <= 100; ++g)
        for (int i = 1; i <= 4; ++i)
            for (int j = i + 1; j <= 4; ++j)
                for (int e = 0; e <= 10; ++e, ++count) seeds.insert(comparison_seed(-81079, g, i, j, e));
    EXPECT_EQ(static_cast<int>(seeds.size()), count);
}
