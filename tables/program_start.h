// How mfit, lvcmp and isocmp start: the run options taken out, then the
// help, the arguments or the prompts (cli/intake.h), with the help text of
// the arguments all three share; and the intake and the end the two testing
// programs, lvcmp and isocmp, share around their own arguments and tests.
#pragma once

#include "cli/diag.h"
#include "cli/intake.h"
#include "tables/loading.h"
#include "tables/run_options.h"
#include "tables/textout.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A program's fixed texts: its name, which its messages and --threads give;
// its --help lines (help_text); the line printed before the prompts when the
// command line does not hold `argument_count` arguments; and that count.
struct ProgramTexts {
    std::string_view name;
    std::vector<std::string_view> help;
    std::string_view wrong_number;
    std::size_t argument_count;
};

// The start every positional program shares: its name set for messages and
// --threads, --genes and (with `takes_streams`) --streams taken out of argv;
// then a lone "--help" prints the help and ends the program with status 1;
// otherwise `source` serves the arguments when there are exactly the
// program's count, else the wrong-number line is printed and `source` asks
// at the prompts.
struct ProgramStart {
    ArgSource source;
    int threads = 1;
    GeneShard genes;
    Streams streams = Streams::run;
};
ProgramStart start_program(const ProgramTexts& texts, int argc, char** argv, bool takes_streams = false);

// A program's help: its usage line, the seven lines of the arguments every
// program shares (num_reads to gene_zb), then `rest`.
std::vector<std::string_view> help_text(std::string_view usage, std::initializer_list<std::string_view> rest);
// A testing program's help: help_text with gene_re and exon_re, then `own`,
// the lines of its own arguments, then the seed's line.
std::vector<std::string_view> comparison_help_text(std::string_view usage, std::initializer_list<std::string_view> own);

// The words of a testing program's last arguments. Messages name the
// statistics file by its argument ("lvcmpgene_re file", "the lvcmpgene_re
// file name") and the further test's file by its option ("mean-test file").
struct ComparisonPrompts {
    std::string_view statistics;        // the statistics file's argument ("lvcmpgene_re")
    std::string_view statistics_prompt; // its prompt
    std::string_view do_permute_prompt;
};

// A testing program's fixed texts: the program's, the file option of its
// further test ("mean-test", "rest-test") and the words of its last
// arguments.
struct ComparisonTexts {
    ProgramTexts program;
    std::string_view further_option;
    ComparisonPrompts prompts;
};

// lvcmp's and isocmp's start: the further test's file option taken out of
// argv before the arguments are counted, then start_program with --streams.
struct ComparisonStart {
    ProgramStart program;
    std::string further_tests; // the further test's file, "" when not asked for
};
ComparisonStart start_comparison(const ComparisonTexts& texts, int argc, char** argv);

// The arguments both testing programs take first: the dataset's seven, then
// gene_re and exon_re.
struct ComparisonInputs {
    TableSizes sizes;
    DatasetFiles dataset;
    FitResultFiles fits;
};
ComparisonInputs take_comparison_inputs(ArgSource& source);

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
ComparisonOutputs take_comparison_outputs(ArgSource& source, const ComparisonTexts& texts,
                                          const std::string& further_tests);

// Once the tables' sizes are known: the shard fitted to `num_genes` and
// checked against the streams, and a run with permutations announced.
void settle_comparison_run(ProgramStart& start, std::int32_t num_genes, bool permute);

// A testing program's end, once its statistics are written: the statistics
// file closed first, so that it is whole whatever the further test does;
// then, when asked for, the further test written by `write_further` into
// its file, and that closed; then standard output. The program's status.
template <class WriteFurther>
int finish_comparison(ComparisonOutputs& out, WriteFurther write_further)
{
    out.statistics.close();
    if (out.further_tests) {
        write_further(*out.further_tests);
        out.further_tests->close();
    }
    close_standard_output();
    return 0;
}
