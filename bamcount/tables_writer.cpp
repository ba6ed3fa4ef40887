#include "bamcount/tables_writer.h"

#include "bamcount/table_names.h"
#include "cli/diag.h"
#include "tables/line_index.h"
#include "tables/reads_index.h"
#include "tables/textout.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

int strand_field(char strand) { return strand == '+' ? 1 : strand == '-' ? -1 : 0; }

} // namespace

TableFiles::TableFiles(const std::string& dir)
    : reads{"reads file", dir + "/reads.txt"}, exon_zb{"exon_zb file", dir + "/exon_zb.txt"},
      gene_zb{"gene_zb file", dir + "/gene_zb.txt"}, features{"features file", dir + "/features.tsv"},
      gtt{"gtt file", dir + "/gtt.txt"}, summary{"summary file", dir + "/summary.tsv"},
      conditions{"conditions file", dir + "/conditions.tsv"}, size_factors{"size factors file", dir + "/size_factors.txt"},
      design{"design file", dir + "/design.tsv"}
{
}

std::vector<FileName> TableFiles::all(bool with_design) const
{
    std::vector<FileName> files = {reads, exon_zb, gene_zb, features, gtt, summary, conditions, size_factors};
    if (with_design) files.push_back(design);
    return files;
}

std::vector<double> median_of_ratios_totals(const std::vector<std::int64_t>& gene_counts,
                                            const std::vector<std::int64_t>& totals, std::size_t& genes_used)
{
    const std::size_t C = totals.size();
    std::vector<double> out(totals.begin(), totals.end());
    genes_used = 0;
    if (C == 0) return out;
    std::vector<std::vector<double>> ratios(C);
    std::vector<double> logs(C);
    const std::size_t G = gene_counts.size() / C;
    for (std::size_t g = 0; g < G; ++g) {
        const std::int64_t* counts = &gene_counts[g * C];
        if (std::any_of(counts, counts + C, [](std::int64_t n) { return n <= 0; })) continue;
        double log_mean = 0.0;
        for (std::size_t c = 0; c < C; ++c) {
            logs[c] = std::log(static_cast<double>(counts[c]));
            log_mean += logs[c];
        }
        log_mean /= static_cast<double>(C);
        for (std::size_t c = 0; c < C; ++c) ratios[c].push_back(std::exp(logs[c] - log_mean));
        ++genes_used;
    }
    if (genes_used == 0) return out;
    double mean_total = 0.0;
    for (std::int64_t t : totals) mean_total += static_cast<double>(t);
    mean_total /= static_cast<double>(C);
    for (std::size_t c = 0; c < C; ++c) {
        std::vector<double>& r = ratios[c];
        std::sort(r.begin(), r.end());
        const std::size_t half = r.size() / 2;
        const double median = r.size() % 2 == 1 ? r[half] : 0.5 * (r[half - 1] + r[half]);
        out[c] = median * mean_total;
    }
    return out;
}

namespace {

// The tables written gene by gene (reads.txt, exon_zb.txt, gene_zb.txt and
// features.tsv), each gene's reads in every condition kept for the size
// factors.
class GeneTables {
public:
    GeneTables(const TableFiles& files, const CountLayout& layout, const std::vector<ConditionCounts>& conditions)
        : reads_(OutputFile::create(files.reads)), exon_zb_(OutputFile::create(files.exon_zb)),
          gene_zb_(OutputFile::create(files.gene_zb)), features_(OutputFile::create(files.features)), layout_(layout),
          conditions_(conditions), next_(conditions.size(), 0),
          gene_counts_(layout.genes().size() * conditions.size(), 0)
    {
        features_.text(
            "kind\tindex\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand\ttranscripts\tgene_index\tlength\n");
    }

