#include "share_permutation.h"

#include "fitrecords.h"
#include "lrtmfit2.h"
#include "mfitmle.h"
#include "random.h"

#include <algorithm>
#include <cstdio>

void cut_out_exon(int slice_start, int slice_end, int n_e, const int* gi, const int* gl, int* ei, int* el)
{
    int j = 0;
    for (int r = slice_start; r <= slice_end; ++r) {
        ++j;
        ei[j] = gi[r];
        el[j] = gl[r];
    }
    for (int k = j + 1; k <= n_e; ++k) ei[k] = el[k] = 0;
}

int observed_mismatches(const ShareVectors& v)
{
    int mismatches = 0;
    for (int r = v.slice_start, j = 1; r <= v.slice_end; ++r, ++j)
        if (v.exon_i[j] != v.gene_i[r] || v.exon_l[j] != v.gene_l[r]) ++mismatches;
    return mismatches;
}

int count_screams(int n_e, int n_g, const int* ei, const int* gi, const int* el, const int* gl)
{
    const int common = n_e < n_g ? n_e : n_g;
    int screams = 0;
    for (int k = 1; k <= common; ++k)
        if (ei[k] != gi[k] || el[k] != gl[k]) ++screams;
    return screams;
}

PermutationOutcome refit_share_permutation(int n_e, int n_g, const int* ei, const int* gi, const int* el,
                                           const int* gl)
{
    FitRecord fgi, fgl, fei, fel;
    mfitmle(n_g, gi, fgi.converged, fgi.lambda, fgi.theta, fgi.poisson_lambda);
    mfitmle(n_g, gl, fgl.converged, fgl.lambda, fgl.theta, fgl.poisson_lambda);
    mfitmle(n_e, ei, fei.converged, fei.lambda, fei.theta, fei.poisson_lambda);
    mfitmle(n_e, el, fel.converged, fel.lambda, fel.theta, fel.poisson_lambda);
    PermutationOutcome outcome;
    if (fgi.converged != 1 || fgl.converged != 1 || fei.converged != 1 || fel.converged != 1) return outcome;
    int valid = 0;
    lrtmfit2(n_e, n_g, ei, gi, el, gl, fei.lambda, fgi.lambda, fel.lambda, fgl.lambda, fei.theta, fgi.theta,
             fel.theta, fgl.theta, valid, outcome.statistic);
    outcome.valid = valid == 1;
    return outcome;
}

GammaNull share_permutation_test(int g, const ShareVectors& v, std::int64_t& seed)
{
    IntVector gene_i(v.n_g), gene_l(v.n_g), exon_i(v.n_e), exon_l(v.n_e);
    PermutationSummary summary;
    const int mismatches = observed_mismatches(v);
    for (int p = 1; p <= kPermutations; ++p) {
        fPermuteValues(v.gene_i, v.gene_l, gene_i.get(), gene_l.get(), v.n_g, seed);
        cut_out_exon(v.slice_start, v.slice_end, v.n_e, gene_i.get(), gene_l.get(), exon_i.get(), exon_l.get());
        for (int k = 0; k < mismatches; ++k) std::puts("Crap");
        if (g == 1)
            for (int k = count_screams(v.n_e, v.n_g, exon_i.get(), gene_i.get(), exon_l.get(), gene_l.get()); k > 0; --k)
                std::puts("Scream!!!!");
        const PermutationOutcome outcome =
            refit_share_permutation(v.n_e, v.n_g, exon_i.get(), gene_i.get(), exon_l.get(), gene_l.get());
        if (outcome.valid) nulladd(summary, outcome.statistic);
    }
    nullgamma(summary);
    return {summary.scale, summary.shape};
}

SharePermutationJob::SharePermutationJob(int g, const ShareVectors& v)
    : PermutationJob(PooledCounts(v.gene_i, v.gene_l, v.n_g)), first_gene_(g == 1), n_e_(v.n_e), n_g_(v.n_g),
      slice_start_(v.slice_start), slice_end_(v.slice_end), crap_(observed_mismatches(v)), largest_pool_(0)
{
    for (int p = 1; p <= n_g_; ++p) largest_pool_ = std::max(largest_pool_, pool().pooled()[p]);
}

PermutationOutcome SharePermutationJob::evaluate(const int* drawn, Scratch& scratch) const
{
    const int* gi = drawn;
    int* gl = scratch.vector(0, n_g_);
    int* ei = scratch.vector(1, n_e_);
    int* el = scratch.vector(2, n_e_);
    const std::int64_t* pooled = pool().pooled();
    for (int p = 1; p <= n_g_; ++p) gl[p] = static_cast<int>(pooled[p] - drawn[p]);
    cut_out_exon(slice_start_, slice_end_, n_e_, gi, gl, ei, el);
    const int screams = first_gene_ ? count_screams(n_e_, n_g_, ei, gi, el, gl) : 0;
    if (largest_pool_ > kLargestHistogramCount) {
        PermutationOutcome outcome = refit_share_permutation(n_e_, n_g_, ei, gi, el, gl);
        outcome.notes = screams;
        return outcome;
    }

    // Two passes give the four vectors' first-pass moments and histograms,
    // which the fits and the statistic then share; the results are those of
    // refit_share_permutation bit for bit.
    const int cells = static_cast<int>(largest_pool_) + 1;
    int* hgi = scratch.zeroed(3, cells);
    int* hgl = scratch.zeroed(4, cells);
    int* hei = scratch.zeroed(5, cells);
    int* hel = scratch.zeroed(6, cells);
    RunningMoments mgi, mgl, mei, mel;
    running_moments2(n_g_, gi, gl, mgi, mgl, hgi, hgl);
    running_moments2(n_e_, ei, el, mei, mel, hei, hel);
    FitRecord fgi, fgl, fei, fel;
    mfitmle_from_moments(n_g_, mgi, hgi, fgi.converged, fgi.lambda, fgi.theta, fgi.poisson_lambda);
    mfitmle_from_moments(n_g_, mgl, hgl, fgl.converged, fgl.lambda, fgl.theta, fgl.poisson_lambda);
    mfitmle_from_moments(n_e_, mei, hei, fei.converged, fei.lambda, fei.theta, fei.poisson_lambda);
    mfitmle_from_moments(n_e_, mel, hel, fel.converged, fel.lambda, fel.theta, fel.poisson_lambda);
    PermutationOutcome outcome;
    outcome.notes = screams;
    if (fgi.converged == 1 && fgl.converged == 1 && fei.converged == 1 && fel.converged == 1) {
        int valid = 0;
        lrtmfit2_counts({n_e_, mei.max, hei}, {n_g_, mgi.max, hgi}, {n_e_, mel.max, hel}, {n_g_, mgl.max, hgl},
                        fei.lambda, fgi.lambda, fel.lambda, fgl.lambda, fei.theta, fgi.theta, fel.theta, fgl.theta,
                        valid, outcome.statistic);
        outcome.valid = valid == 1;
    }
    scratch.clear(3, mgi.max + 1);
    scratch.clear(4, mgl.max + 1);
    scratch.clear(5, mei.max + 1);
    scratch.clear(6, mel.max + 1);
    return outcome;
}
