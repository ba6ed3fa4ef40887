#include "lvcmp/mean_tests.h"

#include "numcore/arrays.h"
#include "numcore/gp_profile.h"
#include "numcore/histogram.h"

#include <vector>

namespace {

LineBuffer gene_lines(const LevelInputs& in, int g)
{
    const int C = in.counts.num_conditions;
    const int L = in.genes.length[g];
    // Each condition's histogram and fit serve every pair it is in.
    std::vector<CountHistogram> histograms(static_cast<std::size_t>(C) + 1);
    std::vector<gp_profile::Fitted> fits(static_cast<std::size_t>(C) + 1);
    IntVector v(L);
    for (int c = 1; c <= C; ++c) {
        fill_gene_vector(in.counts, in.exons, in.genes, g, c, v.get());
        histograms[static_cast<std::size_t>(c)].build(L, v.get());
        fits[static_cast<std::size_t>(c)] = gp_profile::fitted(histograms[static_cast<std::size_t>(c)].view());
    }
    LineBuffer out;
    for (int i = 1; i <= C - 1; ++i) {
        for (int j = i + 1; j <= C; ++j) {
            const double a = in.totals.general_total[j] / in.totals.general_total[i];
            const gp_profile::MeanTest t =
                gp_profile::mean_test(fits[static_cast<std::size_t>(i)], fits[static_cast<std::size_t>(j)], a);
            out.integer(in.genes.gene_id[g]).ch(' ').integer(i).ch(' ').integer(j);
            test_values(out, t.ok, {t.statistic, t.mu, t.theta_x, t.theta_y});
            out.endl();
        }
    }
    return out;
}

} // namespace

void write_mean_tests(const LevelInputs& in, const ComparisonRun& run, OutputFile& out)
{
    write_genes_in_order(run, out, [&](int g) { return gene_lines(in, g); });
}
