// Benchmarks of the numeric kernels on data shaped like a real gene: 1000
// positions of over-dispersed counts with a pooled mean of about 20 reads.
#include "isocmp/lrtmfit2.h"
#include "isocmp/share_permutation.h"
#include "lvcmp/level_permutation.h"
#include "lvcmp/lrtmfit.h"
#include "mfit/mychisq.h"
#include "numcore/gp_profile.h"
#include "numcore/histogram.h"
#include "numcore/mfitmle.h"
#include "numcore/random.h"
#include "numcore/split_draw.h"
#include "tests/support/lcg.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Deterministic over-dispersed counts with the given mean (Lcg::count),
// so that the benchmark data do not depend on the generator under test.
std::vector<int> gene_counts(int n, double mean, std::uint64_t state)
{
    Lcg lcg{state};
    std::vector<int> v(n + 1, 0);
    for (int i = 1; i <= n; ++i) v[i] = lcg.count(mean, 10000);
    return v;
}

const std::vector<int> kX = gene_counts(1000, 10.0, 1);
const std::vector<int> kY = gene_counts(1000, 10.0, 2);

void BM_LevelPermutationTest(benchmark::State& state)
{
    std::int64_t seed = -81079;
    for (auto _ : state) {
        GammaNull null = level_permutation_test(kX.data(), kY.data(), 1000, seed);
        benchmark::DoNotOptimize(null);
    }
    state.SetItemsProcessed(state.iterations() * kPermutations);
    state.SetLabel("items = permutations");
}
BENCHMARK(BM_LevelPermutationTest)->Unit(benchmark::kMillisecond);

// The share test of one exon of a 1000-position gene with ten exons of 100
// positions: the exon is the gene's fourth, positions 301..400.
void BM_SharePermutationTest(benchmark::State& state)
{
    std::vector<int> ei(101), el(101);
    for (int j = 1; j <= 100; ++j) {
        ei[j] = kX[300 + j];
        el[j] = kY[300 + j];
    }
    const ShareVectors v{100, 1000, ei.data(), kX.data(), el.data(), kY.data(), 301, 400};
    std::int64_t seed = -81079;
    for (auto _ : state) {
        GammaNull null = share_permutation_test(2, v, seed);
        benchmark::DoNotOptimize(null);
    }
    state.SetItemsProcessed(state.iterations() * kPermutations);
    state.SetLabel("items = permutations");
}
BENCHMARK(BM_SharePermutationTest)->Unit(benchmark::kMillisecond);

// Deep counts: the same gamma mixing, the Poisson count by its normal
// approximation, which inversion cannot reach at such rates.
std::vector<int> deep_counts(int n, double mean, std::uint64_t state)
{
    Lcg lcg{state};
    std::vector<int> v(n + 1, 0);
    for (int i = 1; i <= n; ++i) {
        const double rate = -mean * std::log(lcg.uniform());
        const double z = std::sqrt(-2.0 * std::log(lcg.uniform())) * std::cos(6.283185307179586 * lcg.uniform());
        v[i] = static_cast<int>(std::max(0.0, std::round(rate + std::sqrt(rate) * z)));
    }
    return v;
}

// The fits and statistics on a 1000-position gene at usual depth (mean 10)
// and at depth (mean 10^5: nearly every position a count of its own).
const std::vector<int> kDeepX = deep_counts(1000, 1e5, 7);
const std::vector<int> kDeepY = deep_counts(1000, 1e5, 8);

void BM_Mfitmle(benchmark::State& state, const std::vector<int>& x)
{
    for (auto _ : state) {
        int converged = 0;
        double lambda = 0, theta = 0, mean = 0;
        mfitmle(1000, x.data(), converged, lambda, theta, mean);
        benchmark::DoNotOptimize(theta);
    }
}

void BM_Mychisq(benchmark::State& state, const std::vector<int>& x)
{
    int converged = 0;
    double lambda = 0, theta = 0, mean = 0;
    mfitmle(1000, x.data(), converged, lambda, theta, mean);
    for (auto _ : state) {
        int a = 0, b = 0, c = 0, d = 0;
        double e = 0, f = 0;
        mychisq(1000, x.data(), theta, lambda, mean, a, b, c, d, e, f);
        benchmark::DoNotOptimize(e);
    }
}

