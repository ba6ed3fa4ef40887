#include "isocmp/share_comparison.h"

#include "isocmp/lrtmfit2.h"
#include "isocmp/lrtp2.h"
#include "isocmp/share_permutation.h"
#include "isocmp/slices.h"
#include "numcore/arrays.h"
#include "numcore/histogram.h"
#include "numcore/random.h"
#include "parallel/comparison_loop.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Fills the gene's vector of condition c and, when `slices` is given, each
// exon's positions in it.
void fill_gene(const ShareInputs& in, int g, int c, int* v, ExonSlice* slices)
{
    const ExonTable& exons = in.exons;
    const int first = in.genes.first_exon[g];
    int p = 0;
    for (int e = first; e <= in.genes.last_exon[g]; ++e) {
        if (slices) (*slices)[e - first + 1][kSliceStart] = p + 1;
        for (int r = exons.first_row[e]; r <= exons.last_row[e]; ++r) v[++p] = in.counts.counts[r][c];
        if (slices) (*slices)[e - first + 1][kSliceEnd] = p;
    }
    for (int k = p + 1; k <= in.genes.length[g]; ++k) v[k] = 0;
}

// One comparison's line up to its permutation fields, and the test that
// completes it when permutations are asked for.
struct ShareLine {
    LineBuffer head;
    std::shared_ptr<SharePermutationJob> job;
};

// Everything one gene writes: the lines in order, and standard output, which
// starts with the gene's index.
struct GeneShares {
    int g = 0;
    std::vector<ShareLine> lines;
};

// With `own_streams` (the run's seed), every test draws from a stream of its
// own, keyed by the gene, the pair of conditions and the exon.
GeneShares compare_gene(const ShareInputs& in, int g, bool permute, std::optional<std::int64_t> own_streams)
{
    const int C = in.counts.num_conditions;
    const FitTable& gf = in.gene_fits;
    const FitTable& ef = in.exon_fits;
    GeneShares result;
    result.g = g;
    const int n_g = in.genes.length[g];
    const int first = in.genes.first_exon[g];
    const int last = in.genes.last_exon[g];
    IntVector gene_i(n_g), gene_l(n_g);
    ExonSlice slices(last - first + 1, 2);
    // Every comparison of the gene in a condition sums over the same gene
    // and exon histograms: each is built once, when first needed (deep
    // counts make them a sort of the vector).
    HistogramSet gene_counts(static_cast<std::size_t>(C) + 1);
    auto gene_view = [&](int c, const int* v) { return gene_counts.view(static_cast<std::size_t>(c), n_g, v); };
    const std::size_t per_exon = static_cast<std::size_t>(C) + 1;
    HistogramSet exon_counts(static_cast<std::size_t>(last - first + 1) * per_exon);
    auto exon_view = [&](int e, int c, const int* v) {
        return exon_counts.view(static_cast<std::size_t>(e - first) * per_exon + static_cast<std::size_t>(c),
                                in.exons.length[e], v);
    };
    for (int i = 1; i <= C; ++i) {
        if (gf.converged[g][i] != 1) continue;
        fill_gene(in, g, i, gene_i.get(), &slices);
        for (int l = i + 1; l <= C; ++l) {
            if (gf.converged[g][l] != 1) continue;
            fill_gene(in, g, l, gene_l.get(), nullptr);
            for (int e = first; e <= last; ++e) {
                if (ef.converged[e][i] != 1 || ef.converged[e][l] != 1) continue;
                const int n_e = in.exons.length[e];
                IntVector exon_i(n_e), exon_l(n_e);
                fill_exon_vector(in.counts, in.exons, e, i, exon_i.get());
                fill_exon_vector(in.counts, in.exons, e, l, exon_l.get());
                int valid = 0;
                double T = 0;
                lrtmfit2_counts(exon_view(e, i, exon_i.get()), gene_view(i, gene_i.get()), exon_view(e, l, exon_l.get()),
                                gene_view(l, gene_l.get()), ef.lambda[e][i], gf.lambda[g][i], ef.lambda[e][l],
                                gf.lambda[g][l], ef.theta[e][i], gf.theta[g][i], ef.theta[e][l], gf.theta[g][l],
                                valid, T);
                if (valid != 1) continue;
                double T_P = 0;
                lrtp2(n_e, n_g, exon_i.get(), gene_i.get(), exon_l.get(), gene_l.get(), ef.poisson_lambda[e][i],
                      gf.poisson_lambda[g][i], ef.poisson_lambda[e][l], gf.poisson_lambda[g][l], T_P);

                ShareLine& line = result.lines.emplace_back();
                LineBuffer& out = line.head;
                out.integer(in.exons.exon_id[e]).ch(' ').integer(in.genes.gene_id[g]).ch(' ');
                out.integer(i).ch(' ').integer(l).ch(' ').fixed6(T).ch(' ').fixed6(T_P);
                for (double value : {ef.lambda[e][i], gf.lambda[g][i], ef.lambda[e][l], gf.lambda[g][l],
                                     ef.poisson_lambda[e][i], gf.poisson_lambda[g][i], ef.poisson_lambda[e][l],
                                     gf.poisson_lambda[g][l]})
                    out.ch(' ').fixed6(value);
                out.ch(' ').integer(n_e).ch(' ').integer(n_g);
                if (permute) {
                    const int row = e - first + 1;
                    const ShareVectors vectors{n_e, n_g, exon_i.get(), gene_i.get(), exon_l.get(), gene_l.get(),
                                               slices[row][kSliceStart], slices[row][kSliceEnd]};
                    line.job = std::make_shared<SharePermutationJob>(g, vectors);
                    if (own_streams) line.job->use_own_stream(comparison_seed(*own_streams, g, i, l, e));
                }
            }
        }
    }
    return result;
}

