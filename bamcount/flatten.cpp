#include "bamcount/flatten.h"

#include "bamcount/table_names.h"
#include "cli/diag.h"

#include <algorithm>
#include <numeric>
#include <tuple>
#include <unordered_map>

namespace {

// One annotated gene: its exons, as indices into the annotation's records.
struct SourceGene {
    std::string id; // the annotation's
    std::vector<std::size_t> exons;
    std::int64_t first_position = 0;
    std::size_t next_piece = 0; // the gene id's next piece on another chromosome or strand; 0 for none
    std::string suffix;         // piece_suffix for every piece of a gene of several, else empty
};

// Disjoint sets over the genes of the annotation.
class Components {
public:
    explicit Components(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), std::size_t(0)); }
    std::size_t find(std::size_t a)
    {
        while (parent_[a] != a) a = parent_[a] = parent_[parent_[a]];
        return a;
    }
    void join(std::size_t a, std::size_t b)
    {
        a = find(a);
        b = find(b);
        if (a != b) parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<std::size_t> parent_;
};

// The exonic parts of the exons `members` (indices into `exons`).
std::vector<ExonicPart> parts_of(const std::vector<ExonRecord>& exons, const std::vector<std::size_t>& members)
{
    std::vector<std::int64_t> cuts;
    for (std::size_t e : members) {
        cuts.push_back(exons[e].start);
        cuts.push_back(exons[e].end + 1);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    // Interval k runs from cuts[k] to cuts[k + 1] - 1.
    std::vector<std::vector<std::string>> over(cuts.size());
    std::vector<bool> covered(cuts.size(), false);
    for (std::size_t e : members) {
        const auto first = std::lower_bound(cuts.begin(), cuts.end(), exons[e].start) - cuts.begin();
        const auto last = std::lower_bound(cuts.begin(), cuts.end(), exons[e].end + 1) - cuts.begin();
        for (auto k = first; k < last; ++k) {
            covered[static_cast<std::size_t>(k)] = true;
            over[static_cast<std::size_t>(k)].push_back(exons[e].transcript_id);
        }
    }
    std::vector<ExonicPart> parts;
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
        if (!covered[k]) continue;
        std::vector<std::string>& t = over[k];
        std::sort(t.begin(), t.end());
        t.erase(std::unique(t.begin(), t.end()), t.end());
        parts.push_back({cuts[k], cuts[k + 1] - 1, std::move(t)});
    }
    return parts;
}

// Gives every piece of a gene that lies on several chromosomes or strands
// (the pseudo-autosomal genes of chrX and chrY in RefSeq-based human
// annotations) its suffix "@chromosome(strand)", and says so in one
// warning; or, when asked, refuses them. A gene's first piece comes before
// its other pieces in `genes`, so the loop meets each such gene there first.
void name_pieces(std::vector<SourceGene>& genes, const std::vector<ExonRecord>& exons, bool refuse)
{
    constexpr std::size_t kNamed = 3;
    std::size_t split = 0;
    std::string named;
    std::string first_places;
    for (std::size_t g = 0; g < genes.size(); ++g) {
        if (genes[g].next_piece == 0 || !genes[g].suffix.empty()) continue;
        if (split < kNamed) named += std::string(split ? ", " : "") + quote_token(genes[g].id);
        else if (split == kNamed) named += ", ...";
        ++split;
        std::size_t pieces = 0;
        for (std::size_t p = g;; p = genes[p].next_piece) {
            const ExonRecord& x = exons[genes[p].exons.front()];
            genes[p].suffix = piece_suffix(x.chromosome, x.strand);
            if (split == 1 && pieces < kNamed)
                first_places += (pieces ? " and on " : " on ") + x.chromosome + " " + x.strand;
            else if (split == 1 && pieces == kNamed)
                first_places += " and more";
            ++pieces;
            if (genes[p].next_piece == 0) break;
        }
    }
    if (split == 0) return;
    const std::string count = std::to_string(split) + (split == 1 ? " gene lies" : " genes lie");
    if (refuse)
        fail_input("annotation: " + count + " on more than one chromosome or strand (" + named + "; the first" +
                   first_places + "); with --refuse-split-genes a gene must lie on one chromosome and strand");
    warn("warning: " + count + " on more than one chromosome or strand and " + (split == 1 ? "is" : "are") +
         " split into one gene per piece, named gene_id@chromosome(strand): " + named);
}

} // namespace

std::int64_t FlatGene::length() const
{
    std::int64_t total = 0;
    for (const ExonicPart& p : parts) total += p.length();
    return total;
}

