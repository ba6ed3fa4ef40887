// Whether sigtable's other inputs belong to the statistics file: made from
// the same dataset, so that the table's names, depths and read counts are
// those of the comparisons. A mismatch would otherwise pass unnoticed (a
// gene labelled with another dataset's name, a fold change normalised by
// other depths), so it stops the program with one line naming the file, the
// item that disagrees and both values, exit status 2:
//
//   features file 'f.tsv' does not belong to statistics file 's.txt': gene
//   328 has length 1200 in the statistics file (line 12) and 80 in the
//   features file
//
// Checked, each when both sides are given:
// - the number of conditions of the totals (gtt), conditions.tsv and the
//   count table against the statistics file's: lvcmp compares every pair of
//   conditions, so its highest condition is their number; isocmp writes no
//   line for a comparison it cannot make, so its highest is at most their
//   number; and against each other. A statistics file without a line
//   leaves the number open.
// - features.tsv lists as many genes and exons as gene_zb and exon_zb;
// - every gene and exon of the statistics file is in features.tsv, gene_zb
//   and exon_zb, with the length the statistics file gives it, and every
//   exon of an isocmp line in the gene of that line (features.tsv's
//   gene_index, gene_zb's exon ranges); the lengths and gene_index of
//   features.tsv only where it has those columns;
// - the count table's reads of every gene and exon of the statistics file
//   give its Poisson means (the mean count per position, to their six
//   decimals), and gene_re (check_gene_fits) holds the same Poisson means
//   as the statistics file.
#pragma once

#include "sigtable/conditions_file.h"
#include "sigtable/features_file.h"
#include "sigtable/stats_file.h"
#include "sigtable/tables_dir.h"
#include "sigtable/totals_file.h"

#include <vector>

struct RunInputs {
    const Features* features = nullptr;
    const TotalsFile* gtt = nullptr;
    const CountTables* tables = nullptr;
    const ConditionNames* names = nullptr;
};

void check_belonging(const StatsFile& stats, const RunInputs& in);
// gene_re, read once the count table is known to belong: the same Poisson
// means as the statistics file.
void check_gene_fits(const StatsFile& stats, const CountTables& tables, const GeneFits& fits);
