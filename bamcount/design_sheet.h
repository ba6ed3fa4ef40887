// An experiment with replicates: which alignment files (samples) are
// replicates of which condition, given to bamcount as a sample sheet
// (--design) or as a condition per alignment file (--groups).
//
// The sheet is a design file whose third cell is each sample's alignment
// file: tab-separated, an optional header line whose first two cells are
// "sample" and "condition", then one line per sample in column order with
// its name, its condition's name and its alignment file (relative to the
// current folder); further cells are ignored, blank lines skipped. Names
// are not empty and hold no blanks, and no two samples share one.
//
// bamcount writes the design back as design.tsv (two cells a line), whose
// conditions sigtable --design compares.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The samples in column order: each one's name, condition and alignment file.
struct SampleSheet {
    std::vector<std::string> samples, conditions, files;
};

// Reads the sheet at `path`, or stops with one line naming the file, the
// line and the cell: too few cells, an empty name or one with a blank, a
// sample named twice, an alignment file that cannot be read, fewer than two
// conditions.
SampleSheet read_sample_sheet(const std::string& path);

// What is wrong with --groups' conditions for `files` alignment files (not
// one per file, an empty one, one with a blank, fewer than two conditions),
// as a message; empty when they can be used.
std::string groups_problem(const std::vector<std::string>& groups, std::size_t files);
