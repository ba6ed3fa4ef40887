// Genes flattened into exonic parts from hand-made annotations: overlapping
// and nested exons, single-exon genes, both strands, merging of genes that
// share positions and its absence, gene-type filters; the GTF and GFF3
// readers, gzip input, and the refusal of malformed lines.
#include "annotation.h"
#include "flatten.h"
#include "run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <zlib.h>

namespace {

std::string gtf_exon(const std::string& chromosome, int start, int end, char strand, const std::string& gene,
                     const std::string& transcript, const std::string& extra = "")
{
    return chromosome + "\ttest\texon\t" + std::to_string(start) + "\t" + std::to_string(end) + "\t.\t" + strand +
           "\t.\tgene_id \"" + gene + "\"; transcript_id \"" + transcript + "\";" + extra + "\n";
}

// "start-end[t1,t2]" for every part of a gene.
std::string parts_text(const FlatGene& g)
{
    std::string out;
    for (const ExonicPart& p : g.parts) {
        if (!out.empty()) out += ' ';
        out += std::to_string(p.start) + "-" + std::to_string(p.end) + "[";
        for (std::size_t k = 0; k < p.transcripts.size(); ++k) out += (k ? "," : "") + p.transcripts[k];
        out += "]";
    }
    return out;
}

std::vector<FlatGene> flatten_text(const std::string& gtf, FlattenOptions options = {})
{
    ScratchDir dir;
    return flatten_genes(read_annotation(dir.write("a.gtf", gtf)), options);
}

} // namespace

TEST(Flatten, OverlappingTranscriptsAreCutAtEveryBoundary)
{
    // t1: 100-200, 300-400; t2: 150-250, 350-450 (overlapping exons);
    // t3: 320-330 nested inside both second exons.
    const auto genes = flatten_text(gtf_exon("chr1", 100, 200, '+', "G", "t1") + gtf_exon("chr1", 300, 400, '+', "G", "t1") +
                                    gtf_exon("chr1", 150, 250, '+', "G", "t2") + gtf_exon("chr1", 350, 450, '+', "G", "t2") +
                                    gtf_exon("chr1", 320, 330, '+', "G", "t3"));
    ASSERT_EQ(genes.size(), 1u);
    EXPECT_EQ(parts_text(genes[0]), "100-149[t1] 150-200[t1,t2] 201-250[t2] 300-319[t1] 320-330[t1,t3] 331-349[t1] "
                                    "350-400[t1,t2] 401-450[t2]");
    EXPECT_EQ(genes[0].length(), 50 + 51 + 50 + 20 + 11 + 19 + 51 + 50);
    EXPECT_EQ(genes[0].strand, '+');
}

TEST(Flatten, AdjacentExonsStaySeparatePartsAndSingleExonGenesAreOnePart)
{
    const auto genes = flatten_text(gtf_exon("chr1", 10, 19, '-', "A", "a1") + gtf_exon("chr1", 20, 29, '-', "A", "a2") +
                                    gtf_exon("chr1", 500, 500, '+', "B", "b1"));
    ASSERT_EQ(genes.size(), 2u);
    EXPECT_EQ(genes[0].id, "A");
    EXPECT_EQ(parts_text(genes[0]), "10-19[a1] 20-29[a2]");
    EXPECT_EQ(genes[1].id, "B");
    EXPECT_EQ(parts_text(genes[1]), "500-500[b1]");
}

