#include "results_table.h"

#include "diag.h"
#include "pvalues.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string number(double v)
{
    if (!std::isfinite(v)) return "NA";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

} // namespace

Features read_features(const std::string& path)
{
    Features f;
    f.given = true;
    std::ifstream in(path);
    if (!in) fail_open({"features file", path}, "open", errno);
    std::string line;
    std::uint64_t n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (n == 1) continue; // the header
        std::vector<std::string> cells;
        std::istringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
        if (cells.size() < 8 || (cells[0] != "gene" && cells[0] != "exon"))
            fail_input(describe({"features file", path}) + ", line " + std::to_string(n) +
                       ": expected a gene or exon row of at least 8 tab-separated fields");
        const int id = std::atoi(cells[1].c_str());
        (cells[0] == "gene" ? f.genes : f.exons)[id] = {cells[2], cells[3], cells[4], cells[5], cells[6], cells[7]};
    }
    return f;
}

std::vector<double> read_poisson_totals(const std::string& path)
{
    std::ifstream in(path);
    if (!in) fail_open({"gtt file", path}, "open", errno);
    std::vector<double> totals;
    double general = 0, poisson = 0;
    while (in >> general >> poisson) totals.push_back(poisson);
    if (!in.eof()) fail_input(describe({"gtt file", path}) + ": expected pairs of real numbers, one pair per condition");
    return totals;
}

std::vector<ResultRow> compute_results(const StatsFile& stats, const std::vector<double>& totals)
{
    double mean_total = 0;
    for (double t : totals) mean_total += t / static_cast<double>(totals.size());
    std::vector<ResultRow> rows;
    for (const StatsRow& s : stats.rows) {
        ResultRow r{&s, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN};
        if (stats.kind == StatsKind::level) {
            // The gene's mean count per condition, scaled to the mean depth.
            auto depth = [&](int c) {
                return c >= 1 && static_cast<std::size_t>(c) <= totals.size() ? totals[c - 1] / mean_total : 1.0;
            };
            r.effect_a = s.estimates[2] * s.length / depth(s.a);
            r.effect_b = s.estimates[3] * s.length / depth(s.b);
            r.base_mean = (r.effect_a + r.effect_b) / 2;
        } else {
            // The exon's share of its gene's reads.
            r.effect_a = s.estimates[4] * s.length / (s.estimates[5] * s.gene_length);
            r.effect_b = s.estimates[6] * s.length / (s.estimates[7] * s.gene_length);
            r.base_mean = (s.estimates[4] + s.estimates[6]) / 2 * s.length;
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

void sort_by_padj(std::vector<ResultRow>& rows)
{
    auto key = [](double v) { return std::isnan(v) ? INFINITY : v; };
    std::stable_sort(rows.begin(), rows.end(), [&](const ResultRow& x, const ResultRow& y) {
        if (key(x.padj) != key(y.padj)) return key(x.padj) < key(y.padj);
        return key(x.pvalue) < key(y.pvalue);
    });
}

std::string header_line(const StatsFile& stats, const Features& features)
{
    const bool level = stats.kind == StatsKind::level;
    std::string h = level ? "gene_id" : "exon_id\tgene_id";
    if (features.given) h += "\tgene\tgene_name\tchromosome\tstart\tend\tstrand";
    h += "\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\tstat_poisson\tpvalue_poisson"
         "\tpadj_poisson";
    if (stats.permutation) h += "\tpvalue_permutation\tpadj_permutation";
    h += level ? "\tmean_a\tmean_b\tlambda_a\tlambda_b\tlength" : "\tshare_a\tshare_b\texon_length\tgene_length";
    return h + "\n";
}

std::string row_line(const StatsFile& stats, const Features& features, const ResultRow& r)
{
    const StatsRow& s = *r.source;
    const bool level = stats.kind == StatsKind::level;
    std::string line = level ? std::to_string(s.id) : std::to_string(s.id) + "\t" + std::to_string(s.gene_id);
    if (features.given) {
        const auto& table = level ? features.genes : features.exons;
        const auto it = table.find(s.id);
        if (it == table.end()) {
            line += "\tNA\tNA\tNA\tNA\tNA\tNA";
        } else {
            const Feature& f = it->second;
            for (const std::string* cell : {&f.gene, &f.gene_name, &f.chromosome, &f.start, &f.end, &f.strand})
                line += "\t" + *cell;
        }
    }
    line += "\t" + std::to_string(s.a) + "\t" + std::to_string(s.b);
    for (double v : {r.base_mean, r.log2_fold_change, s.stat, r.pvalue, r.padj, s.stat_poisson, r.pvalue_poisson,
                     r.padj_poisson})
        line += "\t" + number(v);
    if (stats.permutation) line += "\t" + number(r.pvalue_permutation) + "\t" + number(r.padj_permutation);
    line += "\t" + number(r.effect_a) + "\t" + number(r.effect_b);
    if (level) {
        line += "\t" + number(s.estimates[0]) + "\t" + number(s.estimates[1]) + "\t" + std::to_string(s.length);
    } else {
        line += "\t" + std::to_string(s.length) + "\t" + std::to_string(s.gene_length);
    }
    return line + "\n";
}
