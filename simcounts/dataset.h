// Drawing the counts of a plan and writing the dataset into the output
// folder, in the plain-text layout that mfit, lvcmp and isocmp read, plus the
// list of planted effects. Whitespace-separated decimal integers unless
// stated, '\n' line ends, no header unless stated:
//
//   reads.txt    one row per position with a read in some sample column:
//                chromosome position strand c_1 ... c_J (chromosome numbered
//                from 1, 1-based position, strand 0/1, one count per
//                column, column 1 first). A column is a condition, or with
//                --replicates N one of its N samples (design.tsv's order).
//   exon_zb.txt  exon_id first_row last_row length per exon; rows are 1-based
//                lines of reads.txt, inclusive, last_row = first_row - 1 for an
//                exon without rows. length counts every position of the exon,
//                so length - rows positions without any read are not listed.
//   gene_zb.txt  gene_id first_exon last_exon length per gene, exons being
//                1-based lines of exon_zb.txt; length sums its exons' lengths.
//   gtt.txt      general_total poisson_total per column, both the sum of
//                that column's counts over all rows (never below 1): the
//                reads drawn, so they follow the library sizes, --depths and
//                the between-sample variation as the counts do.
//   truth.tsv    tab-separated, a header line, then per planted effect: kind
//                (gene: a change of level, exon: a change of share), index
//                (1-based line of gene_zb.txt or exon_zb.txt), id (the
//                gene_id or exon_id there), condition_a (1-based reference),
//                condition_b (the condition whose rate was multiplied),
//                effect (that factor: the fold change b over a before
//                library size). With --replicates the conditions are named
//                as in design.tsv (c1, c2, ...) instead of numbered.
//   design.tsv   only with --replicates: tab-separated, the header
//                `sample condition`, then one line per column in order:
//                c<i>_r<k> c<i> (replicate k of condition i, both 1-based).
//
// Each gene's counts come from the streams of its own number. Every file
// goes through an OutputFile: a failed write stops with status 255 and
// leaves no partial file under the final name.
#pragma once

#include "simcounts/plan.h"

#include <cstdint>

struct DatasetSizes {
    std::int64_t rows = 0;
    std::size_t exons = 0, genes = 0;
};

DatasetSizes write_dataset(const Settings& s, const Plan& plan);
