// isocmp: tests, for every pair of conditions, whether each exon keeps the
// same share of its gene's level, under the generalized Poisson and the
// Poisson model, with an optional permutation null of the generalized
// Poisson statistic.
#include "cli/cli.h"
#include "isocmp/rest_tests.h"
#include "isocmp/share_comparison.h"
#include "tables/loading.h"
#include "tables/program_start.h"
#include "tables/run_options.h"
#include "tables/run_settings.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::vector<std::string_view> kHelp = help_text(
    "Usage : ./isocmp.out num_reads num_conditions read num_exons exon_zb num_genes gene_zb gene_re exon_re "
    "isocmp_re do_permute seed",
    {
        "gene_re : The file with MLE's of the genes fit to a Generalized Poisson and a Poisson Model. This is the output "
        "from ./mfit.out",
        "exon_re : The file with MLE's of the exons fit to a Generalized Poisson and a Poisson Model. This is the output "
        "from ./mfit.out",
        "isocmp_re : Output file for the differential splicing statistics",
        "do_permute :  Whether to calculate the parameters for the null distribution of the test statistic when "
        "modeled as a gamma distribution",
        "Seed for Random Number generator ( Used for permutation test ) : Seed is an integer ( e.g. -81079 ) ",
    });

constexpr std::string_view kWrongNumber =
    "You have entered the wrong number of arguments. Please enter the arguments interactively. Please "
    "type ./isocmp.out --help for the argument list.";

constexpr std::size_t kArgumentCount = 12;

} // namespace

int main(int argc, char** argv)
{
    // --rest-test=FILE asks for the share test of each exon against the rest
    // of its gene; it is taken out before the arguments are counted, like
    // the run options.
    set_program_name("isocmp");
    const std::string rest_test_path = take_file_option(argc, argv, "rest-test");
    ProgramStart start = start_program("isocmp", argc, argv, kHelp, kArgumentCount, kWrongNumber, true);
    if (start.help) return 1;
    ArgSource& source = start.source;

    TableSizes sizes;
    DatasetFiles files = take_dataset_arguments(source, sizes);
    FitResultFiles results = take_fit_result_arguments(source);
    OutputFile statistics = OutputFile::create(
        {"isocmp_re file", source.name("Output file for differential Splicing :", "the isocmp_re file name")});
    // Created after every input and the statistics file, so that naming any
    // of them is refused before anything is truncated.
    std::optional<OutputFile> rest_tests;
    if (!rest_test_path.empty()) rest_tests.emplace(OutputFile::create({"rest-test file", rest_test_path}));
    const std::int32_t do_permute =
        source.integer("Do you want to use the permutation test:(0/1)\n", "do_permute", kDefaultDoPermute);
    std::int64_t seed = take_seed(source, "Enter seed for Random Number generator :", kDefaultSeed);

    fit_shard_to(start.genes, sizes.num_genes);
    check_shard_streams(start.genes, start.streams, do_permute != 0);
    const ComparisonRun run{do_permute != 0, start.streams, start.genes, start.threads};

    if (do_permute != 0) std::puts("INFO:Permutations will be carried out for each comparison. The program run will be slow");

    // Line e of exon_re is read as exon e's fits: the genes' exon ranges must
    // list every exon once and in ascending order for that to hold.
    const Dataset data = load_dataset(files.reads, files.exon_zb, files.gene_zb, sizes, true);
    const FitResults fits = load_fit_results(results.gene_re, results.exon_re, sizes);

    compare_shares({data.counts, data.exons, data.genes, fits.genes, fits.exons}, run, seed, statistics);

    statistics.close();
    if (rest_tests) {
        write_rest_tests({data.counts, data.exons, data.genes, fits.genes, fits.exons}, run, *rest_tests);
        rest_tests->close();
    }
    close_standard_output();
    return 0;
}
