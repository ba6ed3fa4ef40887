// The ranked results table: one row per comparison of a statistics file,
// with names and coordinates when features.tsv is given, effect sizes,
// both statistics with their asymptotic p-values, the permutation p-value
// when the file has the null's fields, and Benjamini-Hochberg adjusted
// p-values within each pair of conditions. Column names follow the
// established differential-expression tools where the meaning is the same
// (baseMean, log2FoldChange, stat, pvalue, padj).
#pragma once

#include "sigtable/conditions_file.h"
#include "sigtable/depths.h"
#include "sigtable/features_file.h"
#include "sigtable/stats_file.h"
#include "sigtable/tables_dir.h"

#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The tests whose p-values the table can hold, in the table's order.
enum class Test {
    gp,           // the generalized Poisson statistic's chi-square p-value (pvalue)
    poisson,      // the Poisson statistic's (pvalue_poisson)
    permutation,  // the generalized Poisson statistic under its permutation null (pvalue_permutation)
    mean,         // lvcmp's test of the mean level, chi-square (pvalue_mean; --mean-test)
    rest,         // isocmp's exon against the rest of its gene, generalized Poisson (pvalue_rest; --rest-test)
    rest_poisson, // the same with the Poisson statistic (pvalue_rest_poisson)
};
inline constexpr int kTests = 6;
inline constexpr Test kAllTests[kTests] = {Test::gp,   Test::poisson, Test::permutation,
                                           Test::mean, Test::rest,    Test::rest_poisson};
inline constexpr std::size_t index_of(Test t) { return static_cast<std::size_t>(t); }

// The test's name in --pvalue and on standard output ("gp", "rest-poisson").
const char* test_name(Test t);
// The columns' suffix: "" for gp, "_poisson", "_rest_poisson", ...
const char* column_suffix(Test t);

// Which p-value ranks, filters and plots the rows: a test, as it is or
// calibrated (calibration.h); or, `automatic`, calibrated in the pairs of
// conditions that have enough tests to be calibrated and as it is in the
// others, so that the default ranking is the one the calibration vouches
// for wherever it can.
struct PValueKind {
    Test test = Test::gp;
    bool calibrated = false;
    bool automatic = false;
};
struct PairSummary;
// The kind a pair of conditions uses: `automatic` settled by its calibration.
PValueKind kind_in_pair(PValueKind kind, const PairSummary& pair);

// Why a comparison has, or has not, a generalized Poisson p-value. lvcmp
// writes -1 for a statistic it could not compute; the reason is told from
// the reads (no reads in a condition), then the gene's fits when gene_re
// is known (a fit that did not converge), else it is only "not valid".
// A comparison that only the rest-test file has was not valid in isocmp.
enum class TestStatus {
    tested, no_reads_a, no_reads_b, no_reads_either, unfit_a, unfit_b, unfit_both, not_valid, not_in_isocmp
};

// Why a comparison with a generalized Poisson test has no permutation
// p-value: the program wrote no null (scale or shape -1 or not positive),
// or the gamma null's tail cannot be evaluated for its parameters.
enum class PermutationNote { none, no_null, not_evaluable };

// The calibration of one test in one pair of conditions.
struct PairTest {
    std::size_t tested = 0;
    bool calibrated = false;
    double lambda_low = 1, lambda_high = 1, mean_low = NAN, mean_high = NAN; // the curve's ends
    double median_lambda = 1, below_05_before = 0, below_05_after = 0;
};
struct PairSummary {
    int a = 0, b = 0;
    PairTest tests[kTests];
};

struct ResultRow {
    const StatsRow* source;
    double base_mean = NAN, log2_fold_change = NAN;
    double effect_a = NAN, effect_b = NAN; // lvcmp: normalised mean counts; isocmp: the exon's shares
    // Per test (index_of): the statistic, its p-value and padj, calibrated
    // and not; not-a-number where the table has no such test or no value.
    double stat[kTests], pvalue[kTests], padj[kTests], pvalue_cal[kTests], padj_cal[kTests];
    TestStatus status = TestStatus::tested;
    // The Poisson statistic of a gene with reads in one condition only,
    // where lvcmp's is not a number; not a number otherwise.
    double one_side_poisson = NAN;
    PermutationNote permutation_note = PermutationNote::none;
    const PairSummary* pair = nullptr; // its pair's calibration

    double chosen_pvalue(PValueKind kind) const;
    double chosen_padj(PValueKind kind) const;
};

// The further tests' files, when given (extra_tests.h).
struct MeanTest;
struct RestTest;

