// The ranked results table: one row per comparison of a statistics file,
// with names and coordinates when features.tsv is given, effect sizes,
// both statistics with their asymptotic p-values, the permutation p-value
// when the file has the null's fields, and Benjamini-Hochberg adjusted
// p-values within each pair of conditions. Column names follow the
// established differential-expression tools where the meaning is the same
// (baseMean, log2FoldChange, stat, pvalue, padj).
#pragma once

#include "stats_file.h"

#include <map>
#include <string>
#include <vector>

// A row of features.tsv: what a gene or exon number of the tables is.
struct Feature {
    std::string gene, gene_name, chromosome, start, end, strand;
};
struct Features {
    std::map<int, Feature> genes, exons;
    bool given = false;
};
// Reads features.tsv as bamcount writes it: a header line, then one line
// per feature of at least 8 tab-separated fields (kind, id, gene,
// gene_name, chromosome, start, end, strand; more are ignored). A kind that
// is not gene or exon, an id that is not an integer, a coordinate that is
// not a non-negative integer, a strand other than +, - or ., or a line
// short of fields stops the program with one message naming the file, the
// line and the field (exit status 2); so do a folder and a file that
// cannot be read. Blank lines are skipped.
Features read_features(const std::string& path);

// The Poisson totals of every condition in the totals file (gtt), in order,
// for normalising levels, read by the pipeline's totals reader (totals.h):
// pairs of reals, general then Poisson total, one pair per condition, as
// many as the file holds.
std::vector<double> read_poisson_totals(const std::string& path);
// The same, refusing a file with fewer conditions than the highest that
// `stats` compares: the message names both files and both numbers.
std::vector<double> read_poisson_totals(const std::string& path, const StatsFile& stats);

struct ResultRow {
    const StatsRow* source;
    double base_mean, log2_fold_change;
    double pvalue, padj, pvalue_poisson, padj_poisson, pvalue_permutation, padj_permutation;
    double effect_a, effect_b; // lvcmp: normalised mean counts; isocmp: the exon's shares
};

// `totals` may be empty (no normalising) or hold fewer conditions than the
// rows compare: those conditions are left as they are.
std::vector<ResultRow> compute_results(const StatsFile& stats, const std::vector<double>& totals);

// Orders by padj (not-a-number last), then pvalue, keeping input order.
void sort_by_padj(std::vector<ResultRow>& rows);

// The table as text: a header line, then one line per row; NA for a value
// that is not a number.
std::string header_line(const StatsFile& stats, const Features& features);
std::string row_line(const StatsFile& stats, const Features& features, const ResultRow& row);
