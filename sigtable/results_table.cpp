#include "results_table.h"

#include "diag.h"
#include "file_identity.h"
#include "pvalues.h"
#include "textin.h"
#include "totals.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

std::string number(double v)
{
    if (!std::isfinite(v)) return "NA";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

// The whole text of a file, opened and read as InputFile does it: a name
// that cannot be opened is refused with "cannot open", a folder (which
// opens but cannot be read) with "cannot read ...: Is a directory", and the
// file is recorded among the run's inputs, so that no output may overwrite
// it. features.tsv is split here, at its tabs, rather than into InputFile's
// whitespace tokens, because its names may hold spaces.
std::string read_whole(const FileName& name)
{
    struct Descriptor {
        int fd;
        ~Descriptor()
        {
            if (fd >= 0) ::close(fd);
        }
    } file{::open(name.path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) fail_open(name, "open", errno);
    record_opened_file(name, file.fd);
    std::string text;
    for (;;) {
        const std::size_t old_size = text.size();
        text.resize(old_size + (std::size_t(1) << 16));
        const ssize_t got = ::read(file.fd, text.data() + old_size, text.size() - old_size);
        const int error = errno;
        text.resize(old_size + static_cast<std::size_t>(got > 0 ? got : 0));
        if (got == 0) break;
        if (got < 0 && error != EINTR) fail_open(name, "read", error);
    }
    return text;
}

// The cells of one line of features.tsv, with the refusal in the words of
// every table reader: "features file 'p', line L, field F (<name> of
// feature N): expected ..., found ...".
struct FeatureLine {
    const FileName& name;
    std::uint64_t line;
    std::int64_t feature;
    const std::vector<std::string_view>& cells;

    static constexpr const char* kNames[] = {"kind", "id", "gene", "gene_name", "chromosome", "start", "end", "strand"};

    [[noreturn]] void refuse(std::size_t k, std::string_view expected) const
    {
        fail_input(describe(name) + ", line " + std::to_string(line) + ", field " + std::to_string(k + 1) + " (" +
                   kNames[k] + " of feature " + std::to_string(feature) + "): expected " + std::string(expected) +
                   ", found " + (k < cells.size() ? quote_token(cells[k]) : std::string("the end of the line")));
    }
    std::int32_t id(std::size_t k) const
    {
        std::int32_t v = 0;
        switch (parse_int32(cells[k], v)) {
        case IntParse::ok: break;
        case IntParse::out_of_range: refuse(k, "an integer from -2147483648 to 2147483647");
        case IntParse::not_integer: refuse(k, "an integer");
        }
        return v;
    }
    void coordinate(std::size_t k) const
    {
        std::int64_t v = 0;
        if (parse_int64(cells[k], v) != IntParse::ok || v < 0) refuse(k, "a non-negative integer");
    }
};

} // namespace

Features read_features(const std::string& path)
{
    const FileName name{"features file", path};
    const std::string text = read_whole(name);
    Features f;
    f.given = true;
    std::vector<std::string_view> cells;
    std::uint64_t line = 0;
    std::int64_t feature = 0;
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        const std::string_view row(text.data() + from, end - from);
        from = end + 1;
        ++line;
        cells.clear();
        for (std::size_t at = 0;;) {
            const std::size_t tab = row.find('\t', at);
            cells.push_back(row.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at));
            if (tab == std::string_view::npos) break;
            at = tab + 1;
        }
        if (line == 1) {
            // The header: a file without one would lose its first feature.
            if (cells[0] != "kind")
                fail_input(describe(name) + ", line 1, field 1 (header): expected 'kind', found " +
                           quote_token(cells[0]));
            continue;
        }
        if (row.empty()) continue;
        const FeatureLine c{name, line, ++feature, cells};
        if (cells.size() < 8) c.refuse(cells.size(), "a tab-separated field");
        if (cells[0] != "gene" && cells[0] != "exon") c.refuse(0, "'gene' or 'exon'");
        const std::int32_t id = c.id(1);
        c.coordinate(5);
        c.coordinate(6);
        if (cells[7] != "+" && cells[7] != "-" && cells[7] != ".") c.refuse(7, "'+', '-' or '.'");
        (cells[0] == "gene" ? f.genes : f.exons)[id] = {std::string(cells[2]), std::string(cells[3]),
                                                        std::string(cells[4]), std::string(cells[5]),
                                                        std::string(cells[6]), std::string(cells[7])};
    }
    return f;
}

std::vector<double> read_poisson_totals(const std::string& path)
{
    InputFile file = InputFile::open({"gtt file", path});
    const TotalsTable table = read_all_totals(file);
    std::vector<double> totals;
    for (std::int32_t c = 1; c <= table.conditions; ++c) totals.push_back(table.poisson_total[c]);
    return totals;
}

std::vector<double> read_poisson_totals(const std::string& path, const StatsFile& stats)
{
    std::vector<double> totals = read_poisson_totals(path);
    if (totals.size() < static_cast<std::size_t>(stats.conditions)) {
        const std::string held = std::to_string(totals.size()) + (totals.size() == 1 ? " condition" : " conditions");
        fail_input(describe({"gtt file", path}) + " holds the totals of " + held + ", but " + describe(stats.name) +
                   " compares conditions up to " + std::to_string(stats.conditions));
    }
    return totals;
}

