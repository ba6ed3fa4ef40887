#include "bamcount/feature_lines.h"

namespace {

// A counted feature's place: chromosome, span and strand, or a refusal.
void read_place(const Line& line, ExonRecord& exon)
{
    exon.chromosome.assign(line.fields[0]);
    exon.start = line.position(3);
    exon.end = line.position(4);
    if (exon.end < exon.start)
        line.refuse(4, "an end at or after the start " + std::to_string(exon.start), quote_token(line.fields[4]));
    exon.strand = line.strand();
}

std::string_view gtf_gene_key(const AnnotationOptions& options)
{
    return options.gene_attribute.empty() ? std::string_view("gene_id") : std::string_view(options.gene_attribute);
}

} // namespace

AnnotationFormat after_directive(std::string_view text, AnnotationFormat format)
{
    return text.starts_with("##gff-version 3") ? AnnotationFormat::gff3 : format;
}

bool ends_features(std::string_view text) { return text.starts_with("##FASTA"); }

AnnotationFormat format_of_first(const Line& line)
{
    return looks_like_gff3(line.fields[8]) ? AnnotationFormat::gff3 : AnnotationFormat::gtf;
}

void read_gtf_line(const Line& line, const AnnotationOptions& options, GtfAttributes& attributes, GtfLine& out)
{
    const std::string_view key = gtf_gene_key(options);
    out.type = line.fields[2];
    out.counted = out.type == options.feature_type;
    out.gene = {};
    out.gene_type.clear();
    if (!out.counted) {
        // Not counted: what it tells of its gene, for the notes on genes
        // without a counted feature.
        attributes.read(line);
        if (out.type == "transcript") return;
        out.gene = attributes.value(key);
        if (!out.gene.empty()) out.gene_type = attributes.first_of({"gene_type", "gene_biotype"});
        return;
    }
    ExonRecord& exon = out.exon;
    read_place(line, exon);
    attributes.read(line);
    exon.gene_id = attributes.first_of({key});
    if (exon.gene_id.empty()) line.refuse(8, "a " + std::string(key) + " attribute");
    // A feature of no transcript belongs to its gene directly, as a GFF3
    // feature whose Parent is a gene.
    exon.transcript_id = attributes.first_of({"transcript_id"});
    if (exon.transcript_id.empty()) exon.transcript_id = exon.gene_id;
    exon.gene_name = attributes.first_of({"gene_name"});
    if (exon.gene_name.empty()) exon.gene_name = exon.gene_id;
    exon.gene_type = attributes.first_of({"gene_type", "gene_biotype"});
}

void read_gff3_line(const Line& line, const AnnotationOptions& options, Gff3Line& out)
{
    const std::string_view attributes = line.fields[8];
    out.type = line.fields[2];
    out.attributes = attributes;
    out.id = first_of(attributes, {"ID"});
    out.counted = out.type == options.feature_type;
    out.parent = {};
    if (!out.counted) {
        const std::string_view parent = gff3_attribute(attributes, "Parent");
        out.parent = parent.substr(0, parent.find(','));
        // Decoded in `decoded` only when it holds an escape.
        if (out.parent.find('%') != std::string_view::npos) {
            out.decoded = percent_decoded(out.parent);
            out.parent = out.decoded;
        }
        return;
    }
    out.exon = ExonRecord{};
    read_place(line, out.exon);
    out.parents = gff3_values(attributes, "Parent");
    out.attribute.clear();
    out.attribute_name.clear();
    if (!options.gene_attribute.empty()) {
        out.attribute = first_of(attributes, {options.gene_attribute});
        out.attribute_name = first_of(attributes, {"gene_name"});
    }
    // Without Parent, a counted feature is its own transcript: a gene
    // (counting whole genes), a transcript naming its gene, or one whose
    // gene the gene attribute of its own line tells.
    if (out.parents.empty() && out.id.empty() && out.attribute.empty())
        line.refuse(8, "a Parent attribute naming the " + std::string(out.type) + "'s transcript");
}
