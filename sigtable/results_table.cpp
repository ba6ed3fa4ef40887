#include "sigtable/results_table.h"

#include "cli/diag.h"
#include "lvcmp/lrtp.h"
#include "parallel/parallel_for.h"
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

std::vector<Comparison> comparisons(const StatsFile& stats, const ResultInputs& in, std::deque<StatsRow>& rest_only)
{
    // Each rest-only comparison is placed after the statistics file's row
    // that precedes it in the rest-test file (isocmp and the rest-test file
    // list comparisons in the same order, the first leaving some out).
    std::vector<Comparison> list;
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
// files.
void test_statistics(const Comparison& c, const ResultInputs& in, ResultRow& r)
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
}

// Each statistic's p-value: the chi-square tail, or for the permutation
// test the tail of the gamma null the file gives.
void test_pvalues(const StatsFile& stats, const StatsRow& s, ResultRow& r)
{
    for (Test t : kAllTests)
        if (t != Test::permutation) r.pvalue[index_of(t)] = chi_square_upper(r.stat[index_of(t)]);
    if (!s.has_null) return;
    const GammaNull& null = stats.null_of(s);
    r.pvalue[index_of(Test::permutation)] = gamma_upper(s.stat, null.shape, null.scale);
}

// Why a comparison with a generalized Poisson statistic has no permutation
// p-value, told from the p-value its null gave.
PermutationNote permutation_note(const StatsFile& stats, const StatsRow& s, double p)
{
    if (!s.has_null || !std::isnan(p) || std::isnan(s.stat)) return PermutationNote::none;
    const GammaNull& null = stats.null_of(s);
    const bool usable = null.shape > 0 && null.scale > 0 && std::isfinite(null.shape) && std::isfinite(null.scale);
    return usable ? PermutationNote::not_evaluable : PermutationNote::no_null;
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

} // namespace

Comparison Results::comparison(std::size_t k) const
{
    if (!comparisons_.empty()) return comparisons_[k];
    return {&stats_.rows[k], in_.mean_test ? static_cast<std::int64_t>(k) : -1, -1};
}

ResultRow Results::unadjusted(std::size_t k) const
{
    const Comparison c = comparison(k);
    // Every array filled below: a row is made millions of times, and
    // zeroing it first would cost as much as its arithmetic.
    ResultRow r;
    r.source = c.stats;
    r.base_mean = r.log2_fold_change = r.effect_a = r.effect_b = NAN;
    for (double* column : {r.stat, r.pvalue, r.padj, r.pvalue_cal, r.padj_cal}) std::fill(column, column + kTests, NAN);
    if (stats_.kind == StatsKind::level) level_effects(*c.stats, in_, depth_, r);
    else share_effects(*c.stats, in_, depth_, r);
    r.log2_fold_change = std::log2(r.effect_b / r.effect_a);
    test_statistics(c, in_, r);
    return r;
}

ResultRow Results::row(std::size_t k) const
{
    ResultRow r = unadjusted(k);
    for (Test t : kAllTests) {
        if (!tests_.has(t)) continue;
        const std::size_t i = index_of(t);
        r.pvalue[i] = value(k, t, kPValue);
        r.padj[i] = value(k, t, kPadj);
        r.pvalue_cal[i] = value(k, t, kPValueCal);
        r.padj_cal[i] = value(k, t, kPadjCal);
    }
    if (tests_.permutation)
        r.permutation_note = permutation_note(stats_, *r.source, r.pvalue[index_of(Test::permutation)]);
    r.pair = &pair(k);
    return r;
}

double Results::chosen_pvalue(std::size_t k, PValueKind kind) const
{
    kind = kind_in_pair(kind, pair(k));
    return value(k, kind.test, kind.calibrated ? kPValueCal : kPValue);
}

double Results::chosen_padj(std::size_t k, PValueKind kind) const
{
    kind = kind_in_pair(kind, pair(k));
    return value(k, kind.test, kind.calibrated ? kPadjCal : kPadj);
}