std::vector<ResultRow> compute_results(const StatsFile& stats, const std::vector<double>& totals)
{
    double mean_total = 0;
    for (double t : totals) mean_total += t / static_cast<double>(totals.size());
    std::vector<ResultRow> rows;
    for (const StatsRow& s : stats.rows) {
        ResultRow r{&s, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN};
        if (stats.kind == StatsKind::level) {
            // The gene's mean count per condition, scaled to the mean depth.
            auto depth = [&](int c) {
                return c >= 1 && static_cast<std::size_t>(c) <= totals.size() ? totals[c - 1] / mean_total : 1.0;
            };
            r.effect_a = s.estimates[2] * s.length / depth(s.a);
            r.effect_b = s.estimates[3] * s.length / depth(s.b);
            r.base_mean = (r.effect_a + r.effect_b) / 2;
        } else {
            // The exon's share of its gene's reads.
            r.effect_a = s.estimates[4] * s.length / (s.estimates[5] * s.gene_length);
            r.effect_b = s.estimates[6] * s.length / (s.estimates[7] * s.gene_length);
            r.base_mean = (s.estimates[4] + s.estimates[6]) / 2 * s.length;
        }
        r.log2_fold_change = std::log2(r.effect_b / r.effect_a);
        r.pvalue = chi_square_upper(s.stat);
        r.pvalue_poisson = chi_square_upper(s.stat_poisson);
        if (s.has_null) r.pvalue_permutation = gamma_upper(s.stat, s.null_shape, s.null_scale);
        rows.push_back(r);
    }
    // Adjusted within each pair of conditions.
    std::map<std::pair<int, int>, std::vector<std::size_t>> pairs;
    for (std::size_t k = 0; k < rows.size(); ++k) pairs[{rows[k].source->a, rows[k].source->b}].push_back(k);
    for (const auto& [pair, members] : pairs) {
        for (auto [p, q] : {std::pair{&ResultRow::pvalue, &ResultRow::padj},
                            {&ResultRow::pvalue_poisson, &ResultRow::padj_poisson},
                            {&ResultRow::pvalue_permutation, &ResultRow::padj_permutation}}) {
            std::vector<double> values;
            for (std::size_t k : members) values.push_back(rows[k].*p);
            const std::vector<double> adjusted = benjamini_hochberg(values);
            for (std::size_t m = 0; m < members.size(); ++m) rows[members[m]].*q = adjusted[m];
        }
    }
    return rows;
}

void sort_by_padj(std::vector<ResultRow>& rows)
{
    auto key = [](double v) { return std::isnan(v) ? INFINITY : v; };
    std::stable_sort(rows.begin(), rows.end(), [&](const ResultRow& x, const ResultRow& y) {
        if (key(x.padj) != key(y.padj)) return key(x.padj) < key(y.padj);
        return key(x.pvalue) < key(y.pvalue);
    });
}

std::string header_line(const StatsFile& stats, const Features& features)
{
    const bool level = stats.kind == StatsKind::level;
    std::string h = level ? "gene_id" : "exon_id\tgene_id";
    if (features.given) h += "\tgene\tgene_name\tchromosome\tstart\tend\tstrand";
    h += "\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\tstat_poisson\tpvalue_poisson"
         "\tpadj_poisson";
    if (stats.permutation) h += "\tpvalue_permutation\tpadj_permutation";
    h += level ? "\tmean_a\tmean_b\tlambda_a\tlambda_b\tlength" : "\tshare_a\tshare_b\texon_length\tgene_length";
    return h + "\n";
}

std::string row_line(const StatsFile& stats, const Features& features, const ResultRow& r)
{
    const StatsRow& s = *r.source;
    const bool level = stats.kind == StatsKind::level;
    std::string line = level ? std::to_string(s.id) : std::to_string(s.id) + "\t" + std::to_string(s.gene_id);
    if (features.given) {
        const auto& table = level ? features.genes : features.exons;
        const auto it = table.find(s.id);
        if (it == table.end()) {
            line += "\tNA\tNA\tNA\tNA\tNA\tNA";
        } else {
            const Feature& f = it->second;
            for (const std::string* cell : {&f.gene, &f.gene_name, &f.chromosome, &f.start, &f.end, &f.strand})
                line += "\t" + *cell;
        }
    }
    line += "\t" + std::to_string(s.a) + "\t" + std::to_string(s.b);
    for (double v : {r.base_mean, r.log2_fold_change, s.stat, r.pvalue, r.padj, s.stat_poisson, r.pvalue_poisson,
                     r.padj_poisson})
        line += "\t" + number(v);
    if (stats.permutation) line += "\t" + number(r.pvalue_permutation) + "\t" + number(r.padj_permutation);
    line += "\t" + number(r.effect_a) + "\t" + number(r.effect_b);
    if (level) {
        line += "\t" + number(s.estimates[0]) + "\t" + number(s.estimates[1]) + "\t" + std::to_string(s.length);
    } else {
        line += "\t" + std::to_string(s.length) + "\t" + std::to_string(s.gene_length);
    }
    return line + "\n";
}
