#include "sigtable/condition_table.h"

#include "sigtable/depths.h"
#include "sigtable/number_text.h"
#include "sigtable/pvalues.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <unordered_map>

namespace {

constexpr double kMissing = -1;

// A sample's reads from the statistics file: the Poisson mean, the reads
// over the length, has six decimals, and times the length rounds back to
// the reads for every length below a million positions.
double reads_from_mean(double mean, int length)
{
    const double reads = std::nearbyint(mean * length);
    return reads >= 0 ? reads : kMissing;
}

// Every feature of the statistics file, in the order of its first line,
// with each sample's reads of it (and of its gene, for an exon); kMissing
// for a sample no line has.
struct SampleReads {
    std::vector<ConditionFeature> features;
    std::vector<std::vector<double>> own, gene;
};

// With the count table: the genes of the statistics file, or every exon of
// the genes of isocmp's file that have two exons or more (isocmp writes no
// line for a comparison whose fits failed, as those of an exon without
// reads in a sample, so its file alone would leave such exons untested),
// each with every sample's exact reads.
SampleReads table_reads(const StatsFile& stats, int samples, const CountTables& tables)
{
    const bool level = stats.kind == StatsKind::level;
    SampleReads in;
    std::unordered_map<int, bool> seen;
    auto add = [&](int id, int gene_id, std::int32_t own_row, std::int32_t gene_row) {
        ConditionFeature& f = in.features.emplace_back();
        f.id = id;
        f.gene_id = gene_id;
        std::vector<double>& own = in.own.emplace_back(static_cast<std::size_t>(samples), kMissing);
        std::vector<double>& gene = in.gene.emplace_back(static_cast<std::size_t>(samples), kMissing);
        for (int s = 1; s <= samples && static_cast<std::size_t>(s) <= tables.conditions(); ++s) {
            const auto i = static_cast<std::size_t>(s - 1);
            own[i] = static_cast<double>(level ? tables.gene_reads(own_row, s) : tables.exon_reads(own_row, s));
            gene[i] = static_cast<double>(tables.gene_reads(gene_row, s));
        }
    };
    for (const StatsRow& r : stats.rows) {
        const int gene_id = level ? r.id : r.gene_id;
        if (!seen.emplace(gene_id, true).second) continue;
        const auto g = tables.gene_row.find(gene_id);
        if (g == tables.gene_row.end()) continue;
        if (level) {
            add(r.id, 0, g->second, g->second);
            continue;
        }
        const std::int32_t first = tables.genes.first_exon[g->second], last = tables.genes.last_exon[g->second];
        if (last <= first) continue; // one exon: no share to compare
        for (std::int32_t e = first; e <= last; ++e) add(tables.exons.exon_id[e], gene_id, e, g->second);
    }
    return in;
}

SampleReads sample_reads(const StatsFile& stats, int samples, const CountTables* tables)
{
    if (tables) return table_reads(stats, samples, *tables);
    const bool level = stats.kind == StatsKind::level;
    SampleReads in;
    std::unordered_map<int, std::size_t> index;
    for (const StatsRow& r : stats.rows) {
        const auto [it, added] = index.emplace(r.id, in.features.size());
        if (added) {
            ConditionFeature& f = in.features.emplace_back();
            f.id = r.id;
            f.gene_id = r.gene_id;
            in.own.emplace_back(static_cast<std::size_t>(samples), kMissing);
            in.gene.emplace_back(static_cast<std::size_t>(samples), kMissing);
        }
        const std::size_t k = it->second;
        auto put = [&](int s, double own_mean, double gene_mean) {
            if (s < 1 || s > samples) return;
            in.own[k][static_cast<std::size_t>(s - 1)] = reads_from_mean(own_mean, r.length);
            if (!level) in.gene[k][static_cast<std::size_t>(s - 1)] = reads_from_mean(gene_mean, r.gene_length);
        };
        put(r.a, level ? r.gene.mean_a : r.exon.mean_a, r.gene.mean_a);
        put(r.b, level ? r.gene.mean_b : r.exon.mean_b, r.gene.mean_b);
    }
    return in;
}

// Each sample's depth, as the median over the genes with reads in every
// sample of the gene's reads over their geometric mean across the samples:
// unlike the counted totals, untouched by a minority of genes (or a
// majority, as long as they change both ways) that change between the
// conditions. Where no gene has reads in every sample, the genes' summed
// reads.
std::vector<double> median_of_ratios(const std::vector<const std::vector<double>*>& genes, int samples)
{
    const auto n = static_cast<std::size_t>(samples);
    std::vector<std::vector<double>> ratios(n);
    std::vector<double> sums(n, 0.0);
    for (const std::vector<double>* reads : genes) {
        bool every = true, complete = true;
        double log_sum = 0;
        for (double r : *reads) {
            complete &= r != kMissing;
            every &= r > 0;
            if (r > 0) log_sum += std::log(r);
        }
        if (!complete) continue;
        for (std::size_t i = 0; i < n; ++i) sums[i] += (*reads)[i];
        if (!every) continue;
        const double log_mean = log_sum / static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i) ratios[i].push_back(std::exp(std::log((*reads)[i]) - log_mean));
    }
    if (ratios[0].empty()) return sums;
    std::vector<double> depth;
    for (std::vector<double>& r : ratios) {
        std::sort(r.begin(), r.end());
        const std::size_t m = r.size();
        depth.push_back(m % 2 ? r[m / 2] : (r[m / 2 - 1] + r[m / 2]) / 2);
    }
    return depth;
}

