// simcounts: a deterministic synthetic dataset of per-position RNA-seq read
// counts, in the layout mfit, lvcmp and isocmp read, with the effects it
// planted listed beside it, so that the statistical programs can be run at
// full size and checked against a known truth. The options, the help and the
// run; the plan and the files are made in plan.cpp and dataset.cpp.
#include "cli/diag.h"
#include "cli/named_options.h"
#include "simcounts/dataset.h"
#include "simcounts/plan.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

const char kHelp[] =
    "usage: simcounts [options]\n"
    "Writes a synthetic per-position RNA-seq count dataset with planted effects.\n"
    "\n"
    "options (each also accepted as --name=value):\n"
    "  --seed N              random seed, any 64-bit unsigned integer (default 1)\n"
    "  --num-genes N         number of genes, 1..1000000 (default 18773); --genes N, with one\n"
    "                        number, is read as --num-genes N, as in earlier versions (in mfit,\n"
    "                        lvcmp and isocmp --genes=FIRST-LAST is a range of genes instead)\n"
    "  --conditions N        number of conditions, 1..1000 (default 6)\n"
    "  --replicates N        samples per condition, 1..100, at most 1000 samples in all;\n"
    "                        writes design.tsv and names conditions c1, c2, ... in truth.tsv\n"
    "                        (default: one sample per condition, numbered, no design.tsv)\n"
    "  --out DIR             output directory, created if missing (default .)\n"
    "  --planted-genes F     fraction of genes given a change of level, 0..1 (default 0.05)\n"
    "  --planted-exons F     fraction of exons given a change of share, 0..1 (default 0.03)\n"
    "  --scale F             multiply every exon length by F, 0 < F <= 100 (default 1)\n"
    "  --rows N              choose the exon length scale so that about N rows are written,\n"
    "                        1..2000000000 (cannot be combined with --scale)\n"
    "  --depth F             multiply every expression level by F, 0 < F <= 1000000 (default 1)\n"
    "  --depths A,B,...      one more factor per condition on its every level (unequal\n"
    "                        sequencing depths), each 0 < F <= 1000 (default all 1)\n"
    "  --sample-cv F         between-sample variation: each gene's level in each sample\n"
    "                        times an independent log-normal factor of mean 1 and\n"
    "                        coefficient of variation F, 0..10 (default 0: none)\n"
    "  --exon-cv F           the same for each exon's share within its gene, the gene's\n"
    "                        level kept, 0..10 (default 0: none)\n"
    "  --help, -h            print this text and exit\n"
    "\n"
    "simcounts runs on one thread; unlike the other programs it takes no --threads.\n"
    "\n"
    "files written into DIR (a sample is a condition, or with --replicates one of its\n"
    "replicates; each has its own library size and --sample-cv/--exon-cv factors):\n"
    "  reads.txt    chromosome position strand count_1 .. count_C, one line per position\n"
    "               with a read in some sample\n"
    "  exon_zb.txt  exon_id first_row last_row length (rows 1-based in reads.txt;\n"
    "               last_row = first_row - 1 for an exon without rows)\n"
    "  gene_zb.txt  gene_id first_exon last_exon length (exons 1-based in exon_zb.txt)\n"
    "  gtt.txt      general_total poisson_total, one line per sample: both the\n"
    "               sample's drawn reads (so they follow library size and --depths)\n"
    "  truth.tsv    header, then per planted effect the tab-separated columns\n"
    "               kind (gene|exon), index (1-based line in gene_zb/exon_zb), id,\n"
    "               condition_a (reference), condition_b (changed), effect (factor\n"
    "               applied to condition_b's rate, in all its samples: fold change\n"
    "               b over a); the variation of --sample-cv and --exon-cv is noise,\n"
    "               never listed\n"
    "  design.tsv   with --replicates only: the header sample<TAB>condition, then per\n"
    "               sample in column order c1_r1<TAB>c1, c1_r2<TAB>c1, ..., c2_r1<TAB>c2, ...\n"
    "\n"
    "prints one line: num_reads=R num_conditions=C num_exons=E num_genes=G, C the\n"
    "number of samples (count columns)\n";

