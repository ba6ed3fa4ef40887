#include "simcounts/plan.h"

#include "simcounts/streams.h"
#include "simcounts/variation.h"

#include <algorithm>
#include <cmath>

namespace {

// The shape of the dataset. These were tuned so that the default run (18773
// genes, 6 conditions) gives about 194,000 exons and 24 million rows, the
// sizes the statistical programs are sized and timed for.
constexpr double kSingleExonShare = 0.06;
constexpr double kExonCountShape = 2.5;
constexpr double kExonCountScale = 3.53;
constexpr int kMaxExonsPerGene = 100;
constexpr double kExonLengthMedian = 108.0;
constexpr double kExonLengthSigma = 0.9;
constexpr double kMinExonLength = 20.0;
constexpr double kMaxExonLength = 2000.0;
constexpr double kLevelMedian = 0.6; // mean count per position, library size 1
constexpr double kLevelSigma = 1.5;
constexpr double kMinLevel = 0.03;
constexpr double kMaxLevel = 300.0;
constexpr double kExonWeightShape = 3.0;
constexpr double kSilentExonShare = 0.03;
constexpr double kMinLibrarySize = 0.7;
constexpr double kMaxLibrarySize = 1.4;
// Effects planted on genes too faint to show anything would only dilute the
// truth list, so planting skips genes whose level is below this.
constexpr double kMinPlantedLevel = 0.25;
constexpr double kMinLog2Fold = 1.0;
constexpr double kMaxLog2Fold = 2.5;

void plan_structure(const Settings& s, Plan& plan)
{
    plan.genes.resize(s.genes);
    plan.exons.reserve(s.genes * 11);
    for (std::uint64_t g = 0; g < s.genes; ++g) {
        Rng rng(s.seed, Purpose::structure, g);
        GenePlan& gene = plan.genes[g];
        std::int64_t n = 1;
        if (rng.uniform() >= kSingleExonShare) {
            const double lambda = Gamma(kExonCountShape)(rng) * kExonCountScale;
            n = std::min<std::int64_t>(2 + poisson(rng, lambda), kMaxExonsPerGene);
        }
        gene.level = clamp(log_normal(rng, kLevelMedian, kLevelSigma), kMinLevel, kMaxLevel);
        // Faint genes are the noisier ones in real libraries.
        gene.dispersion = clamp((0.12 + 0.5 / std::sqrt(gene.level)) * std::exp(0.5 * rng.normal()), 0.02, 5.0);
        gene.strand = static_cast<int>(rng.next() >> 63);
        gene.gap_before = 2000 + static_cast<std::int64_t>(clamp(log_normal(rng, 15000.0, 1.0), 0.0, 1.0e6));
        gene.first_exon = static_cast<std::int64_t>(plan.exons.size());
        gene.exon_count = n;
        const Gamma weight_draw(kExonWeightShape);
        std::int64_t silent = 0;
        for (std::int64_t e = 0; e < n; ++e) {
            ExonPlan exon;
            exon.base_length =
                std::round(clamp(log_normal(rng, kExonLengthMedian, kExonLengthSigma), kMinExonLength, kMaxExonLength));
            exon.weight = weight_draw(rng) / kExonWeightShape;
            const bool mute = rng.uniform() < kSilentExonShare;
            exon.intron_before =
                e == 0 ? 0 : static_cast<std::int64_t>(clamp(log_normal(rng, 1200.0, 1.2), 50.0, 100000.0));
            if (mute && n > 1) {
                exon.weight = 0.0;
                ++silent;
            }
            plan.exons.push_back(exon);
        }
        // A gene always keeps one transcribed exon; silence is an exon's
        // property, a gene without any reads should only come from low level.
        if (silent == n) plan.exons[gene.first_exon].weight = 1.0;
    }
    // One library size per sample column, from the stream of the column's
    // number: without --replicates a column is a condition, as it always was.
    plan.library.resize(s.columns());
    for (std::uint64_t j = 0; j < s.columns(); ++j) {
        Rng rng(s.seed, Purpose::library, j);
        plan.library[j] = kMinLibrarySize + (kMaxLibrarySize - kMinLibrarySize) * rng.uniform();
    }
}

// Picks k of the candidates (partial Fisher-Yates) and returns them ascending.
std::vector<std::int64_t> choose(Rng& rng, std::vector<std::int64_t> candidates, std::uint64_t k)
{
    k = std::min<std::uint64_t>(k, candidates.size());
    for (std::uint64_t i = 0; i < k; ++i) std::swap(candidates[i], candidates[i + rng.below(candidates.size() - i)]);
    candidates.resize(k);
    std::sort(candidates.begin(), candidates.end());
    return candidates;
}

Effect draw_effect(Rng& rng, std::uint64_t conditions)
{
    Effect fx;
    fx.cond_a = static_cast<std::uint32_t>(rng.below(conditions));
    fx.cond_b = static_cast<std::uint32_t>(rng.below(conditions - 1));
    if (fx.cond_b >= fx.cond_a) ++fx.cond_b;
    const double magnitude = kMinLog2Fold + (kMaxLog2Fold - kMinLog2Fold) * rng.uniform();
    const double sign = (rng.next() >> 63) ? 1.0 : -1.0;
    // Rounded to the printed precision so that truth.tsv states exactly the
    // factor that was applied.
    fx.fold = std::round(std::exp2(sign * magnitude) * 1.0e6) / 1.0e6;
    return fx;
}

void plan_effects(const Settings& s, Plan& plan)
{
    plan.gene_effects.assign(plan.genes.size(), Effect{});
    plan.exon_effects.assign(plan.exons.size(), Effect{});
    if (s.conditions < 2) return; // nothing to compare

    std::vector<std::int64_t> gene_candidates, exon_candidates;
    for (std::size_t g = 0; g < plan.genes.size(); ++g) {
        const GenePlan& gene = plan.genes[g];
        if (gene.level * s.depth < kMinPlantedLevel) continue;
        gene_candidates.push_back(static_cast<std::int64_t>(g));
        // A share can only move if another exon of the gene is transcribed.
        std::int64_t live = 0;
        for (std::int64_t e = 0; e < gene.exon_count; ++e) live += plan.exons[gene.first_exon + e].weight > 0.0;
        if (live < 2) continue;
        for (std::int64_t e = 0; e < gene.exon_count; ++e)
            if (plan.exons[gene.first_exon + e].weight > 0.0) exon_candidates.push_back(gene.first_exon + e);
    }
    // Genes and exons draw from streams of their own, so the number of genes
    // picked never moves the exons' picks.
    const auto plant = [&](std::uint64_t stream, const std::vector<std::int64_t>& candidates, double share,
                           std::vector<Effect>& effects) {
        Rng rng(s.seed, Purpose::planting, stream);
        const auto count = static_cast<std::uint64_t>(std::llround(share * static_cast<double>(effects.size())));
        for (std::int64_t i : choose(rng, candidates, count)) effects[i] = draw_effect(rng, s.conditions);
    };
    plant(0, gene_candidates, s.planted_genes, plan.gene_effects);
    plant(1, exon_candidates, s.planted_exons, plan.exon_effects);
}

// Solves for the exon length scale whose expected number of rows is the
// target. A position is a row unless every column draws zero, which under
// the negative binomial happens with probability prod_j (1 + m_j d)^(-1/d);
// that probability is the same for every position of an exon, so the
// expectation is linear in each exon's (rounded) length and monotone in the
// scale, and bisection finds it.
double solve_length_scale(const Settings& s, const Plan& plan)
{
    std::vector<double> row_share(plan.exons.size(), 0.0);
    std::vector<double> means(s.columns());
    for (std::size_t g = 0; g < plan.genes.size(); ++g) {
        const GenePlan& gene = plan.genes[g];
        for (std::int64_t k = 0; k < gene.exon_count; ++k) {
            const std::size_t e = static_cast<std::size_t>(gene.first_exon + k);
            exon_means(s, plan, g, e, means);
            double log_all_zero = 0.0;
            for (double m : means) log_all_zero -= std::log1p(m * gene.dispersion) / gene.dispersion;
            row_share[e] = -std::expm1(log_all_zero);
        }
    }
    const auto expected = [&](double scale) {
        double rows = 0.0;
        for (std::size_t e = 0; e < plan.exons.size(); ++e)
            rows += static_cast<double>(scaled_length(plan.exons[e].base_length, scale)) * row_share[e];
        return rows;
    };
    const double target = static_cast<double>(s.rows);
    double lo = std::log(1.0e-4);
    double hi = std::log(100.0);
    for (int iter = 0; iter < 80; ++iter) {
        const double mid = 0.5 * (lo + hi);
        (expected(std::exp(mid)) < target ? lo : hi) = mid;
    }
    // Lengths are rounded, so the answer is a step; take whichever side of it
    // lands closer to the target.
    const double below = std::exp(lo);
    const double above = std::exp(hi);
    return std::fabs(expected(below) - target) <= std::fabs(expected(above) - target) ? below : above;
}

} // namespace

