#include "tables/design_lines.h"

#include "tables/textin.h"

#include <algorithm>
#include <unordered_map>

bool has_blank(std::string_view name) { return std::any_of(name.begin(), name.end(), InputFile::is_separator); }

std::vector<DesignLine> read_design_lines(
    const FileName& file, std::string_view unit,
    const std::function<void(const LineFields& cells, const std::string& context)>& further)
{
    std::vector<DesignLine> lines;
    InputFile input = InputFile::open(file);
    LineFields cells(input, Split::tabs);
    std::unordered_map<std::string, std::size_t> number_of; // a sample's name to its number, from 1
    bool first = true;
    while (cells.next_line()) {
        if (cells.size() == 1 && cells[0].empty()) continue;
        const bool header = first && cells.size() >= 2 && cells[0] == "sample" && cells[1] == "condition";
        first = false;
        if (header) continue;
        const std::string number = std::string(unit) + " " + std::to_string(lines.size() + 1);
        const std::string of = " of " + number;
        const LineFields::Named sample{"sample name", of}, condition{"condition name", of};
        if (cells.size() < 2) cells.refuse(1, condition, "a tab and the sample's condition");
        if (cells[0].empty() || has_blank(cells[0])) cells.refuse(0, sample, "a name without blanks");
        if (cells[1].empty() || has_blank(cells[1])) cells.refuse(1, condition, "a name without blanks");
        // The tables' columns, and the plots, are told apart by their
        // samples' names: two alike would make one sample of two columns.
        DesignLine line{std::string(cells[0]), std::string(cells[1]), cells.line()};
        if (const auto it = number_of.find(line.sample); it != number_of.end())
            cells.refuse(0, sample,
                         "a name of its own, not that of " + std::string(unit) + " " + std::to_string(it->second));
        if (further) further(cells, of);
        number_of.emplace(line.sample, lines.size() + 1);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> distinct_conditions(const std::vector<std::string>& conditions)
{
    std::vector<std::string> distinct;
    for (const std::string& c : conditions)
        if (std::find(distinct.begin(), distinct.end(), c) == distinct.end()) distinct.push_back(c);
    return distinct;
}
