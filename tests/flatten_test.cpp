// Genes flattened into exonic parts from hand-made annotations: overlapping
// and nested exons, single-exon genes, both strands, merging of genes that
// share positions and its absence, gene-type filters, genes split across
// chromosomes and strands; the GTF and GFF3 readers (transcripts grouped
// into genes without gene lines, the counted feature type and the gene
// attribute chosen), gzip input, and the refusal of malformed lines.
#include "bamcount/annotation.h"
#include "bamcount/flatten.h"
#include "tests/support/run.h"

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
    return flatten_genes(read_annotation(dir.write("a.gtf", gtf)).exons, options);
}

// "id name: parts" for every gene.
std::string genes_text(const std::vector<FlatGene>& genes)
{
    std::string out;
    for (const FlatGene& g : genes) out += g.id + " " + g.name + ": " + parts_text(g) + "\n";
    return out;
}

// "chromosome:start-end strand gene_id|gene_name|gene_type|transcript_id"
// for every record.
std::string records_text(const std::vector<ExonRecord>& exons)
{
    std::string out;
    for (const ExonRecord& e : exons)
        out += e.chromosome + ":" + std::to_string(e.start) + "-" + std::to_string(e.end) + " " + e.strand + " " +
               e.gene_id + "|" + e.gene_name + "|" + e.gene_type + "|" + e.transcript_id + "\n";
    return out;
}

// "id type [gene line] type:lines ..." for every gene the annotation knows.
std::string annotated_genes_text(const Annotation& a)
{
    std::string out;
    for (const AnnotatedGene& g : a.genes) {
        out += g.id + " " + g.type + (g.from_gene_line ? " [gene line]" : "");
        for (const auto& [type, lines] : g.leaf_types) out += " " + a.feature_types.at(type) + ":" + std::to_string(lines);
        out += "\n";
    }
    return out;
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
    EXPECT_EQ(genes_text(genes), "A A: 10-19[a1] 20-29[a2]\n"
                                 "B B: 500-500[b1]\n");
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
    EXPECT_EQ(genes_text(flatten_text(gtf, separate)), "X X: 100-160[x1] 400-500[x1]\n"
                                                       "Z Z: 120-180[z1]\n"
                                                       "Y Y: 150-200[y1]\n"
                                                       "W W: 250-300[w1]\n"
                                                       "V V: 5-9[v1]\n");
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
    // IDs with an escaped comma (%2C), which stays inside the ID where a
    // Parent lists several.
    ScratchDir dir;
    const std::string gff = "##gff-version 3\n"
                            "1\tsrc\tgene\t100\t400\t.\t+\t.\tID=gene:G%2C1;Name=ABC%3B1;biotype=protein_coding;gene_id=G1\n"
                            "1\tsrc\tmRNA\t100\t400\t.\t+\t.\tID=transcript:T1;Parent=gene:G%2C1;transcript_id=T1\n"
                            "1\tsrc\texon\t100\t150\t.\t+\t.\tParent=transcript:T1,transcript:T%2C2\n"
                            "1\tsrc\texon\t300\t400\t.\t+\t.\tParent=transcript:T1\n"
                            "1\tsrc\tmRNA\t100\t200\t.\t+\t.\tID=transcript:T%2C2;Parent=gene:G%2C1;transcript_id=T2\n"
                            "##FASTA\n>1\nACGT\n";
    const auto exons = read_annotation(dir.write("a.gff3", gff)).exons;
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
    const auto genes = flatten_genes(read_annotation(path).exons, {});
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
}

