#include "sigtable/results_table.h"

#include "cli/diag.h"
#include "lvcmp/lrtp.h"
#include "sigtable/calibration.h"
#include "sigtable/depths.h"
#include "sigtable/extra_tests.h"
#include "sigtable/number_text.h"
#include "sigtable/pvalues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

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

const char* test_name(Test t)
{
    switch (t) {
    case Test::gp: return "gp";
    case Test::poisson: return "poisson";
    case Test::permutation: return "permutation";
    case Test::mean: return "mean";
    case Test::rest: return "rest";
    case Test::rest_poisson: break;
    }
    return "rest-poisson";
}

const char* column_suffix(Test t)
{
    switch (t) {
    case Test::gp: return "";
    case Test::poisson: return "_poisson";
    case Test::permutation: return "_permutation";
    case Test::mean: return "_mean";
    case Test::rest: return "_rest";
    case Test::rest_poisson: break;
    }
    return "_rest_poisson";
}

PValueKind kind_in_pair(PValueKind kind, const PairSummary& pair)
{
    if (kind.automatic) kind = {kind.test, pair.tests[index_of(kind.test)].calibrated, false};
    return kind;
}

double ResultRow::chosen_pvalue(PValueKind kind) const
{
    kind = kind_in_pair(kind, *pair);
    return (kind.calibrated ? pvalue_cal : pvalue)[index_of(kind.test)];
}

double ResultRow::chosen_padj(PValueKind kind) const
{
    kind = kind_in_pair(kind, *pair);
    return (kind.calibrated ? padj_cal : padj)[index_of(kind.test)];
}

