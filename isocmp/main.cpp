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

const ComparisonTexts kTexts{
    .program =
        {
            .name = "isocmp",
            .help = comparison_help_text(
                "Usage : ./isocmp.out num_reads num_conditions read num_exons exon_zb num_genes gene_zb gene_re "
                "exon_re isocmp_re do_permute seed",
                {
                    "isocmp_re : Output file for the differential splicing statistics",
                    "do_permute :  Whether to calculate the parameters for the null distribution of the test "
                    "statistic when modeled as a gamma distribution",
                }),
            .wrong_number = "You have entered the wrong number of arguments. Please enter the arguments "
                            "interactively. Please type ./isocmp.out --help for the argument list.",
            .argument_count = 12,
        },
    // --rest-test=FILE asks for the share test of each exon against the rest
    // of its gene.
    .further_option = "rest-test",
    .prompts = {"isocmp_re", "Output file for differential Splicing :", "Do you want to use the permutation test:(0/1)\n"},
};

} // namespace

int main(int argc, char** argv)
{
    ComparisonStart start = start_comparison(kTexts, argc, argv);
    ArgSource& source = start.program.source;

    ComparisonInputs inputs = take_comparison_inputs(source);
    ComparisonOutputs out = take_comparison_outputs(source, kTexts, start.further_tests);
    settle_comparison_run(start.program, inputs.sizes.num_genes, out.permute);
    const ComparisonRun run{out.permute, start.program.streams, start.program.genes, start.program.threads};

    // Line e of exon_re is read as exon e's fits: the genes' exon ranges must
    // list every exon once and in ascending order for that to hold.
    const Dataset data = load_dataset(inputs.dataset, inputs.sizes, true, start.program.genes);
    const FitResults fits = load_fit_results(inputs.fits, inputs.sizes, data, start.program.genes);
    const ShareInputs in{{data.counts, data.exons, data.genes, fits.genes}, fits.exons};

    compare_shares(in, run, out.seed, out.statistics);
    return finish_comparison(out, [&](OutputFile& file) { write_rest_tests(in, run, file); });
}
