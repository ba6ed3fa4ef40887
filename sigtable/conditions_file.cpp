#include "sigtable/conditions_file.h"

#include "sigtable/whole_file.h"
#include "tables/textin.h"

#include <string_view>

namespace {

constexpr const char* kCellNames[] = {"number", "name", "file"};

} // namespace

ConditionNames read_condition_names(const std::string& path)
{
    ConditionNames result{{"conditions file", path}, {}};
    const std::string text = read_whole(result.file);
    for_each_tab_line(text, [&](std::uint64_t line, const std::vector<std::string_view>& cells) {
        auto refuse = [&](std::size_t k, std::string_view expected) {
            fail_input(describe(result.file) + ", line " + std::to_string(line) + ", field " + std::to_string(k + 1) +
                       " (" + (line == 1 ? std::string("header") : kCellNames[k] + std::string(" of condition ") +
                                                                          std::to_string(result.names.size() + 1)) +
                       "): expected " + std::string(expected) + ", found " +
                       (k < cells.size() ? quote_token(cells[k]) : std::string("the end of the line")));
        };
        if (line == 1) {
            // Without its header the file would lose its first condition.
            if (cells[0] != "condition") refuse(0, "'condition'");
            return;
        }
        if (cells.size() == 1 && cells[0].empty()) return;
        if (cells.size() < 3) refuse(cells.size(), "a tab-separated field");
        const std::string number = std::to_string(result.names.size() + 1);
        std::int32_t c = 0;
        if (parse_int32(cells[0], c) != IntParse::ok || std::to_string(c) != number)
            refuse(0, number + " (the conditions in order from 1)");
        bool blank = cells[1].empty();
        for (char ch : cells[1]) blank |= InputFile::is_separator(ch);
        if (blank) refuse(1, "a name without blanks");
        // The table's rows and the plots name conditions by these names:
        // two alike would read as one condition compared with itself.
        for (std::size_t c = 0; c < result.names.size(); ++c)
            if (result.names[c] == cells[1])
                refuse(1, "a name of its own, not that of condition " + std::to_string(c + 1));
        result.names.emplace_back(cells[1]);
    });
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