struct ResultInputs {
    // The Poisson totals of every condition, for normalising levels and
    // isocmp's baseMean; empty for none.
    std::vector<double> totals;
    // With the count table the reads of the genes and exons are its sums;
    // without it they come from the statistics file's Poisson means, which
    // have six decimals (an exon holding all of its gene's reads may then
    // show a share of 1.001).
    const CountTables* tables = nullptr;
    const GeneFits* gene_fits = nullptr; // for the reasons of test_status
    const MeanTest* mean_test = nullptr;
    const RestTest* rest_test = nullptr;
    double calibration_quantile = 0.5; // the bins' estimate of the inflation (calibrate_pair)
    int threads = 1;                    // the rows' p-values and the pairs' calibrations run on this many
};

// Which tests the table has: gp and poisson always, the others with their
// fields or files.
struct TableTests {
    bool permutation = false, mean = false, rest = false;
    bool has(Test t) const
    {
        return t == Test::gp || t == Test::poisson || (t == Test::permutation && permutation) ||
               (t == Test::mean && mean) || ((t == Test::rest || t == Test::rest_poisson) && rest);
    }
};

// The comparisons of the table in order: the statistics file's rows, and
// with a rest-test file the comparisons only it has.
struct Comparison {
    const StatsRow* stats;
    std::int64_t mean = -1, rest = -1; // their lines' indices in the further tests' files
};

// The table's rows, row k being the k-th comparison. A statistics file has
// millions of them, so a row is not held whole: only what the adjustment
// across its pair of conditions gives (each test's p-value, padj and their
// calibrated pair, column by column) and its pair are kept, and the rest of
// the row (effects, statistics, status) is made again from its statistics
// line when it is asked for, by the same operations and so to the same bits.
// The statistics file and the inputs must outlive the results, which must
// not move (rows point to their pairs).
class Results {
public:
    Results(const StatsFile& stats, const ResultInputs& in);
    Results(const Results&) = delete;
    Results& operator=(const Results&) = delete;

    std::size_t size() const { return pair_of_.size(); }
    ResultRow row(std::size_t k) const;
    const StatsRow& source(std::size_t k) const { return *comparison(k).stats; }
    // Row k's p-value and padj of the kind chosen, without making the row.
    double chosen_pvalue(std::size_t k, PValueKind kind) const;
    double chosen_padj(std::size_t k, PValueKind kind) const;

    // Every pair of conditions' calibration, by (a, b).
    std::map<std::pair<int, int>, PairSummary> pairs;

private:
    Comparison comparison(std::size_t k) const;
    // Row k without its p-values: effects, status and statistics.
    ResultRow unadjusted(std::size_t k) const;
    const PairSummary& pair(std::size_t k) const { return *pair_list_[pair_of_[k]]; }

    const StatsFile& stats_;
    ResultInputs in_;
    TableTests tests_;
    Depths depth_;
    // Only with a rest-test file, which adds comparisons; else row k is
    // the statistics file's row k.
    std::vector<Comparison> comparisons_;
    std::deque<StatsRow> rest_only_;
    std::vector<std::uint32_t> pair_of_;        // row -> its pair in pair_list_
    std::vector<const PairSummary*> pair_list_; // in the order the rows first name them
    // Row by row, for each test the table has, its p-value, padj and their
    // calibrated pair: a row's values side by side, as the table (sorted,
    // in any order of rows) asks for them.
    enum Column { kPValue, kPadj, kPValueCal, kPadjCal, kColumns };
    double& value(std::size_t k, Test t, Column c) { return values_[k * stride_ + slot_[index_of(t)] + c]; }
    double value(std::size_t k, Test t, Column c) const { return values_[k * stride_ + slot_[index_of(t)] + c]; }
    std::vector<double> values_;
    std::size_t stride_ = 0;
    std::size_t slot_[kTests] = {}; // each test's first column in a row; only for the tests the table has
};

// The rows' order by the chosen padj (not-a-number last), then its p-value,
// keeping input order.
std::vector<std::uint32_t> order_by_padj(const Results& results, PValueKind kind);

// What the table's text is made of besides the rows' numbers.
struct TableLabels {
    const Features* features = nullptr;     // its columns when given
    const ConditionNames* names = nullptr;  // the conditions' names when known
    TableTests tests;
};

// The table as text: a header line, then one line per row (appended to
// `out`); NA for a value that is not a number, but Inf and -Inf for an
// infinite log2FoldChange (a gene with reads in one condition only).
std::string header_line(const StatsFile& stats, const TableLabels& labels);
void append_row_line(std::string& out, const StatsFile& stats, const TableLabels& labels, const ResultRow& row);
// test_status's text for a row.
std::string status_text(const ResultRow& row, const ConditionNames* names);
// calibration's text for a row: "calibrated", "not tested" (no p-value of
// any test), or why its pair was not calibrated ("too few tests to
// calibrate (57 < 200)", naming the tests when their counts differ).
std::string calibration_text(const ResultRow& row, const TableTests& tests);
