// lvcmp: tests every gene for a change of expression level between every pair
// of conditions, under the generalized Poisson and the Poisson model, with an
// optional permutation null of the generalized Poisson statistic.
#include "cli/cli.h"
#include "lvcmp/level_comparison.h"
#include "lvcmp/mean_tests.h"
#include "tables/loading.h"
#include "tables/program_start.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::vector<std::string_view> kHelp = help_text(
    "Usage : ./lvcmp.out num_reads num_conditions read num_exons exon_zb num_genes gene_zb gene_re exon_re gtt "
    "lvcmpgene_re do_permute seed",
    {
        "gene_re : The file with MLE's of the genes fit to a Generalized Poisson and a Poisson Model. This is the output "
        "from ./mfit.out",
        "exon_re : The file with MLE's of the exons fit to a Generalized Poisson and a Poisson Model. This is the output "
        "from ./mfit.out",
        "gtt : File containing the total unique reads for Generalized Poisson and Poisson Models for each of the "
        "conditions",
        "lvcmpgene_re : Output file for the differential expression statistics",
        "do_permute : Whether to calculate the gamma parameters for the null distribution using a gamma distribution",
        "Seed for Random Number generator ( Used for permutation test ) : Seed is an integer ( e.g. -81079 ) ",
    });

constexpr std::string_view kWrongNumber =
    "You have entered the wrong number of arguments. Please enter the arguments interactively. Please "
    "type ./lvcmp.out --help for the argument list";

constexpr std::size_t kArgumentCount = 13;

} // namespace

int main(int argc, char** argv)
{
    // --mean-test=FILE asks for the level test on the mean with both
    // dispersions re-estimated.
    ComparisonStart start =
        start_comparison("lvcmp", "mean-test", argc, argv, kHelp, kArgumentCount, kWrongNumber);
    if (start.program.help) return 1;
    ArgSource& source = start.program.source;

    TableSizes sizes;
    DatasetFiles files = take_dataset_arguments(source, sizes);
    FitResultFiles results = take_fit_result_arguments(source);
    InputFile gtt = InputFile::open(
        {"gtt file",
         source.name("File containing total unique reads for Generalized Poisson and Poisson Models :", "the gtt file name")});
    ComparisonOutputs out = take_comparison_outputs(
        source,
        {"lvcmpgene_re file", "Output File for Test Statistics: ", "the lvcmpgene_re file name", "mean-test file",
         "Do a Permutation test or not to generate the gamma parameters for the null distribution (0/1):"},
        start.further_tests);
    settle_comparison_run(start.program, sizes.num_genes, out.permute);
    const ComparisonRun run{out.permute, start.program.streams, start.program.genes, start.program.threads};

    const Dataset data = load_dataset(files.reads, files.exon_zb, files.gene_zb, sizes);
    const FitResults fits = load_fit_results(results.gene_re, results.exon_re, sizes);
    const TotalsTable totals = read_totals(gtt, sizes.num_conditions);
    std::puts("total unique read is read in");

    compare_levels({data.counts, data.exons, data.genes, fits.genes, totals}, run, out.seed, out.statistics);

    out.statistics.close();
    if (out.further_tests) {
        write_mean_tests({data.counts, data.exons, data.genes, fits.genes, totals}, run, *out.further_tests);
        out.further_tests->close();
    }
    close_standard_output();
    return 0;
}