TEST(Flatten, GenesOnSeveralChromosomesOrStrandsBecomeOneGenePerPieceBeforeMerging)
{
    // SHOX on chrX and chrY (+); on chrX its piece shares 150-200 with
    // OTHER. G on both strands of chrX. H whole on chrY.
    const std::string gtf = gtf_exon("chrX", 100, 200, '+', "SHOX", "s1", " gene_name \"Shox\";") +
                            gtf_exon("chrY", 100, 200, '+', "SHOX", "s1", " gene_name \"Shox\";") +
                            gtf_exon("chrX", 150, 250, '+', "OTHER", "o1") +
                            gtf_exon("chrX", 500, 600, '-', "G", "g1") + gtf_exon("chrX", 700, 800, '+', "G", "g2") +
                            gtf_exon("chrY", 300, 400, '-', "H", "h1") +
                            gtf_exon("chrY", 150, 160, '+', "SHOX", "s2", " gene_name \"Shox\";");
    EXPECT_EQ(genes_text(flatten_text(gtf)),
              "SHOX@chrX(plus)+OTHER Shox@chrX(plus)+OTHER: 100-149[s1] 150-200[o1,s1] 201-250[o1]\n"
              "G@chrX(minus) G@chrX(minus): 500-600[g1]\n"
              "G@chrX(plus) G@chrX(plus): 700-800[g2]\n"
              "SHOX@chrY(plus) Shox@chrY(plus): 100-149[s1] 150-160[s1,s2] 161-200[s1]\n"
              "H H: 300-400[h1]\n");
    FlattenOptions apart;
    apart.merge = false;
    EXPECT_EQ(genes_text(flatten_text(gtf, apart)),
              "SHOX@chrX(plus) Shox@chrX(plus): 100-200[s1]\n"
              "OTHER OTHER: 150-250[o1]\n"
              "G@chrX(minus) G@chrX(minus): 500-600[g1]\n"
              "G@chrX(plus) G@chrX(plus): 700-800[g2]\n"
              "SHOX@chrY(plus) Shox@chrY(plus): 100-149[s1] 150-160[s1,s2] 161-200[s1]\n"
              "H H: 300-400[h1]\n");
}

TEST(Annotation, Gff3TranscriptsWithoutGeneLinesGroupByTheGeneTheyName)
{
    // gffread's and genome browsers' GFF3: transcripts without Parent,
    // their gene in geneID, gene_id or gene; T5 names none; T7 names a gene
    // line by its ID.
    ScratchDir dir;
    const std::string gff = "##gff-version 3\n"
                            "c\tsrc\ttranscript\t100\t300\t.\t+\t.\tID=T1;geneID=G1;gene_name=Alpha\n"
                            "c\tsrc\texon\t100\t200\t.\t+\t.\tParent=T1\n"
                            "c\tsrc\texon\t250\t300\t.\t+\t.\tParent=T1\n"
                            "c\tsrc\ttranscript\t150\t220\t.\t+\t.\tID=T2;geneID=G1\n"
                            "c\tsrc\texon\t150\t220\t.\t+\t.\tParent=T2\n"
                            "c\tsrc\tmRNA\t500\t600\t.\t-\t.\tID=T3;gene_id=G2;transcript_id=tr3;biotype=lncRNA\n"
                            "c\tsrc\texon\t500\t600\t.\t-\t.\tParent=T3\n"
                            "c\tsrc\tmRNA\t700\t800\t.\t-\t.\tID=T4;gene=G3;Name=ignored\n"
                            "c\tsrc\texon\t700\t800\t.\t-\t.\tParent=T4\n"
                            "c\tsrc\tmRNA\t900\t950\t.\t+\t.\tID=T5;Name=Five\n"
                            "c\tsrc\texon\t900\t950\t.\t+\t.\tParent=T5\n"
                            "c\tsrc\tgene\t1000\t1100\t.\t+\t.\tID=gene7;Name=Seven\n"
                            "c\tsrc\tmRNA\t1000\t1100\t.\t+\t.\tID=T7;geneID=gene7\n"
                            "c\tsrc\texon\t1000\t1100\t.\t+\t.\tParent=T7\n";
    const Annotation a = read_annotation(dir.write("a.gff3", gff));
    EXPECT_EQ(records_text(a.exons), "c:100-200 + G1|Alpha||T1\n"
                                     "c:250-300 + G1|Alpha||T1\n"
                                     "c:150-220 + G1|G1||T2\n"
                                     "c:500-600 - G2|G2|lncRNA|tr3\n"
                                     "c:700-800 - G3|G3||T4\n"
                                     "c:900-950 + T5|Five||T5\n"
                                     "c:1000-1100 + gene7|Seven||T7\n");
    // Without merging, G1 is still one gene: its transcripts are not genes
    // of their own.
    FlattenOptions apart;
    apart.merge = false;
    EXPECT_EQ(genes_text(flatten_genes(a.exons, apart)), "G1 Alpha: 100-149[T1] 150-200[T1,T2] 201-220[T2] 250-300[T1]\n"
                                                         "G2 G2: 500-600[tr3]\n"
                                                         "G3 G3: 700-800[T4]\n"
                                                         "T5 Five: 900-950[T5]\n"
                                                         "gene7 Seven: 1000-1100[T7]\n");
}

