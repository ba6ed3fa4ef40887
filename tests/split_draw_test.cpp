// The fast re-split of pooled counts against fPermuteValues: the same splits,
// the same seed, and the same generator and binomial caches left behind, in
// any interleaving with the plain routines.
#include "numcore/random.h"
#include "numcore/random_state.h"
#include "numcore/split_draw.h"
#include "tests/support/test_counts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

// Everything a stream leaves behind: the caller's seed and the process state.
struct StreamState {
    std::int64_t seed;
    random_state::GeneratorState g;
    random_state::BinomialCache c;

    bool operator==(const StreamState& o) const
    {
        return seed == o.seed && g.idum2 == o.g.idum2 && g.iy == o.g.iy && std::equal(g.iv, g.iv + 32, o.g.iv) &&
               c.nold == o.c.nold && c.en == o.c.en && c.oldg == o.c.oldg && c.pold == o.c.pold && c.pc == o.c.pc &&
               c.plog == o.c.plog && c.pclog == o.c.pclog;
    }
};

StreamState capture(std::int64_t seed) { return {seed, random_state::generator, random_state::binomial}; }

// A pair of 1-based count vectors.
struct Counts {
    std::vector<int> x, y;
    int n() const { return static_cast<int>(x.size()) - 1; }
};

// Over-dispersed counts whose pools have the given mean: Poisson counts of
// exponentially distributed rates, half the mean in each condition.
Counts gene(int n, double mean, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    Counts c;
    c.x = overdispersed_counts(rng, n, mean / 2, 0.0, 1.0);
    c.y = overdispersed_counts(rng, n, mean / 2, 0.0, 1.0);
    return c;
}

// Runs `perms` permutations in each world from a fresh process state and the
// same starting seed, with `between` (the same plain calls in both worlds,
// told the permutation's number) after every permutation; expects the same
// splits and the same state throughout.
void expect_same_permutations(const Counts& v, std::int64_t start, int perms, const std::string& what,
                              const std::function<void(std::int64_t&, int)>& between = nullptr)
{
    const int n = v.n();
    std::vector<std::vector<int>> ref_xp, ref_yp;
    std::vector<StreamState> ref_states;
    reset_random_state();
    std::int64_t seed = start;
    for (int p = 0; p < perms; ++p) {
        std::vector<int> xp(n + 1, -1), yp(n + 1, -1);
        fPermuteValues(v.x.data(), v.y.data(), xp.data(), yp.data(), n, seed);
        ref_xp.push_back(xp);
        ref_yp.push_back(yp);
        if (between) between(seed, p + 1);
        ref_states.push_back(capture(seed));
    }

    reset_random_state();
    seed = start;
    const PooledCounts pool(v.x.data(), v.y.data(), n);
    ASSERT_EQ(pool.size(), n);
    std::vector<int> xp(n + 1, -1);
    for (int p = 0; p < perms; ++p) {
        draw_split(pool, xp.data(), seed);
        const std::string where = what + " permutation " + std::to_string(p + 1);
        for (int i = 1; i <= n; ++i) {
            ASSERT_EQ(xp[i], ref_xp[p][i]) << where << " position " << i << " pool " << pool.pooled()[i];
            ASSERT_EQ(static_cast<int>(pool.pooled()[i] - xp[i]), ref_yp[p][i]) << where << " position " << i;
        }
        if (between) between(seed, p + 1);
        EXPECT_TRUE(capture(seed) == ref_states[p]) << where;
    }
}

// The bits of the largest single-precision angle a proposal takes.
const std::uint32_t kBelowPi = std::bit_cast<std::uint32_t>(3.1415925f);

// Whether the tangent of the angle with these bits is the library's, rounded.
bool same_tangent(std::uint32_t bits)
{
    const float a = std::bit_cast<float>(bits);
    const float want = static_cast<float>(std::tan(static_cast<double>(a)));
    return std::bit_cast<std::uint32_t>(proposal_tangent(a)) == std::bit_cast<std::uint32_t>(want);
}

} // namespace

TEST(DrawSplit, HalfThresholdDecidesEveryDrawOfTheDirectMethod)
{
    // uniform_of is non-decreasing in iy, so ran2 < 0.5f is iy < T for the
    // least T with uniform_of(T) >= 0.5f. Checked draw by draw across a
    // window far wider than any rounding near one half reaches, and at
    // the ends of the range.
    using random_state::half_threshold;
    using random_state::uniform_of;
    const std::int64_t t = half_threshold();
    const std::int64_t window = std::int64_t(1) << 22;
    for (std::int64_t iy = t - window; iy <= t + window; ++iy)
        ASSERT_EQ(uniform_of(iy) < 0.5f, iy < t) << iy;
    EXPECT_LT(static_cast<double>(uniform_of(t - window)), 0.499);
    EXPECT_GT(static_cast<double>(uniform_of(t + window)), 0.501);
    // The least iy, not merely half of IM1: single precision rounds the
    // products just below one half up to it.
    EXPECT_LT(t, (random_state::IM1 + 1) / 2);
}

