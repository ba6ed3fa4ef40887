// The summary of a permutation null: the valid permuted statistics of one
// tested comparison, accumulated as a count and single-precision sums, and
// the gamma distribution fitted to them by moments. The sums are held in
// single precision on purpose: the printed scale and shape depend on it.
#pragma once

// Permutations per tested comparison; fixed, no setting changes it.
inline constexpr int kPermutations = 1000;

struct PermutationSummary {
    int nvalid = 0;
    float sum = 0.0f;
    float sumsq = 0.0f;
    float scale = 0.0f;
    float shape = 0.0f;
};

// Adds one valid permuted statistic: each addition is made in double and
// stored back in single precision.
void nulladd(PermutationSummary& summary, double statistic);

// Sets scale and shape from the sums: scale = v / mean and shape = mean /
// scale, where v is the population variance times (n - 1) / n. Nothing is
// guarded: no valid statistic, or a zero variance or mean, gives infinite or
// not-a-number values, which are printed as such.
void nullgamma(PermutationSummary& summary);

// The gamma distribution a summary yields, as the output lines carry it.
struct GammaNull {
    float scale = 0.0f;
    float shape = 0.0f;
};
