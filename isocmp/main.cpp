// isocmp: tests, for every pair of conditions, whether each exon keeps the
// same share of its gene's level, under the generalized Poisson and the
// Poisson model, with an optional permutation null of the generalized
// Poisson statistic.
#include "cli/cli.h"
#include "isocmp/rest_tests.h"
#include "isocmp/share_comparison.h"
#include "tables/loading.h"
#include "tables/program_start.h"

#include <cstdio>
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
    // of its gene.
    ComparisonStart start =
        start_comparison("isocmp", "rest-test", argc, argv, kHelp, kArgumentCount, kWrongNumber);
    if (start.program.help) return 1;
    ArgSource& source = start.program.source;

    TableSizes sizes;
    DatasetFiles files = take_dataset_arguments(source, sizes);
    FitResultFiles results = take_fit_result_arguments(source);
    ComparisonOutputs out = take_comparison_outputs(
        source,
        {"isocmp_re file", "Output file for differential Splicing :", "the isocmp_re file name", "rest-test file",
         "Do you want to use the permutation test:(0/1)\n"},
        start.further_tests);
    settle_comparison_run(start.program, sizes.num_genes, out.permute);
    const ComparisonRun run{out.permute, start.program.streams, start.program.genes, start.program.threads};

    // Line e of exon_re is read as exon e's fits: the genes' exon ranges must
    // list every exon once and in ascending order for that to hold.
    const Dataset data = load_dataset(files.reads, files.exon_zb, files.gene_zb, sizes, true);
    const FitResults fits = load_fit_results(results.gene_re, results.exon_re, sizes);

    compare_shares({data.counts, data.exons, data.genes, fits.genes, fits.exons}, run, out.seed, out.statistics);

    out.statistics.close();
    if (out.further_tests) {
        write_rest_tests({data.counts, data.exons, data.genes, fits.genes, fits.exons}, run, *out.further_tests);
        out.further_tests->close();
    }
    close_standard_output();
    return 0;
}
