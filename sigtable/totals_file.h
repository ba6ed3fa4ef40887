// The totals that normalise the table's levels, and which totals lvcmp's
// statistics were computed with.
//
// A totals file (gtt, or bamcount's size_factors.txt in the same format)
// holds a pair of totals per condition, general then Poisson; the table
// uses the Poisson ones.
//
// lvcmp's Poisson statistic of a gene and pair of conditions depends on
// nothing but the gene's reads in both conditions, its length, its two
// Poisson means (which the statistics file holds) and the ratio of the two
// conditions' Poisson totals. Recomputed from the reads with a totals file,
// it gives the statistics file's value exactly when lvcmp read that file
// (or one with the same ratios), and another value when it read the totals
// of another run, the conditions in another order, or size factors instead
// of counted totals. The table's fold changes and means are normalised by
// the totals, so totals that disagree would make them disagree with the
// tests: they are refused.
//
// The reads are the count table's sums when it is given; else the Poisson
// mean times the length, rounded to a whole number, which gives the sum
// exactly wherever a gene is shorter than a million positions (the mean has
// six decimals); longer genes are then not checked. Statistics that are not
// finite (a condition without reads) say nothing and are not checked.
// isocmp's statistics do not depend on the totals: nothing to check.
#pragma once

#include "cli/diag.h"
#include "sigtable/stats_file.h"
#include "sigtable/tables_dir.h"

#include <optional>
#include <string>
#include <vector>

struct TotalsFile {
    FileName file;
    std::vector<double> poisson_totals; // one per condition
};

// Reads every pair of totals the file holds, with the pipeline's totals
// reader (its messages name `file`).
TotalsFile read_totals_file(FileName file);

// Empty when the totals give every checked statistic of the file (to the
// six decimals it was written with); else what disagrees, in the words of
// the refusal: "gene 7 in conditions 1 and 2 has ...".
std::optional<std::string> totals_mismatch(const StatsFile& stats, const TotalsFile& totals,
                                           const CountTables* tables);

// Refuses, as not belonging to the statistics file, totals that disagree.
void check_totals(const StatsFile& stats, const TotalsFile& totals, const CountTables* tables);

// A bamcount folder offers two totals files: gtt.txt (the reads counted)
// and size_factors.txt (median-of-ratios depths), and lvcmp may have been
// given either. The one its statistics were computed with: gtt.txt when it
// fits (and for isocmp, whose statistics cannot tell), else size_factors.txt
// when that fits; neither is refused with gtt.txt's mismatch.
TotalsFile folder_totals(const StatsFile& stats, TotalsFile gtt, std::optional<TotalsFile> size_factors,
                         const CountTables* tables);