// The genes whose reads give the depths: lvcmp's genes, or the genes of
// isocmp's exons, each once.
std::vector<const std::vector<double>*> depth_genes(const SampleReads& in, StatsKind kind)
{
    std::vector<const std::vector<double>*> genes;
    std::unordered_map<int, bool> seen;
    for (std::size_t k = 0; k < in.features.size(); ++k) {
        if (kind == StatsKind::level) genes.push_back(&in.own[k]);
        else if (seen.emplace(in.features[k].gene_id, true).second) genes.push_back(&in.gene[k]);
    }
    return genes;
}

double mean_of(const std::vector<double>& v, const std::vector<int>& members)
{
    double sum = 0;
    for (int s : members) sum += v[static_cast<std::size_t>(s - 1)];
    return sum / static_cast<double>(members.size());
}

// A gene's values: log2 of its reads, with half a read added, over the
// sample's depth; placed on the trend's axis by their mean.
void gene_values(ConditionFeature& f, const std::vector<double>& reads, const Depths& depth)
{
    bool any = false;
    f.expression = 0;
    for (std::size_t i = 0; i < reads.size(); ++i) {
        const double d = depth(static_cast<int>(i + 1));
        f.normalised.push_back(reads[i] / d);
        f.values.push_back(std::log2((reads[i] + 0.5) / d));
        f.expression += f.values.back();
        any |= reads[i] > 0;
    }
    f.expression /= static_cast<double>(reads.size());
    if (!any) f.untested = "no reads";
}

// An exon's values: the log odds of its share, log2 of its reads over the
// rest of its gene's, each with half a read added. Their sampling variance
// is near 1/exon + 1/rest (in squared natural logs), so the trend's axis is
// the mean of -log2 of that sum: the reads the precision of the share
// rests on.
void exon_values(ConditionFeature& f, const std::vector<double>& exon, const std::vector<double>& gene,
                 const Depths& depth, const Design& design)
{
    bool any_exon = false, any_rest = false;
    f.expression = 0;
    for (std::size_t i = 0; i < exon.size(); ++i) {
        const double rest = gene[i] - exon[i];
        if (gene[i] <= 0 && f.untested.empty()) f.untested = "no reads in its gene in " + design.samples[i];
        if (rest < 0 && f.untested.empty()) f.untested = "more reads than its gene in " + design.samples[i];
        f.normalised.push_back(exon[i] / depth(static_cast<int>(i + 1)));
        f.share.push_back(exon[i] / gene[i]);
        f.values.push_back(std::log2((exon[i] + 0.5) / (rest + 0.5)));
        f.expression += -std::log2(1 / (exon[i] + 0.5) + 1 / (rest + 0.5));
        any_exon |= exon[i] > 0;
        any_rest |= rest > 0;
    }
    f.expression /= static_cast<double>(exon.size());
    if (!f.untested.empty()) return;
    if (!any_exon) f.untested = "no reads";
    else if (!any_rest) f.untested = "no reads in the rest of its gene";
}

} // namespace