namespace {

// The comparisons of the table in order: the statistics file's rows, and
// with a rest-test file the comparisons only it has, each placed after the
// statistics file's row that precedes it there (isocmp and the rest-test
// file list comparisons in the same order, the first leaving some out).
struct Comparison {
    const StatsRow* stats;
    std::int64_t mean = -1, rest = -1; // their lines' indices in the further tests' files
};

std::vector<Comparison> comparisons(const StatsFile& stats, const ResultInputs& in, std::deque<StatsRow>& rest_only)
{
    std::vector<Comparison> list;
    if (!in.rest_test) {
        for (std::size_t k = 0; k < stats.rows.size(); ++k)
            list.push_back({&stats.rows[k], in.mean_test ? static_cast<std::int64_t>(k) : -1, -1});
        return list;
    }
    const RestTest& rest = *in.rest_test;
    // after[k + 1]: the rest-only comparisons that follow row k (after[0]: before the first).
    std::vector<std::vector<std::size_t>> after(stats.rows.size() + 1);
    std::vector<std::int64_t> rest_of(stats.rows.size(), -1);
    std::int64_t anchor = -1;
    for (std::size_t l = 0; l < rest.lines.size(); ++l) {
        if (rest.match[l] >= 0) {
            anchor = rest.match[l];
            rest_of[static_cast<std::size_t>(anchor)] = static_cast<std::int64_t>(l);
        } else {
            after[static_cast<std::size_t>(anchor + 1)].push_back(l);
        }
    }
    auto add_rest_only = [&](const std::vector<std::size_t>& lines) {
        for (std::size_t l : lines) {
            const RestLine& r = rest.lines[l];
            StatsRow s;
            s.id = r.exon_id;
            s.gene_id = r.gene_id;
            s.a = r.a;
            s.b = r.b;
            s.valid = false;
            s.stat = s.stat_poisson = NAN;
            s.length = s.gene_length = -1; // not known: NA
            rest_only.push_back(std::move(s));
            list.push_back({&rest_only.back(), -1, static_cast<std::int64_t>(l)});
        }
    };
    add_rest_only(after[0]);
    for (std::size_t k = 0; k < stats.rows.size(); ++k) {
        list.push_back({&stats.rows[k], -1, rest_of[k]});
        add_rest_only(after[k + 1]);
    }
    return list;
}

// lvcmp's effects: the gene's reads in each condition, scaled to the mean
// depth of the conditions, and why its test is missing when it is.
void level_effects(const StatsRow& s, const ResultInputs& in, const Depths& depth, ResultRow& r)
{
    // The gene's reads per condition: the count table's sums, else the
    // Poisson mean (the mean count per position) times the length.
    double reads_a = s.gene.mean_a * s.length, reads_b = s.gene.mean_b * s.length;
    if (const std::int32_t g = in.tables ? row_of(in.tables->gene_row, s.id) : 0; g > 0) {
        reads_a = static_cast<double>(in.tables->gene_reads(g, s.a));
        reads_b = static_cast<double>(in.tables->gene_reads(g, s.b));
    }
    r.effect_a = reads_a / depth(s.a);
    r.effect_b = reads_b / depth(s.b);
    r.base_mean = (r.effect_a + r.effect_b) / 2;
    r.status = level_status(s, reads_a, reads_b, in);
    // A gene with reads in one condition only: lvcmp's Poisson statistic is
    // 0 × ln 0, not a number, but reads against none is evidence; with the
    // totals its statistic is taken at the limit.
    const bool one_side = (r.status == TestStatus::no_reads_a) != (r.status == TestStatus::no_reads_b);
    if (one_side && std::isnan(s.stat_poisson) && s.length > 0 && std::max(s.a, s.b) <= static_cast<int>(in.totals.size()))
        r.one_side_poisson = lrtp_one_side_empty(std::llround(reads_a), s.length, std::llround(reads_b), s.length,
                                                 in.totals[s.b - 1] / in.totals[s.a - 1]);
}

// isocmp's effects: the exon's share of its gene's reads in each condition;
// its baseMean is the exon's mean reads, scaled to the mean depth as
// lvcmp's means are, so that baseMean means the same in both tables.
void share_effects(const StatsRow& s, const ResultInputs& in, const Depths& depth, ResultRow& r)
{
    double exon_a = s.exon.mean_a * s.length, gene_a = s.gene.mean_a * s.gene_length;
    double exon_b = s.exon.mean_b * s.length, gene_b = s.gene.mean_b * s.gene_length;
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
    r.base_mean = (exon_a / depth(s.a) + exon_b / depth(s.b)) / 2;
    r.status = s.line == 0 ? TestStatus::not_in_isocmp : TestStatus::tested;
}

// Every test's statistic from the statistics file and the further tests'
// files, and its p-value: the chi-square tail, or for the permutation test
// the tail of the gamma null the file gives.
void test_pvalues(const Comparison& c, const ResultInputs& in, ResultRow& r)
{
    const StatsRow& s = *c.stats;
    r.stat[index_of(Test::gp)] = r.stat[index_of(Test::permutation)] = s.stat;
    r.stat[index_of(Test::poisson)] = std::isnan(r.one_side_poisson) ? s.stat_poisson : r.one_side_poisson;
    if (c.mean >= 0) r.stat[index_of(Test::mean)] = in.mean_test->stat[static_cast<std::size_t>(c.mean)];
    if (c.rest >= 0) {
        const RestLine& rest = in.rest_test->lines[static_cast<std::size_t>(c.rest)];
        r.stat[index_of(Test::rest)] = rest.stat;
        r.stat[index_of(Test::rest_poisson)] = rest.stat_poisson;
    }
    for (Test t : kAllTests)
        if (t != Test::permutation) r.pvalue[index_of(t)] = chi_square_upper(r.stat[index_of(t)]);
    if (!s.has_null) return;
    double& p = r.pvalue[index_of(Test::permutation)];
    p = gamma_upper(s.stat, s.null_shape, s.null_scale);
    if (std::isnan(p) && !std::isnan(s.stat)) {
        const bool usable =
            s.null_shape > 0 && s.null_scale > 0 && std::isfinite(s.null_shape) && std::isfinite(s.null_scale);
        r.permutation_note = usable ? PermutationNote::not_evaluable : PermutationNote::no_null;
    }
}

// A comparison's row before adjustment: its effects and p-values, every
// adjusted and calibrated value not a number yet.
ResultRow unadjusted_row(const Comparison& c, StatsKind kind, const ResultInputs& in, const Depths& depth)
{
    ResultRow r{};
    r.source = c.stats;
    r.base_mean = r.log2_fold_change = r.effect_a = r.effect_b = NAN;
    for (double* column : {r.stat, r.pvalue, r.padj, r.pvalue_cal, r.padj_cal}) std::fill(column, column + kTests, NAN);
    if (kind == StatsKind::level) level_effects(*c.stats, in, depth, r);
    else share_effects(*c.stats, in, depth, r);
    r.log2_fold_change = std::log2(r.effect_b / r.effect_a);
    test_pvalues(c, in, r);
    return r;
}

// The statistics a test's calibration rescales, one per member. Every kind
// but the permutation one is the chi-square tail of its statistic; a
// permutation p-value that underflowed to 0 has its equivalent from the
// logarithm of the gamma null's tail, and the others none.
std::vector<double> calibrated_statistics(Test t, const std::vector<ResultRow>& rows,
                                          const std::vector<std::size_t>& members)
{
    const std::size_t i = index_of(t);
    std::vector<double> statistics;
    for (std::size_t k : members) {
        if (t != Test::permutation) {
            statistics.push_back(rows[k].stat[i]);
            continue;
        }
        const StatsRow& s = *rows[k].source;
        statistics.push_back(rows[k].pvalue[i] == 0
                                 ? chi_square1_from_log_p(log_gamma_upper(s.stat, s.null_shape, s.null_scale))
                                 : NAN);
    }
    return statistics;
}

// What standard output and the QQ plot tell of a test's calibration in a pair.
PairTest pair_test(const PairCalibration& calibration)
{
    PairTest s;
    s.tested = calibration.tested;
    s.calibrated = calibration.calibrated;
    s.median_lambda = calibration.median_lambda;
    s.below_05_before = calibration.below_05_before;
    s.below_05_after = calibration.below_05_after;
    if (calibration.calibrated) {
        s.lambda_low = calibration.curve.lambda.front();
        s.lambda_high = calibration.curve.lambda.back();
        s.mean_low = std::exp(calibration.curve.log_mean.front());
        s.mean_high = std::exp(calibration.curve.log_mean.back());
    }
    return s;
}

// One test's p-values in one pair of conditions (the rows `members`),
// adjusted and calibrated there; returns what its calibration found.
PairTest adjust_in_pair(Test t, const std::vector<std::size_t>& members, const std::vector<double>& base_mean,
                        double quantile, std::vector<ResultRow>& rows)
{
    const std::size_t i = index_of(t);
    std::vector<double> values;
    for (std::size_t k : members) values.push_back(rows[k].pvalue[i]);
    const std::vector<double> adjusted = benjamini_hochberg(values);
    const std::vector<double> statistics = calibrated_statistics(t, rows, members);
    const PairCalibration calibration = calibrate_pair(values, base_mean, &statistics, quantile);
    const std::vector<double> adjusted_cal = benjamini_hochberg(calibration.pvalue_cal);
    for (std::size_t m = 0; m < members.size(); ++m) {
        ResultRow& row = rows[members[m]];
        row.padj[i] = adjusted[m];
        row.pvalue_cal[i] = calibration.pvalue_cal[m];
        row.padj_cal[i] = adjusted_cal[m];
    }
    return pair_test(calibration);
}

// The rows of each pair of conditions, in row order.
std::map<std::pair<int, int>, std::vector<std::size_t>> rows_by_pair(const std::vector<ResultRow>& rows)
{
    std::map<std::pair<int, int>, std::vector<std::size_t>> pairs;
    for (std::size_t k = 0; k < rows.size(); ++k) pairs[{rows[k].source->a, rows[k].source->b}].push_back(k);
    return pairs;
}

} // namespace