    // Gene g's rows, exonic parts and features; genes in layout order.
    void write_gene(std::size_t g)
    {
        const FlatGene& gene = layout_.genes()[g];
        const std::int64_t gene_index = static_cast<std::int64_t>(g) + 1;
        const std::int64_t first_exon = exon_ + 1;
        const std::string chromosome = table_name(gene.chromosome);
        std::vector<std::string> transcripts;
        for (std::size_t p = 0; p < gene.parts.size(); ++p) {
            const ExonicPart& part = gene.parts[p];
            const std::int64_t first_row = row_ + 1;
            write_rows(g, p);
            ++exon_;
            exon_zb_.integer(exon_).ch(' ').integer(first_row).ch(' ').integer(row_).ch(' ').integer(part.length()).endl();
            features_.text("exon\t").integer(exon_).ch('\t').text(gene.id).ch('\t').text(gene.name).ch('\t');
            features_.text(chromosome).ch('\t').integer(part.start).ch('\t').integer(part.end).ch('\t');
            features_.ch(gene.strand).ch('\t').text(joined_table_names(part.transcripts, ',')).ch('\t');
            features_.integer(gene_index);
            features_.ch('\t').integer(part.length()).endl();
            transcripts.insert(transcripts.end(), part.transcripts.begin(), part.transcripts.end());
        }
        std::sort(transcripts.begin(), transcripts.end());
        transcripts.erase(std::unique(transcripts.begin(), transcripts.end()), transcripts.end());
        gene_zb_.integer(gene_index).ch(' ').integer(first_exon).ch(' ').integer(exon_).ch(' ');
        gene_zb_.integer(gene.length()).endl();
        features_.text("gene\t").integer(gene_index).ch('\t').text(gene.id).ch('\t');
        features_.text(gene.name).ch('\t').text(chromosome).ch('\t').integer(gene.start()).ch('\t');
        features_.integer(gene.end()).ch('\t').ch(gene.strand).ch('\t').text(joined_table_names(transcripts, ','));
        features_.ch('\t').integer(gene_index).ch('\t').integer(gene.length()).endl();
    }

    // Closes the four, in the order they were created.
    void close()
    {
        for (OutputFile* f : {&reads_, &exon_zb_, &gene_zb_, &features_}) f->close();
    }

    std::int64_t rows() const { return row_; }
    std::int64_t exons() const { return exon_; }
    // Gene g's count in condition c at g * C + c, for C conditions.
    const std::vector<std::int64_t>& gene_counts() const { return gene_counts_; }

private:
    // Part p of gene g's rows in reads.txt: every offset in it with a count
    // in some condition, in order, merging the conditions' lists.
    void write_rows(std::size_t g, std::size_t p)
    {
        const FlatGene& gene = layout_.genes()[g];
        const ExonicPart& part = gene.parts[p];
        const std::uint32_t from = layout_.part_offset(g, p);
        const std::uint32_t to = from + static_cast<std::uint32_t>(part.length());
        const std::size_t C = conditions_.size();
        for (;;) {
            std::uint32_t offset = to;
            for (std::size_t c = 0; c < C; ++c)
                if (next_[c] < conditions_[c].nonzero.size()) offset = std::min(offset, conditions_[c].nonzero[next_[c]].first);
            if (offset >= to) break;
            ++row_;
            reads_.integer(gene.chromosome_index).ch(' ').integer(part.start + (offset - from)).ch(' ');
            reads_.integer(strand_field(gene.strand));
            for (std::size_t c = 0; c < C; ++c) {
                std::int32_t count = 0;
                if (next_[c] < conditions_[c].nonzero.size() && conditions_[c].nonzero[next_[c]].first == offset)
                    count = conditions_[c].nonzero[next_[c]++].second;
                reads_.ch(' ').integer(count);
                gene_counts_[g * C + c] += count;
            }
            reads_.endl();
        }
    }

