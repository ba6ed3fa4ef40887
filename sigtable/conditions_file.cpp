#include "sigtable/conditions_file.h"

#include "tables/design_lines.h"
#include "tables/line_fields.h"
#include "tables/textin.h"

#include <string_view>

namespace {

constexpr const char* kCellNames[] = {"number", "name", "file"};

} // namespace

ConditionNames read_condition_names(const std::string& path)
{
    ConditionNames result{{"conditions file", path}, {}};
    InputFile input = InputFile::open(result.file);
    LineFields cells(input, Split::tabs);
    while (cells.next_line()) {
        if (cells.line() == 1) {
            // Without its header the file would lose its first condition.
            if (cells[0] != "condition") cells.refuse(0, {"header"}, "'condition'");
            continue;
        }
        if (cells.size() == 1 && cells[0].empty()) continue;
        const std::string number = std::to_string(result.names.size() + 1);
        const std::string of = " of condition " + number;
        auto cell = [&](std::size_t k) { return LineFields::Named{kCellNames[k], of}; };
        if (cells.size() < 3) cells.refuse(cells.size(), cell(cells.size()), "a tab-separated field");
        std::int32_t c = 0;
        if (parse_int32(cells[0], c) != IntParse::ok || std::to_string(c) != number)
            cells.refuse(0, cell(0), number + " (the conditions in order from 1)");
        if (cells[1].empty() || has_blank(cells[1])) cells.refuse(1, cell(1), "a name without blanks");
        // The table's rows and the plots name conditions by these names:
        // two alike would read as one condition compared with itself.
        for (std::size_t c = 0; c < result.names.size(); ++c)
            if (result.names[c] == cells[1])
                cells.refuse(1, cell(1), "a name of its own, not that of condition " + std::to_string(c + 1));
        result.names.emplace_back(cells[1]);
    }
    return result;
}

std::string condition_label(const ConditionNames* names, int c)
{
    if (names && c >= 1 && static_cast<std::size_t>(c) <= names->names.size()) return names->names[c - 1];
    return std::to_string(c);
}

std::string condition_phrase(const ConditionNames* names, int c)
{
    if (names && c >= 1 && static_cast<std::size_t>(c) <= names->names.size()) return names->names[c - 1];
    return "condition " + std::to_string(c);
}
