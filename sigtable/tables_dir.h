// bamcount's output folder as `--tables DIR` reads it: the count table
// DIR/reads.txt with its annotation DIR/exon_zb.txt and DIR/gene_zb.txt,
// and, when they are there, DIR/conditions.tsv (the conditions' names) and
// mfit's DIR/gene_re.txt (which gene fits converged). features.tsv and
// gtt.txt of the folder are read as --features and --gtt read them.
//
// The tables' sizes are their numbers of lines (bamcount writes a record a
// line), the number of conditions that of the counts on the first line of
// reads.txt; the shared readers (tables.h, fitrecords.h) then read the
// files with every check they make for the other programs.
#pragma once

#include "sigtable/conditions_file.h"
#include "tables/fitrecords.h"
#include "tables/tables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// The count table's size and annotation, with the reads every exon and gene
// holds in each condition. The table itself (tens of millions of rows) is
// not held: its rows are summed as they are read.
struct CountTables {
    FileName reads, exon_zb, gene_zb;
    std::int32_t num_reads = 0, num_conditions = 0; // the count table's rows and counts per row
    ExonTable exons;
    GeneTable genes;
    // The rows of exon_zb and gene_zb by the number in their first column,
    // which the statistics files give (the first row holding it).
    std::unordered_map<std::int32_t, std::int32_t> exon_row, gene_row;
    // gene_of_exon[e]: the gene_zb row whose exon range holds exon_zb row
    // e (the first such), 0 for none; [1..num_exons].
    std::vector<std::int32_t> gene_of_exon;

    // The reads of the exon or gene in that row in condition c: the sums of
    // their rows of the count table, in 64 bits.
    std::int64_t exon_reads(std::int32_t row, std::int32_t c) const
    {
        return exon_reads_[static_cast<std::size_t>(row - 1) * conditions() + static_cast<std::size_t>(c - 1)];
    }
    std::int64_t gene_reads(std::int32_t row, std::int32_t c) const
    {
        return gene_reads_[static_cast<std::size_t>(row - 1) * conditions() + static_cast<std::size_t>(c - 1)];
    }
    std::size_t conditions() const { return static_cast<std::size_t>(num_conditions); }

    std::vector<std::int64_t> exon_reads_, gene_reads_;
};

struct GeneFits {
    FileName file;
    FitTable fits; // [gene_zb row][condition]
};

struct TablesDir {
    CountTables tables;
    std::optional<ConditionNames> names;
};

// The files of the folder that --tables stands for besides those read
// here; those a folder may lack only when they are there.
std::string gtt_in(const std::string& dir);
std::optional<std::string> features_in(const std::string& dir);
std::optional<std::string> size_factors_in(const std::string& dir);
std::optional<std::string> gene_re_in(const std::string& dir);

// Reads the folder's tables and conditions.tsv. `conditions_if_empty` is
// the number of conditions to take when reads.txt holds no row (the totals
// file's).
TablesDir read_tables_dir(const std::string& dir, std::int32_t conditions_if_empty);

// Reads mfit's gene result file (the folder's gene_re.txt, or the one
// --gene-re names). One whose lines are not one per gene of gene_zb, each
// with the fields of the count table's conditions, is refused as not
// belonging to them.
GeneFits read_gene_fits(const std::string& path, const CountTables& tables);
