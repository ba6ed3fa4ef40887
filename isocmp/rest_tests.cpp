#include "isocmp/rest_tests.h"

#include "numcore/arrays.h"
#include "numcore/gp_profile.h"
#include "numcore/histogram.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// One exon of a gene in one condition: the histograms of the exon and of
// the rest, their fits (made once for every pair the condition is in), and
// their read sums.
struct ExonAndRest {
    CountHistogram exon, rest;
    gp_profile::Fitted exon_fit, rest_fit;
    std::int64_t exon_reads = 0, rest_reads = 0;
};

std::int64_t reads(int n, const int* v)
{
    std::int64_t sum = 0;
    for (int k = 1; k <= n; ++k) sum += v[k];
    return sum;
}

// The gene's rows in one condition, once: each exon's rest is the gene's
// rows less the exon's, so its histogram is their histograms' difference
// (plus the zeros up to its length) and costs the distinct values, not the
// gene's positions again for every exon.
struct GeneRows {
    CountHistogram histogram;
    std::int64_t reads = 0;
    std::int64_t rows = 0;
};

// The gene's vector begins with its rows; the zeros after them are left out.
void fill_gene_rows(const ShareInputs& in, int g, int c, IntVector& buffer, GeneRows& out)
{
    fill_gene_vector(in.counts, in.exons, in.genes, g, c, buffer.get());
    out.rows = gene_rows(in.exons, in.genes, g);
    out.histogram.build(static_cast<int>(out.rows), buffer.get());
    out.reads = reads(static_cast<int>(out.rows), buffer.get());
}

// The exon's vector is its own rows, then zeros up to its length; the rest
// is the other exons' rows, then zeros up to the gene's length less the
// exon's (never fewer positions than those rows).
void fill(const ShareInputs& in, int g, int e, int c, const GeneRows& gene, IntVector& buffer, ExonAndRest& out)
{
    const ExonTable& exons = in.exons;
    const int n_e = exons.length[e];
    fill_exon_vector(in.counts, exons, e, c, buffer.get());
    out.exon.build(n_e, buffer.get());
    out.exon_reads = reads(n_e, buffer.get());

    const std::int64_t other_rows = gene.rows - exons.rows(e);
    const std::int64_t n_r = std::max<std::int64_t>(static_cast<std::int64_t>(in.genes.length[g]) - n_e, other_rows);
    out.rest.take_difference(static_cast<int>(n_r), gene.histogram.view(), out.exon.view());
    out.rest_reads = gene.reads - out.exon_reads;
    out.exon_fit = gp_profile::fitted(out.exon.view());
    out.rest_fit = gp_profile::fitted(out.rest.view());
}

// One line's values.
struct RestValues {
    bool ok = false;
    double statistic = 0, poisson = 0, rho = 0;
};

LineBuffer gene_lines(const ShareInputs& in, int g)
{
    LineBuffer out;
    const int first = in.genes.first_exon[g], last = in.genes.last_exon[g];
    const int exons = last - first + 1;
    if (exons < 2) return out;
    const int C = in.counts.num_conditions;
    std::int64_t longest = std::max<std::int64_t>(in.genes.length[g], 1);
    for (int e = first; e <= last; ++e) longest = std::max<std::int64_t>(longest, in.exons.length[e]);
    IntVector buffer(longest);
    std::vector<GeneRows> gene(static_cast<std::size_t>(C) + 1);
    for (int c = 1; c <= C; ++c) fill_gene_rows(in, g, c, buffer, gene[static_cast<std::size_t>(c)]);

    // Exon by exon, every condition's parts serve every pair; the lines are
    // kept and written pair by pair, as the file orders them.
    const int pairs = C * (C - 1) / 2;
    std::vector<RestValues> values(static_cast<std::size_t>(pairs) * static_cast<std::size_t>(exons));
    std::vector<ExonAndRest> parts(static_cast<std::size_t>(C) + 1);
    for (int e = first; e <= last; ++e) {
        for (int c = 1; c <= C; ++c)
            fill(in, g, e, c, gene[static_cast<std::size_t>(c)], buffer, parts[static_cast<std::size_t>(c)]);
        int pair = 0;
        for (int i = 1; i <= C - 1; ++i) {
            for (int j = i + 1; j <= C; ++j, ++pair) {
                const ExonAndRest& pi = parts[static_cast<std::size_t>(i)];
                const ExonAndRest& pj = parts[static_cast<std::size_t>(j)];
                const gp_profile::RestTest t = gp_profile::rest_test(pi.exon_fit, pi.rest_fit, pj.exon_fit, pj.rest_fit);
                RestValues& v = values[static_cast<std::size_t>(pair) * static_cast<std::size_t>(exons) +
                                       static_cast<std::size_t>(e - first)];
                v.ok = t.ok;
                v.statistic = t.statistic;
                v.rho = t.rho;
                v.poisson = t.ok ? gp_profile::poisson_rest_statistic(pi.exon_reads, pi.rest_reads, pj.exon_reads,
                                                                      pj.rest_reads)
                                 : 0.0;
            }
        }
    }
    int pair = 0;
    for (int i = 1; i <= C - 1; ++i) {
        for (int j = i + 1; j <= C; ++j, ++pair) {
            for (int e = first; e <= last; ++e) {
                const RestValues& v =
                    values[static_cast<std::size_t>(pair) * static_cast<std::size_t>(exons) + static_cast<std::size_t>(e - first)];
                out.integer(in.exons.exon_id[e]).ch(' ').integer(in.genes.gene_id[g]).ch(' ').integer(i).ch(' ').integer(j);
                test_values(out, v.ok, {v.statistic, v.poisson, v.rho});
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