// --depths: comma-separated factors, each above 0 and at most 1000.
std::vector<double> depth_list(NamedOptions& in)
{
    const std::string text = in.value();
    std::vector<double> depths;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        double f = 0;
        if (!real_number_in(item, 0, 1000, f) || f == 0)
            in.refuse("--depths expects numbers above 0 and at most 1000 separated by commas, found " +
                      quote_token(item.empty() ? text : item));
        depths.push_back(f);
        if (comma == std::string::npos) return depths;
        start = comma + 1;
    }
}

// --num-genes, or --genes as it was first named: a count. The other
// programs' --genes=FIRST-LAST, a range, is refused as such.
std::uint64_t gene_count(NamedOptions& in)
{
    const std::string name = in.current();
    const std::string text = in.value();
    std::int64_t n = 0;
    if (whole_number_in(text, 1, 1000000, n)) return static_cast<std::uint64_t>(n);
    if (name == "--genes" && text.find('-', 1) != std::string::npos)
        in.refuse("--genes in simcounts is the number of genes, as --num-genes, not a range of genes as in mfit, "
                  "lvcmp and isocmp; found " + quote_token(text));
    in.refuse(name + " expects a whole number from 1 to 1000000, found " + quote_token(text));
}

Settings parse(int argc, char** argv)
{
    Settings s;
    bool scale_given = false;
    NamedOptions in(argc, argv);
    while (in.next()) {
        const std::string& arg = in.current();
        if (arg == "--help" || arg == "-h") {
            in.no_value();
            std::fputs(kHelp, stdout);
            close_standard_output();
            std::exit(0);
        } else if (!in.is_option()) {
            in.refuse("unexpected argument " + quote_token(arg));
        } else if (arg == "--seed") {
            s.seed = in.unsigned_number(0, UINT64_MAX);
        } else if (arg == "--num-genes" || arg == "--genes") {
            s.genes = gene_count(in);
        } else if (arg == "--conditions") {
            s.conditions = static_cast<std::uint64_t>(in.whole_number(1, 1000));
        } else if (arg == "--replicates") {
            s.replicates = static_cast<std::uint64_t>(in.whole_number(1, 100));
            s.replicates_given = true;
        } else if (arg == "--out") {
            s.out = in.value();
            if (s.out.empty()) in.refuse("--out expects a folder name");
        } else if (arg == "--planted-genes") {
            s.planted_genes = in.real_number(0, 1);
        } else if (arg == "--planted-exons") {
            s.planted_exons = in.real_number(0, 1);
        } else if (arg == "--scale") {
            s.scale = in.real_number_above(0, 100);
            scale_given = true;
        } else if (arg == "--rows") {
            s.rows = static_cast<std::uint64_t>(in.whole_number(1, 2000000000));
        } else if (arg == "--depth") {
            s.depth = in.real_number_above(0, 1000000);
        } else if (arg == "--depths") {
            s.depths = depth_list(in);
        } else if (arg == "--sample-cv") {
            s.sample_cv = in.real_number(0, 10);
        } else if (arg == "--exon-cv") {
            s.exon_cv = in.real_number(0, 10);
        } else if (arg == "--threads") {
            in.refuse("--threads is not an option: the dataset is drawn on one thread");
        } else {
            in.refuse("unknown option " + quote_token(arg));
        }
    }
    if (scale_given && s.rows != 0) in.refuse("--scale and --rows cannot be combined");
    if (s.columns() > 1000)
        in.refuse("--conditions " + std::to_string(s.conditions) + " with --replicates " +
                  std::to_string(s.replicates) + " gives " + std::to_string(s.columns()) +
                  " samples, more than 1000");
    if (!s.depths.empty() && s.depths.size() != s.conditions)
        in.refuse("--depths gives " + std::to_string(s.depths.size()) + " factors for " +
                  std::to_string(s.conditions) + " conditions");
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    set_program_name("simcounts");
    stop_when_out_of_memory();
    const Settings s = parse(argc, argv);
    std::error_code error;
    std::filesystem::create_directories(s.out, error);
    if (error) fail_input("cannot create the output folder '" + s.out + "': " + error.message());
    if (!std::filesystem::is_directory(s.out, error)) fail_input("'" + s.out + "' is not a folder");

    const Plan plan = make_plan(s);
    const DatasetSizes sizes = write_dataset(s, plan);
    std::printf("num_reads=%lld num_conditions=%llu num_exons=%zu num_genes=%zu\n", static_cast<long long>(sizes.rows),
                static_cast<unsigned long long>(s.columns()), sizes.exons, sizes.genes);
    close_standard_output();
    return 0;
}
