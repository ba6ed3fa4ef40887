// What one line of an annotation says, in GTF or in GFF3: the line parsers
// of the annotation reader (annotation.h), each taking a line on its own.
// What the lines say together (which transcript and gene a GFF3 feature
// belongs to, the genes' uncounted features) is the reader's to put
// together.
#pragma once

#include "bamcount/annotation.h"
#include "bamcount/annotation_lines.h"

#include <string>
#include <string_view>
#include <vector>

enum class AnnotationFormat { unknown, gtf, gff3 };

// The format after a comment or directive line (one starting with '#'):
// "##gff-version 3" says GFF3, other lines leave `format` as it is.
AnnotationFormat after_directive(std::string_view text, AnnotationFormat format);
// Whether a comment or directive line ends the features: "##FASTA" starts
// the sequences that a GFF3 file may carry after them.
bool ends_features(std::string_view text);
// The format of a file that no directive names, told by the attribute
// column of its first feature: `key=value` is GFF3's, `key "value";` GTF's.
AnnotationFormat format_of_first(const Line& line);

// A GTF line.
struct GtfLine {
    std::string_view type; // column 3
    // Of the counted type: its record, whole.
    bool counted = false;
    ExonRecord exon;
    // Of another type: the gene it names (by gene_id, or the gene attribute
    // of the options), and that gene's biotype; empty for none, and for a
    // transcript line, which holds features rather than being one.
    std::string_view gene;
    std::string gene_type;
};

// Reads a GTF line into `out`, or refuses it. `attributes` holds the line's
// attributes afterwards; `out`'s views point into the line.
void read_gtf_line(const Line& line, const AnnotationOptions& options, GtfAttributes& attributes, GtfLine& out);

// A GFF3 line. Its gene is known only once the whole file is read, as
// Parents may come after their children.
struct Gff3Line {
    std::string_view type, attributes; // columns 3 and 9
    std::string id;                    // ID, decoded; empty for none
    // Of the counted type: its record, without gene and transcript; every
    // Parent it names, decoded; with a gene attribute in the options, the
    // line's own values of it and of gene_name.
    bool counted = false;
    ExonRecord exon;
    std::vector<std::string> parents;
    std::string attribute, attribute_name;
    // Of another type: its first Parent, decoded (a view into the line or
    // into `decoded`); empty for none.
    std::string_view parent;
    std::string decoded;
};

// Reads a GFF3 line into `out`, or refuses it: a counted feature must name
// its transcript (Parent), or be its own (ID), or give its gene by the gene
// attribute of the options.
void read_gff3_line(const Line& line, const AnnotationOptions& options, Gff3Line& out);
