// Reading a statistics file of lvcmp (a gene's level between two
// conditions) or isocmp (an exon's share of its gene), with or without the
// permutation fields. The kind is told by the number of fields of the first
// line: 10 or 12 for lvcmp, 16 or 18 for isocmp; every line must have as
// many. The file is read through the pipeline's InputFile, so a folder or a
// file that cannot be read is refused as by the other programs. A field
// that is not what its place asks for (an integer id, a condition number
// from 1, a real statistic or estimate, a non-negative length) stops the
// program with one message naming the file, the line and the field, exit
// status 2.
#pragma once

#include "cli/diag.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

enum class StatsKind { level, share };

// A feature's Poisson means (the mean count per position) in the two
// conditions compared.
struct MeanPair {
    double mean_a = NAN, mean_b = NAN;
};
// lvcmp's generalized Poisson rates of the gene in the two conditions.
struct RatePair {
    double lambda_a = NAN, lambda_b = NAN;
};
// The gamma distribution a permutation null is summarised by.
struct GammaNull {
    double scale = NAN, shape = NAN;
};

// One line of the file, laid out so that millions of them stay small: what
// every kind of file has, the integers and flags first. The fields only
// some files have are kept beside the rows (StatsFile).
struct StatsRow {
    std::uint32_t line = 0; // where the file has it, for messages (read_stats refuses more lines)
    int id = 0;             // lvcmp: gene_id; isocmp: exon_id
    int gene_id = 0;        // isocmp only
    int a = 0, b = 0;
    int length = 0;      // lvcmp: the gene's; isocmp: the exon's
    int gene_length = 0; // isocmp only
    bool valid = true;     // lvcmp writes -1 for a generalized Poisson statistic that is not valid
    bool has_null = false; // a permutation null in StatsFile::nulls
    double stat = 0;       // generalized Poisson statistic (not a number when not valid)
    double stat_poisson = 0;
    // The Poisson means in conditions a and b of the gene as the statistics
    // file copies them from gene_re (lvcmp: the gene tested; isocmp: the
    // exon's gene), and with isocmp the exon's from exon_re; not a number
    // where the file has none (lvcmp's exon).
    MeanPair gene, exon;
};

struct StatsFile {
    FileName name;
    StatsKind kind = StatsKind::level;
    bool permutation = false;
    std::vector<StatsRow> rows;
    // By row, the fields of some files only: lvcmp's gene rates (not a
    // number where the statistic is not valid), and the permutation nulls
    // of a file with them (not a number where the statistic is not valid);
    // empty otherwise. An isocmp file's rates enter no column, and are
    // only checked.
    std::vector<RatePair> rates;
    std::vector<GammaNull> nulls;
    int conditions = 0; // the highest condition number of any row
    // Whether every comparison of its conditions has a line: lvcmp writes
    // one for every gene and pair, isocmp none for a comparison it cannot
    // make (a fit that did not converge, a statistic that is not valid), so
    // that an isocmp file may stop short of its dataset's last condition.
    bool every_pair() const { return kind == StatsKind::level; }
    // Those of `row`, one of `rows`.
    const RatePair& rates_of(const StatsRow& row) const { return rates[index_in_rows(row)]; }
    const GammaNull& null_of(const StatsRow& row) const { return nulls[index_in_rows(row)]; }

private:
    std::size_t index_in_rows(const StatsRow& row) const { return static_cast<std::size_t>(&row - rows.data()); }
};

StatsFile read_stats(const std::string& path);
