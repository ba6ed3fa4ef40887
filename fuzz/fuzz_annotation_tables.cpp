// The annotation readers (read_exon_table, read_gene_table), and the count
// vectors built from what they accept, which must stay inside the tables.
//
// fuzz_exon_table: sizes, then exon_zb's text. fuzz_gene_table: sizes and
// whether the exon order is required, then exon_zb's text, a NUL byte and
// gene_zb's text; the gene table is read when exon_zb is accepted.
#include "fuzz/fuzz_input.h"
#include "tables/tables.h"

#include <vector>

namespace {

// Vectors are filled only up to this length: a length may be 2^31 - 1.
constexpr std::int64_t kLongestFilled = 1 << 16;

void check_exons(const ExonTable& exons, const CountTable& counts)
{
    std::vector<int> v;
    for (std::int32_t e = 1; e <= exons.num_exons; ++e) {
        const std::int64_t rows = exons.rows(e);
        fuzz::check(exons.length[e] >= 0 && rows <= exons.length[e], "an exon's rows fit its length");
        if (rows > 0) fuzz::check(exons.first_row[e] >= 1 && exons.last_row[e] <= counts.num_reads, "an exon's rows in the table");
        if (exons.length[e] > kLongestFilled) continue;
        v.assign(static_cast<std::size_t>(exons.length[e]) + 1, -1);
        fill_exon_vector(counts, exons, e, 1, v.data());
        for (std::size_t j = 1; j < v.size(); ++j) fuzz::check(v[j] == 0, "an exon vector filled from the table");
    }
}

#ifdef FUZZ_GENES
void check_genes(const GeneTable& genes, const ExonTable& exons, const CountTable& counts)
{
    std::vector<int> v;
    std::int64_t next = 1;
    bool in_order = true;
    for (std::int32_t g = 1; g <= genes.num_genes; ++g) {
        const std::int32_t first = genes.first_exon[g], last = genes.last_exon[g];
        fuzz::check(std::int64_t(last) >= std::int64_t(first) - 1, "last_exon at least first_exon - 1");
        if (last >= first) {
            fuzz::check(first >= 1 && last <= exons.num_exons, "a gene's exons in the table");
            in_order = in_order && first == next;
            next = std::int64_t(last) + 1;
        }
        const std::int64_t rows = gene_rows(exons, genes, g);
        fuzz::check(genes.length[g] >= 0 && rows <= genes.length[g], "a gene's rows fit its length");
        if (genes.length[g] > kLongestFilled) continue;
        v.assign(static_cast<std::size_t>(genes.length[g]) + 1, -1);
        fill_gene_vector(counts, exons, genes, g, 1, v.data());
        for (std::size_t j = 1; j < v.size(); ++j) fuzz::check(v[j] == 0, "a gene vector filled from the table");
    }
    in_order = in_order && next == std::int64_t(exons.num_exons) + 1;
    fuzz::check(genes.exons_in_order == in_order, "exons_in_order as the ranges say");
}
#endif

} // namespace

#ifdef FUZZ_GENES
FUZZ_TARGET("fuzz_gene_table")
#else
FUZZ_TARGET("fuzz_exon_table")
#endif
{
    const fuzz::Reading reading = bytes.take_reading();
    const std::int32_t num_reads = bytes.take(127);
    const std::int32_t num_exons = bytes.take(63);
#ifdef FUZZ_GENES
    const std::int32_t num_genes = bytes.take(63);
    const bool require_exon_order = bytes.take(1) == 1;
    const std::string_view rest = bytes.rest();
    const std::size_t nul = rest.find('\0');
    const std::string_view exon_text = rest.substr(0, nul);
    const std::string_view gene_text = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
#else
    const std::string_view exon_text = bytes.rest();
#endif
    // A table of zeros: the vectors' filled parts and tails are all 0.
    CountTable counts;
    counts.num_reads = num_reads;
    counts.num_conditions = 1;
    counts.counts = IntMatrix(num_reads, 1);
    for (std::int32_t r = 1; r <= num_reads; ++r) counts.counts[r][1] = 0;

    ExonTable exons;
    const fuzz::InputText exon_zb(exon_text, reading);
    const bool exons_taken = fuzz::accepts([&] {
        InputFile file = InputFile::open({"exon_zb file", exon_zb.path()});
        exons = read_exon_table(file, num_exons, num_reads);
    });
    if (!exons_taken) return;
    check_exons(exons, counts);
#ifdef FUZZ_GENES
    const fuzz::InputText gene_zb(gene_text, reading);
    fuzz::accepts([&] {
        InputFile file = InputFile::open({"gene_zb file", gene_zb.path()});
        const GeneTable genes = read_gene_table(file, num_genes, exons, require_exon_order);
        if (require_exon_order) fuzz::check(genes.exons_in_order, "the exon order, as required");
        check_genes(genes, exons, counts);
    });
#endif
}
