// How mfit, lvcmp and isocmp start: the run options taken out, then the
// help, the arguments or the prompts (cli/intake.h), with the help text of
// the arguments all three share.
#pragma once

#include "cli/intake.h"
#include "tables/run_options.h"

#include <initializer_list>
#include <string_view>
#include <vector>

// The start every positional program shares: its name set for messages and
// --threads, --genes and (with `takes_streams`) --streams taken out of argv;
// then a lone "--help" prints `help` and sets `help` (the program then ends
// with status 1); otherwise `source` serves the arguments when there are
// exactly `count`, else `wrong_number` is printed and `source` asks at the
// prompts.
struct ProgramStart {
    ArgSource source;
    int threads = 1;
    GeneShard genes;
    Streams streams = Streams::run;
    bool help = false;
};
ProgramStart start_program(std::string_view name, int argc, char** argv, const std::vector<std::string_view>& help,
                           std::size_t count, std::string_view wrong_number, bool takes_streams = false);

// A program's help: its usage line, the seven lines of the arguments every
// program shares (num_reads to gene_zb), then `rest`.
std::vector<std::string_view> help_text(std::string_view usage, std::initializer_list<std::string_view> rest);
