// The lines of a design file, which bamcount takes as a sample sheet and
// sigtable as the design of the count table's columns: an optional header
// whose first two cells are "sample" and "condition", then one tab-separated
// line per sample with its name and its condition's name, and whatever
// further cells the reader asks for. Names are not empty and hold no
// blanks, and no two samples share one; blank lines are skipped. Anything
// else stops the program with one message naming the file, the line and
// the field (exit status 2).
#pragma once

#include "cli/diag.h"
#include "tables/line_fields.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct DesignLine {
    std::string sample, condition;
    std::uint64_t line = 0; // where the file has it, for later refusals
};

// Whether `name` holds a blank, a tab or a line break (is more than one word).
bool has_blank(std::string_view name);

// Reads `file` line by line. `unit` is what a line stands for in refusals
// ("sample 3", "column 3"); `further`, when given, is called on every line
// once its two names are checked, with the
// cells and the refusals' context (" of sample 3"), for the cells after
// them.
std::vector<DesignLine> read_design_lines(
    const FileName& file, std::string_view unit,
    const std::function<void(const LineFields& cells, const std::string& context)>& further = {});

// The distinct names of `conditions`, in order of first appearance.
std::vector<std::string> distinct_conditions(const std::vector<std::string>& conditions);
