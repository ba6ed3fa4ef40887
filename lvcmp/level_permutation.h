// The permutation null of the level comparison of one gene between two
// conditions: 1000 times the two count vectors are pooled position by
// position and split again at random, both halves refitted, and the
// generalized Poisson statistic recomputed with normalising factor 1; the
// valid permuted statistics are summarised by a gamma distribution fitted by
// moments. The run's seed carries the random stream on to the next test.
#pragma once

#include "numcore/arrays.h"
#include "numcore/nullsummary.h"
#include "parallel/permutation_runner.h"

#include <cstdint>

// Refits one permutation: xp and yp are the two halves, each of `length`.
PermutationOutcome refit_level_permutation(int length, const int* xp, const int* yp);

// The whole test on the calling thread, one permutation after another.
GammaNull level_permutation_test(const int* x, const int* y, int length, std::int64_t& seed);

// The same test as a job for a PermutationRunner: the draws come from the
// run's stream in order, the refits run anywhere, and null() gives the
// result of level_permutation_test bit for bit.
class LevelPermutationJob : public PermutationJob {
public:
    LevelPermutationJob(const int* x, const int* y, int length);
    PermutationOutcome evaluate(int p, const int* drawn, Scratch& scratch) const override;
    void evaluate_together(int first, const int* const drawn[kTogether], Scratch& scratch,
                           PermutationOutcome out[kTogether]) const override;

private:
    std::int64_t largest_pool_; // bounds every count of either half
};
