// bamcount: from aligned reads and a gene annotation to the pipeline's count
// tables. One BAM, CRAM or SAM file per column of the tables (a condition, or
// a sample of one with replicates), in column order.
#include "bamcount/annotation.h"
#include "bamcount/condition_names.h"
#include "bamcount/counting.h"
#include "bamcount/design_sheet.h"
#include "bamcount/flatten.h"
#include "bamcount/layout.h"
#include "bamcount/next_steps.h"
#include "bamcount/tables_writer.h"
#include "bamcount/uncounted_genes.h"
#include "cli/diag.h"
#include "cli/named_options.h"
#include "cli/runoptions.h"
#include "tables/file_identity.h"

#include <htslib/hts_log.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

const char kHelp[] =
    "usage: bamcount --gtf ANNOTATION --out DIR [options] ALIGNMENTS...\n"
    "       bamcount --gtf ANNOTATION --out DIR --design SHEET [options]\n"
    "Counts the reads of one BAM, CRAM or SAM file per condition (in condition order) at the exonic\n"
    "positions of an annotation and writes the count tables that mfit, lvcmp and isocmp read. With\n"
    "replicates each file is a sample, a column of the tables, and --design or --groups says which\n"
    "samples are replicates of which condition.\n"
    "\n"
    "options (each also accepted as --name=value):\n"
    "  --gtf FILE           the annotation: GTF (Ensembl or GENCODE) or GFF3, plain or gzip-compressed\n"
    "  --out DIR            output folder, created if missing\n"
    "  --names A,B,...      the conditions' (samples') names, one per alignment file, unique, one word\n"
    "                       each; by default each file's name without .bam/.cram/.sam, with its\n"
    "                       folder's name and '_' before it when those repeat, else condition_1,\n"
    "                       condition_2, ...\n"
    "  --groups A,A,B,B     the condition of each alignment file, one word each, at least two\n"
    "                       conditions: the files are samples, and those of one condition replicates\n"
    "  --design SHEET       the samples, in place of ALIGNMENTS and --names: a tab-separated file with\n"
    "                       an optional header line 'sample condition file', then a line per sample in\n"
    "                       column order: its name, its condition's name and its alignment file (a\n"
    "                       path relative to the current folder, not to the sheet's); at least two\n"
    "                       conditions\n"
    "  --strand S           the library's strandedness: unstranded (default), forward (the read, or a\n"
    "                       pair's first mate, lies on the gene's strand) or reverse (the opposite,\n"
    "                       as in dUTP protocols)\n"
    "  --min-mapq N         skip alignments of mapping quality below N (default 0)\n"
    "  --multi              also count alignments of reads that align more than once (NH tag above 1);\n"
    "                       by default they are skipped\n"
    "  --keep-duplicates    also count records flagged as duplicates (skipped by default)\n"
    "  --types T1,T2        keep only genes of these types (gene_type, gene_biotype or biotype), such as\n"
    "                       protein_coding\n"
    "  --no-merge           do not merge genes of one strand that share exonic positions; a shared\n"
    "                       position then counts in each gene\n"
    "  --feature-type TYPE  the annotation lines whose positions are counted (default exon; CDS for\n"
    "                       annotations of CDS lines only, as bacterial GFF3 files)\n"
    "  --gene-attribute A   the attribute naming a feature's gene (default: gene_id in GTF; in GFF3 the\n"
    "                       gene its Parent transcript names, else the transcript's geneID, gene_id or\n"
    "                       gene); looked up on the feature's line, then its Parent's, then theirs\n"
    "  --refuse-split-genes refuse a gene whose exons lie on more than one chromosome or strand; by\n"
    "                       default each piece is a gene of its own, named gene_id@chromosome(strand)\n"
    "                       with the strand as a word (SHOX@chrX(plus), SHOX@chrY(plus); minus,\n"
    "                       unstranded)\n"
    "  --coverage           count every aligned base instead of each read's 5' end\n"
    "  --reference FASTA    the reference sequence, for CRAM files that need one\n"
    "  --threads N          the threads to work with, as mfit's, lvcmp's and isocmp's --threads=N\n"
    "                       (default: every hardware thread): the files are read one after another,\n"
    "                       each decompressed on N threads while one more counts its reads; 1 does\n"
    "                       both on one thread\n"
    "  --help, -h           print this text and exit\n"
    "\n"
    "A read counts once, at its 5' end; a pair counts once, as a fragment, at its first mate's 5' end.\n"
    "Secondary, supplementary, QC-failed and unmapped records are never counted.\n"
    "\n"
    "files written into DIR:\n"
    "  reads.txt     chromosome (the annotation's, numbered by first appearance), 1-based position,\n"
    "                strand (1 +, -1 -, 0 none), then one count per condition; one line per exonic\n"
    "                position with a count in some condition, grouped by gene and exonic part\n"
    "  exon_zb.txt   exon_id first_row last_row length, one line per exonic part\n"
    "  gene_zb.txt   gene_id first_exon last_exon length\n"
    "  gtt.txt       the reads counted in each condition, as both totals\n"
    "  size_factors.txt\n"
    "                depth totals in gtt's format, less swayed by a few dominant genes: each\n"
    "                condition's median over the genes with reads in every condition of the gene's\n"
    "                count over its geometric mean across conditions, times the mean counted total\n"
    "                (the counted totals, with a warning, when no gene has reads in every\n"
    "                condition); give it to lvcmp or sigtable in place of gtt.txt to use it\n"
    "  features.tsv  each gene and exon number with the annotation's gene id, name, chromosome,\n"
    "                start, end, strand and transcripts, the gene's number and the length; merged\n"
    "                genes' ids and names joined with '+', transcripts with ',', each with '%',\n"
    "                '+', ',' and control bytes written %XX (%2B)\n"
    "  summary.tsv   every condition's records by what became of them; second_mate counts the second\n"
    "                mates of pairs whose first mate is mapped (the fragment is counted, or not, at\n"
    "                the first mate's record)\n"
    "  conditions.tsv\n"
    "                each condition's (sample's) number, name and alignment file\n"
    "  design.tsv    with --design or --groups: each sample's name and condition, in column order,\n"
    "                for sigtable --design, which compares the conditions\n";