TEST(Flatten, GenesSharingPositionsOnOneStrandMergeOthersDoNot)
{
    // X and Y share 150-160 on '+'; Z overlaps them on '-'; W lies within
    // X's span but in its intron, sharing no position.
    const std::string gtf = gtf_exon("chr2", 100, 160, '+', "X", "x1") + gtf_exon("chr2", 400, 500, '+', "X", "x1") +
                            gtf_exon("chr2", 150, 200, '+', "Y", "y1") + gtf_exon("chr2", 120, 180, '-', "Z", "z1") +
                            gtf_exon("chr2", 250, 300, '+', "W", "w1") + gtf_exon("chr1", 5, 9, '+', "V", "v1");
    const auto merged = flatten_text(gtf);
    ASSERT_EQ(merged.size(), 4u);
    // chr2 comes first in the file, so it has index 1.
    EXPECT_EQ(merged[0].id, "X+Y");
    EXPECT_EQ(merged[0].name, "X+Y");
    EXPECT_EQ(merged[0].chromosome_index, 1);
    EXPECT_EQ(parts_text(merged[0]), "100-149[x1] 150-160[x1,y1] 161-200[y1] 400-500[x1]");
    EXPECT_EQ(merged[1].id, "Z");
    EXPECT_EQ(merged[1].strand, '-');
    EXPECT_EQ(merged[2].id, "W");
    EXPECT_EQ(merged[3].id, "V");
    EXPECT_EQ(merged[3].chromosome_index, 2);

    FlattenOptions separate;
    separate.merge = false;
    const auto apart = flatten_text(gtf, separate);
    ASSERT_EQ(apart.size(), 5u);
    EXPECT_EQ(apart[0].id, "X");
    EXPECT_EQ(parts_text(apart[0]), "100-160[x1] 400-500[x1]");
    EXPECT_EQ(apart[1].id, "Z");
    EXPECT_EQ(apart[2].id, "Y");
    EXPECT_EQ(parts_text(apart[2]), "150-200[y1]");
}

TEST(Flatten, MergingChainsThroughAGeneThatBridgesTwo)
{
    const auto genes = flatten_text(gtf_exon("c", 1, 10, '+', "P", "p") + gtf_exon("c", 20, 30, '+', "R", "r") +
                                    gtf_exon("c", 8, 22, '+', "Q", "q"));
    ASSERT_EQ(genes.size(), 1u);
    EXPECT_EQ(genes[0].id, "P+Q+R");
    EXPECT_EQ(parts_text(genes[0]), "1-7[p] 8-10[p,q] 11-19[q] 20-22[q,r] 23-30[r]");
}

TEST(Flatten, GeneTypesCanBeKept)
{
    const std::string gtf = gtf_exon("c", 1, 10, '+', "P", "p", " gene_type \"protein_coding\";") +
                            gtf_exon("c", 5, 30, '+', "L", "l", " gene_biotype \"lncRNA\";");
    FlattenOptions coding;
    coding.keep_types = {"protein_coding"};
    const auto genes = flatten_text(gtf, coding);
    ASSERT_EQ(genes.size(), 1u);
    EXPECT_EQ(genes[0].id, "P"); // the lncRNA is gone before merging
    EXPECT_EQ(flatten_text(gtf).at(0).id, "P+L");
}

TEST(Annotation, Gff3ExonsReachTheirGenesThroughTranscripts)
{
    ScratchDir dir;
    const std::string gff = "##gff-version 3\n"
                            "1\tsrc\tgene\t100\t400\t.\t+\t.\tID=gene:G1;Name=ABC%3B1;biotype=protein_coding;gene_id=G1\n"
                            "1\tsrc\tmRNA\t100\t400\t.\t+\t.\tID=transcript:T1;Parent=gene:G1;transcript_id=T1\n"
                            "1\tsrc\texon\t100\t150\t.\t+\t.\tParent=transcript:T1,transcript:T2\n"
                            "1\tsrc\texon\t300\t400\t.\t+\t.\tParent=transcript:T1\n"
                            "1\tsrc\tmRNA\t100\t200\t.\t+\t.\tID=transcript:T2;Parent=gene:G1;transcript_id=T2\n"
                            "##FASTA\n>1\nACGT\n";
    const auto exons = read_annotation(dir.write("a.gff3", gff));
    ASSERT_EQ(exons.size(), 3u);
    EXPECT_EQ(exons[0].gene_id, "G1");
    EXPECT_EQ(exons[0].gene_name, "ABC;1");
    EXPECT_EQ(exons[0].gene_type, "protein_coding");
    EXPECT_EQ(exons[0].transcript_id, "T1");
    EXPECT_EQ(exons[1].transcript_id, "T2");
    const auto genes = flatten_genes(exons, {});
    ASSERT_EQ(genes.size(), 1u);
    EXPECT_EQ(parts_text(genes[0]), "100-150[T1,T2] 300-400[T1]");
}

