// The design of an experiment with replicates: which columns of the count
// table (samples) are replicates of which condition.
//
// A tab-separated file: an optional header line whose first two cells are
// "sample" and "condition", then one line per column of the count table, in
// column order, whose first cell is the sample's name and second its
// condition's name; further cells (such as the alignment file, as in
// bamcount's sample sheets) are ignored. Names are not empty and hold no
// blanks; no two samples share a name. Blank lines are skipped. The
// conditions are numbered in the order they first appear. Anything else
// stops the program with one message naming the file, the line and the
// field (exit status 2).
#pragma once

#include "cli/diag.h"

#include <cstdint>
#include <string>
#include <vector>

struct Design {
    FileName file;
    std::vector<std::string> samples;    // samples[s - 1]: column s's name
    std::vector<int> condition_of;       // condition_of[s - 1]: column s's condition, from 1
    std::vector<std::uint64_t> line_of;  // line_of[s - 1]: the line that names column s
    std::vector<std::string> conditions; // conditions[c - 1]: condition c's name

    int num_samples() const { return static_cast<int>(samples.size()); }
    int num_conditions() const { return static_cast<int>(conditions.size()); }
    // The samples of condition c, as column numbers from 1.
    std::vector<int> members(int c) const;
};

Design read_design(const std::string& path);

// Refuses a design that cannot be tested: fewer than two conditions, or no
// condition with two samples (the replicates' variation is the test's
// null, and a design of one sample per condition has none).
void check_design_testable(const Design& design);

// Refuses a design whose samples are not the dataset's columns: another
// number of them than `columns` (the totals' or the count table's,
// `columns_source` saying which), or, when `column_names` is not empty
// (bamcount's conditions.tsv), another name for a column than the one the
// tables give it.
void check_design_columns(const Design& design, int columns, const std::string& columns_source,
                          const std::vector<std::string>& column_names, const std::string& names_source);
