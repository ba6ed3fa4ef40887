// Likelihood-ratio statistic for a change of level between two conditions
// under the Poisson model, in closed form. The alternative means mu_x and
// mu_y are used as passed in; under the null the first condition has mean
// (Sx + Sy) / (nx + ny·a) and the second a times that. No validity flag and
// no guard: a condition without reads gives 0 × ln 0, a not-a-number.
#pragma once

#include <cstdint>

void lrtp(int nx, const int* x, int ny, const int* y, double& statistic, double a, double mu_x, double mu_y);

// The same statistic from the vectors' read sums, which are all it depends
// on: the same operations in the same order, so the same bits. sigtable
// recomputes lvcmp's statistics with it to tell which totals they used.
double lrtp_from_sums(std::int64_t sx, int nx, std::int64_t sy, int ny, double a, double mu_x, double mu_y);
