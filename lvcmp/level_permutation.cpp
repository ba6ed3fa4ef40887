#include "level_permutation.h"

#include "fitrecords.h"
#include "lrtmfit.h"
#include "mfitmle.h"
#include "random.h"

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

// Refits P drawn permutations (P = 1 or 4) from histograms: one pass gives
// every half's first-pass moments and histogram, which its fit and the
// statistic then share, the 2·P division chains overlapping. The results are
// those of refit_level_permutation bit for bit.
template <int P>
void refit_from_histograms(int length, const std::int64_t* pooled, std::int64_t largest_pool,
                           const int* const* drawn, Scratch& scratch, PermutationOutcome* out)
{
    const int cells = static_cast<int>(largest_pool) + 1;
    const int* v[2 * P];
    int* h[2 * P];
    for (int q = 0; q < P; ++q) {
        int* other = scratch.vector(q, length);
        for (int p = 1; p <= length; ++p) other[p] = static_cast<int>(pooled[p] - drawn[q][p]);
        v[2 * q] = drawn[q];
        v[2 * q + 1] = other;
        // Work vectors 0..P-1 hold the second halves, the histograms follow.
        h[2 * q] = scratch.zeroed(PermutationJob::kTogether + 2 * q, cells);
        h[2 * q + 1] = scratch.zeroed(PermutationJob::kTogether + 2 * q + 1, cells);
    }
    RunningMoments m[2 * P];
    if constexpr (P == 1)
        running_moments2(length, v[0], v[1], m[0], m[1], h[0], h[1]);
    else
        running_moments8(length, v, m, h);
    for (int q = 0; q < P; ++q) {
        const RunningMoments& mx = m[2 * q];
        const RunningMoments& my = m[2 * q + 1];
        FitRecord fx, fy;
        mfitmle_from_moments(length, mx, h[2 * q], fx.converged, fx.lambda, fx.theta, fx.poisson_lambda);
        mfitmle_from_moments(length, my, h[2 * q + 1], fy.converged, fy.lambda, fy.theta, fy.poisson_lambda);
        out[q] = PermutationOutcome();
        if (fx.converged == 1 && fy.converged == 1) {
            int valid = 0;
            lrtmfit_counts({length, mx.max, h[2 * q]}, {length, my.max, h[2 * q + 1]}, valid, out[q].statistic, 1.0,
                           fx.theta, fy.theta, fx.lambda, fy.lambda);
            out[q].valid = valid == 1;
        }
    }
    for (int k = 0; k < 2 * P; ++k) scratch.clear(PermutationJob::kTogether + k, m[k].max + 1);
}

} // namespace

PermutationOutcome LevelPermutationJob::evaluate(const int* drawn, Scratch& scratch) const
{
    const int length = drawn_size();
    const std::int64_t* pooled = pool().pooled();
    PermutationOutcome outcome;
    if (largest_pool_ > kLargestHistogramCount) {
        int* yp = scratch.vector(0, length);
        for (int p = 1; p <= length; ++p) yp[p] = static_cast<int>(pooled[p] - drawn[p]);
        return refit_level_permutation(length, drawn, yp);
    }
    refit_from_histograms<1>(length, pooled, largest_pool_, &drawn, scratch, &outcome);
    return outcome;
}

void LevelPermutationJob::evaluate_together(const int* const drawn[kTogether], Scratch& scratch,
                                            PermutationOutcome out[kTogether]) const
{
    if (largest_pool_ > kLargestHistogramCount) {
        for (int k = 0; k < kTogether; ++k) out[k] = evaluate(drawn[k], scratch);
        return;
    }
    refit_from_histograms<kTogether>(drawn_size(), pool().pooled(), largest_pool_, drawn, scratch, out);
}
