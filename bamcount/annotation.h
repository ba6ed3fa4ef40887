// Reading a gene annotation: the features that form the exonic parts
// (exons by default) of every transcript of every gene, from a GTF file
// (Ensembl or GENCODE style: `key "value";` attributes) or a GFF3 file
// (`key=value` attributes, features tied to genes through their
// transcripts' Parent links), plain or gzip-compressed.
//
// The format is told by the file itself: a "##gff-version 3" line, or else
// the attribute column of its first feature. A line that cannot be used
// stops the program with one message naming the file, the line and the
// field (exit status 2).
//
// Which gene a counted feature belongs to:
// - GTF: its gene_id attribute (or the attribute AnnotationOptions names).
// - GFF3: the gene its Parent transcript names as Parent; a Parent that is
//   itself a gene (no Parent of its own) is both the transcript and the
//   gene. A transcript without Parent that carries its gene in a geneID,
//   gene_id or gene attribute (the first of these it has), as gffread and
//   genome browsers write them, belongs to that gene; one without any
//   stands for a gene of its own. With a gene attribute named in the
//   options, that attribute of the feature line, else of its transcript,
//   else of the transcript's Parent; the gene's name is then the gene_name
//   attribute found the same way, no further up than the gene's attribute
//   was, else the gene id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The largest position an annotation may give: the reads file holds
// positions in 32 bits, as BAM files do.
inline constexpr std::int64_t kLargestPosition = 2147483647;

struct AnnotationOptions {
    std::string feature_type = "exon"; // the type (third column) of the features counted
    std::string gene_attribute;        // empty: gene_id in GTF, the Parent chain in GFF3
};

// One counted feature of one transcript (a feature with several Parents
// gives one record per Parent).
struct ExonRecord {
    std::string chromosome;
    std::int64_t start = 0; // 1-based, inclusive, at most kLargestPosition
    std::int64_t end = 0;   // 1-based, inclusive, at most kLargestPosition
    char strand = '.';      // '+', '-' or '.'
    std::string gene_id;
    std::string gene_name; // the gene id when the annotation gives none
    std::string gene_type; // empty when the annotation gives none
    std::string transcript_id;
};

// A gene as the annotation knows it apart from its counted features: from
// a gene line (GTF `gene`; GFF3 `gene`, `pseudogene` or a type ending in
// `_gene`), or from the other features that name it. What its features
// are, by type, tells a user whose genes go uncounted which type to count.
struct AnnotatedGene {
    std::string id;   // as its counted features would name it (ExonRecord::gene_id)
    std::string type; // its biotype, empty when the annotation gives none
    bool from_gene_line = false;
    // (index into Annotation::feature_types, number of lines) of the gene's
    // features that are neither counted nor containers of others
    // (transcripts), such as CDS, UTR or start_codon lines.
    std::vector<std::pair<std::uint32_t, std::uint64_t>> leaf_types;
};

struct Annotation {
    std::vector<ExonRecord> exons;          // the counted features, in file order
    std::vector<AnnotatedGene> genes;       // in file order
    std::vector<std::string> feature_types; // the types that leaf_types index
};

// The annotation at `path`.
Annotation read_annotation(const std::string& path, const AnnotationOptions& options = {});

// Whether a GFF3 feature type is that of a gene line.
bool is_gene_type(std::string_view type);

// Lists as annotations and bamcount's files write them: "a,b,c" and the like.
// split_list leaves out empty items.
std::vector<std::string> split_list(std::string_view text, char separator);
std::string joined(const std::vector<std::string>& items, char separator);