TEST(DrawSplit, ProposalTangentIsTheLibraryTangentRoundedToSinglePrecision)
{
    // Every 251st single-precision angle in (0, pi), and every angle near the
    // points where the reduction changes (pi/4, 3pi/4) or the tangent is
    // largest or smallest (pi/2, pi and the smallest angles a proposal takes).
    for (std::uint32_t k = 1; k <= kBelowPi; k += 251)
        ASSERT_TRUE(same_tangent(k)) << std::bit_cast<float>(k);
    for (float centre : {0.7853982f, 1.5707964f, 2.3561945f, 3.1415925f, 1.5e-9f}) {
        const std::uint32_t c = std::bit_cast<std::uint32_t>(centre);
        for (std::uint32_t k = c - 20000; k <= std::min(c + 20000, kBelowPi); ++k)
            ASSERT_TRUE(same_tangent(k)) << std::bit_cast<float>(k);
    }
}

// Every single-precision angle in (0, pi), about 10^9 of them: some seconds
// optimised, too long for every run. Worth running with
// --gtest_also_run_disabled_tests against a new mathematics library.
TEST(DrawSplit, DISABLED_ProposalTangentOnEveryAngle)
{
    long mismatches = 0;
    for (std::uint32_t k = 1; k <= kBelowPi; ++k) mismatches += !same_tangent(k);
    EXPECT_EQ(mismatches, 0);
}

TEST(DrawSplit, CraftedStatesAtTheThresholdTheWrapAndTheBucketEdges)
{
    // A state whose next draw gives a chosen combined output: from iy = 0
    // the draw reads iv[0] and subtracts the second generator's next state
    // (small for outputs up to the top of the range, large for the outputs
    // that wrap far below zero).
    using namespace random_state;
    std::int64_t idum2 = 0, next_idum2 = 0;
    auto craft = [&](std::int64_t raw) {
        idum2 = raw > -40000 ? 1 : 987654321;
        next_idum2 = (IA2 * idum2) % IM2;
        reset_random_state();
        generator.iy = 0;
        generator.idum2 = idum2;
        for (int j = 0; j < 32; ++j) generator.iv[j] = 1000 + j;
        generator.iv[0] = raw + next_idum2; // iy = raw, or raw + IMM1 if raw <= 0
    };
    const std::int64_t t = half_threshold();
    std::vector<std::int64_t> raws = {t - 1, t, t + 1, 0, 1, -1, -40692 + 1, IM1 - 1 - 40692, t - IMM1,
                                      t - 1 - IMM1};
    for (std::int64_t q = 1; q < 32; ++q)
        for (std::int64_t d : {-1, 0}) raws.push_back(q * NDIV + d);
    // One read, two reads, a read-by-read pool of 24 and one by rejection.
    const Counts v{{0, 1, 1, 0, 12, 30}, {0, 0, 1, 0, 12, 10}};
    for (std::int64_t raw : raws) {
        craft(raw);
        ASSERT_GE(raw + next_idum2, 0);
        ASSERT_LT(raw + next_idum2, IM1);
        std::int64_t seed = 12345;
        std::vector<int> want(v.n() + 1), yp(v.n() + 1), got(v.n() + 1);
        fPermuteValues(v.x.data(), v.y.data(), want.data(), yp.data(), v.n(), seed);
        const StreamState reference = capture(seed);
        craft(raw);
        seed = 12345;
        const PooledCounts pool(v.x.data(), v.y.data(), v.n());
        draw_split(pool, got.data(), seed);
        EXPECT_EQ(got, want) << "iy " << raw;
        EXPECT_TRUE(capture(seed) == reference) << "iy " << raw;
    }
}

