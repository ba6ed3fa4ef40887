#include "level_permutation.h"

#include "arrays.h"
#include "fitrecords.h"
#include "lrtmfit.h"
#include "mfitmle.h"
#include "nullsummary.h"
#include "random.h"

GammaNull level_permutation_test(const int* x, const int* y, int length, std::int64_t& seed)
{
    IntVector xp(length), yp(length);
    PermutationSummary summary;
    FitRecord fx, fy;
    for (int p = 1; p <= kPermutations; ++p) {
        fPermuteValues(x, y, xp.get(), yp.get(), length, seed);
        mfitmle(length, xp.get(), fx.converged, fx.lambda, fx.theta, fx.poisson_lambda);
        mfitmle(length, yp.get(), fy.converged, fy.lambda, fy.theta, fy.poisson_lambda);
        if (fx.converged != 1 || fy.converged != 1) continue;
        int valid = 0;
        double statistic = 0;
        lrtmfit(length, xp.get(), length, yp.get(), valid, statistic, 1.0, fx.theta, fy.theta, fx.lambda, fy.lambda);
        if (valid == 1) nulladd(summary, statistic);
    }
    nullgamma(summary);
    return {summary.scale, summary.shape};
}