struct Options {
    std::string gtf, out;
    std::vector<std::string> inputs, names;
    // Each sample's condition, with --design or --groups; else empty.
    std::vector<std::string> groups;
    CountSettings counting;
    FlattenOptions flatten;
    AnnotationOptions annotation;
};

// An option that takes no value: it sets one setting to `value`.
struct Switch {
    std::string_view name;
    bool& setting;
    bool value;
};

Options parse(int argc, char** argv)
{
    Options o;
    bool given_names = false;
    std::string design;
    o.counting.threads = hardware_threads();
    const Switch switches[] = {
        {"--multi", o.counting.unique_only, false},
        {"--keep-duplicates", o.counting.keep_duplicates, true},
        {"--coverage", o.counting.coverage, true},
        {"--no-merge", o.flatten.merge, false},
        {"--refuse-split-genes", o.flatten.refuse_split, true},
    };
    NamedOptions in(argc, argv);
    while (in.next()) {
        const std::string& arg = in.current();
        const Switch* const switched =
            std::find_if(std::begin(switches), std::end(switches), [&](const Switch& s) { return s.name == arg; });
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (!in.is_option()) {
            o.inputs.push_back(arg); // an alignment file named -h is given as ./-h
        } else if (switched != std::end(switches)) {
            in.no_value();
            switched->setting = switched->value;
        } else if (arg == "--gtf") {
            o.gtf = in.value();
        } else if (arg == "--out") {
            o.out = in.value();
        } else if (arg == "--strand") {
            const std::string s = in.value();
            if (s == "unstranded") o.counting.strandedness = Strandedness::unstranded;
            else if (s == "forward") o.counting.strandedness = Strandedness::forward;
            else if (s == "reverse") o.counting.strandedness = Strandedness::reverse;
            else in.refuse("--strand expects unstranded, forward or reverse, found " + quote_token(s));
        } else if (arg == "--min-mapq") {
            o.counting.min_mapq = static_cast<int>(in.whole_number(0, 255));
        } else if (arg == "--threads") {
            o.counting.threads = static_cast<int>(in.whole_number(1, kMaxThreads));
        } else if (arg == "--feature-type") {
            o.annotation.feature_type = in.value();
            if (o.annotation.feature_type.empty()) in.refuse("--feature-type expects a feature type, such as exon or CDS");
        } else if (arg == "--gene-attribute") {
            o.annotation.gene_attribute = in.value();
            if (o.annotation.gene_attribute.empty())
                in.refuse("--gene-attribute expects an attribute name, such as gene_id or locus_tag");
        } else if (arg == "--names") {
            given_names = true;
            o.names = split_names(in.value());
        } else if (arg == "--groups") {
            o.groups = split_names(in.value());
            if (!design.empty()) in.refuse("give either --design or --groups, not both");
        } else if (arg == "--design") {
            design = in.value();
            if (design.empty()) in.refuse("--design expects a file: the samples, their conditions and files");
            if (!o.groups.empty()) in.refuse("give either --design or --groups, not both");
        } else if (arg == "--types") {
            for (std::string& type : split_list(in.value(), ',')) o.flatten.keep_types.insert(std::move(type));
        } else if (arg == "--reference") {
            o.counting.reference = in.value();
        } else {
            in.refuse("unknown option " + quote_token(arg));
        }
    }
    if (o.gtf.empty()) in.refuse("--gtf is required");
    if (o.out.empty()) in.refuse("--out is required");
    if (!design.empty()) {
        if (!o.inputs.empty())
            in.refuse("--design lists the alignment files: give none after the options, found " +
                      quote_token(o.inputs[0]));
        if (given_names) in.refuse("--design names the samples: give no --names with it");
        SampleSheet sheet = read_sample_sheet(design);
        o.inputs = std::move(sheet.files);
        o.names = std::move(sheet.samples);
        o.groups = std::move(sheet.conditions);
        return o;
    }
    if (o.inputs.empty()) in.refuse("no alignment files given: one per condition");
    for (const std::string& input : o.inputs)
        if (input.find_first_of("\t\n\r") != std::string::npos) {
            std::string shown;
            for (char c : input) shown += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
            fail_input(describe({"alignment file", shown}) +
                       ": its path holds a tab or line break, which conditions.tsv and summary.tsv cannot list");
        }
    if (given_names) {
        if (const std::string problem = names_problem(o.names, o.inputs.size()); !problem.empty()) in.refuse(problem);
    } else {
        o.names = default_condition_names(o.inputs);
    }
    if (!o.groups.empty())
        if (const std::string problem = groups_problem(o.groups, o.inputs.size()); !problem.empty()) in.refuse(problem);
    return o;
}

