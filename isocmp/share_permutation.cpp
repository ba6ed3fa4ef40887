#include "isocmp/share_permutation.h"

#include "isocmp/lrtmfit2.h"
#include "numcore/mfitmle.h"
#include "numcore/random.h"

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
      slice_start_(v.slice_start), slice_end_(v.slice_end), crap_(observed_mismatches(v)), largest_pool_(0),
      screams_(first_gene_ ? kPermutations : 0)
{
    for (int p = 1; p <= n_g_; ++p) largest_pool_ = std::max(largest_pool_, pool().pooled()[p]);
}

namespace {

// The job's work in a Scratch: for each of up to kTogether permutations
// the re-split vectors (the second gene vector, the two exon vectors), then
// the histogram tables of the two gene vectors of each, then those of the
// two exon vectors; the histograms of the gene vectors, then of the exon
// vectors.
constexpr int kTogether = PermutationJob::kTogether;
constexpr int kResplit = 0;                           // + 3q: gene l; + 3q + 1: exon i; + 3q + 2: exon l
constexpr int kGeneTables = kResplit + 3 * kTogether; // + 2q: condition i; + 2q + 1: condition l
constexpr int kExonTables = kGeneTables + 2 * kTogether;
static_assert(kExonTables + 2 * kTogether <= Scratch::kVectors);
static_assert(4 * kTogether <= Scratch::kHistograms);

} // namespace

SharePermutationJob::Resplit SharePermutationJob::resplit(const int* drawn, Scratch& scratch, int q) const
{
    Resplit r{drawn, scratch.vector(kResplit + 3 * q, n_g_), scratch.vector(kResplit + 3 * q + 1, n_e_),
              scratch.vector(kResplit + 3 * q + 2, n_e_), 0};
    const std::int64_t* pooled = pool().pooled();
    for (int p = 1; p <= n_g_; ++p) r.gl[p] = static_cast<int>(pooled[p] - drawn[p]);
    cut_out_exon(slice_start_, slice_end_, n_e_, r.gi, r.gl, r.ei, r.el);
    if (first_gene_) r.screams = count_screams(n_e_, n_g_, r.ei, r.gi, r.el, r.gl);
    return r;
}

template <int P>
void SharePermutationJob::refit_from_histograms(int first, const int* const* drawn, Scratch& scratch,
                                                PermutationOutcome* out) const
{
    Resplit r[P];
    for (int q = 0; q < P; ++q) r[q] = resplit(drawn[q], scratch, q);

    // Passes over the gene vectors and over the exon vectors give every
    // vector's first-pass moments, which its fit and the statistic then
    // share, the division chains overlapping. While the largest pool is small
    // next to the vectors the same passes count the histograms into tables;
    // otherwise each histogram is sorted out of its vector, so that no table
    // grows with the depth of the data. The results are those of
    // refit_share_permutation bit for bit.
    const bool gene_tables = CountHistogram::dense_table_pays(n_g_, largest_pool_);
    const bool exon_tables = CountHistogram::dense_table_pays(n_e_, largest_pool_);
    const int* genes[2 * P];
    const int* exons[2 * P];
    int* hg[2 * P] = {};
    int* he[2 * P] = {};
    for (int q = 0; q < P; ++q) {
        genes[2 * q] = r[q].gi;
        genes[2 * q + 1] = r[q].gl;
        exons[2 * q] = r[q].ei;
        exons[2 * q + 1] = r[q].el;
    }
    for (int k = 0; k < 2 * P; ++k) {
        if (gene_tables) hg[k] = scratch.zeroed(kGeneTables + k, largest_pool_ + 1);
        if (exon_tables) he[k] = scratch.zeroed(kExonTables + k, largest_pool_ + 1);
    }
    RunningMoments mg[2 * P], me[2 * P];
    if constexpr (P == 1) {
        running_moments2(n_g_, genes[0], genes[1], mg[0], mg[1], gene_tables ? hg[0] : nullptr,
                         gene_tables ? hg[1] : nullptr);
        running_moments2(n_e_, exons[0], exons[1], me[0], me[1], exon_tables ? he[0] : nullptr,
                         exon_tables ? he[1] : nullptr);
    } else {
        running_moments8(n_g_, genes, mg, gene_tables ? hg : nullptr);
        running_moments8(n_e_, exons, me, exon_tables ? he : nullptr);
    }
    // Histograms 0..2P-1 are the genes', 2P..4P-1 the exons'; taking a table
    // also clears it.
    auto histogram = [&](int which, int n, const int* v, const RunningMoments& m, int* table) {
        if (table)
            scratch.histogram(which).take_table(n, table, m.max);
        else
            scratch.histogram(which).build(n, v, m.max);
        return scratch.histogram(which).view();
    };
    for (int q = 0; q < P; ++q) {
        const int i = 2 * q, l = 2 * q + 1;
        const CountView gi = histogram(i, n_g_, genes[i], mg[i], hg[i]);
        const CountView gl = histogram(l, n_g_, genes[l], mg[l], hg[l]);
        const CountView ei = histogram(2 * P + i, n_e_, exons[i], me[i], he[i]);
        const CountView el = histogram(2 * P + l, n_e_, exons[l], me[l], he[l]);
        FitRecord fgi, fgl, fei, fel;
        mfitmle_from_moments(n_g_, mg[i], gi, fgi.converged, fgi.lambda, fgi.theta, fgi.poisson_lambda);
        mfitmle_from_moments(n_g_, mg[l], gl, fgl.converged, fgl.lambda, fgl.theta, fgl.poisson_lambda);
        mfitmle_from_moments(n_e_, me[i], ei, fei.converged, fei.lambda, fei.theta, fei.poisson_lambda);
        mfitmle_from_moments(n_e_, me[l], el, fel.converged, fel.lambda, fel.theta, fel.poisson_lambda);
        out[q] = PermutationOutcome();
        if (first_gene_) screams_[static_cast<std::size_t>(first + q)] = r[q].screams;
        if (fgi.converged == 1 && fgl.converged == 1 && fei.converged == 1 && fel.converged == 1) {
            int valid = 0;
            lrtmfit2_counts(ei, gi, el, gl, fei.lambda, fgi.lambda, fel.lambda, fgl.lambda, fei.theta, fgi.theta,
                            fel.theta, fgl.theta, valid, out[q].statistic);
            out[q].valid = valid == 1;
        }
    }
}

PermutationOutcome SharePermutationJob::evaluate(int p, const int* drawn, Scratch& scratch) const
{
    PermutationOutcome outcome;
    refit_from_histograms<1>(p, &drawn, scratch, &outcome);
    return outcome;
}

void SharePermutationJob::evaluate_together(int first, const int* const drawn[kTogether], Scratch& scratch,
                                            PermutationOutcome out[kTogether]) const
{
    refit_from_histograms<kTogether>(first, drawn, scratch, out);
}
