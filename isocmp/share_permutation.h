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

#include "numcore/arrays.h"
#include "numcore/nullsummary.h"
#include "parallel/permutation_runner.h"

#include <cstdint>
#include <vector>

struct ShareVectors {
    int n_e, n_g;
    const int* exon_i; // [1..n_e]
    const int* gene_i; // [1..n_g]
    const int* exon_l;
    const int* gene_l;
    int slice_start, slice_end; // the exon's positions in the gene vectors
};

// Cuts the exon's share, positions slice_start..slice_end, out of the
// re-split gene vectors gi and gl into ei and el (n_e entries, the zero tail
// included).
void cut_out_exon(int slice_start, int slice_end, int n_e, const int* gi, const int* gl, int* ei, int* el);

// The exon's positions at which the observed exon and gene counts differ:
// the "Crap" lines every permutation writes (none in a consistent run).
int observed_mismatches(const ShareVectors& v);

// The "Scream!!!!" lines of one permutation of the first gene: positions
// 1..min(n_e, n_g) at which an exon vector differs from its gene vector.
int count_screams(int n_e, int n_g, const int* ei, const int* gi, const int* el, const int* gl);

// Refits the four re-split vectors and recomputes the statistic.
PermutationOutcome refit_share_permutation(int n_e, int n_g, const int* ei, const int* gi, const int* el,
                                           const int* gl);

// The whole test on the calling thread, writing its diagnostic lines as it goes.
GammaNull share_permutation_test(int g, const ShareVectors& v, std::int64_t& seed);

// The same test as a job for a PermutationRunner. Its diagnostic lines are
// not written but counted: crap_per_permutation() "Crap" lines and then
// screams(p) "Scream!!!!" lines belong to permutation p (1-based), once
// the job is finished.
class SharePermutationJob : public PermutationJob {
public:
    SharePermutationJob(int g, const ShareVectors& v);
    PermutationOutcome evaluate(int p, const int* drawn, Scratch& scratch) const override;
    void evaluate_together(int first, const int* const drawn[kTogether], Scratch& scratch,
                           PermutationOutcome out[kTogether]) const override;
    int crap_per_permutation() const { return crap_; }
    int screams(int p) const { return first_gene_ ? screams_[static_cast<std::size_t>(p - 1)] : 0; }

private:
    // Both conditions' gene and exon vectors of a drawn permutation (in work
    // vectors 3q..3q+2) and its "Scream!!!!" lines.
    struct Resplit {
        const int* gi;
        int* gl;
        int* ei;
        int* el;
        int screams;
    };
    Resplit resplit(const int* drawn, Scratch& scratch, int q) const;
    template <int P>
    void refit_from_histograms(int first, const int* const* drawn, Scratch& scratch, PermutationOutcome* out) const;

    bool first_gene_;
    int n_e_, n_g_, slice_start_, slice_end_;
    int crap_;
    std::int64_t largest_pool_; // bounds every count of the re-split vectors
    // The first gene's "Scream!!!!" lines of every permutation, each entry
    // written by the one thread that refits its permutation.
    mutable std::vector<int> screams_;
};