TEST(Flatten, PartsReachTheLargestPositionTheTablesHold)
{
    // The cut after the last exon lies one past the largest position.
    const auto genes = flatten_text(gtf_exon("chr1", 2147483600, 2147483647, '+', "G", "t1") +
                                    gtf_exon("chr1", 2147483640, 2147483647, '+', "G", "t2"));
    ASSERT_EQ(genes.size(), 1u);
    EXPECT_EQ(parts_text(genes[0]), "2147483600-2147483639[t1] 2147483640-2147483647[t1,t2]");
}

TEST(Annotation, GzipInputReadsLikePlainInput)
{
    ScratchDir dir;
    const std::string gtf = "#!genome-build test\n" + gtf_exon("chrM", 1, 50, '+', "M", "m1", " gene_name \"MT\";") +
                            gtf_exon("chrM", 40, 90, '+', "M", "m2");
    const std::string path = dir.file("a.gtf.gz");
    gzFile z = gzopen(path.c_str(), "wb");
    gzwrite(z, gtf.data(), static_cast<unsigned>(gtf.size()));
    gzclose(z);
    const auto genes = flatten_genes(read_annotation(path), {});
    ASSERT_EQ(genes.size(), 1u);
    EXPECT_EQ(genes[0].name, "MT");
    EXPECT_EQ(parts_text(genes[0]), "1-39[m1] 40-50[m1,m2] 51-90[m2]");
}

TEST(Annotation, MalformedLinesAreRefusedWithFileLineAndField)
{
    struct Case {
        std::string text, message;
    };
    const std::string good = gtf_exon("c", 1, 10, '+', "G", "t");
    const std::vector<Case> cases = {
        {good + "c\ttest\texon\t5\n", "line 2: expected 9 tab-separated fields, found 4"},
        {good + "c\tt\texon\tfive\t10\t.\t+\t.\tgene_id \"G\"; transcript_id \"t\";\n",
         "line 2, field 4 (start): expected a position, a whole number from 1 to 2147483647, found 'five'"},
        {"c\tt\texon\t20\t10\t.\t+\t.\tgene_id \"G\"; transcript_id \"t\";\n",
         "line 1, field 5 (end): expected an end at or after the start 20, found '10'"},
        {"c\tt\texon\t1\t10\t.\tx\t.\tgene_id \"G\"; transcript_id \"t\";\n",
         "line 1, field 7 (strand): expected '+', '-', '.' or '?', found 'x'"},
        {"c\tt\texon\t1\t10\t.\t+\t.\ttranscript_id \"t\";\n", "line 1, field 9 (attributes): expected a gene_id attribute"},
        {"##gff-version 3\nc\tt\texon\t1\t10\t.\t+\t.\tParent=nowhere\n",
         "line 2, field 9 (attributes): expected a Parent that is the ID of a feature of the file, found 'nowhere'"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const std::string path = dir.write("bad.gtf", c.text);
        EXPECT_EXIT(read_annotation(path), ::testing::ExitedWithCode(2),
                    "annotation file '" + path + "', " + c.message.substr(0, c.message.find('(')))
            << c.message;
    }
    ScratchDir dir;
    const std::string split = dir.write("split.gtf", gtf_exon("c", 1, 10, '+', "G", "t") + gtf_exon("d", 1, 10, '+', "G", "t"));
    EXPECT_EXIT(flatten_genes(read_annotation(split), {}), ::testing::ExitedWithCode(2), "gene 'G' has exons on c \\+ and on d \\+");
}