namespace {

// NCBI's bacterial GFF3: protein-coding genes hold a CDS directly, an RNA
// gene a transcript with an exon; a region line and a pseudogene besides.
const std::string kBacterial =
    "##gff-version 3\n"
    "NC\tRefSeq\tregion\t1\t5000\t.\t+\t.\tID=NC:1..5000;Dbxref=taxon:511145\n"
    "NC\tRefSeq\tgene\t190\t255\t.\t+\t.\tID=gene-b0001;Name=thrL;gene=thrL;gene_biotype=protein_coding;locus_tag=b0001\n"
    "NC\tRefSeq\tCDS\t190\t255\t.\t+\t0\tID=cds-NP_414542.1;Parent=gene-b0001;gene=thrL;locus_tag=b0001\n"
    "NC\tRefSeq\tgene\t337\t2799\t.\t+\t.\tID=gene-b0002;Name=thrA;gene=thrA;gene_biotype=protein_coding;locus_tag=b0002\n"
    "NC\tRefSeq\tCDS\t337\t1000\t.\t+\t0\tID=cds-NP_414543.1;Parent=gene-b0002;gene=thrA;locus_tag=b0002\n"
    "NC\tRefSeq\tCDS\t1000\t2799\t.\t+\t0\tID=cds-NP_414543.1;Parent=gene-b0002;gene=thrA;locus_tag=b0002\n"
    "NC\tRefSeq\tgene\t3000\t3076\t.\t-\t.\tID=gene-b0003;Name=thrW;gene_biotype=tRNA;locus_tag=b0003\n"
    "NC\tRefSeq\ttRNA\t3000\t3076\t.\t-\t.\tID=rna-b0003;Parent=gene-b0003;gene=thrW;locus_tag=b0003\n"
    "NC\tRefSeq\texon\t3000\t3076\t.\t-\t.\tID=exon-b0003-1;Parent=rna-b0003;gene=thrW;locus_tag=b0003\n"
    "NC\tRefSeq\tpseudogene\t4000\t4100\t.\t+\t.\tID=gene-b0004;Name=yzgL;gene_biotype=pseudogene;locus_tag=b0004\n"
    "NC\tRefSeq\tCDS\t4000\t4100\t.\t+\t0\tID=cds-b0004;Parent=gene-b0004;locus_tag=b0004;pseudo=true\n";

} // namespace

