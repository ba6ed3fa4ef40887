#include "tables/loading.h"

#include "tables/line_fields.h"
#include "tables/line_index.h"
#include "tables/reads_index.h"
#include "tables/run_settings.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
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

// Records first..last of the file through its index: the window from the
// index's line at or before `from` (first by default), or nothing (after a
// warning) when the index's offsets do not start lines of the file.
std::optional<RowWindow> indexed_window(const InputFile& file, const LineIndex& index, std::int64_t first,
                                        std::int64_t last, std::int64_t from = 0)
{
    RowWindow w;
    w.first = first;
    w.last = last;
    if (last < first) return w;
    const LineIndex::Span span = index.span(from > 0 ? from : first, last);
    if (!index.span_starts_lines(file.descriptor(), span)) {
        warn_index_offset(file, span.begin);
        return std::nullopt;
    }
    w.begin = span.begin;
    w.end = span.end;
    w.start = span.start;
    return w;
}

// A window of the table's records through its index, when the file has one
// that belongs to it (lines of `fields` fields, at least `records` of them).
std::optional<RowWindow> table_window(InputFile& file, std::int64_t fields, std::int64_t records,
                                      const std::string& records_name, std::int64_t first, std::int64_t last)
{
    const auto index = find_line_index(file, IndexFormat::table, fields, records, records_name);
    if (!index) return std::nullopt;
    return indexed_window(file, *index, first, last);
}

// Whether the line holds a gene with a non-empty exon range, or cannot be
// read as one (the checked read that follows refuses it where it stands).
bool ends_order_search(LineFields& fields, std::string_view line, std::int64_t number)
{
    fields.assign(line, static_cast<std::uint64_t>(number));
    std::int64_t values[3] = {0, 0, 0};
    for (std::size_t k = 0; k < 3; ++k)
        if (k >= fields.size() || parse_int64(fields[k], values[k]) != IntParse::ok) return true;
    return values[2] >= values[1];
}

// The gene_zb line a shard from gene `first` reads from, so that the order
// of the exon ranges is checked where the shard's meet the ones before: the
// indexed line at or before the last gene before `first` with a non-empty
// range (or line 1), found by a look at the lines between the index's
// offsets, going back an offset at a time.
std::int64_t order_check_start(const InputFile& gene_zb, const LineIndex& index, std::int64_t first)
{
    if (first <= 1 || first - 1 > index.rows) return first;
    std::int64_t k = (first - 2) / index.every; // the offset at or before gene first - 1
    LineFields fields(gene_zb.name(), Split::blanks);
    for (;; --k) {
        const std::int64_t line = k * index.every + 1;
        const std::int64_t upto = std::min(first - 1, line + index.every - 1);
        const std::uint64_t begin = index.offsets[static_cast<std::size_t>(k)];
        const std::uint64_t end =
            static_cast<std::size_t>(k + 1) < index.offsets.size() ? index.offsets[static_cast<std::size_t>(k + 1)] : index.size;
        std::string bytes(static_cast<std::size_t>(end - begin), '\0');
        const ssize_t got = ::pread(gene_zb.descriptor(), bytes.data(), bytes.size(), static_cast<off_t>(begin));
        if (got < 0) return line; // the checked read reports what cannot be read
        bytes.resize(static_cast<std::size_t>(got));
        std::string_view rest = bytes;
        for (std::int64_t l = line; l <= upto && !rest.empty(); ++l) {
            const std::size_t nl = rest.find('\n');
            if (ends_order_search(fields, rest.substr(0, nl), l)) return line;
            rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        }
        if (k == 0) return line;
    }
}

// The annotation of genes first..last through the indexes of gene_zb and
// exon_zb: the shard's genes, then their exons; nothing when either file has
// no index that belongs to it (then both are read whole).
bool load_annotation_part(DatasetFiles& files, const TableSizes& sizes, bool require_exon_order,
                          const GeneShard& shard, Dataset& a)
{
    const auto gene_index = find_line_index(files.gene_zb, IndexFormat::table, 4, sizes.num_genes, "num_genes");
    if (!gene_index) return false;
    const auto exon_index = find_line_index(files.exon_zb, IndexFormat::table, 4, sizes.num_exons, "num_exons");
    if (!exon_index) return false;
    const auto genes = indexed_window(files.gene_zb, *gene_index, shard.first, shard.last,
                                      order_check_start(files.gene_zb, *gene_index, shard.first));
    if (!genes) return false;
    a.genes = read_gene_part(files.gene_zb, sizes.num_genes, sizes.num_exons, *genes, require_exon_order);
    const auto [first_exon, last_exon] = exons_of_genes(a.genes, shard.first, shard.last);
    if (const auto exons = indexed_window(files.exon_zb, *exon_index, first_exon, last_exon))
        a.exons = read_exon_part(files.exon_zb, sizes.num_exons, sizes.num_reads, *exons);
    else
        a.exons = read_exon_table(files.exon_zb, sizes.num_exons, sizes.num_reads);
    check_gene_lengths(files.gene_zb.name(), a.genes, a.exons, shard.first, shard.last);
    return true;
}

} // namespace

Dataset load_dataset(DatasetFiles& files, const TableSizes& sizes, bool require_exon_order, const GeneShard& shard)
{
    Dataset a;
    if (shard.given) {
        const auto index = find_reads_index(files.reads, sizes.num_conditions, sizes.num_reads);
        const bool annotation = load_annotation_part(files, sizes, require_exon_order, shard, a);
        if (index || annotation) {
            // The progress lines keep the whole read's order; the annotation
            // is read first, as it says which rows to read.
            if (!annotation) {
                a.exons = read_exon_table(files.exon_zb, sizes.num_exons, sizes.num_reads);
                a.genes = read_gene_table(files.gene_zb, sizes.num_genes, a.exons, require_exon_order);
            }
            const RowWindow rows = shard_rows(a.exons, a.genes, shard.first, shard.last);
            std::optional<RowWindow> w;
            if (index) w = indexed_window(files.reads, *index, rows.first, rows.last);
            a.counts = w ? read_count_rows(files.reads, sizes.num_reads, sizes.num_conditions, *w)
                         : read_count_table(files.reads, sizes.num_reads, sizes.num_conditions);
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

FitResults load_fit_results(FitResultFiles& files, const TableSizes& sizes, const Dataset& data,
                            const GeneShard& shard)
{
    FitResults r;
    const std::int64_t C = sizes.num_conditions;
    std::optional<RowWindow> genes, exons;
    if (shard.given) {
        genes = table_window(files.gene_re, 2 + 4 * C, sizes.num_genes, "num_genes", shard.first, shard.last);
        const auto [first_exon, last_exon] = exons_of_genes(data.genes, shard.first, shard.last);
        exons = table_window(files.exon_re, 3 + 4 * C, sizes.num_exons, "num_exons", first_exon, last_exon);
    }
    r.genes = genes ? read_fit_part(files.gene_re, sizes.num_conditions, 2, "gene", *genes)
                    : read_fit_table(files.gene_re, sizes.num_genes, sizes.num_conditions, 2, "gene");
    std::puts("gene parameters read in");
    r.exons = exons ? read_fit_part(files.exon_re, sizes.num_conditions, 3, "exon", *exons)
                    : read_fit_table(files.exon_re, sizes.num_exons, sizes.num_conditions, 3, "exon");
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
