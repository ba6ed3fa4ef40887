// The ranked results table: one row per comparison of a statistics file,
// with names and coordinates when features.tsv is given, effect sizes,
// both statistics with their asymptotic p-values, the permutation p-value
// when the file has the null's fields, and Benjamini-Hochberg adjusted
// p-values within each pair of conditions. Column names follow the
// established differential-expression tools where the meaning is the same
// (baseMean, log2FoldChange, stat, pvalue, padj).
#pragma once

#include "conditions_file.h"
#include "features_file.h"
#include "stats_file.h"
#include "tables_dir.h"

#include <string>
#include <vector>

// The Poisson totals of every condition in the totals file (gtt), in order,
// for normalising levels, read by the pipeline's totals reader (totals.h):
// pairs of reals, general then Poisson total, one pair per condition, as
// many as the file holds.
std::vector<double> read_poisson_totals(const std::string& path);

// Which p-value ranks, filters and plots the rows.
enum class PValueKind {
    gp,         // the generalized Poisson statistic's chi-square p-value (pvalue)
    poisson,    // the Poisson statistic's (pvalue_poisson)
    permutation // the generalized Poisson statistic's under its permutation null (pvalue_permutation)
};

// Why a comparison has, or has not, a generalized Poisson p-value. lvcmp
// writes -1 for a statistic it could not compute; the reason is told from
// the reads (no reads in a condition), then the gene's fits when gene_re
// is known (a fit that did not converge), else it is only "not valid".
enum class TestStatus { tested, no_reads_a, no_reads_b, no_reads_either, unfit_a, unfit_b, unfit_both, not_valid };

struct ResultRow {
    const StatsRow* source;
    double base_mean, log2_fold_change;
    double pvalue, padj, pvalue_poisson, padj_poisson, pvalue_permutation, padj_permutation;
    double effect_a, effect_b; // lvcmp: normalised mean counts; isocmp: the exon's shares
    TestStatus status;

    double chosen_pvalue(PValueKind kind) const;
    double chosen_padj(PValueKind kind) const;
};

struct ResultInputs {
    // The Poisson totals of every condition, for normalising levels; empty
    // for none.
    std::vector<double> totals;
    // With the count table the reads of the genes and exons are its sums;
    // without it they come from the statistics file's Poisson means, which
    // have six decimals (an exon holding all of its gene's reads may then
    // show a share of 1.00001).
    const CountTables* tables = nullptr;
    const GeneFits* gene_fits = nullptr; // for the reasons of test_status
};

std::vector<ResultRow> compute_results(const StatsFile& stats, const ResultInputs& in);

// Orders by the chosen padj (not-a-number last), then its p-value, keeping
// input order.
void sort_by_padj(std::vector<ResultRow>& rows, PValueKind kind);

// What the table's text is made of besides the rows' numbers.
struct TableLabels {
    const Features* features = nullptr;     // its columns when given
    const ConditionNames* names = nullptr;  // the conditions' names when known
};

// The table as text: a header line, then one line per row; NA for a value
// that is not a number, but Inf and -Inf for an infinite log2FoldChange (a
// gene with reads in one condition only).
std::string header_line(const StatsFile& stats, const TableLabels& labels);
std::string row_line(const StatsFile& stats, const TableLabels& labels, const ResultRow& row);
// test_status's text for a row.
std::string status_text(const ResultRow& row, const ConditionNames* names);
