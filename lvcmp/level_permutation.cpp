#include "lvcmp/level_permutation.h"

#include "lvcmp/lrtmfit.h"
#include "numcore/mfitmle.h"
#include "numcore/random.h"

#include <algorithm>

PermutationOutcome refit_level_permutation(int length, const int* xp, const int* yp)
{
    FitRecord fx, fy;
    mfitmle(length, xp, fx.converged, fx.lambda, fx.theta, fx.poisson_lambda);
    mfitmle(length, yp, fy.converged, fy.lambda, fy.theta, fy.poisson_lambda);
    PermutationOutcome outcome;
    if (fx.converged != 1 || fy.converged != 1) return outcome;
    int valid = 0;
    lrtmfit(length, xp, length, yp, valid, outcome.statistic, 1.0, fx.theta, fy.theta, fx.lambda, fy.lambda);
    outcome.valid = valid == 1;
    return outcome;
}

GammaNull level_permutation_test(const int* x, const int* y, int length, std::int64_t& seed)
{
    IntVector xp(length), yp(length);
    PermutationSummary summary;
    for (int p = 1; p <= kPermutations; ++p) {
        fPermuteValues(x, y, xp.get(), yp.get(), length, seed);
        const PermutationOutcome outcome = refit_level_permutation(length, xp.get(), yp.get());
        if (outcome.valid) nulladd(summary, outcome.statistic);
    }
    nullgamma(summary);
    return {summary.scale, summary.shape};
}

LevelPermutationJob::LevelPermutationJob(const int* x, const int* y, int length)
    : PermutationJob(PooledCounts(x, y, length)), largest_pool_(0)
{
    for (int p = 1; p <= length; ++p) largest_pool_ = std::max(largest_pool_, pool().pooled()[p]);
}

namespace {

// The job's work in a Scratch: the second halves of up to kTogether
// permutations, then the histogram tables of both halves of each, and the
// histograms of both halves of each.
constexpr int kTogether = PermutationJob::kTogether;
constexpr int kSecondHalves = 0;                   // + q
constexpr int kTables = kSecondHalves + kTogether; // + 2q (first half), + 2q + 1 (second half)
static_assert(kTables + 2 * kTogether <= Scratch::kVectors);
static_assert(2 * kTogether <= Scratch::kHistograms);

// Refits P drawn permutations (P = 1 or 4) from histograms: one pass gives
// every half's first-pass moments, which its fit and the statistic then
// share, the 2·P division chains overlapping. While the largest pool is small
// next to the length the same pass counts the histograms into tables;
// otherwise each half's histogram is sorted out of it, so that no table grows
// with the depth of the data. The results are those of
// refit_level_permutation bit for bit.
template <int P>
void refit_from_histograms(int length, const std::int64_t* pooled, std::int64_t largest_pool,
                           const int* const* drawn, Scratch& scratch, PermutationOutcome* out)
{
    const bool tables = CountHistogram::dense_table_pays(length, largest_pool);
    const int* v[2 * P];
    int* h[2 * P] = {};
    for (int q = 0; q < P; ++q) {
        int* other = scratch.vector(kSecondHalves + q, length);
        for (int p = 1; p <= length; ++p) other[p] = static_cast<int>(pooled[p] - drawn[q][p]);
        v[2 * q] = drawn[q];
        v[2 * q + 1] = other;
        if (tables) {
            h[2 * q] = scratch.zeroed(kTables + 2 * q, largest_pool + 1);
            h[2 * q + 1] = scratch.zeroed(kTables + 2 * q + 1, largest_pool + 1);
        }
    }
    RunningMoments m[2 * P];
    if constexpr (P == 1)
        running_moments2(length, v[0], v[1], m[0], m[1], tables ? h[0] : nullptr, tables ? h[1] : nullptr);
    else
        running_moments8(length, v, m, tables ? h : nullptr);
    for (int k = 0; k < 2 * P; ++k) {
        if (tables)
            scratch.histogram(k).take_table(length, h[k], m[k].max); // which also clears the table
        else
            scratch.histogram(k).build(length, v[k], m[k].max);
    }
    for (int q = 0; q < P; ++q) {
        const RunningMoments& mx = m[2 * q];
        const RunningMoments& my = m[2 * q + 1];
        const CountView hx = scratch.histogram(2 * q).view();
        const CountView hy = scratch.histogram(2 * q + 1).view();
        FitRecord fx, fy;
        mfitmle_from_moments(length, mx, hx, fx.converged, fx.lambda, fx.theta, fx.poisson_lambda);
        mfitmle_from_moments(length, my, hy, fy.converged, fy.lambda, fy.theta, fy.poisson_lambda);
        out[q] = PermutationOutcome();
        if (fx.converged == 1 && fy.converged == 1) {
            int valid = 0;
            lrtmfit_counts(hx, hy, valid, out[q].statistic, 1.0, fx.theta, fy.theta, fx.lambda, fy.lambda);
            out[q].valid = valid == 1;
        }
    }
}

} // namespace

PermutationOutcome LevelPermutationJob::evaluate(int, const int* drawn, Scratch& scratch) const
{
    PermutationOutcome outcome;
    refit_from_histograms<1>(drawn_size(), pool().pooled(), largest_pool_, &drawn, scratch, &outcome);
    return outcome;
}

void LevelPermutationJob::evaluate_together(int, const int* const drawn[kTogether], Scratch& scratch,
                                            PermutationOutcome out[kTogether]) const
{
    refit_from_histograms<kTogether>(drawn_size(), pool().pooled(), largest_pool_, drawn, scratch, out);
}