TEST(Annotation, TheFeatureTypeAndTheGeneAttributeChooseWhatCountsAndForWhom)
{
    ScratchDir dir;
    const std::string path = dir.write("bacterial.gff3", kBacterial);
    const struct {
        AnnotationOptions options;
        std::string records; // records_text of the counted features
        std::string genes;   // annotated_genes_text
    } cases[] = {
        // The genes and what they hold besides: a transcript holding an exon
        // contains features rather than being one.
        {{},
         "NC:3000-3076 - gene-b0003|thrW|tRNA|rna-b0003\n",
         "gene-b0001 protein_coding [gene line] CDS:1\n"
         "gene-b0002 protein_coding [gene line] CDS:2\n"
         "gene-b0003 tRNA [gene line]\n"
         "gene-b0004 pseudogene [gene line] CDS:1\n"},
        // A CDS whose Parent is its gene: the gene is its transcript too.
        {{"CDS", ""},
         "NC:190-255 + gene-b0001|thrL|protein_coding|gene-b0001\n"
         "NC:337-1000 + gene-b0002|thrA|protein_coding|gene-b0002\n"
         "NC:1000-2799 + gene-b0002|thrA|protein_coding|gene-b0002\n"
         "NC:4000-4100 + gene-b0004|yzgL|pseudogene|gene-b0004\n",
         "gene-b0001 protein_coding [gene line]\n"
         "gene-b0002 protein_coding [gene line]\n"
         "gene-b0003 tRNA [gene line] exon:1\n"
         "gene-b0004 pseudogene [gene line]\n"},
        // The gene attribute on the feature's own line: it names the genes.
        {{"CDS", "locus_tag"},
         "NC:190-255 + b0001|b0001|protein_coding|gene-b0001\n"
         "NC:337-1000 + b0002|b0002|protein_coding|gene-b0002\n"
         "NC:1000-2799 + b0002|b0002|protein_coding|gene-b0002\n"
         "NC:4000-4100 + b0004|b0004|pseudogene|gene-b0004\n",
         "b0001 protein_coding [gene line]\n"
         "b0002 protein_coding [gene line]\n"
         "b0003 tRNA [gene line] exon:1\n"
         "b0004 pseudogene [gene line]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.feature_type + " " + c.options.gene_attribute);
        const Annotation a = read_annotation(path, c.options);
        EXPECT_EQ(records_text(a.exons), c.records);
        EXPECT_EQ(annotated_genes_text(a), c.genes);
    }
}

TEST(Annotation, TheGeneAttributeIsLookedUpOnTheFeatureThenItsTranscriptThenItsGene)
{
    ScratchDir dir;
    const std::string gff = "##gff-version 3\n"
                            "c\ts\tgene\t1\t100\t.\t+\t.\tID=g1;Name=One;family=F1;gene_name=GeneOne;biotype=coding\n"
                            "c\ts\tmRNA\t1\t100\t.\t+\t.\tID=t1;Parent=g1\n"
                            "c\ts\texon\t1\t50\t.\t+\t.\tParent=t1\n"
                            "c\ts\tmRNA\t1\t100\t.\t+\t.\tID=t2;Parent=g1;family=F2\n"
                            "c\ts\texon\t60\t100\t.\t+\t.\tParent=t2,t1\n"
                            "c\ts\texon\t70\t90\t.\t+\t.\tParent=t2;family=F3;gene_name=Three\n"
                            "c\ts\texon\t200\t210\t.\t-\t.\tfamily=F4\n";
    const Annotation a = read_annotation(dir.write("a.gff3", gff), {"exon", "family"});
    EXPECT_EQ(records_text(a.exons), "c:1-50 + F1|GeneOne|coding|t1\n"
                                     "c:60-100 + F2|F2|coding|t2\n"
                                     "c:60-100 + F1|GeneOne|coding|t1\n"
                                     "c:70-90 + F3|Three|coding|t2\n"
                                     "c:200-210 - F4|F4||F4\n");

    // GTF: the attribute of the line; a feature without transcript_id is
    // its gene's own, as a GFF3 feature whose Parent is a gene.
    const std::string gtf =
        "c\tt\tgene\t1\t300\t.\t+\t.\tgene_id \"E1\"; gene_name \"ONE\";\n"
        "c\tt\texon\t1\t100\t.\t+\t.\tgene_id \"E1\"; transcript_id \"T1\"; gene_name \"ONE\";\n"
        "c\tt\tCDS\t10\t90\t.\t+\t0\tgene_id \"E1\"; transcript_id \"T1\"; gene_name \"ONE\";\n"
        "c\tt\tCDS\t210\t290\t.\t+\t0\tgene_id \"E2\"; gene_name \"ONE\"; gene_type \"protein_coding\";\n";
    const Annotation g = read_annotation(dir.write("a.gtf", gtf), {"CDS", "gene_name"});
    EXPECT_EQ(records_text(g.exons), "c:10-90 + ONE|ONE||T1\nc:210-290 + ONE|ONE|protein_coding|ONE\n");
    EXPECT_EQ(genes_text(flatten_genes(g.exons, {})), "ONE ONE: 10-90[T1] 210-290[ONE]\n");
    EXPECT_EQ(annotated_genes_text(g), "ONE  [gene line] exon:1\n");

    const std::string none = dir.write("none.gff3", "##gff-version 3\nc\ts\tmRNA\t1\t9\t.\t+\t.\tID=t\n"
                                                    "c\ts\texon\t1\t9\t.\t+\t.\tParent=t\n");
    EXPECT_EXIT(read_annotation(none, {"exon", "family"}), ::testing::ExitedWithCode(2),
                "annotation file '" + none + "', line 3, field 9 \\(attributes\\): expected a family attribute "
                "\\(--gene-attribute\\) on the feature, its Parent or that one's Parent\n");
}