void compute_results(const StatsFile& stats, const ResultInputs& in, Results& out)
{
    const Depths depth(in.totals);
    for (const Comparison& c : comparisons(stats, in, out.rest_only))
        out.rows.push_back(unadjusted_row(c, stats.kind, in, depth));
    // Adjusted and calibrated within each pair of conditions.
    const TableTests tests{stats.permutation, in.mean_test != nullptr, in.rest_test != nullptr};
    for (const auto& [pair, members] : rows_by_pair(out.rows)) {
        PairSummary& summary = out.pairs[pair];
        summary.a = pair.first;
        summary.b = pair.second;
        std::vector<double> base_mean;
        for (std::size_t k : members) base_mean.push_back(out.rows[k].base_mean);
        for (Test t : kAllTests)
            if (tests.has(t))
                summary.tests[index_of(t)] = adjust_in_pair(t, members, base_mean, in.calibration_quantile, out.rows);
    }
    for (ResultRow& r : out.rows) r.pair = &out.pairs.at({r.source->a, r.source->b});
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
    case TestStatus::tested:
        if (r.permutation_note == PermutationNote::no_null) return "tested; no permutation null";
        if (r.permutation_note == PermutationNote::not_evaluable) return "tested; permutation null not evaluable";
        return "tested";
    case TestStatus::no_reads_a: return "no reads in " + a;
    case TestStatus::no_reads_b: return "no reads in " + b;
    case TestStatus::no_reads_either: return "no reads in either condition";
    case TestStatus::unfit_a: return "fit did not converge in " + a;
    case TestStatus::unfit_b: return "fit did not converge in " + b;
    case TestStatus::unfit_both: return "fit did not converge in " + a + " and " + b;
    case TestStatus::not_in_isocmp: return "not valid in isocmp";
    case TestStatus::not_valid: break;
    }
    return "test not valid";
}

