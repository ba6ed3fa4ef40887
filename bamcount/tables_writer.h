// Writing bamcount's output folder: the count tables the pipeline reads
// (reads.txt, exon_zb.txt, gene_zb.txt, gtt.txt), features.tsv, which maps
// the tables' gene and exon numbers back to the annotation, summary.tsv,
// the records of every condition by what became of them, and
// conditions.tsv, each condition's number, name and alignment file,
// size_factors.txt, depth totals less swayed by a few dominant genes, and,
// for replicates, design.tsv, each sample's condition.
#pragma once

#include "bamcount/counting.h"
#include "bamcount/layout.h"
#include "tables/tables.h"

#include <cstdint>
#include <string>
#include <vector>

// The files write_tables creates in a folder, each with its role for the
// messages.
struct TableFiles {
    explicit TableFiles(const std::string& dir);
    FileName reads, exon_zb, gene_zb, features, gtt, summary, conditions, size_factors, design;
    // All of them, in the order write_tables creates them; design.tsv only
    // `with_design`.
    std::vector<FileName> all(bool with_design) const;
};

// Returns the four sizes the pipeline's programs take. `inputs` and `names`:
// each condition's alignment file and name, in condition order; `groups`,
// when not empty, each one's condition as a sample of the design.tsv
// written then.
TableSizes write_tables(const std::string& dir, const CountLayout& layout,
                        const std::vector<ConditionCounts>& conditions, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& names, const std::vector<std::string>& groups);

// Median-of-ratios depth totals, one per condition, in the units of gtt's
// totals. Over the genes with reads in every condition, a gene's ratio in
// condition c is its count there over the geometric mean of its counts in
// all conditions; a condition's factor is the median of its ratios (the
// mean of the middle two for an even number of genes), and the total is
// that factor times the mean of `totals`. A few genes that dominate one
// condition's reads shift counted totals, not this median. `gene_counts`
// holds gene g's count in condition c at g * C + c for C = totals.size().
// With no gene read in every condition there is no ratio: `totals` comes
// back, and `genes_used` (the number of genes the median runs over) is 0.
std::vector<double> median_of_ratios_totals(const std::vector<std::int64_t>& gene_counts,
                                            const std::vector<std::int64_t>& totals, std::size_t& genes_used);
