#include "bamcount/annotation.h"

#include "bamcount/annotation_lines.h"
#include "bamcount/feature_lines.h"
#include "cli/diag.h"
#include "tables/line_fields.h"
#include "tables/textin.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <unordered_map>

namespace {

// Maps keyed by text that are looked up with views into the line being
// read, so that a lookup allocates nothing.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
template <class Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

using TypeCounts = std::vector<std::pair<std::uint32_t, std::uint64_t>>;

void add_count(TypeCounts& counts, std::uint32_t type, std::uint64_t n)
{
    for (auto& [t, count] : counts)
        if (t == type) {
            count += n;
            return;
        }
    counts.emplace_back(type, n);
}

// The feature types met, numbered in order of first appearance.
class TypeNames {
public:
    explicit TypeNames(std::vector<std::string>& names) : names_(names) {}
    std::uint32_t of(std::string_view type)
    {
        // Lines of one type come in runs (a transcript's exons, its CDS).
        if (last_ < names_.size() && names_[last_] == type) return last_;
        if (auto it = index_.find(type); it != index_.end()) return last_ = it->second;
        last_ = static_cast<std::uint32_t>(names_.size());
        names_.emplace_back(type);
        index_.emplace(std::string(type), last_);
        return last_;
    }

private:
    std::vector<std::string>& names_;
    TextMap<std::uint32_t> index_;
    std::uint32_t last_ = 0;
};

// The genes of a GTF file that its uncounted lines name.
class GtfGenes {
public:
    explicit GtfGenes(std::vector<AnnotatedGene>& genes) : genes_(genes) {}
    // The gene `id`, of biotype `type` when it is new.
    AnnotatedGene& named(std::string_view id, const std::string& type)
    {
        if (auto it = index_.find(id); it != index_.end()) return genes_[it->second];
        index_.emplace(std::string(id), genes_.size());
        AnnotatedGene& g = genes_.emplace_back();
        g.id = std::string(id);
        g.type = type;
        return g;
    }

private:
    std::vector<AnnotatedGene>& genes_;
    TextMap<std::size_t> index_;
};

// A GFF3 feature other than a counted one, by its ID; counted features
// without a Parent get one of their own.
struct Gff3Feature {
    std::string parent; // the first Parent, empty for a top-level feature
    // The id shown to users: gene_id, transcript_id or ID, the first given;
    // for a grouped transcript (below) its transcript_id or ID.
    std::string id;
    std::string group;     // a top-level transcript's gene: geneID, gene_id or gene
    std::string name;      // Name or gene_name; a grouped transcript's gene_name
    std::string type;      // biotype, gene_biotype or gene_type
    std::string attribute; // with --gene-attribute: its value here
    std::string attribute_name; // and gene_name's
    TypeCounts children;   // the lines naming it as first Parent, by type
    std::uint64_t order = 0; // definitions in file order
    std::uint32_t feature_type = 0;
    bool defined = false;  // a line with this ID was read, not only a Parent naming it
    bool gene_line = false;
    bool has_children = false;
};

// A feature's gene as a counted feature of it takes it.
struct GeneOf {
    std::string_view id, name, type;
    bool gene_line = false;
};

void describe_feature(Gff3Feature& f, std::string_view attributes, std::string_view type, const std::string& id,
                      const AnnotationOptions& options)
{
    const std::string_view parents = gff3_attribute(attributes, "Parent");
    f.parent = percent_decoded(parents.substr(0, parents.find(',')));
    f.gene_line = is_gene_type(type);
    f.id = first_of(attributes, {"gene_id", "transcript_id"});
    if (f.id.empty()) f.id = id;
    f.name = first_of(attributes, {"Name", "gene_name"});
    f.type = first_of(attributes, {"biotype", "gene_biotype", "gene_type"});
    if (f.parent.empty() && !f.gene_line) {
        f.group = first_of(attributes, {"geneID", "gene_id", "gene"});
        if (!f.group.empty()) {
            f.id = first_of(attributes, {"transcript_id"});
            if (f.id.empty()) f.id = id;
            f.name = first_of(attributes, {"gene_name"});
        }
    }
    if (!options.gene_attribute.empty()) {
        f.attribute = first_of(attributes, {options.gene_attribute});
        f.attribute_name = first_of(attributes, {"gene_name"});
    }
}

class Gff3Features {
public:
    explicit Gff3Features(const AnnotationOptions& options) : options_(options) {}

