#include "results_table.h"

#include "diag.h"
#include "pvalues.h"
#include "textin.h"
#include "totals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

std::string number(double v)
{
    if (!std::isfinite(v)) return "NA";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

// A fold change from no reads to some is infinite, and R reads Inf and -Inf
// as such; 0 against 0 stays NA.
std::string fold_change(double v)
{
    if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
    return number(v);
}

// The row of exon_zb or gene_zb of a statistics file's number, 0 when the
// tables do not hold it (sigtable refuses such files before computing).
std::int32_t row_of(const std::unordered_map<std::int32_t, std::int32_t>& rows, int id)
{
    const auto it = rows.find(id);
    return it == rows.end() ? 0 : it->second;
}

TestStatus level_status(const StatsRow& s, double reads_a, double reads_b, const ResultInputs& in)
{
    if (s.valid) return TestStatus::tested;
    if (reads_a == 0 && reads_b == 0) return TestStatus::no_reads_either;
    if (reads_a == 0) return TestStatus::no_reads_a;
    if (reads_b == 0) return TestStatus::no_reads_b;
    if (in.gene_fits && in.tables) {
        const std::int32_t g = row_of(in.tables->gene_row, s.id);
        if (g > 0) {
            const bool fit_a = in.gene_fits->fits.converged[g][s.a] == 1;
            const bool fit_b = in.gene_fits->fits.converged[g][s.b] == 1;
            if (!fit_a && !fit_b) return TestStatus::unfit_both;
            if (!fit_a) return TestStatus::unfit_a;
            if (!fit_b) return TestStatus::unfit_b;
        }
    }
    return TestStatus::not_valid;
}

} // namespace

double ResultRow::chosen_pvalue(PValueKind kind) const
{
    return kind == PValueKind::gp ? pvalue : kind == PValueKind::poisson ? pvalue_poisson : pvalue_permutation;
}

double ResultRow::chosen_padj(PValueKind kind) const
{
    return kind == PValueKind::gp ? padj : kind == PValueKind::poisson ? padj_poisson : padj_permutation;
}

std::vector<double> read_poisson_totals(const std::string& path)
{
    InputFile file = InputFile::open({"gtt file", path});
    const TotalsTable table = read_all_totals(file);
    std::vector<double> totals;
    for (std::int32_t c = 1; c <= table.conditions; ++c) totals.push_back(table.poisson_total[c]);
    return totals;
}

std::vector<ResultRow> compute_results(const StatsFile& stats, const ResultInputs& in)
{
    const std::vector<double>& totals = in.totals;
    double mean_total = 0;
    for (double t : totals) mean_total += t / static_cast<double>(totals.size());
    std::vector<ResultRow> rows;
    for (const StatsRow& s : stats.rows) {
        ResultRow r{&s, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, TestStatus::tested};
        if (stats.kind == StatsKind::level) {
            // The gene's reads per condition: the count table's sums, else
            // the Poisson mean (the mean count per position) times the length.
            double reads_a = s.estimates[2] * s.length, reads_b = s.estimates[3] * s.length;
            if (const std::int32_t g = in.tables ? row_of(in.tables->gene_row, s.id) : 0; g > 0) {
                reads_a = static_cast<double>(in.tables->gene_reads(g, s.a));
                reads_b = static_cast<double>(in.tables->gene_reads(g, s.b));
            }
            // Scaled to the mean depth of the conditions.
            auto depth = [&](int c) {
                return c >= 1 && static_cast<std::size_t>(c) <= totals.size() ? totals[c - 1] / mean_total : 1.0;
            };
            r.effect_a = reads_a / depth(s.a);
            r.effect_b = reads_b / depth(s.b);
            r.base_mean = (r.effect_a + r.effect_b) / 2;
            r.status = level_status(s, reads_a, reads_b, in);
        } else {
            // The exon's share of its gene's reads.
            double exon_a = s.estimates[4] * s.length, gene_a = s.estimates[5] * s.gene_length;
            double exon_b = s.estimates[6] * s.length, gene_b = s.estimates[7] * s.gene_length;
            if (in.tables) {
                const std::int32_t e = row_of(in.tables->exon_row, s.id), g = row_of(in.tables->gene_row, s.gene_id);
                if (e > 0 && g > 0) {
                    exon_a = static_cast<double>(in.tables->exon_reads(e, s.a));
                    exon_b = static_cast<double>(in.tables->exon_reads(e, s.b));
                    gene_a = static_cast<double>(in.tables->gene_reads(g, s.a));
                    gene_b = static_cast<double>(in.tables->gene_reads(g, s.b));
                }
            }
            r.effect_a = exon_a / gene_a;
            r.effect_b = exon_b / gene_b;
            r.base_mean = (exon_a + exon_b) / 2;
        }
        r.log2_fold_change = std::log2(r.effect_b / r.effect_a);
        r.pvalue = chi_square_upper(s.stat);
        r.pvalue_poisson = chi_square_upper(s.stat_poisson);
        if (s.has_null) r.pvalue_permutation = gamma_upper(s.stat, s.null_shape, s.null_scale);
        rows.push_back(r);
    }
    // Adjusted within each pair of conditions.
    std::map<std::pair<int, int>, std::vector<std::size_t>> pairs;
    for (std::size_t k = 0; k < rows.size(); ++k) pairs[{rows[k].source->a, rows[k].source->b}].push_back(k);
    for (const auto& [pair, members] : pairs) {
        for (auto [p, q] : {std::pair{&ResultRow::pvalue, &ResultRow::padj},
                            {&ResultRow::pvalue_poisson, &ResultRow::padj_poisson},
                            {&ResultRow::pvalue_permutation, &ResultRow::padj_permutation}}) {
            std::vector<double> values;
            for (std::size_t k : members) values.push_back(rows[k].*p);
            const std::vector<double> adjusted = benjamini_hochberg(values);
            for (std::size_t m = 0; m < members.size(); ++m) rows[members[m]].*q = adjusted[m];
        }
    }
    return rows;
}

