// mfit: fits the generalized Poisson and the Poisson model to every exon and
// every gene of the count table in every condition.
#include "cli/cli.h"
#include "mfit/fitdriver.h"
#include "tables/loading.h"
#include "tables/program_start.h"
#include "tables/run_options.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const ProgramTexts kTexts{
    .name = "mfit",
    .help = help_text(
        "Usage : ./mfit.out num_reads num_conditions read num_exons exon_zb num_genes gene_zb exon_re gene_re chisq_re",
        {
            "gene_re : Output file with MLE's of the genes fit to a Generalized Poisson and a Poisson Model.",
            "exon_re : Output file with MLE's of the exons fit to a Generalized Poisson and a Poisson Model.",
            "chisq_re : Output file with the values of the Chi Square statistics for the goodness of fit to the "
            "Generalized Poisson and Poisson Model",
        }),
    .wrong_number = "You have entered the wrong number of arguments. Please enter the arguments interactively.Please "
                    "type ./mfit.out --help for the argument list",
    .argument_count = 10,
};

} // namespace

int main(int argc, char** argv)
{
    ProgramStart start = start_program(kTexts, argc, argv);
    ArgSource& source = start.source;

    // Every file is opened as its name is taken, outputs truncated, before
    // anything is read.
    TableSizes sizes;
    DatasetFiles files = take_dataset_arguments(source, sizes);
    OutputFile exon_re = OutputFile::create(
        {"exon_re file", source.name("Output File for Exon differential Expression : ", "the exon_re file name")});
    OutputFile gene_re = OutputFile::create(
        {"gene_re file", source.name("Output File for Gene differential Expression : ", "the gene_re file name")});
    OutputFile chisq_re = OutputFile::create(
        {"chisq_re file", source.name("Output File for Chi Square statistic Values : ", "the chisq_re file name")});

    fit_shard_to(start.genes, sizes.num_genes);
    const Dataset in = load_dataset(files, sizes, false, start.genes);
    if (!in.genes.exons_in_order)
        warn("warning: the exon ranges of " + describe(files.gene_zb.name()) +
             " do not list every exon once and in ascending order; the lines of exon_re will not line up with "
             "the rows of " + describe(files.exon_zb.name()));

    fit_all_genes(in.counts, in.exons, in.genes, {exon_re, gene_re, chisq_re}, start.genes, start.threads);

    exon_re.close();
    gene_re.close();
    chisq_re.close();
    close_standard_output();
    return 0;
}
