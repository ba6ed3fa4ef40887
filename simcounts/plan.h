// The plan of a synthetic dataset: everything about it except the counts.
// Genes (level, dispersion, strand, exons and the gaps between them), exons
// (length before scaling, share of the gene's rate), each sample column's
// library size, the effects planted on genes and exons, and the exon length
// scale. A column is one sample: with --replicates N each condition has N,
// condition-major (column j is replicate j % N of condition j / N); without
// it N is 1 and a column is a condition. Each gene's structure comes from the streams of its own number, so
// the first N genes of a larger run have the structure of a run of N genes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The command line's choices, defaults included.
struct Settings {
    std::uint64_t seed = 1;
    std::uint64_t genes = 18773;
    std::uint64_t conditions = 6;
    std::uint64_t replicates = 1;  // sample columns per condition
    bool replicates_given = false; // --replicates: design.tsv, conditions named c1, c2, ...
    std::string out = ".";
    double planted_genes = 0.05;
    double planted_exons = 0.03;
    double scale = 1.0;
    std::uint64_t rows = 0; // 0: no row target, the exon lengths are scaled by `scale`
    double depth = 1.0;
    double sample_cv = 0.0; // between-sample variation of gene levels (see variation.h)
    double exon_cv = 0.0;   // the same for exon shares within their gene
    // Per-condition depth factors on every rate of the condition; empty: all 1.
    std::vector<double> depths;

    std::uint64_t columns() const { return conditions * replicates; }
    std::size_t condition_of(std::size_t column) const { return column / replicates; }
};

struct GenePlan {
    double level = 0.0;      // mean count per position before exon weights
    double dispersion = 0.0; // negative binomial: variance = m + dispersion * m^2
    std::int64_t first_exon = 0;
    std::int64_t exon_count = 0;
    std::int64_t gap_before = 0; // intergenic distance to the previous gene
    int strand = 0;
};

struct ExonPlan {
    double base_length = 0.0; // before --scale / --rows
    double weight = 0.0;      // relative rate within the gene, mean 1; 0 = silent
    std::int64_t intron_before = 0;
};

// A factor on one condition's rate (on every sample column of it). Only
// condition_b's rate is altered; every other condition keeps the base rate,
// so condition_a stands for all of them.
struct Effect {
    std::uint32_t cond_a = 0; // 0-based; meaningful only when fold != 1
    std::uint32_t cond_b = 0;
    double fold = 1.0;
    bool planted() const { return fold != 1.0; }
};

struct Plan {
    std::vector<GenePlan> genes;
    std::vector<ExonPlan> exons;
    std::vector<double> library; // per sample column
    std::vector<Effect> gene_effects;
    std::vector<Effect> exon_effects;
    // Factors on each gene's (exon's) rate, index g * J + j (e * J + j) for
    // J sample columns; empty when that variation is off. See variation.h.
    std::vector<double> gene_variation;
    std::vector<double> exon_variation;
    double length_scale = 1.0;
};

// Genes are laid out along chromosomes of this length, a new chromosome
// starting where the next gene would not fit.
inline constexpr std::int64_t kChromosomeLength = 80000000;

Plan make_plan(const Settings& s);

// An exon's length in positions under the plan's length scale, at least 1.
std::int64_t scaled_length(double base, double scale);

// Mean count per position of exon `e` of gene `g` in each sample column.
void exon_means(const Settings& s, const Plan& plan, std::size_t g, std::size_t e, std::vector<double>& means);
