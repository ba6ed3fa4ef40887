#include "sigtable/extra_tests.h"

#include "tables/line_fields.h"
#include "tables/textin.h"

#include <cmath>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

// A statistic of a further test: -1 says it could not be computed.
double statistic(FieldCursor& f)
{
    const double v = f.real();
    return v == -1 ? NAN : v;
}

void expect_fields(const FileName& name, const LineFields& fields, std::size_t n)
{
    if (fields.size() != n)
        fail_input(describe(name) + ", line " + std::to_string(fields.line()) + ": expected " + std::to_string(n) +
                   " fields, found " + std::to_string(fields.size()));
}

std::string not_belonging(const FileName& file, const StatsFile& stats)
{
    return describe(file) + " does not belong to " + describe(stats.name) + ": ";
}

std::string conditions(int a, int b)
{
    return "conditions " + std::to_string(a) + " and " + std::to_string(b);
}

const char* const kMeanFields[] = {"gene_id", "condition_i", "condition_j", "statistic", "mu_null", "theta_i_null",
                                   "theta_j_null"};
const char* const kRestFields[] = {"exon_id",           "gene_id",     "condition_i", "condition_j",
                                   "gp_statistic", "poisson_statistic", "rho_null"};

// A comparison of isocmp: exon and pair of conditions.
struct Key {
    int exon, a, b;
    bool operator==(const Key&) const = default;
};
struct KeyHash {
    std::size_t operator()(const Key& k) const
    {
        std::uint64_t h = static_cast<std::uint32_t>(k.exon);
        h = h * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint32_t>(k.a);
        h = h * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint32_t>(k.b);
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

} // namespace

MeanTest read_mean_test(const std::string& path, const StatsFile& stats)
{
    MeanTest test;
    test.name = {"mean-test file", path};
    InputFile input = InputFile::open(test.name);
    LineFields fields(input, Split::blanks);
    std::size_t k = 0;
    while (fields.next_line()) {
        expect_fields(test.name, fields, 7);
        FieldCursor f(fields, kMeanFields);
        const int gene = f.integer(), a = f.condition(), b = f.condition();
        const double stat = statistic(f);
        for (int field = 0; field < 3; ++field) f.real();
        const std::string here = "its line " + std::to_string(fields.line()) + " (gene " + std::to_string(gene) +
                                 " in " + conditions(a, b) + ")";
        if (k == stats.rows.size())
            fail_input(not_belonging(test.name, stats) + here + " is past the statistics file's last comparison");
        const StatsRow& s = stats.rows[k];
        if (s.id != gene || s.a != a || s.b != b)
            fail_input(not_belonging(test.name, stats) + here + " stands where the statistics file has gene " +
                       std::to_string(s.id) + " in " + conditions(s.a, s.b) + " (line " + std::to_string(s.line) +
                       ")");
        test.stat.push_back(stat);
        ++k;
    }
    input.close();
    if (k < stats.rows.size()) {
        const StatsRow& s = stats.rows[k];
        fail_input(not_belonging(test.name, stats) + "it ends before gene " + std::to_string(s.id) + " in " +
                   conditions(s.a, s.b) + " (line " + std::to_string(s.line) + " of the statistics file)");
    }
    return test;
}

RestTest read_rest_test(const std::string& path, const StatsFile& stats, const CountTables* tables)
{
    RestTest test;
    test.name = {"rest-test file", path};
    std::unordered_map<Key, std::size_t, KeyHash> row_of;
    row_of.reserve(stats.rows.size());
    for (std::size_t k = 0; k < stats.rows.size(); ++k)
        row_of.emplace(Key{stats.rows[k].id, stats.rows[k].a, stats.rows[k].b}, k);
    std::unordered_map<Key, std::uint64_t, KeyHash> seen; // the line of each comparison
    std::unordered_set<int> genes;                        // those with a line
    std::vector<bool> matched(stats.rows.size(), false);
    InputFile input = InputFile::open(test.name);
    LineFields fields(input, Split::blanks);
    while (fields.next_line()) {
        expect_fields(test.name, fields, 7);
        FieldCursor f(fields, kRestFields);
        RestLine r;
        r.line = fields.line();
        r.exon_id = f.integer();
        r.gene_id = f.integer();
        r.a = f.condition();
        r.b = f.condition();
        r.stat = statistic(f);
        r.stat_poisson = statistic(f);
        f.real();
        const Key key{r.exon_id, r.a, r.b};
        if (const auto [it, fresh] = seen.emplace(key, r.line); !fresh)
            fail_input(describe(test.name) + ", line " + std::to_string(r.line) + ": exon " +
                       std::to_string(r.exon_id) + " in " + conditions(r.a, r.b) + " again (first on line " +
                       std::to_string(it->second) + ")");
        std::int64_t match = -1;
        if (const auto it = row_of.find(key); it != row_of.end()) {
            const StatsRow& s = stats.rows[it->second];
            if (s.gene_id != r.gene_id)
                fail_input(not_belonging(test.name, stats) + "exon " + std::to_string(r.exon_id) + " is in gene " +
                           std::to_string(r.gene_id) + " on its line " + std::to_string(r.line) + " and in gene " +
                           std::to_string(s.gene_id) + " on line " + std::to_string(s.line) +
                           " of the statistics file");
            match = static_cast<std::int64_t>(it->second);
            matched[it->second] = true;
        }
        genes.insert(r.gene_id);
        test.lines.push_back(r);
        test.match.push_back(match);
    }
    input.close();
    // The only exon of its gene has no rest to be set against: isocmp still
    // writes its comparisons, the rest test none.
    auto single_exon = [&](const StatsRow& s) {
        if (s.length == s.gene_length) return true;
        if (!tables) return !genes.contains(s.gene_id);
        const auto g = tables->gene_row.find(s.gene_id);
        return g != tables->gene_row.end() && tables->genes.first_exon[g->second] == tables->genes.last_exon[g->second];
    };
    for (std::size_t k = 0; k < stats.rows.size(); ++k) {
        const StatsRow& s = stats.rows[k];
        if (matched[k] || single_exon(s)) continue;
        fail_input(not_belonging(test.name, stats) + "it has no line for exon " + std::to_string(s.id) + " in " +
                   conditions(s.a, s.b) + " (line " + std::to_string(s.line) + " of the statistics file)");
    }
    return test;
}
