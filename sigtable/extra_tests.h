// The statistics files of the further tests, read beside the statistics
// file they belong to:
//
// - lvcmp's test of the mean level (--mean-test): one line per line of the
//   lvcmp statistics file, in the same order, "gene_id i j statistic mu_null
//   theta_i_null theta_j_null"; the same gene and conditions as that line,
//   else the file is refused as not belonging.
// - isocmp's test of an exon against the rest of its gene (--rest-test):
//   "exon_id gene_id i j gp_statistic poisson_statistic rho_null", one line
//   per exon of a gene with at least two exons and pair of conditions.
//   isocmp writes no line for a comparison it cannot make, so this file
//   holds more comparisons than the isocmp file: they are matched by exon
//   and conditions, and every isocmp comparison of a gene with at least two
//   exons must have its line, in the same gene. A gene has one exon when
//   the count tables say so, or, without them, when the file has no line of
//   it at all (it has a line for every exon of every other gene); an exon
//   as long as its gene has one too.
//
// A statistic of -1 is one the program could not compute (not-a-number
// here). Every field is checked; a bad one stops sigtable with one line
// naming the file, the line and the field, exit status 2.
#pragma once

#include "cli/diag.h"
#include "sigtable/stats_file.h"
#include "sigtable/tables_dir.h"

#include <cstdint>
#include <vector>

struct MeanTest {
    FileName name;
    std::vector<double> stat; // stat[k]: of the statistics file's row k
};

MeanTest read_mean_test(const std::string& path, const StatsFile& stats);

struct RestLine {
    std::uint64_t line = 0;
    int exon_id = 0, gene_id = 0, a = 0, b = 0;
    double stat = 0, stat_poisson = 0; // not-a-number when not valid
};

struct RestTest {
    FileName name;
    std::vector<RestLine> lines;     // in the file's order
    std::vector<std::int64_t> match; // per line: the statistics file's row, -1 for none
};

// `tables`, when given, tell which genes have one exon.
RestTest read_rest_test(const std::string& path, const StatsFile& stats, const CountTables* tables);
