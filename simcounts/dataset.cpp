#include "simcounts/dataset.h"

#include "simcounts/streams.h"
#include "tables/textout.h"

#include <algorithm>
#include <optional>

namespace {

// Ids unlike the line numbers, so that a reader mixing up the two is caught.
std::int64_t gene_id(std::size_t g) { return 1000 + 7 * static_cast<std::int64_t>(g + 1); }
std::int64_t exon_id(std::size_t e) { return 200000 + 3 * static_cast<std::int64_t>(e + 1); }

// Most counts and chromosome numbers are single digits; written as one
// character they skip the general integer formatting, which would otherwise
// take a tenth of the run at full size.
void small_number(OutputFile& out, std::uint64_t v)
{
    v < 10 ? out.ch(static_cast<char>('0' + v)) : out.integer(static_cast<std::int64_t>(v));
}

struct ExonRows {
    std::int64_t first_row, last_row, length;
};

// Draws every position of every exon and writes the rows that got a read;
// returns each sample column's total count.
std::vector<std::int64_t> write_reads(const Settings& s, const Plan& plan, OutputFile& out,
                                      std::vector<ExonRows>& exons)
{
    const std::size_t C = s.columns();
    std::vector<std::int64_t> totals(C, 0);
    std::vector<double> means(C), gamma_scale(C);
    std::vector<std::uint32_t> counts(C);
    std::int64_t row = 0;
    std::uint64_t chromosome = 1;
    std::int64_t cursor = 0; // last used genomic position on this chromosome

    for (std::size_t g = 0; g < plan.genes.size(); ++g) {
        const GenePlan& gene = plan.genes[g];
        Rng rng(s.seed, Purpose::counts, g);
        const Gamma mixing(1.0 / gene.dispersion);

        std::int64_t span = 0;
        for (std::int64_t k = 0; k < gene.exon_count; ++k) {
            const ExonPlan& exon = plan.exons[gene.first_exon + k];
            span += exon.intron_before + scaled_length(exon.base_length, plan.length_scale);
        }
        if (cursor > 0 && cursor + gene.gap_before + span > kChromosomeLength) {
            ++chromosome;
            cursor = 0;
        }
        cursor += gene.gap_before;

        for (std::int64_t k = 0; k < gene.exon_count; ++k) {
            const std::size_t e = static_cast<std::size_t>(gene.first_exon + k);
            const ExonPlan& exon = plan.exons[e];
            const std::int64_t length = scaled_length(exon.base_length, plan.length_scale);
            cursor += exon.intron_before;
            const std::int64_t start = cursor + 1;
            cursor += length;
            exons[e] = {row + 1, row, length};
            if (exon.weight == 0.0) continue;

            exon_means(s, plan, g, e, means);
            // Gamma(1/d) scaled by m*d has mean m and variance m^2 d.
            for (std::size_t c = 0; c < C; ++c) gamma_scale[c] = means[c] * gene.dispersion;

            for (std::int64_t pos = 0; pos < length; ++pos) {
                std::uint32_t any = 0;
                for (std::size_t c = 0; c < C; ++c) {
                    counts[c] = poisson(rng, mixing(rng) * gamma_scale[c]);
                    any |= counts[c];
                }
                if (any == 0) continue;
                small_number(out, chromosome);
                out.ch(' ').integer(start + pos).ch(' ').ch(static_cast<char>('0' + gene.strand));
                for (std::size_t c = 0; c < C; ++c) {
                    small_number(out.ch(' '), counts[c]);
                    totals[c] += counts[c];
                }
                out.endl();
                ++row;
            }
            exons[e].last_row = row;
        }
    }
    return totals;
}

} // namespace

DatasetSizes write_dataset(const Settings& s, const Plan& plan)
{
    const std::string dir = s.out + "/";
    OutputFile reads = OutputFile::create({"reads file", dir + "reads.txt"});
    OutputFile exon_zb = OutputFile::create({"exon_zb file", dir + "exon_zb.txt"});
    OutputFile gene_zb = OutputFile::create({"gene_zb file", dir + "gene_zb.txt"});
    OutputFile gtt = OutputFile::create({"gtt file", dir + "gtt.txt"});
    OutputFile truth = OutputFile::create({"truth file", dir + "truth.tsv"});
    std::optional<OutputFile> design;
    if (s.replicates_given) design.emplace(OutputFile::create({"design file", dir + "design.tsv"}));

    std::vector<ExonRows> exons(plan.exons.size());
    const std::vector<std::int64_t> totals = write_reads(s, plan, reads, exons);
    reads.close();

    for (std::size_t e = 0; e < exons.size(); ++e) {
        exon_zb.integer(exon_id(e)).ch(' ').integer(exons[e].first_row).ch(' ').integer(exons[e].last_row);
        exon_zb.ch(' ').integer(exons[e].length).endl();
    }
    exon_zb.close();
    for (std::size_t g = 0; g < plan.genes.size(); ++g) {
        const GenePlan& gene = plan.genes[g];
        std::int64_t length = 0;
        for (std::int64_t k = 0; k < gene.exon_count; ++k) length += exons[gene.first_exon + k].length;
        gene_zb.integer(gene_id(g)).ch(' ').integer(gene.first_exon + 1).ch(' ');
        gene_zb.integer(gene.first_exon + gene.exon_count).ch(' ').integer(length).endl();
    }
    gene_zb.close();
    // A column without a single read (only in degenerate tiny runs) still
    // needs a positive total for the normalisation downstream.
    for (std::int64_t total : totals) {
        const std::int64_t t = std::max<std::int64_t>(total, 1);
        gtt.integer(t).text(".000000 ").integer(t).text(".000000\n");
    }
    gtt.close();

    // A condition is its 1-based number, or with --replicates its name in
    // design.tsv, c1, c2, ...
    const auto condition = [&](OutputFile& out, std::uint64_t c) -> OutputFile& {
        if (s.replicates_given) out.ch('c');
        return out.integer(static_cast<std::int64_t>(c + 1));
    };
    if (design) {
        design->text("sample\tcondition\n");
        for (std::uint64_t j = 0; j < s.columns(); ++j) {
            condition(*design, s.condition_of(j)).text("_r").integer(static_cast<std::int64_t>(j % s.replicates + 1));
            condition(design->ch('\t'), s.condition_of(j)).endl();
        }
        design->close();
    }

    truth.text("kind\tindex\tid\tcondition_a\tcondition_b\teffect\n");
    const auto line = [&](const char* kind, std::size_t index, std::int64_t id, const Effect& fx) {
        truth.text(kind).ch('\t').integer(static_cast<std::int64_t>(index + 1)).ch('\t').integer(id).ch('\t');
        condition(truth, fx.cond_a).ch('\t');
        condition(truth, fx.cond_b).ch('\t').fixed6(fx.fold).endl();
    };
    for (std::size_t g = 0; g < plan.gene_effects.size(); ++g)
        if (plan.gene_effects[g].planted()) line("gene", g, gene_id(g), plan.gene_effects[g]);
    for (std::size_t e = 0; e < plan.exon_effects.size(); ++e)
        if (plan.exon_effects[e].planted()) line("exon", e, exon_id(e), plan.exon_effects[e]);
    truth.close();
    // Every gene has an exon, and the last exon ends at the last row.
    return {exons.back().last_row, exons.size(), plan.genes.size()};
}
