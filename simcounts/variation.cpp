#include "simcounts/variation.h"

#include "simcounts/streams.h"

#include <vector>

void plan_variation(const Settings& s, Plan& plan)
{
    const std::size_t C = s.columns(); // every sample column draws its own factors
    if (s.sample_cv > 0.0) {
        plan.gene_variation.resize(plan.genes.size() * C);
        for (std::size_t g = 0; g < plan.genes.size(); ++g) {
            Rng rng(s.seed, Purpose::gene_variation, g);
            for (std::size_t c = 0; c < C; ++c) plan.gene_variation[g * C + c] = mean_one_log_normal(rng, s.sample_cv);
        }
    }
    if (s.exon_cv > 0.0) {
        plan.exon_variation.resize(plan.exons.size() * C);
        std::vector<double> kept(C), moved(C);
        for (std::size_t g = 0; g < plan.genes.size(); ++g) {
            const GenePlan& gene = plan.genes[g];
            Rng rng(s.seed, Purpose::exon_variation, g);
            std::fill(kept.begin(), kept.end(), 0.0);
            std::fill(moved.begin(), moved.end(), 0.0);
            // Silent exons draw too, so that silence never shifts a later
            // exon's factors; their weight of 0 keeps them silent.
            for (std::int64_t k = 0; k < gene.exon_count; ++k) {
                const std::size_t e = static_cast<std::size_t>(gene.first_exon + k);
                const double mass = plan.exons[e].weight * plan.exons[e].base_length;
                for (std::size_t c = 0; c < C; ++c) {
                    const double f = mean_one_log_normal(rng, s.exon_cv);
                    plan.exon_variation[e * C + c] = f;
                    kept[c] += mass;
                    moved[c] += mass * f;
                }
            }
            // Rescaled so that the gene's expected reads are those of its level.
            for (std::int64_t k = 0; k < gene.exon_count; ++k) {
                const std::size_t e = static_cast<std::size_t>(gene.first_exon + k);
                for (std::size_t c = 0; c < C; ++c) plan.exon_variation[e * C + c] *= kept[c] / moved[c];
            }
        }
    }
}