// The records of every condition by what became of them, a column per
// condition headed by its name, as wide as the name needs.
void print_summary(const std::vector<ConditionCounts>& conditions, const std::vector<std::string>& names)
{
    std::vector<int> widths;
    for (const std::string& name : names) widths.push_back(static_cast<int>(std::max<std::size_t>(14, name.size())));
    auto row = [&](const char* label, auto value) {
        std::printf("%-26s", label);
        for (std::size_t c = 0; c < conditions.size(); ++c)
            std::printf(" %*llu", widths[c], static_cast<unsigned long long>(value(conditions[c])));
        std::printf("\n");
    };
    std::printf("%-26s", "records");
    for (std::size_t c = 0; c < names.size(); ++c) std::printf(" %*s", widths[c], names[c].c_str());
    std::printf("\n");
    for (int r = 0; r < kReasons; ++r) row(kReasonNames[r], [r](const ConditionCounts& c) { return c.records[r]; });
    row("counted", [](const ConditionCounts& c) { return c.counted; });
    std::printf("\n");
}
} // namespace

int main(int argc, char** argv)
{
    set_program_name("bamcount");
    // Every refusal is one line of our own; htslib's notes would add more.
    // (The lines it writes with perror while it looks for a CRAM file's
    // reference, which no log level governs, are silenced in counting.cpp.)
    hts_set_log_level(HTS_LOG_OFF);
    const Options o = parse(argc, argv);
    std::error_code error;
    std::filesystem::create_directories(o.out, error);
    if (error) fail_input("cannot create the output folder '" + o.out + "': " + error.message());

    // A table named like an input is refused now, not after hours of counting.
    record_opened_path({"annotation file", o.gtf});
    for (const std::string& input : o.inputs) record_opened_path({"alignment file", input});
    for (const FileName& table : TableFiles(o.out).all(!o.groups.empty())) refuse_if_already_open(table);

    const Annotation annotation = read_annotation(o.gtf, o.annotation);
    std::vector<FlatGene> genes = flatten_genes(annotation.exons, o.flatten);
    if (genes.empty())
        fail_input("annotation file '" + o.gtf + "': " +
                   nothing_counted(annotation, o.flatten.keep_types, o.annotation.feature_type));
    warn_uncounted_genes(annotation, o.flatten.keep_types, o.annotation.feature_type);
    const CountLayout layout(std::move(genes));

    std::vector<ConditionCounts> conditions;
    for (std::size_t c = 0; c < o.inputs.size(); ++c)
        conditions.push_back(count_alignments({"alignment file", o.inputs[c]}, layout, o.counting));

    const TableSizes sizes = write_tables(o.out, layout, conditions, o.inputs, o.names, o.groups);
    print_summary(conditions, o.names);
    const std::string bin = program_folder(argc > 0 ? argv[0] : nullptr);
    std::printf("next steps:\n%s", next_steps(bin, o.out, sizes, !o.groups.empty()).c_str());
    close_standard_output();
    return 0;
}
