// isocmp's --rest-test file: for every exon of a gene with two exons or
// more and every pair of conditions i < j, the test that the exon keeps the
// same share of its gene, with the exon set against the REST of its gene
// (the gene's positions outside the exon), so that no read counts twice.
// Under the generalized Poisson model (gp_profile::rest_test) the four
// vectors exon_i, rest_i, exon_j, rest_j each keep a dispersion of their
// own and the null ties their means by one share ρ; the Poisson form is the
// G statistic of the 2x2 table of their read sums. One line a comparison:
//
//   exon_id gene_id i j gp_statistic poisson_statistic rho_null
//
// reals as "%.6f", and -1 for the three when the test is not valid (the
// exon, or the rest, silent in both conditions; a condition silent in the
// whole gene). Every exon of such a gene has its lines, valid or not, in
// isocmp's order: genes in table order, then pairs (1,2), (1,3), ..., then
// the gene's exons in order.
//
// The exon's vector is its own (its rows, then zeros up to its length); the
// rest's is the rows of the gene's other exons, then zeros up to the gene's
// length less the exon's (never fewer positions than those rows).
#pragma once

#include "isocmp/share_comparison.h"

// The genes of `run`'s shard on its threads, written in table order: the
// file is the same for any number of threads.
void write_rest_tests(const ShareInputs& in, const ComparisonRun& run, OutputFile& out);
