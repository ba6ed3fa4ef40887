// The command lines bamcount prints for the steps after it: mfit, lvcmp
// and isocmp on its tables with their sizes filled in, then sigtable on
// each comparison, per pair of samples or, with a design, per pair of
// conditions. They name the programs by the folder bamcount itself
// runs from, so that they run when copied whether or not that folder is on
// the PATH, and every path is quoted for the shell where it needs to be.
#pragma once

#include "tables/tables.h"

#include <string>
#include <string_view>

// `text` as one shell word: as it is when made only of letters, digits and
// _./=:,+@%-, else in single quotes (a quote inside becomes '\'').
std::string shell_word(std::string_view text);

// The folder of the running program: that of /proc/self/exe, else that of
// `argv0` when it names one; empty when neither tells.
std::string program_folder(const char* argv0);

// The lines after "next steps:", each ending in a newline. `bin` is the
// programs' folder (empty: their bare names), `out` the tables' folder as
// the user gave it; `with_design`: it holds design.tsv, for sigtable --design.
std::string next_steps(const std::string& bin, const std::string& out, const TableSizes& sizes, bool with_design);
