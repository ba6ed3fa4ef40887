// The annotation's line parsers on single lines: what a GTF line and a GFF3
// line say, counted or not, with the options that choose the counted type
// and the gene attribute, and the refusal of each kind of bad line.
#include "bamcount/feature_lines.h"
#include "tests/support/refusals.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const FileName kFile{"annotation file", "a.gff"};

struct Case {
    std::string columns;  // the nine columns but the first, joined by tabs
    std::string expected; // what the line says, or the refusal after "<file>, line 7"
    AnnotationOptions options = {};
};

// What the line says as text, or the refusal it stops with.
template <class Say>
std::string said(const std::string& text, Say&& say)
{
    LineFields cells(kFile, Split::tabs);
    cells.assign(text, 7);
    std::string out;
    const std::string refusal = refusal_of([&] { out = say(split_columns(cells)); });
    const std::string start = "pipeline: annotation file 'a.gff', line 7";
    if (refusal.empty()) return out;
    return refusal.rfind(start, 0) == 0 ? refusal.substr(start.size(), refusal.size() - start.size() - 1) : refusal;
}

std::string place(const ExonRecord& e)
{
    return e.chromosome + ":" + std::to_string(e.start) + "-" + std::to_string(e.end) + e.strand;
}

std::string joined_list(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : " ") + item;
    return out;
}

} // namespace

TEST(FeatureLines, GtfLines)
{
    const std::string exon = "test\texon\t10\t20\t.\t";
    AnnotationOptions by_name, cds;
    by_name.gene_attribute = "gene_name";
    cds.feature_type = "CDS";
    const std::vector<Case> cases = {
        {exon + "-\t.\tgene_id \"G1\"; transcript_id \"T1\"; gene_name \"Alpha\"; gene_type \"lncRNA\";",
         "exon chr1:10-20- G1|Alpha|lncRNA|T1"},
        // Without transcript and name: the gene stands for both. '?' is '.'.
        {exon + "?\t.\tgene_id \"G1\"; gene_biotype \"miRNA\";", "exon chr1:10-20. G1|G1|miRNA|G1"},
        {exon + "+\t.\tgene_id \"G1\"; transcript_id \"T1\"; gene_name \"Alpha\";", "exon chr1:10-20+ Alpha|Alpha||T1",
         by_name},
        {"test\tCDS\t10\t20\t.\t+\t0\tgene_id \"G1\"; transcript_id \"T1\";", "CDS chr1:10-20+ G1|G1||T1", cds},
        // Not counted: the gene named, with its biotype; a transcript none.
        {"test\tCDS\t10\t20\t.\t+\t0\tgene_id \"G1\"; gene_type \"lncRNA\";", "CDS of G1 (lncRNA)"},
        {exon + "+\t.\tgene_id \"G1\";", "exon of G1 ()", cds},
        {"test\ttranscript\t10\t20\t.\t+\t.\tgene_id \"G1\"; transcript_id \"T1\";", "transcript of  ()"},
        {exon + "+\t.\ttranscript_id \"T1\";", ", field 9 (attributes): expected a gene_id attribute, found 'transcript_id \"T1\";'"},
        {exon + "+\t.\tgene_id \"G1\";", ", field 9 (attributes): expected a gene_name attribute, found 'gene_id \"G1\";'",
         by_name},
        {"test\texon\t0\t20\t.\t+\t.\tgene_id \"G1\";",
         ", field 4 (start): expected a position, a whole number from 1 to 2147483647, found '0'"},
        {"test\texon\t10\t9\t.\t+\t.\tgene_id \"G1\";",
         ", field 5 (end): expected an end at or after the start 10, found '9'"},
        {exon + "x\t.\tgene_id \"G1\";", ", field 7 (strand): expected '+', '-', '.' or '?', found 'x'"},
        {"test\tCDS\t10\t20\t.\t+\t0\tgene_id \"G1; transcript_id \"T1\";",
         ", field 9 (attributes): expected ';' after the quoted value of 'gene_id', found 'T1\";'"},
        {"test\texon\t10\t20\t.\t+\t.", ": expected 9 tab-separated fields, found 8"},
    };
    for (const Case& c : cases) {
        GtfAttributes attributes;
        GtfLine line;
        const std::string got = said("chr1\t" + c.columns, [&](const Line& l) {
            read_gtf_line(l, c.options, attributes, line);
            if (line.counted)
                return std::string(line.type) + " " + place(line.exon) + " " + line.exon.gene_id + "|" +
                       line.exon.gene_name + "|" + line.exon.gene_type + "|" + line.exon.transcript_id;
            return std::string(line.type) + " of " + std::string(line.gene) + " (" + line.gene_type + ")";
        });
        EXPECT_EQ(got, c.expected) << c.columns;
    }
}

TEST(FeatureLines, Gff3Lines)
{
    AnnotationOptions by_gene;
    by_gene.gene_attribute = "gene";
    const std::vector<Case> cases = {
        // Counted: every Parent, decoded after the split at commas; the ID
        // when there is one.
        {"test\texon\t1\t10\t.\t+\t.\tID=e1;Parent=t1,t%2C2", "exon chr1:1-10+ id=e1 parents=t1 t,2 attribute=|"},
        {"test\texon\t1\t10\t.\t-\t.\tID=gene%3A1", "exon chr1:1-10- id=gene:1 parents= attribute=|"},
        {"test\texon\t1\t10\t.\t.\t.\tgene=G1;gene_name=Alpha", "exon chr1:1-10. id= parents= attribute=G1|Alpha",
         by_gene},
        {"test\texon\t1\t10\t.\t+\t.\tName=x",
         ", field 9 (attributes): expected a Parent attribute naming the exon's transcript, found 'Name=x'"},
        {"test\texon\t1\t10\t.\t+\t.\tName=x",
         ", field 9 (attributes): expected a Parent attribute naming the exon's transcript, found 'Name=x'", by_gene},
        {"test\texon\t5\t4\t.\t+\t.\tParent=t1", ", field 5 (end): expected an end at or after the start 5, found '4'"},
        // Not counted: its ID and first Parent, decoded.
        {"test\tCDS\t1\t10\t.\t+\t0\tID=cds1;Parent=t%3B1,t2", "CDS id=cds1 parent=t;1"},
        {"test\tgene\t1\t10\t.\t+\t.\tID=g1;Name=Alpha", "gene id=g1 parent="},
    };
    for (const Case& c : cases) {
        Gff3Line line;
        const std::string got = said("chr1\t" + c.columns, [&](const Line& l) {
            read_gff3_line(l, c.options, line);
            if (line.counted)
                return std::string(line.type) + " " + place(line.exon) + " id=" + line.id +
                       " parents=" + joined_list(line.parents) + " attribute=" + line.attribute + "|" +
                       line.attribute_name;
            return std::string(line.type) + " id=" + line.id + " parent=" + std::string(line.parent);
        });
        EXPECT_EQ(got, c.expected) << c.columns;
    }
}
