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
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
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
    "                    to the mean depth of the conditions\n"
    "  --sort            order the rows by padj (NA last), then pvalue\n"
    "  --fdr X           keep only rows with padj at most X\n"
    "  --plots DIR       write a volcano and an MA plot per pair of conditions into DIR, as SVG and,\n"
    "                    where rsvg-convert is installed, PNG\n"
    "  --alpha X         padj at or below which plots mark a point significant (default 0.05)\n"
    "  --help            print this text and exit\n";

double fraction(const NamedOptions& in, const std::string& value)
{
    double v = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || !(v >= 0 && v <= 1))
        in.refuse(in.current() + " expects a number from 0 to 1, found " + quote_token(value));
    return v;
}

// The table's text goes to a plain file or through gzip.
class TableSink {
public:
    explicit TableSink(const std::string& path) : name_{"table file", path}
    {
        if (path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0) {
            gz_ = gzopen(path.c_str(), "wb");
            if (!gz_) fail_open(name_, "create", errno ? errno : ENOMEM);
        } else {
            plain_.emplace_back(OutputFile::create(name_));
        }
    }
    void write(const std::string& text)
    {
        if (gz_) {
            if (!text.empty() && gzwrite(gz_, text.data(), static_cast<unsigned>(text.size())) <= 0)
                fail_write(name_, errno ? errno : EIO);
        } else {
            plain_.front().text(text);
        }
    }
    void close()
    {
        if (gz_) {
            if (gzclose(gz_) != Z_OK) fail_write(name_, errno ? errno : EIO);
            gz_ = nullptr;
        } else {
            plain_.front().close();
        }
    }

private:
    FileName name_;
    gzFile gz_ = nullptr;
    std::vector<OutputFile> plain_;
};

} // namespace

int main(int argc, char** argv)
{
    set_program_name("sigtable");
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
        else if (arg == "--fdr") fdr = fraction(in, in.value());
        else if (arg == "--alpha") alpha = fraction(in, in.value());
        else if (arg == "--sort") {
            in.no_value();
            sort = true;
        } else in.refuse("unknown argument " + quote_token(arg));
    }
    if (stats_path.empty()) in.refuse("--stats is required");
    if (out_path.empty()) in.refuse("--out is required");

    const StatsFile stats = read_stats(stats_path);
    const Features features = features_path.empty() ? Features{} : read_features(features_path);
    const std::vector<double> totals = gtt_path.empty() ? std::vector<double>{} : read_poisson_totals(gtt_path);
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
