#include "bamcount/uncounted_genes.h"

#include "cli/diag.h"

#include <cstdint>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

bool kept(const AnnotatedGene& gene, const std::set<std::string>& keep_types)
{
    return keep_types.empty() || keep_types.count(gene.type) != 0;
}

// The leaf feature types of `genes` by lines, as indices of
// Annotation::feature_types.
class TypeTally {
public:
    explicit TypeTally(const Annotation& annotation) : annotation_(annotation), lines_(annotation.feature_types.size()) {}
    void add(const AnnotatedGene& gene)
    {
        for (const auto& [type, count] : gene.leaf_types) lines_[type] += count;
    }
    // "; <whose> features are mostly 'CDS': --feature-type CDS counts those"
    // for the most frequent type other than the counted one (the first met
    // of equals), or nothing when there is none.
    std::string hint(const std::string& whose, const std::string& feature_type) const
    {
        std::size_t best = lines_.size();
        for (std::size_t t = 0; t < lines_.size(); ++t)
            if (lines_[t] > 0 && annotation_.feature_types[t] != feature_type && (best == lines_.size() || lines_[t] > lines_[best]))
                best = t;
        if (best == lines_.size()) return {};
        const std::string& type = annotation_.feature_types[best];
        return "; " + whose + " features are mostly " + quote_token(type) + ": --feature-type " + type + " counts those";
    }

private:
    const Annotation& annotation_;
    std::vector<std::uint64_t> lines_;
};

} // namespace

void warn_uncounted_genes(const Annotation& annotation, const std::set<std::string>& keep_types,
                          const std::string& feature_type)
{
    std::unordered_set<std::string_view> reached;
    for (const ExonRecord& e : annotation.exons) reached.insert(e.gene_id);
    constexpr std::size_t kNamed = 3;
    std::size_t genes = 0, uncounted = 0;
    std::string named;
    TypeTally tally(annotation);
    for (const AnnotatedGene& g : annotation.genes) {
        if (!g.from_gene_line || !kept(g, keep_types)) continue;
        ++genes;
        if (reached.count(g.id)) continue;
        if (uncounted < kNamed) named += (uncounted ? ", " : "") + quote_token(g.id);
        else if (uncounted == kNamed) named += ", ...";
        ++uncounted;
        tally.add(g);
    }
    if (uncounted == 0) return;
    const bool one = uncounted == 1;
    warn("warning: " + std::to_string(uncounted) + " of " + std::to_string(genes) + (genes == 1 ? " gene" : " genes") +
         " of the annotation " + (one ? "has" : "have") + " no " + quote_token(feature_type) + " feature and " +
         (one ? "is" : "are") + " not counted (" + named + ")" + tally.hint(one ? "its" : "their", feature_type));
}

std::string nothing_counted(const Annotation& annotation, const std::set<std::string>& keep_types,
                            const std::string& feature_type)
{
    TypeTally tally(annotation);
    for (const AnnotatedGene& g : annotation.genes)
        if (kept(g, keep_types)) tally.add(g);
    return "no " + quote_token(feature_type) + " feature of a kept gene type" + tally.hint("the genes'", feature_type);
}
