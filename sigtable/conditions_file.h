// conditions.tsv, which bamcount writes beside its count tables: the name
// of every condition, for the tables' condition columns, the plots' titles
// and the reasons of test_status.
//
// A header line whose first cell is "condition" (bamcount writes
// "condition\tname\tfile"), then one line per condition of at least three
// tab-separated cells: the condition's number, counting 1, 2, ... in
// order; its name, not empty, without blanks and unlike every other
// condition's; the alignment file it was
// counted from (not used here). Blank lines are skipped. Anything else
// stops the program with one message naming the file, the line and the
// field (exit status 2); so do a folder and a file that cannot be read.
#pragma once

#include "cli/diag.h"

#include <string>
#include <vector>

struct ConditionNames {
    FileName file;
    std::vector<std::string> names; // names[c - 1] is condition c's
};

ConditionNames read_condition_names(const std::string& path);

// How tables and messages call condition c: its name when `names` holds
// one, else its number.
std::string condition_label(const ConditionNames* names, int c);
// The same in running text: the name, or "condition c".
std::string condition_phrase(const ConditionNames* names, int c);
