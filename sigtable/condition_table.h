// The table per pair of conditions of an experiment with replicates: one
// row per gene (an lvcmp statistics file) or exon (isocmp) and pair of
// conditions of the design, tested against the variation between the
// replicates of each condition (moderated_test.h).
//
// Every sample's reads of a feature are those of the statistics file (its
// Poisson means times the lengths, which lvcmp and isocmp copy for both
// samples of every comparison) or, with the count tables, their exact
// sums. Samples are scaled to a common depth by the median of their genes'
// ratios to the genes' geometric means across samples, which a share of
// genes changing between the conditions leaves in place, where the
// counted totals would move with them. Genes are compared on log2 of their reads scaled to the mean depth
// (with half a read added, so that a gene without reads in one condition
// and with many in the other is a large difference, not a missing test);
// exons on log2 of their reads over the rest of their gene's (the log odds
// of their share), so that a gene's change of level leaves its exons'
// values alone.
#pragma once

#include "sigtable/design_file.h"
#include "sigtable/features_file.h"
#include "sigtable/moderated_test.h"
#include "sigtable/stats_file.h"
#include "sigtable/tables_dir.h"

#include <cstddef>
#include <string>
#include <vector>

// A feature's samples: its reads (an exon's with its gene's), scaled to the
// mean depth, and why it is not tested, when it is not.
struct ConditionFeature {
    int id = 0, gene_id = 0;          // lvcmp: the gene's; isocmp: the exon's and its gene's
    std::vector<double> normalised;   // [s - 1]: sample s's reads over its depth
    std::vector<double> share;        // isocmp: [s - 1]: the exon's reads over its gene's
    std::vector<double> values;       // the tested values, per sample
    double expression = 0;            // where the feature lies on the variance trend's axis
    ConditionFit fit;
    std::string untested;             // empty when tested
};

struct ConditionRow {
    std::size_t feature = 0; // in ConditionResults::features
    int a = 0, b = 0;        // the design's conditions, a before b
    double effect_a = NAN, effect_b = NAN, base_mean = NAN, log2_fold_change = NAN;
    double stat = NAN, pvalue = NAN, padj = NAN;
};

struct ConditionResults {
    StatsKind kind = StatsKind::level;
    std::vector<ConditionFeature> features;
    std::vector<ConditionRow> rows;
    VariancePrior prior;
    double residual_df = 0;
    std::vector<double> size_factors; // per sample, before scaling to a mean of 1
    std::size_t tested = 0; // features tested
};

// `tables`: the count tables when given, for exact reads.
ConditionResults compute_condition_results(const StatsFile& stats, const Design& design, const CountTables* tables);

// Orders by padj (not a number last), then p-value, keeping the order of
// ties.
void sort_condition_rows(std::vector<ConditionRow>& rows);

std::string condition_header(StatsKind kind, const Features* features);
std::string condition_row_line(const ConditionResults& results, const Features* features, const Design& design,
                               const ConditionRow& row);