BENCHMARK_CAPTURE(BM_Mfitmle, mean10, kX);
BENCHMARK_CAPTURE(BM_Mfitmle, deep, kDeepX);
BENCHMARK_CAPTURE(BM_Mychisq, mean10, kX);
BENCHMARK_CAPTURE(BM_Mychisq, deep, kDeepX);

// One permutation's re-split of two count vectors, position by position
// with fPermuteValues and by the prepared pools with draw_split. Items are
// positions.
void BM_FPermuteValues(benchmark::State& state, const std::vector<int>& x, const std::vector<int>& y)
{
    std::vector<int> xp(1001), yp(1001);
    std::int64_t seed = -7;
    for (auto _ : state) {
        fPermuteValues(x.data(), y.data(), xp.data(), yp.data(), 1000, seed);
        benchmark::DoNotOptimize(xp.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_DrawSplit(benchmark::State& state, const std::vector<int>& x, const std::vector<int>& y)
{
    const PooledCounts pool(x.data(), y.data(), 1000);
    std::vector<int> xp(1001);
    std::int64_t seed = -7;
    for (auto _ : state) {
        draw_split(pool, xp.data(), seed);
        benchmark::DoNotOptimize(xp.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

BENCHMARK_CAPTURE(BM_FPermuteValues, mean10, kX, kY);
BENCHMARK_CAPTURE(BM_DrawSplit, mean10, kX, kY);

// A low-count gene (pooled mean about 2: nearly every pool split read by
// read) and a high-count one (pooled mean about 200: every pool split by
// rejection), by both routes. Items are positions.
const std::vector<int> kLowX = gene_counts(1000, 1.0, 3);
const std::vector<int> kLowY = gene_counts(1000, 1.0, 4);
const std::vector<int> kHighX = gene_counts(1000, 100.0, 5);
const std::vector<int> kHighY = gene_counts(1000, 100.0, 6);

BENCHMARK_CAPTURE(BM_FPermuteValues, low, kLowX, kLowY);
BENCHMARK_CAPTURE(BM_DrawSplit, low, kLowX, kLowY);
BENCHMARK_CAPTURE(BM_FPermuteValues, high, kHighX, kHighY);
BENCHMARK_CAPTURE(BM_DrawSplit, high, kHighX, kHighY);
// Pooled mean about 2·10^5: pools far beyond the ln k! table.
BENCHMARK_CAPTURE(BM_FPermuteValues, deep, kDeepX, kDeepY);
BENCHMARK_CAPTURE(BM_DrawSplit, deep, kDeepX, kDeepY);

void BM_Ran2(benchmark::State& state)
{
    std::int64_t seed = -7;
    for (auto _ : state) benchmark::DoNotOptimize(ran2(seed));
}
BENCHMARK(BM_Ran2);

void BM_Bnldev(benchmark::State& state)
{
    std::int64_t seed = -7;
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(bnldev(0.5f, n, seed));
}
BENCHMARK(BM_Bnldev)->Arg(10)->Arg(24)->Arg(25)->Arg(200)->Arg(5000);

void BM_Lrtmfit(benchmark::State& state, const std::vector<int>& x, const std::vector<int>& y)
{
    int cx = 0, cy = 0;
    double lx = 0, ly = 0, tx = 0, ty = 0, mx = 0, my = 0;
    mfitmle(1000, x.data(), cx, lx, tx, mx);
    mfitmle(1000, y.data(), cy, ly, ty, my);
    for (auto _ : state) {
        int valid = 0;
        double statistic = 0;
        lrtmfit(1000, x.data(), 1000, y.data(), valid, statistic, 1.0, tx, ty, lx, ly);
        benchmark::DoNotOptimize(statistic);
    }
}

BENCHMARK_CAPTURE(BM_Lrtmfit, mean10, kX, kY);
BENCHMARK_CAPTURE(BM_Lrtmfit, deep, kDeepX, kDeepY);

} // namespace

namespace {

void BM_Lrtmfit2(benchmark::State& state, const std::vector<int>& x, const std::vector<int>& y)
{
    std::vector<int> ei(101), el(101);
    for (int j = 1; j <= 100; ++j) {
        ei[j] = x[300 + j];
        el[j] = y[300 + j];
    }
    double f[4][4];
    const int* vs[4] = {ei.data(), x.data(), el.data(), y.data()};
    const int ns[4] = {100, 1000, 100, 1000};
    for (int k = 0; k < 4; ++k) {
        int c = 0;
        mfitmle(ns[k], vs[k], c, f[k][0], f[k][1], f[k][2]);
    }
    for (auto _ : state) {
        int valid = 0;
        double t = 0;
        lrtmfit2(100, 1000, ei.data(), x.data(), el.data(), y.data(), f[0][0], f[1][0], f[2][0], f[3][0], f[0][1],
                 f[1][1], f[2][1], f[3][1], valid, t);
        benchmark::DoNotOptimize(t);
    }
}
BENCHMARK_CAPTURE(BM_Lrtmfit2, mean10, kX, kY);
BENCHMARK_CAPTURE(BM_Lrtmfit2, deep, kDeepX, kDeepY);

} // namespace

namespace {

// The further tests' nulls on one exon of 100 positions and the rest of
// its gene (900), in two conditions: searched from the profiles' slopes and
// by the grids they replaced, from fits made once.
struct FurtherVectors {
    explicit FurtherVectors(const std::vector<int>& x, const std::vector<int>& y)
    {
        const std::vector<int>* sources[2] = {&x, &y};
        for (int c = 0; c < 2; ++c) {
            const std::vector<int>& v = *sources[c];
            exon[c].build(100, v.data());
            rest[c].build(900, v.data() + 100);
            gene[c].build(1000, v.data());
            exon_fit[c] = gp_profile::fitted(exon[c].view());
            rest_fit[c] = gp_profile::fitted(rest[c].view());
            gene_fit[c] = gp_profile::fitted(gene[c].view());
        }
    }
    CountHistogram exon[2], rest[2], gene[2];
    gp_profile::Fitted exon_fit[2], rest_fit[2], gene_fit[2];
};

void BM_RestTest(benchmark::State& state, const std::vector<int>& x, const std::vector<int>& y, bool grid)
{
    const FurtherVectors v(x, y);
    for (auto _ : state) {
        const gp_profile::RestTest t =
            grid ? gp_profile::rest_test_by_grid(v.exon_fit[0], v.rest_fit[0], v.exon_fit[1], v.rest_fit[1])
                 : gp_profile::rest_test(v.exon_fit[0], v.rest_fit[0], v.exon_fit[1], v.rest_fit[1]);
        benchmark::DoNotOptimize(t);
    }
}
BENCHMARK_CAPTURE(BM_RestTest, slopes_mean10, kX, kY, false);
BENCHMARK_CAPTURE(BM_RestTest, grids_mean10, kX, kY, true);
BENCHMARK_CAPTURE(BM_RestTest, slopes_deep, kDeepX, kDeepY, false);
BENCHMARK_CAPTURE(BM_RestTest, grids_deep, kDeepX, kDeepY, true);

void BM_MeanTest(benchmark::State& state, const std::vector<int>& x, const std::vector<int>& y, bool grid)
{
    const FurtherVectors v(x, y);
    for (auto _ : state) {
        const gp_profile::MeanTest t = grid ? gp_profile::mean_test_by_grid(v.gene_fit[0], v.gene_fit[1], 1.3)
                                            : gp_profile::mean_test(v.gene_fit[0], v.gene_fit[1], 1.3);
        benchmark::DoNotOptimize(t);
    }
}
BENCHMARK_CAPTURE(BM_MeanTest, slopes_mean10, kX, kY, false);
BENCHMARK_CAPTURE(BM_MeanTest, grids_mean10, kX, kY, true);
BENCHMARK_CAPTURE(BM_MeanTest, slopes_deep, kDeepX, kDeepY, false);
BENCHMARK_CAPTURE(BM_MeanTest, grids_deep, kDeepX, kDeepY, true);

} // namespace