std::string calibration_text(const ResultRow& r, const TableTests& tests)
{
    // The tests this row has a p-value of, and those of them whose pair
    // has too few tests to calibrate.
    bool any = false;
    std::vector<Test> uncalibrated;
    for (Test t : kAllTests) {
        if (!tests.has(t) || std::isnan(r.pvalue[index_of(t)])) continue;
        any = true;
        if (!r.pair->tests[index_of(t)].calibrated) uncalibrated.push_back(t);
    }
    if (!any) return "not tested";
    if (uncalibrated.empty()) return "calibrated";
    bool same = true;
    for (Test t : uncalibrated) same &= r.pair->tests[index_of(t)].tested == r.pair->tests[index_of(uncalibrated[0])].tested;
    std::string counts;
    for (Test t : uncalibrated) {
        if (!counts.empty()) counts += ", ";
        if (!same) counts += std::string(test_name(t)) + " ";
        counts += std::to_string(r.pair->tests[index_of(t)].tested);
        if (same) break;
    }
    return "too few tests to calibrate (" + counts + " < " + std::to_string(kMinTested) + ")";
}

namespace {

// The columns of one test after its statistic: pvalue<s>, padj<s>,
// pvalue<s>_cal, padj<s>_cal; the calibrated pair right after the pair it
// calibrates.
std::string test_columns(Test t)
{
    const std::string s = column_suffix(t);
    return "\tpvalue" + s + "\tpadj" + s + "\tpvalue" + s + "_cal\tpadj" + s + "_cal";
}

} // namespace

std::string header_line(const StatsFile& stats, const TableLabels& labels)
{
    const bool level = stats.kind == StatsKind::level;
    const TableTests& tests = labels.tests;
    // The pipeline's numbers first (gene_zb's and exon_zb's), then the
    // annotation's gene id, so that gene_id means what it means elsewhere.
    std::string h = level ? "gene_index" : "exon_index\tgene_index";
    if (labels.features) h += "\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand";
    // test_status stands right after the generalized Poisson test's
    // values, whose NA it explains; baseMean to padj keep the order of the
    // established tools.
    h += "\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat" + test_columns(Test::gp) + "\ttest_status";
    h += "\tstat_poisson" + test_columns(Test::poisson);
    if (tests.permutation) h += test_columns(Test::permutation);
    if (tests.mean) h += "\tstat_mean" + test_columns(Test::mean);
    if (tests.rest) h += "\tstat_rest" + test_columns(Test::rest) + "\tstat_rest_poisson" + test_columns(Test::rest_poisson);
    // calibration explains the NA of the calibrated columns before it.
    h += "\tcalibration";
    h += level ? "\tmean_a\tmean_b\tlambda_a\tlambda_b\tlength" : "\tshare_a\tshare_b\texon_length\tgene_length";
    return h + "\n";
}

namespace {

std::string test_values(const ResultRow& r, Test t)
{
    const std::size_t i = index_of(t);
    return "\t" + table_number(r.pvalue[i]) + "\t" + table_number(r.padj[i]) + "\t" + table_number(r.pvalue_cal[i]) + "\t" +
           table_number(r.padj_cal[i]);
}

std::string length_text(int length)
{
    return length < 0 ? "NA" : std::to_string(length);
}

} // namespace

std::string row_line(const StatsFile& stats, const TableLabels& labels, const ResultRow& r)
{
    const StatsRow& s = *r.source;
    const bool level = stats.kind == StatsKind::level;
    const TableTests& tests = labels.tests;
    std::string line = level ? std::to_string(s.id) : std::to_string(s.id) + "\t" + std::to_string(s.gene_id);
    if (labels.features) line += feature_cells(*labels.features, level, s.id);
    line += "\t" + condition_label(labels.names, s.a) + "\t" + condition_label(labels.names, s.b);
    line += "\t" + table_number(r.base_mean) + "\t" + table_fold_change(r.log2_fold_change);
    line += "\t" + table_number(r.stat[index_of(Test::gp)]) + test_values(r, Test::gp);
    line += "\t" + status_text(r, labels.names);
    line += "\t" + table_number(r.stat[index_of(Test::poisson)]) + test_values(r, Test::poisson);
    if (tests.permutation) line += test_values(r, Test::permutation);
    if (tests.mean) line += "\t" + table_number(r.stat[index_of(Test::mean)]) + test_values(r, Test::mean);
    if (tests.rest)
        for (Test t : {Test::rest, Test::rest_poisson}) line += "\t" + table_number(r.stat[index_of(t)]) + test_values(r, t);
    line += "\t" + calibration_text(r, tests);
    line += "\t" + table_number(r.effect_a) + "\t" + table_number(r.effect_b);
    if (level) {
        line += "\t" + table_number(s.gene.lambda_a) + "\t" + table_number(s.gene.lambda_b) + "\t" + length_text(s.length);
    } else {
        line += "\t" + length_text(s.length) + "\t" + length_text(s.gene_length);
    }
    return line + "\n";
}
