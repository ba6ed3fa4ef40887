// The run options of mfit, lvcmp and isocmp besides --threads: a range of
// genes to work on (a shard of a run split across jobs) and, for the
// testing programs, where the permutation tests draw their random numbers.
// Taken out of the arguments before they are counted, like --threads
// (cli/runoptions.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The genes a run works on, 1-based and inclusive: "--genes=FIRST-LAST", or
// every gene without it. A shard reads the whole input files (only its
// genes' rows and lines of those that have an index, line_index.h) and
// writes the lines a whole run writes for its genes, so that the shards'
// files, joined in gene order, are the whole run's.
struct GeneShard {
    bool given = false;
    std::int32_t first = 1;
    std::int32_t last = 0; // until the table's size is known: fit_shard_to
};

// Removes every "--genes=FIRST-LAST" from `args` and returns the last; FIRST
// and LAST must be whole numbers with 1 <= FIRST <= LAST, else status 2.
GeneShard take_genes_option(std::vector<std::string>& args);

// Once num_genes is known: a given shard must end within it (status 2
// otherwise); without one, the run takes every gene.
void fit_shard_to(GeneShard& shard, std::int32_t num_genes);

// Where the permutation tests draw from: the run's single stream, drawn in
// loop order (the default, "--streams=run"), or a stream of each tested
// comparison's own ("--streams=comparison"), which lets comparisons run on
// every thread and genes in shards.
enum class Streams { run, comparison };

// Removes every "--streams=run|comparison" from `args` and returns the last,
// or Streams::run without one; any other value stops with status 2.
Streams take_streams_option(std::vector<std::string>& args);

// The run's single stream starts at gene 1: with the permutation tests on,
// a shard that starts later cannot draw what the whole run draws for it, and
// is refused (status 2) with the way out.
void check_shard_streams(const GeneShard& shard, Streams streams, bool permute);
