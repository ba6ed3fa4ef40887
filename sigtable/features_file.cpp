#include "sigtable/features_file.h"

#include "tables/line_fields.h"
#include "tables/textin.h"

#include <string_view>

namespace {

constexpr std::size_t kGeneIndex = 9, kLength = 10;

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
    InputFile input = InputFile::open(f.file);
    LineFields cells(input, Split::tabs);
    std::int64_t feature = 0;
    while (cells.next_line()) {
        if (cells.line() == 1) {
            // The header: a file without one would lose its first feature.
            if (cells[0] != "kind") cells.refuse(0, {"header"}, "'kind'");
            f.with_lengths = cells.size() > kLength && cells[kGeneIndex] == "gene_index" && cells[kLength] == "length";
            continue;
        }
        if (cells.size() == 1 && cells[0].empty()) continue;
        // Cell k's name in refusals: "<name> of feature N".
        const char* const* names = f.with_lengths ? kNewNames : kOldNames;
        const std::string of = " of feature " + std::to_string(++feature);
        auto cell = [&](std::size_t k) { return LineFields::Named{names[k], of}; };
        const std::size_t needed = f.with_lengths ? kLength + 1 : 8;
        if (cells.size() < needed) cells.refuse(cells.size(), cell(cells.size()), "a tab-separated field");
        if (cells[0] != "gene" && cells[0] != "exon") cells.refuse(0, cell(0), "'gene' or 'exon'");
        const std::int32_t index = cells.integer(1, cell(1));
        cells.non_negative(5, cell(5));
        cells.non_negative(6, cell(6));
        if (cells[7] != "+" && cells[7] != "-" && cells[7] != ".") cells.refuse(7, cell(7), "'+', '-' or '.'");
        Feature& to = (cells[0] == "gene" ? f.genes : f.exons)[index];
        to = {std::string(cells[2]), std::string(cells[3]), std::string(cells[4]),
              std::string(cells[5]), std::string(cells[6]), std::string(cells[7])};
        if (f.with_lengths) {
            const std::int64_t gene_index = cells.non_negative(kGeneIndex, cell(kGeneIndex));
            if (gene_index > 2147483647) cells.refuse(kGeneIndex, cell(kGeneIndex), "an integer from 0 to 2147483647");
            to.gene_index = static_cast<std::int32_t>(gene_index);
            to.length = cells.non_negative(kLength, cell(kLength));
        }
    }
    return f;
}

std::string feature_cells(const Features& features, bool gene, std::int32_t id)
{
    const auto& table = gene ? features.genes : features.exons;
    const auto it = table.find(id);
    if (it == table.end()) return "\tNA\tNA\tNA\tNA\tNA\tNA";
    const Feature& f = it->second;
    std::string cells;
    for (const std::string* cell : {&f.gene_id, &f.gene_name, &f.chromosome, &f.start, &f.end, &f.strand})
        cells += "\t" + *cell;
    return cells;
}
