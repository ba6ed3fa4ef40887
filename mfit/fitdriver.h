// The fitting loop of mfit: for every gene in table order, every exon of the
// gene and then the gene itself are fitted in every condition; estimates go to
// exon_re and gene_re, goodness-of-fit lines of converged fits to chisq_re,
// and the gene's index to standard output as each gene starts. Only the
// shard's genes are fitted, so shards' files joined in gene order are the
// whole run's. The genes are fitted on `threads` threads; what is written is
// the same for any number.
#pragma once

#include "cli/runoptions.h"
#include "tables/run_options.h"
#include "tables/tables.h"
#include "tables/textout.h"

struct FitOutputs {
    OutputFile& exon_re;
    OutputFile& gene_re;
    OutputFile& chisq_re;
};

void fit_all_genes(const CountTable& counts, const ExonTable& exons, const GeneTable& genes, FitOutputs out,
                   const GeneShard& shard, int threads);
