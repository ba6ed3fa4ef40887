#include "level_permutation.h"

#include "fitrecords.h"
#include "lrtmfit.h"
#include "mfitmle.h"
#include "random.h"


PermutationOutcome refit_level_permutation(int length, const int* xp, const int* yp)
{
    FitRecord fx, fy;
    RunningMoments mx, my;
    running_moments2(length, xp, yp, mx, my);
    mfitmle_from_moments(length, xp, mx, fx.converged, fx.lambda, fx.theta, fx.poisson_lambda);
    mfitmle_from_moments(length, yp, my, fy.converged, fy.lambda, fy.theta, fy.poisson_lambda);
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
    : PermutationJob(PooledCounts(x, y, length))
{
}

PermutationOutcome LevelPermutationJob::evaluate(const int* drawn, Scratch& scratch) const
{
    const int length = drawn_size();
    int* yp = scratch.vector(0, length);
    const std::int64_t* pooled = pool().pooled();
    for (int p = 1; p <= length; ++p) yp[p] = static_cast<int>(pooled[p] - drawn[p]);
    return refit_level_permutation(length, drawn, yp);
}
