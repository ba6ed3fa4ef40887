// The permutation null of the share comparison of one exon with its gene
// between two conditions: 1000 times the gene's counts of the two conditions
// are pooled position by position and split again at random, the exon's
// share is cut out of the re-split gene vectors at the exon's positions, all
// four vectors are refitted, and the generalized Poisson statistic is
// recomputed from the refitted estimates. The valid permuted statistics are
// summarised by a gamma distribution fitted by moments.
//
// Two diagnostic checks write to standard output: "Crap" when the observed
// exon counts differ from the gene's counts at the exon's positions (never in
// a consistent run), and, for the first gene of the table only, "Scream!!!!"
// for every position where a permuted exon vector differs from the permuted
// gene vector from the start of both (positions beyond the exon vector's
// length are not compared).
#pragma once

#include "nullsummary.h"

#include <cstdint>

struct ShareVectors {
    int n_e, n_g;
    const int* exon_i; // [1..n_e]
    const int* gene_i; // [1..n_g]
    const int* exon_l;
    const int* gene_l;
    int slice_start, slice_end; // the exon's positions in the gene vectors
};

GammaNull share_permutation_test(int g, const ShareVectors& v, std::int64_t& seed);
