#include "sigtable/condition_plots.h"

#include "sigtable/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

bool write_condition_plots(const std::string& dir, const ConditionResults& results, const Design& design, double alpha)
{
    const bool level = results.kind == StatsKind::level;
    const std::string what = level ? "genes" : "exons";
    bool png = true;
    for (int a = 1; a <= design.num_conditions(); ++a)
        for (int b = a + 1; b <= design.num_conditions(); ++b) {
            const std::string& name_a = design.conditions[static_cast<std::size_t>(a - 1)];
            const std::string& name_b = design.conditions[static_cast<std::size_t>(b - 1)];
            const std::string title = name_b + " against " + name_a + " (" + (level ? "level" : "exon share") + ")";
            const std::string tag = std::to_string(a) + "_" + std::to_string(b);
            Plot volcano{"Volcano plot, " + title, "log2 fold change", "-log10 p-value (replicates, moderated t)", "",
                         {}, true, false, "", false};
            Plot ma{"MA plot, " + title, "log10 mean", "log2 fold change", "", {}, false, false, "", false};
            std::vector<const ConditionRow*> pair;
            std::size_t significant = 0, tested = 0;
            for (const ConditionRow& r : results.rows) {
                if (r.a != a || r.b != b) continue;
                pair.push_back(&r);
                const bool s = r.padj <= alpha;
                tested += !std::isnan(r.pvalue);
                significant += s;
                volcano.points.push_back({r.log2_fold_change, -std::log10(std::max(r.pvalue, 1e-300)), s});
                ma.points.push_back({std::log10(r.base_mean), r.log2_fold_change, s});
            }
            char legend[200];
            std::snprintf(legend, sizeof legend, "padj <= %g: %zu of %zu %s tested", alpha, significant, tested,
                          what.c_str());
            volcano.legend = ma.legend = legend;
            png &= write_plot(dir + "/volcano_" + tag, volcano);
            png &= write_plot(dir + "/ma_" + tag, ma);

            // The levels: the tested features of smallest padj, ranked 1, 2, ...
            // along x; condition a's samples just left of the rank (grey),
            // b's just right (red).
            std::vector<const ConditionRow*> top;
            for (const ConditionRow* r : pair)
                if (!std::isnan(r->pvalue)) top.push_back(r);
            std::stable_sort(top.begin(), top.end(), [](const ConditionRow* x, const ConditionRow* y) {
                return x->padj != y->padj ? x->padj < y->padj : x->pvalue < y->pvalue;
            });
            if (top.size() > kLevelsShown) top.resize(kLevelsShown);
            Plot levels{"Samples of the top " + what + ", " + title,
                        "rank by padj (1: smallest; the table sorted by padj lists them in this order)",
                        level ? "log2(normalised reads + 1)" : "share of the gene's reads", "", {}, false, false, "",
                        false};
            for (std::size_t k = 0; k < top.size(); ++k) {
                const ConditionFeature& f = results.features[top[k]->feature];
                for (int s = 1; s <= design.num_samples(); ++s) {
                    const int c = design.condition_of[static_cast<std::size_t>(s - 1)];
                    if (c != a && c != b) continue;
                    const double x = static_cast<double>(k + 1) + (c == a ? -0.2 : 0.2);
                    const double y = level ? std::log2(f.normalised[static_cast<std::size_t>(s - 1)] + 1)
                                           : f.share[static_cast<std::size_t>(s - 1)];
                    levels.points.push_back({x, y, c == b});
                }
            }
            levels.legend = "red: the samples of " + name_b;
            levels.grey_legend = "grey: the samples of " + name_a;
            png &= write_plot(dir + "/levels_" + tag, levels);
        }
    return png;
}
