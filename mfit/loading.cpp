#include "loading.h"

#include <cstdio>

Annotation load_annotation(InputFile& reads, InputFile& exon_zb, InputFile& gene_zb, const TableSizes& sizes,
                           bool require_exon_order)
{
    Annotation a;
    a.counts = read_count_table(reads, sizes.num_reads, sizes.num_conditions);
    std::puts("reads file is read in");
    a.exons = read_exon_table(exon_zb, sizes.num_exons, sizes.num_reads);
    std::puts("exonzb file is read in");
    a.genes = read_gene_table(gene_zb, sizes.num_genes, a.exons, require_exon_order);
    std::puts("genezb file is read in");
    return a;
}

FitResults load_fit_results(InputFile& gene_re, InputFile& exon_re, const TableSizes& sizes)
{
    FitResults r;
    r.genes = read_fit_table(gene_re, sizes.num_genes, sizes.num_conditions, 2, "gene");
    std::puts("gene parameters read in");
    r.exons = read_fit_table(exon_re, sizes.num_exons, sizes.num_conditions, 3, "exon");
    std::puts("exon parameters read in");
    return r;
}
