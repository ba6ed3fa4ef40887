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

const ComparisonTexts kTexts{
    .program =
        {
            .name = "lvcmp",
            .help = comparison_help_text(
                "Usage : ./lvcmp.out num_reads num_conditions read num_exons exon_zb num_genes gene_zb gene_re "
                "exon_re gtt lvcmpgene_re do_permute seed",
                {
                    "gtt : File containing the total unique reads for Generalized Poisson and Poisson Models for "
                    "each of the conditions",
                    "lvcmpgene_re : Output file for the differential expression statistics",
                    "do_permute : Whether to calculate the gamma parameters for the null distribution using a "
                    "gamma distribution",
                }),
            .wrong_number = "You have entered the wrong number of arguments. Please enter the arguments "
                            "interactively. Please type ./lvcmp.out --help for the argument list",
            .argument_count = 13,
        },
    // --mean-test=FILE asks for the level test on the mean with both
    // dispersions re-estimated.
    .further_option = "mean-test",
    .prompts = {"lvcmpgene_re", "Output File for Test Statistics: ",
                "Do a Permutation test or not to generate the gamma parameters for the null distribution (0/1):"},
};

} // namespace

int main(int argc, char** argv)
{
    ComparisonStart start = start_comparison(kTexts, argc, argv);
    ArgSource& source = start.program.source;

    ComparisonInputs inputs = take_comparison_inputs(source);
    InputFile gtt = InputFile::open(
        {"gtt file",
         source.name("File containing total unique reads for Generalized Poisson and Poisson Models :", "the gtt file name")});
    ComparisonOutputs out = take_comparison_outputs(source, kTexts, start.further_tests);
    settle_comparison_run(start.program, inputs.sizes.num_genes, out.permute);
    const ComparisonRun run{out.permute, start.program.streams, start.program.genes, start.program.threads};

    const Dataset data = load_dataset(inputs.dataset, inputs.sizes, false, start.program.genes);
    const FitResults fits = load_fit_results(inputs.fits, inputs.sizes, data, start.program.genes);
    const TotalsTable totals = read_totals(gtt, inputs.sizes.num_conditions);
    std::puts("total unique read is read in");
    const LevelInputs in{{data.counts, data.exons, data.genes, fits.genes}, totals};

    compare_levels(in, run, out.seed, out.statistics);
    return finish_comparison(out, [&](OutputFile& file) { write_mean_tests(in, run, file); });
}