    // The feature of this ID, whether defined yet or not.
    Gff3Feature& at(std::string_view id)
    {
        if (auto it = map_.find(id); it != map_.end()) return it->second;
        return map_.emplace(std::string(id), Gff3Feature{}).first->second;
    }
    const Gff3Feature* defined(std::string_view id) const
    {
        const auto it = map_.find(id);
        return it != map_.end() && it->second.defined ? &it->second : nullptr;
    }

    void define(const std::string& id, std::string_view attributes, std::string_view type, std::uint32_t type_index)
    {
        Gff3Feature& f = at(id);
        if (f.defined) return; // a feature of several lines (such as a CDS) is defined by its first
        describe_feature(f, attributes, type, id, options_);
        f.feature_type = type_index;
        f.order = next_order_++;
        f.defined = true;
    }

    // The gene of the features whose Parent is `t`, without a gene
    // attribute. False when t's Parent names no feature.
    bool gene_of(const Gff3Feature& t, GeneOf& gene) const
    {
        const Gff3Feature* g = &t;
        if (!t.parent.empty()) {
            g = defined(t.parent);
            if (!g) return false;
        } else if (!t.group.empty()) {
            g = defined(t.group);
            if (!g || !g->gene_line || !g->parent.empty()) {
                gene = {t.group, t.name.empty() ? std::string_view(t.group) : t.name, t.type, false};
                return true;
            }
        }
        gene = {g->id, g->name.empty() ? std::string_view(g->id) : g->name, g->type, g->gene_line};
        return true;
    }

    // The same with a gene attribute: the feature line's value (`own`,
    // perhaps empty), else t's, else its Parent's. False when none has it.
    bool gene_by_attribute(const Gff3Feature* t, std::string_view own, std::string_view own_name, GeneOf& gene) const
    {
        const Gff3Feature* g = t && !t->parent.empty() ? defined(t->parent) : nullptr;
        auto first = [](std::initializer_list<std::string_view> values) {
            for (std::string_view v : values)
                if (!v.empty()) return v;
            return std::string_view();
        };
        // A field of a feature that may be missing.
        auto of = [](const Gff3Feature* f, std::string Gff3Feature::*field) {
            return f ? std::string_view(f->*field) : std::string_view();
        };
        // The name goes no further up than the line that gave the id: the
        // gene line above a transcript's own gene is not its gene.
        const std::string_view at_t = of(t, &Gff3Feature::attribute), at_g = of(g, &Gff3Feature::attribute);
        gene.id = first({own, at_t, at_g});
        if (gene.id.empty()) return false;
        const std::string_view name_t = own.empty() ? of(t, &Gff3Feature::attribute_name) : std::string_view();
        const std::string_view name_g =
            own.empty() && at_t.empty() ? of(g, &Gff3Feature::attribute_name) : std::string_view();
        gene.name = first({own_name, name_t, name_g, gene.id});
        gene.type = first({of(g, &Gff3Feature::type), of(t, &Gff3Feature::type)});
        gene.gene_line = g ? g->gene_line : t && t->gene_line;
        return true;
    }

    bool gene(const Gff3Feature& t, GeneOf& gene) const
    {
        return options_.gene_attribute.empty() ? gene_of(t, gene) : gene_by_attribute(&t, "", "", gene);
    }

