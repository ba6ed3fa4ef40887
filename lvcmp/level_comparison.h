// The comparison loop of lvcmp: for every gene in table order and every pair
// of conditions i < j, the generalized Poisson and the Poisson level
// statistics, with the permutation null when asked for, written as one line
// of the statistics file. The gene's position is printed on standard output
// for every comparison without a valid generalized Poisson statistic.
#pragma once

#include "parallel/comparison_loop.h"
#include "tables/loading.h"
#include "tables/textout.h"

#include <cstdint>

struct LevelInputs : ComparedTables {
    const TotalsTable& totals;
};

// The comparisons of `run`'s genes run on its threads; what is written,
// files and standard output, is the same for any number, and with
// --streams=comparison for any split of the genes into shards.
void compare_levels(const LevelInputs& in, const ComparisonRun& run, std::int64_t& seed, OutputFile& out);
