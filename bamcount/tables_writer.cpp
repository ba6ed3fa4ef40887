#include "bamcount/tables_writer.h"

#include "bamcount/table_names.h"
#include "cli/diag.h"
#include "tables/textout.h"

#include <algorithm>
#include <cmath>

namespace {

int strand_field(char strand) { return strand == '+' ? 1 : strand == '-' ? -1 : 0; }

} // namespace

std::vector<FileName> table_files(const std::string& dir)
{
    return {{"reads file", dir + "/reads.txt"},     {"exon_zb file", dir + "/exon_zb.txt"},
            {"gene_zb file", dir + "/gene_zb.txt"}, {"features file", dir + "/features.tsv"},
            {"gtt file", dir + "/gtt.txt"},         {"summary file", dir + "/summary.tsv"},
            {"conditions file", dir + "/conditions.tsv"}, {"size factors file", dir + "/size_factors.txt"}};
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

TableSizes write_tables(const std::string& dir, const CountLayout& layout,
                        const std::vector<ConditionCounts>& conditions, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& names)
{
    const std::vector<FileName> files = table_files(dir);
    OutputFile reads = OutputFile::create(files[0]);
    OutputFile exon_zb = OutputFile::create(files[1]);
    OutputFile gene_zb = OutputFile::create(files[2]);
    OutputFile features = OutputFile::create(files[3]);
    features.text("kind\tindex\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand\ttranscripts\tgene_index\tlength\n");

    const std::size_t C = conditions.size();
    std::vector<std::size_t> next(C, 0); // each condition's next nonzero position
    std::vector<std::int64_t> gene_counts(layout.genes().size() * C, 0);
    std::int64_t row = 0, exon = 0;
    const std::vector<FlatGene>& genes = layout.genes();
    for (std::size_t g = 0; g < genes.size(); ++g) {
        const FlatGene& gene = genes[g];
        const std::int64_t gene_index = static_cast<std::int64_t>(g) + 1;
        const std::int64_t first_exon = exon + 1;
        const std::string chromosome = table_name(gene.chromosome);
        std::vector<std::string> transcripts;
        for (std::size_t p = 0; p < gene.parts.size(); ++p) {
            const ExonicPart& part = gene.parts[p];
            const std::uint32_t from = layout.part_offset(g, p);
            const std::uint32_t to = from + static_cast<std::uint32_t>(part.length());
            const std::int64_t first_row = row + 1;
            // The part's rows: every offset in it with a count in some
            // condition, in order, merging the conditions' lists.
            for (;;) {
                std::uint32_t offset = to;
                for (std::size_t c = 0; c < C; ++c)
                    if (next[c] < conditions[c].nonzero.size())
                        offset = std::min(offset, conditions[c].nonzero[next[c]].first);
                if (offset >= to) break;
                ++row;
                reads.integer(gene.chromosome_index).ch(' ').integer(part.start + (offset - from)).ch(' ');
                reads.integer(strand_field(gene.strand));
                for (std::size_t c = 0; c < C; ++c) {
                    std::int32_t count = 0;
                    if (next[c] < conditions[c].nonzero.size() && conditions[c].nonzero[next[c]].first == offset)
                        count = conditions[c].nonzero[next[c]++].second;
                    reads.ch(' ').integer(count);
                    gene_counts[g * C + c] += count;
                }
                reads.endl();
            }
            ++exon;
            exon_zb.integer(exon).ch(' ').integer(first_row).ch(' ').integer(row).ch(' ').integer(part.length()).endl();
            features.text("exon\t").integer(exon).ch('\t').text(gene.id).ch('\t').text(gene.name).ch('\t');
            features.text(chromosome).ch('\t').integer(part.start).ch('\t').integer(part.end).ch('\t');
            features.ch(gene.strand).ch('\t').text(joined_table_names(part.transcripts, ',')).ch('\t');
            features.integer(gene_index);
            features.ch('\t').integer(part.length()).endl();
            transcripts.insert(transcripts.end(), part.transcripts.begin(), part.transcripts.end());
        }
        std::sort(transcripts.begin(), transcripts.end());
        transcripts.erase(std::unique(transcripts.begin(), transcripts.end()), transcripts.end());
        gene_zb.integer(gene_index).ch(' ').integer(first_exon).ch(' ').integer(exon).ch(' ');
        gene_zb.integer(gene.length()).endl();
        features.text("gene\t").integer(gene_index).ch('\t').text(gene.id).ch('\t');
        features.text(gene.name).ch('\t').text(chromosome).ch('\t').integer(gene.start()).ch('\t');
        features.integer(gene.end()).ch('\t').ch(gene.strand).ch('\t').text(joined_table_names(transcripts, ','));
        features.ch('\t').integer(gene_index).ch('\t').integer(gene.length()).endl();
    }

    OutputFile gtt = OutputFile::create(files[4]);
    std::vector<std::int64_t> totals;
    for (const ConditionCounts& c : conditions) {
        // Both totals are the reads counted; a condition with none gets 1,
        // so that the ratios of the level test stay finite.
        const std::int64_t total = std::max<std::int64_t>(1, static_cast<std::int64_t>(c.counted));
        gtt.integer(total).ch(' ').integer(total).endl();
        totals.push_back(total);
    }

    OutputFile summary = OutputFile::create(files[5]);
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

    OutputFile named_conditions = OutputFile::create(files[6]);
    named_conditions.text("condition\tname\tfile\n");
    for (std::size_t c = 0; c < C; ++c)
        named_conditions.integer(static_cast<std::int64_t>(c) + 1).ch('\t').text(names[c]).ch('\t').text(inputs[c]).endl();

    OutputFile size_factors = OutputFile::create(files[7]);
    std::size_t genes_used = 0;
    for (double total : median_of_ratios_totals(gene_counts, totals, genes_used))
        size_factors.fixed6(total).ch(' ').fixed6(total).endl();
    if (genes_used == 0)
        warn("warning: no gene has reads in every condition, so size_factors.txt holds the counted totals, as gtt.txt");

    for (OutputFile* f : {&reads, &exon_zb, &gene_zb, &features, &gtt, &summary, &named_conditions, &size_factors})
        f->close();
    // The layout keeps every count within 32 bits (see CountLayout).
    return {static_cast<std::int32_t>(row), static_cast<std::int32_t>(C), static_cast<std::int32_t>(exon),
            static_cast<std::int32_t>(genes.size())};
}