    OutputFile reads_, exon_zb_, gene_zb_, features_;
    const CountLayout& layout_;
    const std::vector<ConditionCounts>& conditions_;
    std::vector<std::size_t> next_; // each condition's next nonzero position
    std::vector<std::int64_t> gene_counts_;
    std::int64_t row_ = 0, exon_ = 0;
};

// Each of the files below is written into an OutputFile that the caller
// closes: every file of the folder is renamed into place only once all are
// written, so that a run stopped on the way leaves none of them whole.

// gtt.txt: both totals of a condition are the reads counted; a condition
// with none gets 1, so that the ratios of the level test stay finite.
// Returns the totals written.
std::vector<std::int64_t> write_gtt(OutputFile& gtt, const std::vector<ConditionCounts>& conditions)
{
    std::vector<std::int64_t> totals;
    for (const ConditionCounts& c : conditions) {
        const std::int64_t total = std::max<std::int64_t>(1, static_cast<std::int64_t>(c.counted));
        gtt.integer(total).ch(' ').integer(total).endl();
        totals.push_back(total);
    }
    return totals;
}

// summary.tsv: every condition's records by what became of them, a column
// per alignment file.
void write_summary(OutputFile& summary, const std::vector<ConditionCounts>& conditions,
                   const std::vector<std::string>& inputs)
{
    summary.text("records");
    for (const std::string& in : inputs) summary.ch('\t').text(in);
    summary.endl();
    for (int r = 0; r < kReasons; ++r) {
        summary.text(kReasonNames[r]);
        for (const ConditionCounts& c : conditions) summary.ch('\t').integer(static_cast<std::int64_t>(c.records[r]));
        summary.endl();
    }
    summary.text("counted");
    for (const ConditionCounts& c : conditions) summary.ch('\t').integer(static_cast<std::int64_t>(c.counted));
    summary.endl();
}

// conditions.tsv: each condition's number, name and alignment file.
void write_conditions(OutputFile& conditions, const std::vector<std::string>& names,
                      const std::vector<std::string>& inputs)
{
    conditions.text("condition\tname\tfile\n");
    for (std::size_t c = 0; c < names.size(); ++c)
        conditions.integer(static_cast<std::int64_t>(c) + 1).ch('\t').text(names[c]).ch('\t').text(inputs[c]).endl();
}

// design.tsv: each sample's name, as conditions.tsv gives it, and condition.
void write_design(OutputFile& design, const std::vector<std::string>& names, const std::vector<std::string>& groups)
{
    design.text("sample\tcondition\n");
    for (std::size_t s = 0; s < names.size(); ++s) design.text(names[s]).ch('\t').text(groups[s]).endl();
}

// size_factors.txt: the median-of-ratios totals, in gtt's layout.
void write_size_factors(OutputFile& size_factors, const std::vector<std::int64_t>& gene_counts,
                        const std::vector<std::int64_t>& totals)
{
    std::size_t genes_used = 0;
    for (double total : median_of_ratios_totals(gene_counts, totals, genes_used))
        size_factors.fixed6(total).ch(' ').fixed6(total).endl();
    if (genes_used == 0)
        warn("warning: no gene has reads in every condition, so size_factors.txt holds the counted totals, as gtt.txt");
}

} // namespace

TableSizes write_tables(const std::string& dir, const CountLayout& layout,
                        const std::vector<ConditionCounts>& conditions, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& names, const std::vector<std::string>& groups)
{
    const TableFiles files(dir);
    GeneTables tables(files, layout, conditions);
    for (std::size_t g = 0; g < layout.genes().size(); ++g) tables.write_gene(g);
    OutputFile gtt = OutputFile::create(files.gtt);
    const std::vector<std::int64_t> totals = write_gtt(gtt, conditions);
    OutputFile summary = OutputFile::create(files.summary);
    write_summary(summary, conditions, inputs);
    OutputFile named_conditions = OutputFile::create(files.conditions);
    write_conditions(named_conditions, names, inputs);
    OutputFile size_factors = OutputFile::create(files.size_factors);
    write_size_factors(size_factors, tables.gene_counts(), totals);
    std::optional<OutputFile> design;
    if (!groups.empty()) write_design(design.emplace(OutputFile::create(files.design)), names, groups);
    tables.close();
    for (OutputFile* f : {&gtt, &summary, &named_conditions, &size_factors}) f->close();
    if (design) design->close();
    // reads.txt.idx, exon_zb.txt.idx and gene_zb.txt.idx, so that --genes
    // shards of mfit, lvcmp and isocmp read only their genes' rows and
    // annotation: made from the closed files, a second pass over bytes still
    // in the page cache.
    if (tables.rows() > 0) {
        const std::string why = write_reads_index(files.reads, static_cast<std::int32_t>(conditions.size()));
        if (!why.empty()) warn("warning: no index of " + describe(files.reads) + ": " + why);
        for (const FileName* annotation : {&files.exon_zb, &files.gene_zb}) {
            const std::string not_made = write_line_index(*annotation, IndexFormat::table, 4, kTableIndexEvery);
            if (!not_made.empty()) warn("warning: no index of " + describe(*annotation) + ": " + not_made);
        }
    }
    // The layout keeps every count within 32 bits (see CountLayout).
    return {static_cast<std::int32_t>(tables.rows()), static_cast<std::int32_t>(conditions.size()),
            static_cast<std::int32_t>(tables.exons()), static_cast<std::int32_t>(layout.genes().size())};
}