// Writes `count` copies of `line` to standard output in large blocks.
void write_repeated(std::string_view line, long count)
{
    constexpr long kPerBlock = 4096;
    const std::string block = [&] {
        std::string b;
        for (long k = 0; k < kPerBlock; ++k) b += line;
        return b;
    }();
    for (; count >= kPerBlock; count -= kPerBlock) std::fwrite(block.data(), 1, block.size(), stdout);
    std::fwrite(block.data(), 1, static_cast<std::size_t>(count) * line.size(), stdout);
}

// The diagnostic lines of a finished test, in permutation order. The first
// gene's permutations write a line per differing position, hundreds of
// megabytes on a long gene, so the usual case, with no "Crap" line between
// them, goes out as one run.
void write_diagnostics(const SharePermutationJob& job)
{
    if (job.crap_per_permutation() == 0) {
        long screams = 0;
        for (int p = 1; p <= kPermutations; ++p) screams += job.screams(p);
        if (screams > 0) write_repeated("Scream!!!!\n", screams);
        return;
    }
    for (int p = 1; p <= kPermutations; ++p) {
        write_repeated("Crap\n", job.crap_per_permutation());
        write_repeated("Scream!!!!\n", job.screams(p));
    }
}

// Writes a gene's standard output and lines; its tests must be finished.
void write_gene(const GeneShares& gene, OutputFile& out)
{
    std::printf("%d\n", gene.g);
    for (const ShareLine& line : gene.lines) {
        out.put(line.head);
        if (line.job) {
            const SharePermutationJob& job = *line.job;
            write_diagnostics(job);
            const GammaNull null = job.null();
            out.ch(' ').fixed6(null.scale).ch(' ').fixed6(null.shape);
        }
        out.endl();
    }
    check_standard_output();
}

} // namespace

void compare_shares(const ShareInputs& in, const ComparisonRun& run, std::int64_t& seed, OutputFile& out)
{
    const std::optional<std::int64_t> streams_seed = own_streams(run, seed);
    compare_genes_in_order(
        run, seed, [&](int g, bool with_tests) { return compare_gene(in, g, with_tests, streams_seed); },
        [&](const GeneShares& gene) { write_gene(gene, out); });
}
