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
Features read_features(const std::string& path);

// The totals of every condition (gtt), for normalising levels; empty when
// none is given.
std::vector<double> read_poisson_totals(const std::string& path);

struct ResultRow {
    const StatsRow* source;
    double base_mean, log2_fold_change;
    double pvalue, padj, pvalue_poisson, padj_poisson, pvalue_permutation, padj_permutation;
    double effect_a, effect_b; // lvcmp: normalised mean counts; isocmp: the exon's shares
};

std::vector<ResultRow> compute_results(const StatsFile& stats, const std::vector<double>& totals);

// Orders by padj (not-a-number last), then pvalue, keeping input order.
void sort_by_padj(std::vector<ResultRow>& rows);

// The table as text: a header line, then one line per row; NA for a value
// that is not a number.
std::string header_line(const StatsFile& stats, const Features& features);
std::string row_line(const StatsFile& stats, const Features& features, const ResultRow& row);