Results::Results(const StatsFile& stats, const ResultInputs& in)
    : stats_(stats), in_(in), tests_{stats.permutation, in.mean_test != nullptr, in.rest_test != nullptr},
      depth_(in_.totals)
{
    if (in.rest_test) comparisons_ = comparisons(stats, in, rest_only_);
    const std::size_t n = in.rest_test ? comparisons_.size() : stats.rows.size();
    for (Test t : kAllTests)
        if (tests_.has(t)) {
            slot_[index_of(t)] = stride_;
            stride_ += kColumns;
        }
    values_.assign(n * stride_, NAN);
    // The p-values, and each row's baseMean (held only while the pairs are
    // calibrated): row by row on every thread, each row writing its own.
    std::vector<double> base_mean_of(n);
    constexpr long kBlock = 1024;
    parallel_for((static_cast<long>(n) + kBlock - 1) / kBlock, in.threads, [&](long block) {
        const std::size_t end = std::min(n, static_cast<std::size_t>(block + 1) * kBlock);
        for (std::size_t k = static_cast<std::size_t>(block) * kBlock; k < end; ++k) {
            ResultRow r = unadjusted(k);
            test_pvalues(stats, *r.source, r);
            base_mean_of[k] = r.base_mean;
            for (Test t : kAllTests)
                if (tests_.has(t)) value(k, t, kPValue) = r.pvalue[index_of(t)];
        }
    });
    // Each row's pair of conditions, numbered in the order the rows first
    // name them.
    std::map<std::pair<int, int>, std::uint32_t> pair_index;
    pair_of_.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        const StatsRow& s = *comparison(k).stats;
        const auto [at, fresh] = pair_index.emplace(std::pair{s.a, s.b}, static_cast<std::uint32_t>(pair_index.size()));
        pair_of_.push_back(at->second);
    }
    pair_list_.resize(pair_index.size());
    std::vector<PairSummary*> summaries(pair_index.size()); // the same, to be filled in
    for (const auto& [key, index] : pair_index) {
        PairSummary& summary = pairs[key];
        summary.a = key.first;
        summary.b = key.second;
        pair_list_[index] = summaries[index] = &summary;
    }

    // Adjusted and calibrated within each pair of conditions: the pairs on
    // every thread, each writing only its own rows' values and summary, so
    // that a pair's working values are held only while it is worked on.
    parallel_for(static_cast<long>(pair_list_.size()), in.threads, [&](long index) {
        std::vector<std::size_t> members;
        std::vector<double> base_mean;
        std::vector<ResultRow> zero_rows; // the rows some p-value of which is 0, for their statistics
        std::vector<std::size_t> zero_at;
        for (std::size_t k = 0; k < n; ++k) {
            if (pair_of_[k] != static_cast<std::uint32_t>(index)) continue;
            members.push_back(k);
            base_mean.push_back(base_mean_of[k]);
            bool zero = false;
            for (Test t : kAllTests) zero |= tests_.has(t) && value(k, t, kPValue) == 0;
            if (zero) {
                zero_at.push_back(members.size() - 1);
                zero_rows.push_back(unadjusted(k));
            }
        }
        PairSummary& summary = *summaries[static_cast<std::size_t>(index)];
        for (Test t : kAllTests) {
            if (!tests_.has(t)) continue;
            const std::size_t i = index_of(t);
            std::vector<double> values;
            values.reserve(members.size());
            for (std::size_t k : members) values.push_back(value(k, t, kPValue));
            // The statistics the calibration rescales: it reads only those
            // of the p-values that are 0 (calibration.h). Every kind but the
            // permutation one is the chi-square tail of its statistic; a
            // permutation p-value that underflowed to 0 has its equivalent
            // from the logarithm of the gamma null's tail.
            std::vector<double> statistics(members.size(), NAN);
            for (std::size_t z = 0; z < zero_at.size(); ++z) {
                const std::size_t m = zero_at[z];
                if (values[m] != 0) continue;
                const ResultRow& r = zero_rows[z];
                const StatsRow& s = *r.source;
                statistics[m] =
                    t != Test::permutation
                        ? r.stat[i]
                        : chi_square1_from_log_p(log_gamma_upper(s.stat, stats.null_of(s).shape, stats.null_of(s).scale));
            }
            const std::vector<double> adjusted = benjamini_hochberg(values);
            const PairCalibration calibration =
                calibrate_pair(values, base_mean, &statistics, in.calibration_quantile);
            const std::vector<double> adjusted_cal = benjamini_hochberg(calibration.pvalue_cal);
            for (std::size_t m = 0; m < members.size(); ++m) {
                value(members[m], t, kPadj) = adjusted[m];
                value(members[m], t, kPValueCal) = calibration.pvalue_cal[m];
                value(members[m], t, kPadjCal) = adjusted_cal[m];
            }
            summary.tests[i] = pair_test(calibration);
        }
    });
}

