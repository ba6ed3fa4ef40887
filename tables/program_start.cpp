#include "tables/program_start.h"

#include "cli/diag.h"
#include "cli/runoptions.h"
#include "tables/run_options.h"
#include "tables/run_settings.h"

#include <cstdio>

ProgramStart start_program(std::string_view name, int argc, char** argv, const std::vector<std::string_view>& help,
                           std::size_t count, std::string_view wrong_number, bool takes_streams)
{
    set_program_name(name);
    std::vector<std::string> args(argv + 1, argv + argc);
    ProgramStart start{ArgSource::interactive(), take_threads_option(args), take_genes_option(args)};
    if (takes_streams) start.streams = take_streams_option(args);
    if (wants_help(args)) {
        print_lines(help);
        start.help = true;
    } else if (args.size() == count) {
        start.source = ArgSource::from_arguments(std::move(args));
    } else {
        print_lines({wrong_number});
    }
    return start;
}

std::vector<std::string_view> help_text(std::string_view usage, std::initializer_list<std::string_view> rest)
{
    std::vector<std::string_view> lines = {usage,
                                           "num_reads : Number of reads in the experiment",
                                           "num_conditions : Number of Conditions/Tissues",
                                           "read : The reads input file",
                                           "num_exons : The number of exons",
                                           "exon_zb : The exon input file",
                                           "num_genes : The number of genes",
                                           "gene_zb : The gene input file"};
    lines.insert(lines.end(), rest);
    return lines;
}

ComparisonStart start_comparison(std::string_view name, std::string_view further_option, int argc, char** argv,
                                 const std::vector<std::string_view>& help, std::size_t count,
                                 std::string_view wrong_number)
{
    // The name first: a refusal of the file option names the program.
    set_program_name(name);
    std::string further_tests = take_file_option(argc, argv, further_option);
    return {start_program(name, argc, argv, help, count, wrong_number, true), std::move(further_tests)};
}

ComparisonOutputs take_comparison_outputs(ArgSource& source, const ComparisonPrompts& prompts,
                                          const std::string& further_tests)
{
    OutputFile statistics = OutputFile::create(
        {std::string(prompts.statistics_role), source.name(prompts.statistics_prompt, prompts.statistics_what)});
    std::optional<OutputFile> further;
    if (!further_tests.empty()) further.emplace(OutputFile::create({std::string(prompts.further_role), further_tests}));
    const bool permute = source.integer(prompts.do_permute_prompt, "do_permute", kDefaultDoPermute) != 0;
    const std::int64_t seed = take_seed(source, "Enter seed for Random Number generator :", kDefaultSeed);
    return {std::move(statistics), std::move(further), permute, seed};
}

void settle_comparison_run(ProgramStart& start, std::int32_t num_genes, bool permute)
{
    fit_shard_to(start.genes, num_genes);
    check_shard_streams(start.genes, start.streams, permute);
    if (permute) std::puts("INFO:Permutations will be carried out for each comparison. The program run will be slow");
}