ConditionResults compute_condition_results(const StatsFile& stats, const Design& design, const CountTables* tables)
{
    ConditionResults out;
    out.kind = stats.kind;
    const int samples = design.num_samples(), conditions = design.num_conditions();
    out.residual_df = samples - conditions;
    SampleReads in = sample_reads(stats, samples, tables);
    out.size_factors = median_of_ratios(depth_genes(in, stats.kind), samples);
    const Depths depth(out.size_factors);

    std::vector<double> variances, expressions;
    for (std::size_t k = 0; k < in.features.size(); ++k) {
        ConditionFeature& f = in.features[k];
        for (int s = 1; s <= samples; ++s)
            if (in.own[k][static_cast<std::size_t>(s - 1)] == kMissing ||
                (stats.kind == StatsKind::share && in.gene[k][static_cast<std::size_t>(s - 1)] == kMissing)) {
                f.untested = "no line for " + design.samples[static_cast<std::size_t>(s - 1)] +
                             " in the statistics file";
                break;
            }
        if (!f.untested.empty()) continue;
        if (stats.kind == StatsKind::level) gene_values(f, in.own[k], depth);
        else exon_values(f, in.own[k], in.gene[k], depth, design);
        if (!f.untested.empty()) continue;
        f.fit = fit_conditions(f.values, design.condition_of, conditions);
        variances.push_back(f.fit.variance);
        expressions.push_back(f.expression);
        ++out.tested;
    }
    out.prior = fit_variance_prior(variances, expressions, out.residual_df);
    out.features = std::move(in.features);

    std::vector<std::vector<int>> members;
    for (int c = 1; c <= conditions; ++c) members.push_back(design.members(c));
    std::vector<int> everyone;
    for (int s = 1; s <= samples; ++s) everyone.push_back(s);
    for (std::size_t k = 0; k < out.features.size(); ++k) {
        const ConditionFeature& f = out.features[k];
        for (int a = 1; a <= conditions; ++a)
            for (int b = a + 1; b <= conditions; ++b) {
                ConditionRow& r = out.rows.emplace_back();
                r.feature = k;
                r.a = a;
                r.b = b;
                if (f.normalised.empty()) continue;
                const std::vector<int>&ma = members[static_cast<std::size_t>(a - 1)], &mb = members[static_cast<std::size_t>(b - 1)];
                const std::vector<double>& effect = stats.kind == StatsKind::level ? f.normalised : f.share;
                r.effect_a = mean_of(effect, ma);
                r.effect_b = mean_of(effect, mb);
                r.base_mean = mean_of(f.normalised, everyone);
                r.log2_fold_change = std::log2(r.effect_b / r.effect_a);
                if (!f.untested.empty()) continue;
                const double variance = out.prior.posterior(f.fit.variance, out.residual_df, f.expression);
                const TTest t = moderated_t(f.fit.mean[static_cast<std::size_t>(b - 1)] - f.fit.mean[static_cast<std::size_t>(a - 1)],
                                            variance, static_cast<int>(ma.size()), static_cast<int>(mb.size()),
                                            out.residual_df + out.prior.d0);
                r.stat = t.t;
                r.pvalue = t.pvalue;
            }
    }
    // Adjusted within each pair of conditions, as the tables per pair of
    // samples are.
    std::map<std::pair<int, int>, std::vector<std::size_t>> pairs;
    for (std::size_t i = 0; i < out.rows.size(); ++i) pairs[{out.rows[i].a, out.rows[i].b}].push_back(i);
    for (const auto& [pair, rows] : pairs) {
        std::vector<double> p;
        for (std::size_t i : rows) p.push_back(out.rows[i].pvalue);
        const std::vector<double> adjusted = benjamini_hochberg(p);
        for (std::size_t m = 0; m < rows.size(); ++m) out.rows[rows[m]].padj = adjusted[m];
    }
    return out;
}

void sort_condition_rows(std::vector<ConditionRow>& rows)
{
    auto key = [](double v) { return std::isnan(v) ? INFINITY : v; };
    std::stable_sort(rows.begin(), rows.end(), [&](const ConditionRow& x, const ConditionRow& y) {
        if (key(x.padj) != key(y.padj)) return key(x.padj) < key(y.padj);
        return key(x.pvalue) < key(y.pvalue);
    });
}

std::string condition_header(StatsKind kind, const Features* features)
{
    const bool level = kind == StatsKind::level;
    std::string h = level ? "gene_index" : "exon_index\tgene_index";
    if (features) h += "\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand";
    h += "\tcondition_a\tcondition_b";
    h += level ? "\tmean_a\tmean_b" : "\tshare_a\tshare_b";
    return h + "\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\n";
}

std::string condition_row_line(const ConditionResults& results, const Features* features, const Design& design,
                               const ConditionRow& r)
{
    const bool level = results.kind == StatsKind::level;
    const ConditionFeature& f = results.features[r.feature];
    std::string line = level ? std::to_string(f.id) : std::to_string(f.id) + "\t" + std::to_string(f.gene_id);
    if (features) line += feature_cells(*features, level, f.id);
    line += "\t" + design.conditions[static_cast<std::size_t>(r.a - 1)] + "\t" +
            design.conditions[static_cast<std::size_t>(r.b - 1)];
    line += "\t" + table_number(r.effect_a) + "\t" + table_number(r.effect_b) + "\t" + table_number(r.base_mean);
    line += "\t" + table_fold_change(r.log2_fold_change) + "\t" + table_number(r.stat) + "\t" +
            table_number(r.pvalue) + "\t" + table_number(r.padj);
    line += "\t" + (f.untested.empty() ? std::string("tested") : f.untested);
    return line + "\n";
}
