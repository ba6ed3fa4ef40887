#include "isocmp/rest_tests.h"

#include "numcore/arrays.h"
#include "numcore/gp_profile.h"
#include "numcore/histogram.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// One exon of a gene in one condition: the histograms of the exon and of
// the rest, and their read sums.
struct ExonAndRest {
    CountHistogram exon, rest;
    std::int64_t exon_reads = 0, rest_reads = 0;
};

std::int64_t reads(int n, const int* v)
{
    std::int64_t sum = 0;
    for (int k = 1; k <= n; ++k) sum += v[k];
    return sum;
}

void fill(const ShareInputs& in, int g, int e, int c, ExonAndRest& out)
{
    const ExonTable& exons = in.exons;
    const int n_e = exons.length[e];
    IntVector exon(n_e);
    fill_exon_vector(in.counts, exons, e, c, exon.get());
    out.exon.build(n_e, exon.get());
    out.exon_reads = reads(n_e, exon.get());

    std::int64_t other_rows = 0;
    for (int f = in.genes.first_exon[g]; f <= in.genes.last_exon[g]; ++f)
        if (f != e) other_rows += exons.rows(f);
    const std::int64_t n_r = std::max<std::int64_t>(static_cast<std::int64_t>(in.genes.length[g]) - n_e, other_rows);
    IntVector rest(n_r);
    std::int64_t p = 0;
    for (int f = in.genes.first_exon[g]; f <= in.genes.last_exon[g]; ++f) {
        if (f == e) continue;
        for (int r = exons.first_row[f]; r <= exons.last_row[f]; ++r) rest[++p] = in.counts.counts[r][c];
    }
    for (std::int64_t k = p + 1; k <= n_r; ++k) rest[k] = 0;
    out.rest.build(static_cast<int>(n_r), rest.get());
    out.rest_reads = reads(static_cast<int>(n_r), rest.get());
}

LineBuffer gene_lines(const ShareInputs& in, int g)
{
    LineBuffer out;
    const int first = in.genes.first_exon[g], last = in.genes.last_exon[g];
    if (last - first + 1 < 2) return out;
    const int C = in.counts.num_conditions;
    const std::size_t per_exon = static_cast<std::size_t>(C) + 1;
    std::vector<ExonAndRest> parts(static_cast<std::size_t>(last - first + 1) * per_exon);
    auto part = [&](int e, int c) -> ExonAndRest& {
        return parts[static_cast<std::size_t>(e - first) * per_exon + static_cast<std::size_t>(c)];
    };
    for (int e = first; e <= last; ++e)
        for (int c = 1; c <= C; ++c) fill(in, g, e, c, part(e, c));

    for (int i = 1; i <= C - 1; ++i) {
        for (int j = i + 1; j <= C; ++j) {
            for (int e = first; e <= last; ++e) {
                const ExonAndRest& pi = part(e, i);
                const ExonAndRest& pj = part(e, j);
                const gp_profile::RestTest t =
                    gp_profile::rest_test(pi.exon.view(), pi.rest.view(), pj.exon.view(), pj.rest.view());
                const double poisson =
                    t.ok ? gp_profile::poisson_rest_statistic(pi.exon_reads, pi.rest_reads, pj.exon_reads, pj.rest_reads)
                         : 0.0;
                out.integer(in.exons.exon_id[e]).ch(' ').integer(in.genes.gene_id[g]).ch(' ').integer(i).ch(' ').integer(j);
                test_values(out, t.ok, {t.statistic, poisson, t.rho});
                out.endl();
            }
        }
    }
    return out;
}

} // namespace

void write_rest_tests(const ShareInputs& in, const ComparisonRun& run, OutputFile& out)
{
    write_genes_in_order(run, out, [&](int g) { return gene_lines(in, g); });
}
