#include "tables/loading.h"

#include "tables/reads_index.h"
#include "tables/run_settings.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

namespace {

// The rows of genes first..last: from the first row of their exons to the
// last (the rows of a shard's genes lie together when the genes list their
// exons in order, as bamcount writes them).
RowWindow shard_rows(const ExonTable& exons, const GeneTable& genes, std::int32_t first, std::int32_t last)
{
    RowWindow w;
    w.first = std::numeric_limits<std::int64_t>::max();
    w.last = 0;
    for (std::int64_t g = first; g <= last; ++g)
        for (std::int64_t e = genes.first_exon[g]; e <= genes.last_exon[g]; ++e)
            if (exons.rows(e) > 0) {
                w.first = std::min<std::int64_t>(w.first, exons.first_row[e]);
                w.last = std::max<std::int64_t>(w.last, exons.last_row[e]);
            }
    return w;
}

} // namespace

Dataset load_dataset(DatasetFiles& files, const TableSizes& sizes, bool require_exon_order, const GeneShard& shard)
{
    Dataset a;
    if (shard.given) {
        if (const auto index = find_reads_index(files.reads, sizes.num_conditions, sizes.num_reads)) {
            // The progress lines keep the whole read's order.
            a.exons = read_exon_table(files.exon_zb, sizes.num_exons, sizes.num_reads);
            a.genes = read_gene_table(files.gene_zb, sizes.num_genes, a.exons, require_exon_order);
            RowWindow w = shard_rows(a.exons, a.genes, shard.first, shard.last);
            if (w.last >= w.first) {
                const ReadsIndex::Span span = index->span(w.first, w.last);
                w.begin = span.begin;
                w.end = span.end;
                w.start = span.start;
            }
            const int fd = files.reads.descriptor();
            if (w.last < w.first || (ReadsIndex::starts_line(fd, w.begin) &&
                                     (w.end == index->size || ReadsIndex::starts_line(fd, w.end)))) {
                a.counts = read_count_rows(files.reads, sizes.num_reads, sizes.num_conditions, w);
            } else {
                warn("warning: ignoring the index '" + reads_index_path(files.reads.name().path) + "' of " +
                     describe(files.reads.name()) + ": its offset " + std::to_string(w.begin) +
                     " does not start a line; reading the whole reads file");
                a.counts = read_count_table(files.reads, sizes.num_reads, sizes.num_conditions);
            }
            std::puts("reads file is read in");
            std::puts("exonzb file is read in");
            std::puts("genezb file is read in");
            return a;
        }
    }
    a.counts = read_count_table(files.reads, sizes.num_reads, sizes.num_conditions);
    std::puts("reads file is read in");
    a.exons = read_exon_table(files.exon_zb, sizes.num_exons, sizes.num_reads);
    std::puts("exonzb file is read in");
    a.genes = read_gene_table(files.gene_zb, sizes.num_genes, a.exons, require_exon_order);
    std::puts("genezb file is read in");
    return a;
}

FitResults load_fit_results(FitResultFiles& files, const TableSizes& sizes)
{
    FitResults r;
    r.genes = read_fit_table(files.gene_re, sizes.num_genes, sizes.num_conditions, 2, "gene");
    std::puts("gene parameters read in");
    r.exons = read_fit_table(files.exon_re, sizes.num_exons, sizes.num_conditions, 3, "exon");
    std::puts("exon parameters read in");
    return r;
}

DatasetFiles take_dataset_arguments(ArgSource& source, TableSizes& sizes)
{
    sizes.num_reads = take_size(source, "Number of reads : ", "num_reads", kDefaultNumReads);
    sizes.num_conditions =
        take_size(source, "Number of conditions : ", "num_conditions", kDefaultNumConditions, kLargestConditions);
    InputFile reads = InputFile::open({"reads file", source.name("Reads File Name : ", "the reads file name")});
    sizes.num_exons = take_size(source, "Number of Exons : ", "num_exons", kDefaultNumExons);
    InputFile exon_zb = InputFile::open({"exon_zb file", source.name("Exon File Name : ", "the exon_zb file name")});
    sizes.num_genes = take_size(source, "Number of Genes : ", "num_genes", kDefaultNumGenes);
    InputFile gene_zb = InputFile::open({"gene_zb file", source.name("Gene File Name : ", "the gene_zb file name")});
    return {std::move(reads), std::move(exon_zb), std::move(gene_zb)};
}

FitResultFiles take_fit_result_arguments(ArgSource& source)
{
    InputFile gene_re = InputFile::open(
        {"gene_re file", source.name("File containing Gene Maximum Likelihood Estimates : ", "the gene_re file name")});
    InputFile exon_re = InputFile::open(
        {"exon_re file", source.name("File containing Exon Maximum Likelihood Estimates : ", "the exon_re file name")});
    return {std::move(gene_re), std::move(exon_re)};
}
