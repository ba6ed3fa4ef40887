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

// A feature's fits in the two conditions compared: the generalized Poisson
// rate and the Poisson mean, the mean count per position.
struct FitPair {
    double lambda_a = NAN, lambda_b = NAN;
    double mean_a = NAN, mean_b = NAN;
};
// An exon's Poisson means: its rates enter no column of the table, and a
// statistics file holds millions of exon lines.
struct MeanPair {
    double mean_a = NAN, mean_b = NAN;
};

// One line of the file, laid out so that millions of them stay small: the
// integers and flags first, then the reals.
struct StatsRow {
    std::uint64_t line = 0; // where the file has it, for messages
    int id = 0;      // lvcmp: gene_id; isocmp: exon_id
    int gene_id = 0; // isocmp only
    int a = 0, b = 0;
    int length = 0;      // lvcmp: the gene's; isocmp: the exon's
    int gene_length = 0; // isocmp only
    bool valid = true;     // lvcmp writes -1 for a generalized Poisson statistic that is not valid
    bool has_null = false;
    double stat = 0;       // generalized Poisson statistic (not a number when not valid)
    double stat_poisson = 0;
    // The gene's fits in conditions a and b as the statistics file copies
    // them from gene_re (lvcmp: the gene tested; isocmp: the exon's gene),
    // and with isocmp the exon's Poisson means from exon_re; not a number
    // where the file has none (lvcmp's rates of a statistic that is not
    // valid, lvcmp's exon).
    FitPair gene;
    MeanPair exon;
    double null_scale = 0, null_shape = 0;
};

struct StatsFile {
    FileName name;
    StatsKind kind = StatsKind::level;
    bool permutation = false;
    std::vector<StatsRow> rows;
    int conditions = 0; // the highest condition number of any row
    // Whether every comparison of its conditions has a line: lvcmp writes
    // one for every gene and pair, isocmp none for a comparison it cannot
    // make (a fit that did not converge, a statistic that is not valid), so
    // that an isocmp file may stop short of its dataset's last condition.
    bool every_pair() const { return kind == StatsKind::level; }
};

StatsFile read_stats(const std::string& path);