std::vector<std::string> chromosome_order(const std::vector<ExonRecord>& exons)
{
    std::vector<std::string> order;
    std::unordered_map<std::string, int> seen;
    for (const ExonRecord& e : exons)
        if (seen.emplace(e.chromosome, static_cast<int>(order.size()) + 1).second) order.push_back(e.chromosome);
    return order;
}

std::vector<FlatGene> flatten_genes(const std::vector<ExonRecord>& exons, const FlattenOptions& options)
{
    const std::vector<std::string> chromosomes = chromosome_order(exons);
    std::unordered_map<std::string, int> chromosome_index;
    for (std::size_t k = 0; k < chromosomes.size(); ++k) chromosome_index[chromosomes[k]] = static_cast<int>(k) + 1;

    // The genes in order of first appearance, with their exons: one per
    // gene id and chromosome and strand.
    std::vector<SourceGene> genes;
    std::unordered_map<std::string, std::size_t> gene_of; // a gene id's first piece
    for (std::size_t e = 0; e < exons.size(); ++e) {
        const ExonRecord& x = exons[e];
        if (!options.keep_types.empty() && !options.keep_types.count(x.gene_type)) continue;
        const auto [it, added] = gene_of.emplace(x.gene_id, genes.size());
        std::size_t g = it->second;
        if (added) {
            genes.push_back({x.gene_id, {}, x.start, 0, {}});
        } else {
            for (;;) {
                const ExonRecord& first = exons[genes[g].exons.front()];
                if (first.chromosome == x.chromosome && first.strand == x.strand) break;
                if (genes[g].next_piece == 0) {
                    genes[g].next_piece = genes.size();
                    g = genes.size();
                    genes.push_back({x.gene_id, {}, x.start, 0, {}});
                    break;
                }
                g = genes[g].next_piece;
            }
        }
        genes[g].exons.push_back(e);
        genes[g].first_position = std::min(genes[g].first_position, x.start);
    }
    name_pieces(genes, exons, options.refuse_split);

    // Genes that share exonic positions on one chromosome and strand.
    Components components(genes.size());
    if (options.merge) {
        struct Span {
            int chromosome;
            char strand;
            std::int64_t start, end;
            std::size_t gene;
        };
        std::vector<Span> spans;
        for (std::size_t g = 0; g < genes.size(); ++g)
            for (std::size_t e : genes[g].exons)
                spans.push_back({chromosome_index[exons[e].chromosome], exons[e].strand, exons[e].start, exons[e].end, g});
        std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
            return std::tie(a.chromosome, a.strand, a.start) < std::tie(b.chromosome, b.strand, b.start);
        });
        for (std::size_t k = 0; k < spans.size();) {
            // One run of overlapping exons: all its genes are one.
            std::int64_t reach = spans[k].end;
            std::size_t j = k + 1;
            for (; j < spans.size() && spans[j].chromosome == spans[k].chromosome &&
                   spans[j].strand == spans[k].strand && spans[j].start <= reach;
                 ++j) {
                components.join(spans[k].gene, spans[j].gene);
                reach = std::max(reach, spans[j].end);
            }
            k = j;
        }
    }

    std::unordered_map<std::size_t, std::vector<std::size_t>> members_of;
    std::vector<std::size_t> roots;
    for (std::size_t g = 0; g < genes.size(); ++g) {
        const std::size_t root = components.find(g);
        auto& m = members_of[root];
        if (m.empty()) roots.push_back(root);
        m.push_back(g);
    }

    std::vector<FlatGene> flat;
    for (std::size_t root : roots) {
        std::vector<std::size_t>& m = members_of[root];
        std::sort(m.begin(), m.end(), [&](std::size_t a, std::size_t b) {
            return std::tie(genes[a].first_position, genes[a].id) < std::tie(genes[b].first_position, genes[b].id);
        });
        FlatGene f;
        std::vector<std::size_t> all;
        std::vector<std::string> names;
        for (std::size_t g : m) {
            f.members.push_back(table_name(genes[g].id) + genes[g].suffix);
            names.push_back(table_name(exons[genes[g].exons.front()].gene_name) + genes[g].suffix);
            all.insert(all.end(), genes[g].exons.begin(), genes[g].exons.end());
        }
        const ExonRecord& first = exons[all.front()];
        f.id = joined(f.members, '+');
        f.name = joined(names, '+');
        f.chromosome = first.chromosome;
        f.chromosome_index = chromosome_index[first.chromosome];
        f.strand = first.strand;
        f.parts = parts_of(exons, all);
        flat.push_back(std::move(f));
    }
    std::sort(flat.begin(), flat.end(), [](const FlatGene& a, const FlatGene& b) {
        return std::make_tuple(a.chromosome_index, a.start(), a.id) < std::make_tuple(b.chromosome_index, b.start(), b.id);
    });
    return flat;
}
