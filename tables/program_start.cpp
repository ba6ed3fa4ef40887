#include "tables/program_start.h"

#include "cli/diag.h"
#include "cli/runoptions.h"
#include "tables/run_options.h"
#include "tables/run_settings.h"

#include <cstdio>
#include <cstdlib>

ProgramStart start_program(const ProgramTexts& texts, int argc, char** argv, bool takes_streams)
{
    set_program_name(texts.name);
    std::vector<std::string> args(argv + 1, argv + argc);
    ProgramStart start{ArgSource::interactive(), take_threads_option(args), take_genes_option(args)};
    if (takes_streams) start.streams = take_streams_option(args);
    if (wants_help(args)) {
        print_lines(texts.help);
        std::exit(1);
    }
    if (args.size() == texts.argument_count) {
        start.source = ArgSource::from_arguments(std::move(args));
    } else {
        print_lines({texts.wrong_number});
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

std::vector<std::string_view> comparison_help_text(std::string_view usage, std::initializer_list<std::string_view> own)
{
    std::vector<std::string_view> lines = help_text(
        usage, {"gene_re : The file with MLE's of the genes fit to a Generalized Poisson and a Poisson Model. This is "
                "the output from ./mfit.out",
                "exon_re : The file with MLE's of the exons fit to a Generalized Poisson and a Poisson Model. This is "
                "the output from ./mfit.out"});
    lines.insert(lines.end(), own);
    lines.push_back("Seed for Random Number generator ( Used for permutation test ) : Seed is an integer ( e.g. -81079 ) ");
    return lines;
}

ComparisonStart start_comparison(const ComparisonTexts& texts, int argc, char** argv)
{
    // The name first: a refusal of the file option names the program.
    set_program_name(texts.program.name);
    std::string further_tests = take_file_option(argc, argv, texts.further_option);
    return {start_program(texts.program, argc, argv, true), std::move(further_tests)};
}

ComparisonInputs take_comparison_inputs(ArgSource& source)
{
    TableSizes sizes;
    DatasetFiles dataset = take_dataset_arguments(source, sizes);
    FitResultFiles fits = take_fit_result_arguments(source);
    return {sizes, std::move(dataset), std::move(fits)};
}

ComparisonOutputs take_comparison_outputs(ArgSource& source, const ComparisonTexts& texts,
                                          const std::string& further_tests)
{
    const ComparisonPrompts& prompts = texts.prompts;
    const std::string statistics_name = std::string(prompts.statistics);
    OutputFile statistics = OutputFile::create(
        {statistics_name + " file", source.name(prompts.statistics_prompt, "the " + statistics_name + " file name")});
    std::optional<OutputFile> further;
    if (!further_tests.empty())
        further.emplace(OutputFile::create({std::string(texts.further_option) + " file", further_tests}));
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
