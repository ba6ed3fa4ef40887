// The permutation null of the level comparison of one gene between two
// conditions: 1000 times the two count vectors are pooled position by
// position and split again at random, both halves refitted, and the
// generalized Poisson statistic recomputed with normalising factor 1; the
// valid permuted statistics are summarised by a gamma distribution fitted by
// moments. The run's seed carries the random stream on to the next test.
#pragma once

#include "nullsummary.h"

#include <cstdint>

GammaNull level_permutation_test(const int* x, const int* y, int length, std::int64_t& seed);