TEST(DrawSplit, MatchesFPermuteValuesOnGenesOfEveryDepth)
{
    struct Shape {
        const char* name;
        int n;
        double mean;
    };
    const Shape shapes[] = {{"empty-ish", 300, 0.2}, {"low", 500, 2}, {"typical", 1000, 20},
                            {"around 24", 400, 24}, {"high", 300, 200}, {"deep", 60, 30000}};
    std::uint64_t data = 1;
    for (const Shape& s : shapes)
        for (std::int64_t start : {-1, -81079, -2147483647, 5, 1776642162}) {
            const Counts v = gene(s.n, s.mean, data++);
            expect_same_permutations(v, start, 4, std::string(s.name) + " from " + std::to_string(start));
        }
    // A longer run of one gene, as a permutation test draws it: the values
    // kept between permutations are reused many times over.
    expect_same_permutations(gene(1000, 20, 99), -81079, 40, "forty permutations");
}

TEST(DrawSplit, MatchesFPermuteValuesAtTheMethodsBoundariesAndBeyondSinglePrecision)
{
    // Pools 0..30 in turn (24 the last split read by read, 25 the first by
    // rejection), then pools split in chunks of 2^24, up to the largest two
    // int counts make.
    Counts v{{0}, {0}};
    for (int k = 0; k <= 30; ++k) {
        v.x.push_back(k / 2);
        v.y.push_back(k - k / 2);
    }
    const int big[][2] = {{16777216, 0},  {16777215, 1},  {16777216, 1},         {16777216, 24},
                          {16777216, 25}, {33554432, 7},  {2147483647, 2147483647}, {24, 0},
                          {0, 25},        {1000000, 3}};
    for (const auto& b : big) {
        v.x.push_back(b[0]);
        v.y.push_back(b[1]);
    }
    for (std::int64_t start : {-3, 99})
        expect_same_permutations(v, start, 3, "boundaries from " + std::to_string(start));

    const PooledCounts pool(v.x.data(), v.y.data(), v.n());
    EXPECT_EQ(pool.pooled()[v.n() - 3], std::int64_t(4294967294));
}

TEST(DrawSplit, SeedsThatRestartOrWrapTheGeneratorMatchToo)
{
    // 0 restarts like -1; IM1 steps the first generator to 0, which restarts
    // it at the next draw; seeds from IM1 to 2^31 - 1 are not yet reduced.
    const Counts v = gene(200, 15, 77);
    for (std::int64_t start : {std::int64_t(0), random_state::IM1, -random_state::IM1, random_state::IM1 + 1,
                               std::int64_t(2147483647), std::int64_t(1), random_state::IM1 - 1})
        expect_same_permutations(v, start, 3, "from " + std::to_string(start));

    // Empty pools first (nothing drawn until the first reads, whatever the
    // seed), a rejection followed only by empty pools (nothing may be drawn
    // after it), and no reads at all.
    const Counts small[] = {{{0, 0, 0, 0, 3, 40}, {0, 0, 0, 0, 2, 1}}, {{0, 3, 30, 0, 0}, {0, 2, 20, 0, 0}},
                            {{0, 0, 0}, {0, 0, 0}}};
    for (const Counts& c : small)
        for (std::int64_t start : {std::int64_t(0), std::int64_t(-8), std::int64_t(77), random_state::IM1})
            expect_same_permutations(c, start, 4, "small from " + std::to_string(start));
}

TEST(DrawSplit, InterleavesWithThePlainRoutinesOnOneStream)
{
    // Between permutations the programs' other draws: uniforms, binomials of
    // other probabilities (which replace bnldev's cached logarithms) and of
    // other n (which replace its ln n!), and a plain re-split.
    const Counts v = gene(400, 30, 5);
    const Counts other = gene(50, 80, 6);
    auto between = [&](std::int64_t& seed, int round) {
        ran2(seed);
        bnldev(0.3f, 40 + round, seed);
        bnldev(0.5f, 10, seed);
        if (round % 2 == 0) bnldev(0.5f, 3000, seed);
        std::vector<int> xp(other.n() + 1), yp(other.n() + 1);
        fPermuteValues(other.x.data(), other.y.data(), xp.data(), yp.data(), other.n(), seed);
        bnldev(0.7f, 60, seed);
    };
    for (std::int64_t start : {-4242, 31337})
        expect_same_permutations(v, start, 6, "interleaved from " + std::to_string(start), between);

    // A permutation that ends on a rejection pool leaves bnldev's ln n! for
    // that n: bnldev of that n, then of the n cached before, afterwards.
    Counts last_rejection = gene(100, 10, 9);
    last_rejection.x.insert(last_rejection.x.end(), {300, 4});
    last_rejection.y.insert(last_rejection.y.end(), {211, 3});
    auto same_n_then_other = [](std::int64_t& seed, int) {
        bnldev(0.5f, 511, seed);
        bnldev(0.5f, 3000, seed);
    };
    expect_same_permutations(last_rejection, -17, 3, "cached n", same_n_then_other);
}
