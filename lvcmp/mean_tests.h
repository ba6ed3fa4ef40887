// lvcmp's --mean-test file: for every gene of the run and every pair of
// conditions i < j, in the order of the statistics file, the
// likelihood-ratio test of a level change on the mean, μ_j = a·μ_i with
// a = general_total[j] / general_total[i], under the generalized Poisson
// model with both dispersions re-estimated under the null
// (gp_profile::mean_test). One line a comparison:
//
//   gene_id i j statistic mu_null theta_i_null theta_j_null
//
// reals as "%.6f", and -1 for the four when the test is not valid (no reads
// in a condition, or a likelihood that cannot be evaluated).
#pragma once

#include "lvcmp/level_comparison.h"

// The genes of `run`'s shard on its threads, written in table order: the
// file is the same for any number of threads.
void write_mean_tests(const LevelInputs& in, const ComparisonRun& run, OutputFile& out);