void sort_by_padj(std::vector<ResultRow>& rows, PValueKind kind)
{
    auto key = [](double v) { return std::isnan(v) ? INFINITY : v; };
    std::stable_sort(rows.begin(), rows.end(), [&](const ResultRow& x, const ResultRow& y) {
        if (key(x.chosen_padj(kind)) != key(y.chosen_padj(kind)))
            return key(x.chosen_padj(kind)) < key(y.chosen_padj(kind));
        return key(x.chosen_pvalue(kind)) < key(y.chosen_pvalue(kind));
    });
}

std::string status_text(const ResultRow& r, const ConditionNames* names)
{
    const std::string a = condition_phrase(names, r.source->a), b = condition_phrase(names, r.source->b);
    switch (r.status) {
    case TestStatus::tested: return "tested";
    case TestStatus::no_reads_a: return "no reads in " + a;
    case TestStatus::no_reads_b: return "no reads in " + b;
    case TestStatus::no_reads_either: return "no reads in either condition";
    case TestStatus::unfit_a: return "fit did not converge in " + a;
    case TestStatus::unfit_b: return "fit did not converge in " + b;
    case TestStatus::unfit_both: return "fit did not converge in " + a + " and " + b;
    case TestStatus::not_valid: break;
    }
    return "test not valid";
}

std::string header_line(const StatsFile& stats, const TableLabels& labels)
{
    const bool level = stats.kind == StatsKind::level;
    // The pipeline's numbers first (gene_zb's and exon_zb's), then the
    // annotation's gene id, so that gene_id means what it means elsewhere.
    std::string h = level ? "gene_index" : "exon_index\tgene_index";
    if (labels.features) h += "\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand";
    // test_status stands right after the generalized Poisson test's stat,
    // pvalue and padj, whose NA it explains; baseMean to padj keep the
    // order of the established tools.
    h += "\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\tstat_poisson"
         "\tpvalue_poisson\tpadj_poisson";
    if (stats.permutation) h += "\tpvalue_permutation\tpadj_permutation";
    h += level ? "\tmean_a\tmean_b\tlambda_a\tlambda_b\tlength" : "\tshare_a\tshare_b\texon_length\tgene_length";
    return h + "\n";
}

std::string row_line(const StatsFile& stats, const TableLabels& labels, const ResultRow& r)
{
    const StatsRow& s = *r.source;
    const bool level = stats.kind == StatsKind::level;
    std::string line = level ? std::to_string(s.id) : std::to_string(s.id) + "\t" + std::to_string(s.gene_id);
    if (labels.features) {
        const auto& table = level ? labels.features->genes : labels.features->exons;
        const auto it = table.find(s.id);
        if (it == table.end()) {
            line += "\tNA\tNA\tNA\tNA\tNA\tNA";
        } else {
            const Feature& f = it->second;
            for (const std::string* cell : {&f.gene_id, &f.gene_name, &f.chromosome, &f.start, &f.end, &f.strand})
                line += "\t" + *cell;
        }
    }
    line += "\t" + condition_label(labels.names, s.a) + "\t" + condition_label(labels.names, s.b);
    line += "\t" + number(r.base_mean) + "\t" + fold_change(r.log2_fold_change);
    for (double v : {s.stat, r.pvalue, r.padj}) line += "\t" + number(v);
    line += "\t" + status_text(r, labels.names);
    for (double v : {s.stat_poisson, r.pvalue_poisson, r.padj_poisson}) line += "\t" + number(v);
    if (stats.permutation) line += "\t" + number(r.pvalue_permutation) + "\t" + number(r.padj_permutation);
    line += "\t" + number(r.effect_a) + "\t" + number(r.effect_b);
    if (level) {
        line += "\t" + number(s.estimates[0]) + "\t" + number(s.estimates[1]) + "\t" + std::to_string(s.length);
    } else {
        line += "\t" + std::to_string(s.length) + "\t" + std::to_string(s.gene_length);
    }
    return line + "\n";
}
