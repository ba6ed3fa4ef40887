// How mfit, lvcmp and isocmp start: the run options taken out, then the
// help, the arguments or the prompts (cli/intake.h), with the help text of
// the arguments all three share; and the intake the two testing programs,
// lvcmp and isocmp, share around their own arguments.
#pragma once

#include "cli/intake.h"
#include "tables/run_options.h"
#include "tables/textout.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
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

// lvcmp's and isocmp's start: `further_option` ("mean-test", "rest-test"),
// the file option of the program's further test, taken out of argv before
// the arguments are counted, then start_program with --streams.
struct ComparisonStart {
    ProgramStart program;
    std::string further_tests; // the further test's file, "" when not asked for
};
ComparisonStart start_comparison(std::string_view name, std::string_view further_option, int argc, char** argv,
                                 const std::vector<std::string_view>& help, std::size_t count,
                                 std::string_view wrong_number);

// The words of a testing program's last arguments.
struct ComparisonPrompts {
    std::string_view statistics_role;   // the statistics file's role in messages ("lvcmpgene_re file")
    std::string_view statistics_prompt; // its prompt
    std::string_view statistics_what;   // its name in messages ("the lvcmpgene_re file name")
    std::string_view further_role;      // the further test's file's role ("mean-test file")
    std::string_view do_permute_prompt;
};

// The last arguments, after the inputs: the statistics file, created as
// its name is taken; the further test's file (when `further_tests` names
// one), created after every input and the statistics file, so that naming
// any of them is refused before anything is truncated; then do_permute and
// the seed.
struct ComparisonOutputs {
    OutputFile statistics;
    std::optional<OutputFile> further_tests;
    bool permute = false;
    std::int64_t seed = 0;
};
ComparisonOutputs take_comparison_outputs(ArgSource& source, const ComparisonPrompts& prompts,
                                          const std::string& further_tests);

// Once the tables' sizes are known: the shard fitted to `num_genes` and
// checked against the streams, and a run with permutations announced.
void settle_comparison_run(ProgramStart& start, std::int32_t num_genes, bool permute);
