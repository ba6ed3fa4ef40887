#include "sigtable/features_file.h"

#include "sigtable/whole_file.h"
#include "tables/textin.h"

#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kGeneIndex = 9, kLength = 10;

// The cells of one line of features.tsv, with the refusal in the words of
// every table reader: "features file 'p', line L, field F (<name> of
// feature N): expected ..., found ...".
struct FeatureLine {
    const FileName& name;
    const char* const* names;
    std::uint64_t line;
    std::int64_t feature;
    const std::vector<std::string_view>& cells;

    [[noreturn]] void refuse(std::size_t k, std::string_view expected) const
    {
        fail_input(describe(name) + ", line " + std::to_string(line) + ", field " + std::to_string(k + 1) + " (" +
                   names[k] + " of feature " + std::to_string(feature) + "): expected " + std::string(expected) +
                   ", found " + (k < cells.size() ? quote_token(cells[k]) : std::string("the end of the line")));
    }
    std::int32_t index(std::size_t k) const
    {
        std::int32_t v = 0;
        switch (parse_int32(cells[k], v)) {
        case IntParse::ok: break;
        case IntParse::out_of_range: refuse(k, "an integer from -2147483648 to 2147483647");
        case IntParse::not_integer: refuse(k, "an integer");
        }
        return v;
    }
    std::int64_t non_negative(std::size_t k) const
    {
        std::int64_t v = 0;
        if (parse_int64(cells[k], v) != IntParse::ok || v < 0) refuse(k, "a non-negative integer");
        return v;
    }
};

// The cells' names in messages, as the file's own header calls them.
constexpr const char* kOldNames[] = {"kind", "id", "gene", "gene_name", "chromosome", "start", "end", "strand"};
constexpr const char* kNewNames[] = {"kind",  "index", "gene_id", "gene_name",  "chromosome", "start",
                                     "end",   "strand", "transcripts", "gene_index", "length"};

} // namespace

Features read_features(const std::string& path)
{
    Features f;
    f.file = {"features file", path};
    f.given = true;
    const std::string text = read_whole(f.file);
    std::int64_t feature = 0;
    for_each_tab_line(text, [&](std::uint64_t line, const std::vector<std::string_view>& cells) {
        if (line == 1) {
            // The header: a file without one would lose its first feature.
            if (cells[0] != "kind")
                fail_input(describe(f.file) + ", line 1, field 1 (header): expected 'kind', found " +
                           quote_token(cells[0]));
            f.with_lengths = cells.size() > kLength && cells[kGeneIndex] == "gene_index" && cells[kLength] == "length";
            return;
        }
        if (cells.size() == 1 && cells[0].empty()) return;
        const FeatureLine c{f.file, f.with_lengths ? kNewNames : kOldNames, line, ++feature, cells};
        const std::size_t needed = f.with_lengths ? kLength + 1 : 8;
        if (cells.size() < needed) c.refuse(cells.size(), "a tab-separated field");
        if (cells[0] != "gene" && cells[0] != "exon") c.refuse(0, "'gene' or 'exon'");
        const std::int32_t index = c.index(1);
        c.non_negative(5);
        c.non_negative(6);
        if (cells[7] != "+" && cells[7] != "-" && cells[7] != ".") c.refuse(7, "'+', '-' or '.'");
        Feature& to = (cells[0] == "gene" ? f.genes : f.exons)[index];
        to = {std::string(cells[2]), std::string(cells[3]), std::string(cells[4]),
              std::string(cells[5]), std::string(cells[6]), std::string(cells[7])};
        if (f.with_lengths) {
            const std::int64_t gene_index = c.non_negative(kGeneIndex);
            if (gene_index > 2147483647) c.refuse(kGeneIndex, "an integer from 0 to 2147483647");
            to.gene_index = static_cast<std::int32_t>(gene_index);
            to.length = c.non_negative(kLength);
        }
    });
    return f;
}
