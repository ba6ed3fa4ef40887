// The comparison loop of isocmp: for every gene in table order, every pair of
// conditions i < l in which the gene's fit converged, and every exon of the
// gene whose fit converged in both, the exon's share of its gene is compared
// between the two conditions. A comparison whose generalized Poisson
// statistic is valid gets the Poisson statistic, the permutation null when
// asked for, and one line of isocmp_re; any other writes nothing. The gene's
// position is printed on standard output as each gene starts.
#pragma once

#include "parallel/comparison_loop.h"
#include "tables/loading.h"
#include "tables/textout.h"

#include <cstdint>

struct ShareInputs : ComparedTables {
    const FitTable& exon_fits;
};

// The comparisons of `run`'s genes run on its threads; what is written,
// files and standard output, is the same for any number, and with
// --streams=comparison for any split of the genes into shards.
void compare_shares(const ShareInputs& in, const ComparisonRun& run, std::int64_t& seed, OutputFile& out);
