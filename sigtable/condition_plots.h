// The plots of a table per pair of conditions, one set per pair: the
// volcano plot (log2 fold change against -log10 p-value), the MA plot
// (log10 baseMean against log2 fold change), and the levels plot: every
// sample's normalised reads (genes) or share (exons) for the pair's
// features of smallest padj, one column of points per feature, so that a
// change can be told from one discordant replicate at a glance.
#pragma once

#include "sigtable/condition_table.h"
#include "sigtable/design_file.h"

#include <string>

// The features the levels plot shows per pair.
inline constexpr std::size_t kLevelsShown = 20;

// Writes DIR/volcano_A_B, ma_A_B and levels_A_B (A, B: the conditions'
// numbers in the design) as SVG, and PNG where rsvg-convert runs; returns
// whether every PNG was written.
bool write_condition_plots(const std::string& dir, const ConditionResults& results, const Design& design, double alpha);