    // The genes of the file with their leaf features by type, in file
    // order. Call once the counted features have marked their Parents.
    std::vector<AnnotatedGene> genes()
    {
        // A child that is itself a parent (a transcript) contains features
        // rather than being one: out of its parent's count.
        for (auto& [id, f] : map_) {
            if (!f.defined || !f.has_children || f.parent.empty()) continue;
            if (auto it = map_.find(f.parent); it != map_.end())
                for (auto& [type, count] : it->second.children)
                    if (type == f.feature_type && count > 0) --count;
        }
        std::vector<const Gff3Feature*> order;
        for (const auto& [id, f] : map_)
            if (f.defined && (f.gene_line || !f.children.empty())) order.push_back(&f);
        std::sort(order.begin(), order.end(), [](const Gff3Feature* a, const Gff3Feature* b) { return a->order < b->order; });

        std::vector<AnnotatedGene> genes;
        TextMap<std::size_t> index;
        auto entry = [&](std::string_view id, std::string_view type) -> AnnotatedGene& {
            if (auto it = index.find(id); it != index.end()) return genes[it->second];
            index.emplace(std::string(id), genes.size());
            AnnotatedGene& g = genes.emplace_back();
            g.id = std::string(id);
            g.type = std::string(type);
            return g;
        };
        for (const Gff3Feature* f : order) {
            if (f->gene_line && f->parent.empty()) {
                const std::string& id = options_.gene_attribute.empty() ? f->id : f->attribute;
                if (!id.empty()) entry(id, f->type).from_gene_line = true;
            }
            GeneOf gene;
            if (f->children.empty() || !this->gene(*f, gene)) continue;
            AnnotatedGene& g = entry(gene.id, gene.type);
            for (const auto& [type, count] : f->children)
                if (count > 0) add_count(g.leaf_types, type, count);
        }
        return genes;
    }

private:
    const AnnotationOptions& options_;
    TextMap<Gff3Feature> map_;
    std::uint64_t next_order_ = 0;
};

// A counted GFF3 feature: its gene and transcripts are known once the
// whole file is read, as Parents may come after their children.
struct PendingFeature {
    ExonRecord exon;
    std::vector<std::string> parents;
    std::unique_ptr<Gff3Feature> self; // a counted feature without Parent is its own transcript
    std::string attribute, attribute_name; // with --gene-attribute: the line's own values
    std::uint64_t line;
};

// The annotation put together from what its lines say.
class AnnotationBuilder {
public:
    AnnotationBuilder(const FileName& file, const AnnotationOptions& options)
        : file_(file), options_(options), types_(result_.feature_types), gtf_genes_(result_.genes), features_(options)
    {
    }

    // A GTF line: a counted feature's record, or what the line tells of its
    // gene, for the notes on genes without a counted feature.
    void add(GtfLine& line)
    {
        if (line.counted) {
            result_.exons.push_back(std::move(line.exon));
            return;
        }
        if (line.gene.empty()) return;
        AnnotatedGene& gene = gtf_genes_.named(line.gene, line.gene_type);
        if (line.type == "gene") gene.from_gene_line = true;
        else add_count(gene.leaf_types, types_.of(line.type), 1);
    }

    // GFF3 line `number`: a counted feature waits for the end of the file;
    // another is defined by its ID and counts as a child of its Parent.
    void add(Gff3Line& line, std::uint64_t number)
    {
        if (!line.counted) {
            const std::uint32_t type_index = types_.of(line.type);
            if (!line.parent.empty()) {
                Gff3Feature& p = features_.at(line.parent);
                add_count(p.children, type_index, 1);
                p.has_children = true;
            }
            if (!line.id.empty()) features_.define(line.id, line.attributes, line.type, type_index);
            return;
        }
        PendingFeature p{std::move(line.exon), std::move(line.parents), nullptr, std::move(line.attribute),
                         std::move(line.attribute_name), number};
        if (p.parents.empty() && !line.id.empty()) {
            p.self = std::make_unique<Gff3Feature>();
            describe_feature(*p.self, line.attributes, line.type, line.id, options_);
            p.self->defined = true;
        }
        pending_.push_back(std::move(p));
    }