Plan make_plan(const Settings& s)
{
    Plan plan;
    plan_structure(s, plan);
    plan_effects(s, plan);
    plan_variation(s, plan);
    plan.length_scale = s.rows != 0 ? solve_length_scale(s, plan) : s.scale;
    return plan;
}

std::int64_t scaled_length(double base, double scale)
{
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::llround(base * scale)));
}

void exon_means(const Settings& s, const Plan& plan, std::size_t g, std::size_t e, std::vector<double>& means)
{
    const Effect& gfx = plan.gene_effects[g];
    const Effect& efx = plan.exon_effects[e];
    const double base = s.depth * plan.genes[g].level * plan.exons[e].weight;
    for (std::size_t j = 0; j < means.size(); ++j) {
        const std::size_t c = s.condition_of(j);
        double m = base * plan.library[j];
        if (gfx.planted() && c == gfx.cond_b) m *= gfx.fold;
        if (efx.planted() && c == efx.cond_b) m *= efx.fold;
        // Off by default, and then not multiplied at all.
        if (!plan.gene_variation.empty()) m *= plan.gene_variation[g * means.size() + j];
        if (!plan.exon_variation.empty()) m *= plan.exon_variation[e * means.size() + j];
        if (!s.depths.empty()) m *= s.depths[c];
        means[j] = m;
    }
}
