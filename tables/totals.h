// The totals file gtt: per condition, in order, two reals: the total unique
// reads counted for the generalized Poisson model and for the Poisson model.
// Only their ratios between two conditions enter the statistics, as the
// normalising factors of the level comparison. No program of the pipeline
// writes it; the user prepares it.
#pragma once

#include "numcore/arrays.h"
#include "tables/textin.h"

#include <cstdint>

struct TotalsTable {
    std::int32_t conditions = 0;
    RealVector general_total; // [1..conditions]
    RealVector poisson_total; // [1..conditions]
};

// Reads the totals of `conditions` conditions and closes the file. A file
// that ends early or holds a token that is not a real stops the program with
// status 2 naming the file, the line, the field and the condition. A total
// of 0 or less is taken as it is, with a warning on standard error: ratios
// with it are infinite or not a number.
TotalsTable read_totals(InputFile& file, std::int32_t conditions);
// The same for every pair the file holds, however many: for a reader that
// checks their number against another file.
TotalsTable read_all_totals(InputFile& file);
