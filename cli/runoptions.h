// Options a positional command line takes besides its arguments.
//
// The positional arguments, their count, the help and the prompts keep their
// fixed meaning, so an option must be recognisable beyond doubt: only an
// argument that starts with "--NAME=" is one, and it is taken out of the list
// before the arguments are counted. With several of one kind, the last
// counts. The pipeline's own ones besides --threads (--genes, --streams) are
// the programs' (tables/run_options.h).
#pragma once

#include <functional>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kMaxThreads = 1024;

// Threads the machine offers, at least 1: the default of --threads.
int hardware_threads();

// Removes every argument that starts with `prefix` from `args`, handing
// each one's value (what follows the prefix) to `take`, in order.
void take_prefixed_options(std::vector<std::string>& args, std::string_view prefix,
                           const std::function<void(std::string_view)>& take);

// Removes every "--threads=N" from `args` and returns the last N, or the
// machine's hardware threads when there is none. N must be a whole number
// from 1 to kMaxThreads; anything else stops with status 2.
int take_threads_option(std::vector<std::string>& args);

// Removes every "--NAME=PATH" (`name` is "NAME") from argv[1..argc-1],
// closing the gaps and lowering argc, and returns the last PATH, or ""
// without one. Taken before the positional arguments are counted, for the
// optional extra outputs of a program; an empty PATH stops with status 2.
std::string take_file_option(int& argc, char** argv, std::string_view name);