    // The annotation, once every line is in.
    Annotation finish(AnnotationFormat format)
    {
        for (PendingFeature& p : pending_) resolve(p);
        if (format == AnnotationFormat::gff3) result_.genes = features_.genes();
        return std::move(result_);
    }

private:
    // A waiting GFF3 feature becomes one record per transcript it belongs to.
    void resolve(const PendingFeature& p)
    {
        if (p.parents.empty()) add_record(p, p.self.get(), {});
        for (const std::string& parent : p.parents) {
            const Gff3Feature* t = features_.defined(parent);
            if (!t)
                refuse(p, "expected a Parent that is the ID of a feature of the file, found " + quote_token(parent));
            features_.at(parent).has_children = true;
            add_record(p, t, parent);
        }
    }

    // p's record in transcript t, which p names `parent` (empty for none).
    void add_record(const PendingFeature& p, const Gff3Feature* t, std::string_view parent)
    {
        GeneOf gene;
        if (!options_.gene_attribute.empty()) {
            if (!features_.gene_by_attribute(t, p.attribute, p.attribute_name, gene))
                refuse(p, "expected a " + options_.gene_attribute + " attribute (--gene-attribute) on the feature, "
                          "its Parent or that one's Parent");
        } else if (!features_.gene_of(*t, gene)) {
            refuse(p, "expected the transcript " + quote_token(parent) + " to have a gene, found Parent " +
                          quote_token(t->parent) + ", the ID of no feature");
        }
        ExonRecord exon = p.exon;
        exon.gene_id = std::string(gene.id);
        exon.gene_name = std::string(gene.name);
        exon.gene_type = std::string(gene.type);
        exon.transcript_id = t ? t->id : exon.gene_id;
        result_.exons.push_back(std::move(exon));
    }

    [[noreturn]] void refuse(const PendingFeature& p, const std::string& text) const
    {
        fail_input(describe(file_) + ", line " + std::to_string(p.line) + ", field 9 (attributes): " + text);
    }

    const FileName& file_;
    const AnnotationOptions& options_;
    Annotation result_;
    TypeNames types_;
    GtfGenes gtf_genes_;
    Gff3Features features_;
    std::vector<PendingFeature> pending_;
};

} // namespace

bool is_gene_type(std::string_view type)
{
    constexpr std::string_view kSuffix = "_gene";
    return type == "gene" || type == "pseudogene" ||
           (type.size() > kSuffix.size() && type.substr(type.size() - kSuffix.size()) == kSuffix);
}

std::vector<std::string> split_list(std::string_view text, char separator)
{
    std::vector<std::string> items;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t end = std::min(text.find(separator, from), text.size());
        if (end > from) items.emplace_back(text.substr(from, end - from));
        from = end + 1;
    }
    return items;
}

std::string joined(const std::vector<std::string>& items, char separator)
{
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += separator;
        out += item;
    }
    return out;
}

Annotation read_annotation(const std::string& path, const AnnotationOptions& options)
{
    InputFile in = InputFile::open({"annotation file", path});
    LineFields cells(in, Split::tabs);
    AnnotationBuilder builder(in.name(), options);
    AnnotationFormat format = AnnotationFormat::unknown;
    GtfAttributes attributes; // a GTF line's, read once per line
    GtfLine gtf;
    Gff3Line gff3;
    while (cells.next_line()) {
        const std::string_view text = cells.text();
        if (text.empty()) continue;
        if (text[0] == '#') {
            if (ends_features(text)) break;
            format = after_directive(text, format);
            continue;
        }
        const Line line = split_columns(cells);
        if (format == AnnotationFormat::unknown) format = format_of_first(line);
        if (format == AnnotationFormat::gtf) {
            read_gtf_line(line, options, attributes, gtf);
            builder.add(gtf);
        } else {
            read_gff3_line(line, options, gff3);
            builder.add(gff3, cells.line());
        }
    }
    return builder.finish(format);
}
