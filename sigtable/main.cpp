// sigtable: from the statistics files of lvcmp and isocmp to ranked,
// annotated tables with p-values and false-discovery-rate adjusted
// p-values, and volcano and MA plots per pair of conditions.
#include "diag.h"
#include "named_options.h"
#include "plots.h"
#include "pvalues.h"
#include "results_table.h"
#include "stats_file.h"
#include "textout.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>
#include <zlib.h>

namespace {

const char kHelp[] =
    "usage: sigtable --stats FILE --out TABLE [options]\n"
    "Turns a statistics file of lvcmp (a gene's level between two conditions) or of isocmp (an exon's\n"
    "share of its gene), with or without the permutation fields, into a tab-separated table with a\n"
    "header: per comparison the estimates, a log2 fold change, both likelihood-ratio statistics with\n"
    "their chi-square p-values (1 degree of freedom), the permutation p-value from the gamma null when\n"
    "the file has it, and Benjamini-Hochberg adjusted p-values within each pair of conditions.\n"
    "Comparisons without a valid statistic carry NA.\n"
    "\n"
    "options (each also accepted as --name=value):\n"
    "  --stats FILE      the statistics file (lvcmpgene_re or isocmp_re)\n"
    "  --out TABLE       the table to write; gzip-compressed when the name ends in .gz\n"
    "  --features FILE   features.tsv from bamcount: adds gene ids, names and coordinates\n"
    "  --gtt FILE        the totals file: lvcmp's log2 fold changes and means are then normalised\n"
    "                    to the mean depth of the conditions; it must hold a pair of totals for\n"
    "                    every condition the statistics file compares\n"
    "  --sort            order the rows by padj (NA last), then pvalue\n"
    "  --fdr X           keep only rows with padj at most X\n"
    "  --plots DIR       write a volcano and an MA plot per pair of conditions into DIR, as SVG and,\n"
    "                    where rsvg-convert is installed, PNG\n"
    "  --alpha X         padj at or below which plots mark a point significant (default 0.05)\n"
    "  --help            print this text and exit\n";

// The table's text goes to its OutputFile as it is or, for a name ending
// in .gz, compressed here into the gzip format first (deflate with the gzip
// wrapper). Either way the file is created, checked against the run's other
// files, written and finished by OutputFile, like every output of the
// pipeline.
class TableSink {
public:
    explicit TableSink(const std::string& path)
        : out_(OutputFile::create({"table file", path})),
          gzip_(path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0)
    {
        // Window bits 15 + 16: the largest window, with a gzip header and trailer.
        if (gzip_ && deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            fail_write(out_.name(), ENOMEM);
    }
    ~TableSink()
    {
        if (gzip_) deflateEnd(&z_);
    }
    // zlib's stream state points back at z_, which must not move.
    TableSink(const TableSink&) = delete;
    TableSink& operator=(const TableSink&) = delete;

    void write(std::string_view text)
    {
        if (!gzip_) {
            out_.text(text);
            return;
        }
        // avail_in counts 32 bits.
        constexpr std::size_t kPiece = std::size_t(1) << 30;
        for (std::size_t from = 0; from < text.size(); from += kPiece)
            compress(text.substr(from, kPiece), Z_NO_FLUSH);
    }
    void close()
    {
        if (gzip_) compress({}, Z_FINISH);
        out_.close();
    }

private:
    // Runs deflate over `text` and hands all it gives to the file; with
    // Z_FINISH, to the end of the stream.
    void compress(std::string_view text, int flush)
    {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        z_.avail_in = static_cast<uInt>(text.size());
        do {
            z_.next_out = reinterpret_cast<Bytef*>(block_);
            z_.avail_out = sizeof block_;
            // Only a misused stream gives Z_STREAM_ERROR; Z_BUF_ERROR just
            // says there was nothing to do.
            if (deflate(&z_, flush) == Z_STREAM_ERROR) fail_write(out_.name(), EINVAL);
            out_.text(std::string_view(block_, sizeof block_ - z_.avail_out));
        } while (z_.avail_out == 0);
    }

    OutputFile out_;
    bool gzip_;
    z_stream z_{};
    char block_[1 << 16];
};

int run(int argc, char** argv)
{
    std::string stats_path, out_path, features_path, gtt_path, plots_dir;
    bool sort = false;
    double fdr = NAN, alpha = 0.05;
    NamedOptions in(argc, argv);
    while (in.next()) {
        const std::string& arg = in.current();
        if (arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--stats") stats_path = in.value();
        else if (arg == "--out") out_path = in.value();
        else if (arg == "--features") features_path = in.value();
        else if (arg == "--gtt") gtt_path = in.value();
        else if (arg == "--plots") plots_dir = in.value();
        else if (arg == "--fdr") fdr = in.real_number(0, 1);
        else if (arg == "--alpha") alpha = in.real_number(0, 1);
        else if (arg == "--sort") {
            in.no_value();
            sort = true;
        } else in.refuse("unknown argument " + quote_token(arg));
    }
    if (stats_path.empty()) in.refuse("--stats is required");
    if (out_path.empty()) in.refuse("--out is required");

    const StatsFile stats = read_stats(stats_path);
    const Features features = features_path.empty() ? Features{} : read_features(features_path);
    const std::vector<double> totals =
        gtt_path.empty() ? std::vector<double>{} : read_poisson_totals(gtt_path, stats);
    std::vector<ResultRow> rows = compute_results(stats, totals);
    if (sort) sort_by_padj(rows);

    TableSink table(out_path);
    table.write(header_line(stats, features));
    std::string chunk;
    for (const ResultRow& r : rows) {
        if (!std::isnan(fdr) && !(r.padj <= fdr)) continue;
        chunk += row_line(stats, features, r);
        if (chunk.size() > (1u << 20)) {
            table.write(chunk);
            chunk.clear();
        }
    }
    table.write(chunk);
    table.close();

    if (!plots_dir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(plots_dir, error);
        if (error) fail_input("cannot create the plots folder '" + plots_dir + "': " + error.message());
        std::map<std::pair<int, int>, std::vector<const ResultRow*>> pairs;
        for (const ResultRow& r : rows) pairs[{r.source->a, r.source->b}].push_back(&r);
        const std::string what = stats.kind == StatsKind::level ? "level" : "exon share";
        bool png = true;
        for (const auto& [pair, members] : pairs) {
            const std::string tag = std::to_string(pair.first) + "_" + std::to_string(pair.second);
            const std::string title = "conditions " + std::to_string(pair.second) + " against " +
                                      std::to_string(pair.first) + " (" + what + ")";
            Plot volcano{"Volcano plot, " + title, "log2 fold change", "-log10 p-value", "", {}};
            Plot ma{"MA plot, " + title, "log10 mean", "log2 fold change", "", {}};
            int significant = 0;
            for (const ResultRow* r : members) {
                const bool s = r->padj <= alpha;
                significant += s;
                volcano.points.push_back({r->log2_fold_change, -std::log10(std::max(r->pvalue, 1e-300)), s});
                ma.points.push_back({std::log10(r->base_mean), r->log2_fold_change, s});
            }
            char legend[96];
            std::snprintf(legend, sizeof legend, "padj <= %g: %d of %zu", alpha, significant, members.size());
            volcano.legend = ma.legend = legend;
            png &= write_plot(plots_dir + "/volcano_" + tag, volcano);
            png &= write_plot(plots_dir + "/ma_" + tag, ma);
        }
        if (!png) warn("rsvg-convert could not be run: the plots are written as SVG only");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    set_program_name("sigtable");
    stop_when_out_of_memory();
    // The p-values catch what Boost.Math throws, and a failed allocation
    // ends the run; anything else still ends in one line, not an abort.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        warn(std::string("internal error: ") + e.what());
        stop_program(1);
    }
}
