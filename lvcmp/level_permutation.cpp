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

PermutationOutcome LevelPermutationJob::evaluate(const int* drawn, Scratch& scratch) const
{
    const int length = drawn_size();
    int* yp = scratch.vector(0, length);
    const std::int64_t* pooled = pool().pooled();
    for (int p = 1; p <= length; ++p) yp[p] = static_cast<int>(pooled[p] - drawn[p]);
    if (largest_pool_ > kLargestHistogramCount) return refit_level_permutation(length, drawn, yp);

    // One pass gives both halves' first-pass moments and histograms, which
    // the fits and the statistic then share; the results are those of
    // refit_level_permutation bit for bit.
    const int cells = static_cast<int>(largest_pool_) + 1;
    int* hx = scratch.zeroed(1, cells);
    int* hy = scratch.zeroed(2, cells);
    RunningMoments mx, my;
    running_moments2(length, drawn, yp, mx, my, hx, hy);
    FitRecord fx, fy;
    mfitmle_from_moments(length, mx, hx, fx.converged, fx.lambda, fx.theta, fx.poisson_lambda);
    mfitmle_from_moments(length, my, hy, fy.converged, fy.lambda, fy.theta, fy.poisson_lambda);
    PermutationOutcome outcome;
    if (fx.converged == 1 && fy.converged == 1) {
        int valid = 0;
        lrtmfit_counts({length, mx.max, hx}, {length, my.max, hy}, valid, outcome.statistic, 1.0, fx.theta, fy.theta,
                       fx.lambda, fy.lambda);
        outcome.valid = valid == 1;
    }
    scratch.clear(1, mx.max + 1);
    scratch.clear(2, my.max + 1);
    return outcome;
}
