// Options the programs take besides their positional arguments.
//
// The positional arguments, their count, the help and the prompts keep their
// fixed meaning, so an option must be recognisable beyond doubt: only an
// argument that starts with "--threads=", "--genes=" or (for lvcmp and
// isocmp) "--streams=" is one, and it is taken out of the list before the
// arguments are counted. With several of one kind, the last counts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kMaxThreads = 1024;

// Threads the machine offers, at least 1: the default of --threads.
int hardware_threads();

// Removes every "--threads=N" from `args` and returns the last N, or the
// machine's hardware threads when there is none. N must be a whole number
// from 1 to kMaxThreads; anything else stops with status 2.
int take_threads_option(std::vector<std::string>& args);

// Removes every "--NAME=PATH" (`name` is "NAME") from argv[1..argc-1],
// closing the gaps and lowering argc, and returns the last PATH, or ""
// without one. Taken before the positional arguments are counted, for the
// optional extra outputs of a program; an empty PATH stops with status 2.
std::string take_file_option(int& argc, char** argv, std::string_view name);

// The genes a run works on, 1-based and inclusive: "--genes=FIRST-LAST", or
// every gene without it. A shard reads the whole input files and writes the
// lines a whole run writes for its genes, so that the shards' files, joined
// in gene order, are the whole run's.
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
