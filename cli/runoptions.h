// Options every program takes besides its positional arguments.
//
// The positional arguments, their count, the help and the prompts keep their
// fixed meaning, so an option must be recognisable beyond doubt: only an
// argument that starts with "--threads=" is one, and it is taken out of the
// list before the arguments are counted.
#pragma once

#include <string>
#include <vector>

inline constexpr int kMaxThreads = 1024;

// Threads the machine offers, at least 1: the default of --threads.
int hardware_threads();

// Removes every "--threads=N" from `args` and returns the last N, or the
// machine's hardware threads when there is none. N must be a whole number
// from 1 to kMaxThreads; anything else stops with status 2.
int take_threads_option(std::vector<std::string>& args);
