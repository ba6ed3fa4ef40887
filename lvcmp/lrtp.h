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

// The same statistic where one condition has no reads, its term 0 × ln 0
// taken as its limit 0: the evidence of reads in one condition against none
// in the other, at the Poisson means Sx / nx and Sy / ny. sigtable gives
// such a gene the p-value lvcmp's statistic cannot.
double lrtp_one_side_empty(std::int64_t sx, int nx, std::int64_t sy, int ny, double a);