std::vector<std::uint32_t> order_by_padj(const Results& results, PValueKind kind)
{
    auto key = [](double v) { return std::isnan(v) ? INFINITY : v; };
    // Sorted with their keys beside them, the row breaking the remaining
    // ties as a stable sort would.
    struct Keyed {
        double padj, pvalue;
        std::uint32_t row;
    };
    std::vector<Keyed> keyed(results.size());
    for (std::size_t k = 0; k < keyed.size(); ++k)
        keyed[k] = {key(results.chosen_padj(k, kind)), key(results.chosen_pvalue(k, kind)), static_cast<std::uint32_t>(k)};
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& x, const Keyed& y) {
        if (x.padj != y.padj) return x.padj < y.padj;
        if (x.pvalue != y.pvalue) return x.pvalue < y.pvalue;
        return x.row < y.row;
    });
    std::vector<std::uint32_t> order(keyed.size());
    for (std::size_t k = 0; k < keyed.size(); ++k) order[k] = keyed[k].row;
    return order;
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

// A cell: the tab, then the value.
void cell(std::string& out, double v)
{
    out += '\t';
    append_table_number(out, v);
}

void test_values(std::string& out, const ResultRow& r, Test t)
{
    const std::size_t i = index_of(t);
    for (double v : {r.pvalue[i], r.padj[i], r.pvalue_cal[i], r.padj_cal[i]}) cell(out, v);
}

void length_cell(std::string& out, int length)
{
    out += '\t';
    if (length < 0) out += "NA";
    else append_integer(out, length);
}

} // namespace

void append_row_line(std::string& out, const StatsFile& stats, const TableLabels& labels, const ResultRow& r)
{
    const StatsRow& s = *r.source;
    const bool level = stats.kind == StatsKind::level;
    const TableTests& tests = labels.tests;
    append_integer(out, s.id);
    if (!level) {
        out += '\t';
        append_integer(out, s.gene_id);
    }
    if (labels.features) out += feature_cells(*labels.features, level, s.id);
    for (int c : {s.a, s.b}) {
        out += '\t';
        if (labels.names) out += condition_label(labels.names, c);
        else append_integer(out, c);
    }
    cell(out, r.base_mean);
    out += '\t';
    out += table_fold_change(r.log2_fold_change);
    cell(out, r.stat[index_of(Test::gp)]);
    test_values(out, r, Test::gp);
    out += '\t';
    if (r.status == TestStatus::tested && r.permutation_note == PermutationNote::none) out += "tested";
    else out += status_text(r, labels.names);
    cell(out, r.stat[index_of(Test::poisson)]);
    test_values(out, r, Test::poisson);
    if (tests.permutation) test_values(out, r, Test::permutation);
    if (tests.mean) {
        cell(out, r.stat[index_of(Test::mean)]);
        test_values(out, r, Test::mean);
    }
    if (tests.rest)
        for (Test t : {Test::rest, Test::rest_poisson}) {
            cell(out, r.stat[index_of(t)]);
            test_values(out, r, t);
        }
    out += '\t';
    out += calibration_text(r, tests);
    cell(out, r.effect_a);
    cell(out, r.effect_b);
    if (level) {
        const RatePair& rates = stats.rates_of(s);
        cell(out, rates.lambda_a);
        cell(out, rates.lambda_b);
        length_cell(out, s.length);
    } else {
        length_cell(out, s.length);
        length_cell(out, s.gene_length);
    }
    out += '\n';
}
