#include "lvcmp/level_comparison.h"

#include "lvcmp/level_permutation.h"
#include "lvcmp/lrtmfit.h"
#include "lvcmp/lrtp.h"
#include "numcore/arrays.h"
#include "numcore/histogram.h"
#include "numcore/random.h"
#include "parallel/comparison_loop.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// One comparison's line up to its permutation fields, and the permutation
// test that completes it (none for a comparison without a valid statistic).
struct LevelLine {
    LineBuffer head;
    std::shared_ptr<LevelPermutationJob> job;
};

// Everything one gene writes.
struct GeneLevels {
    std::string gene_indices; // standard output: the gene's index per comparison without a valid statistic
    std::vector<LevelLine> lines;
};

// With `own_streams` (the run's seed), every test draws from a stream of its
// own, keyed by the gene and the pair of conditions.
GeneLevels compare_gene(const LevelInputs& in, int g, bool permute, std::optional<std::int64_t> own_streams)
{
    const int C = in.counts.num_conditions;
    const FitTable& fit = in.gene_fits;
    const int L = in.genes.length[g];
    GeneLevels result;
    IntVector x(L), y(L);
    // Every pair of conditions sums over the same histogram of a condition:
    // each is built once, when first needed (deep counts make it a sort).
    HistogramSet counts(static_cast<std::size_t>(C) + 1);
    auto view = [&](int c, const int* v) { return counts.view(static_cast<std::size_t>(c), L, v); };
    for (int i = 1; i <= C - 1; ++i) {
        fill_gene_vector(in.counts, in.exons, in.genes, g, i, x.get());
        for (int j = i + 1; j <= C; ++j) {
            fill_gene_vector(in.counts, in.exons, in.genes, g, j, y.get());
            int valid = -1;
            double gp_statistic = 0;
            if (fit.converged[g][i] == 1 && fit.converged[g][j] == 1)
                lrtmfit_counts(view(i, x.get()), view(j, y.get()), valid, gp_statistic,
                               in.totals.general_total[j] / in.totals.general_total[i], fit.theta[g][i],
                               fit.theta[g][j], fit.lambda[g][i], fit.lambda[g][j]);
            double p_statistic = 0;
            if (valid != 1) result.gene_indices += std::to_string(g) + "\n";
            lrtp(L, x.get(), L, y.get(), p_statistic, in.totals.poisson_total[j] / in.totals.poisson_total[i],
                 fit.poisson_lambda[g][i], fit.poisson_lambda[g][j]);

            LevelLine& line = result.lines.emplace_back();
            LineBuffer& out = line.head;
            out.integer(in.genes.gene_id[g]).ch(' ').integer(i).ch(' ').integer(j).ch(' ');
            if (valid == 1) {
                out.fixed6(gp_statistic).ch(' ').fixed6(p_statistic).ch(' ');
                out.fixed6(fit.lambda[g][i]).ch(' ').fixed6(fit.lambda[g][j]).ch(' ');
            } else {
                out.text("-1 ").fixed6(p_statistic).text(" -1 -1 ");
            }
            out.fixed6(fit.poisson_lambda[g][i]).ch(' ').fixed6(fit.poisson_lambda[g][j]).ch(' ').integer(L);
            if (permute && valid == 1) {
                line.job = std::make_shared<LevelPermutationJob>(x.get(), y.get(), L);
                if (own_streams) line.job->use_own_stream(comparison_seed(*own_streams, g, i, j, 0));
            }
        }
    }
    return result;
}

// Writes a gene's lines; the permutation tests among them must be finished.
void write_gene(const GeneLevels& gene, bool permute, OutputFile& out)
{
    std::fputs(gene.gene_indices.c_str(), stdout);
    check_standard_output();
    for (const LevelLine& line : gene.lines) {
        out.put(line.head);
        if (permute) {
            if (line.job) {
                const GammaNull null = line.job->null();
                out.ch(' ').fixed6(null.scale).ch(' ').fixed6(null.shape);
            } else {
                out.text(" -1 -1");
            }
        }
        out.endl();
    }
}

} // namespace

void compare_levels(const LevelInputs& in, const ComparisonRun& run, std::int64_t& seed, OutputFile& out)
{
    const std::optional<std::int64_t> streams_seed = own_streams(run, seed);
    compare_genes_in_order(
        run, seed, [&](int g, bool with_tests) { return compare_gene(in, g, with_tests, streams_seed); },
        [&](const GeneLevels& gene) { write_gene(gene, run.permute, out); });
}
