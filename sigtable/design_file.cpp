#include "sigtable/design_file.h"

#include "tables/line_fields.h"
#include "tables/textin.h"

#include <string_view>
#include <unordered_map>

namespace {

bool has_blank(std::string_view name)
{
    for (char ch : name)
        if (InputFile::is_separator(ch)) return true;
    return false;
}

// "<design file>, line L, field F (<what>): expected <expected>, found <found>",
// for the checks made once the whole file is read.
[[noreturn]] void refuse_cell(const Design& d, std::uint64_t line, int field, std::string_view what,
                              const std::string& expected, std::string_view found)
{
    fail_input(describe(d.file) + ", line " + std::to_string(line) + ", field " + std::to_string(field) + " (" +
               std::string(what) + "): expected " + expected + ", found " + quote_token(found));
}

} // namespace

std::vector<int> Design::members(int c) const
{
    std::vector<int> columns;
    for (int s = 1; s <= num_samples(); ++s)
        if (condition_of[static_cast<std::size_t>(s - 1)] == c) columns.push_back(s);
    return columns;
}

Design read_design(const std::string& path)
{
    Design d;
    d.file = {"design file", path};
    InputFile input = InputFile::open(d.file);
    LineFields cells(input, Split::tabs);
    std::unordered_map<std::string, int> sample_of, condition_number;
    bool first = true;
    while (cells.next_line()) {
        if (cells.size() == 1 && cells[0].empty()) continue;
        if (first && cells.size() >= 2 && cells[0] == "sample" && cells[1] == "condition") {
            first = false;
            continue;
        }
        first = false;
        const std::string of = " of column " + std::to_string(d.samples.size() + 1);
        const LineFields::Named sample{"sample name", of}, condition{"condition name", of};
        if (cells.size() < 2) cells.refuse(1, condition, "a tab and the sample's condition");
        if (cells[0].empty() || has_blank(cells[0])) cells.refuse(0, sample, "a name without blanks");
        if (cells[1].empty() || has_blank(cells[1])) cells.refuse(1, condition, "a name without blanks");
        const std::string name(cells[0]);
        // The tables name rows and plots by sample; two alike would make
        // one sample of two columns.
        if (const auto it = sample_of.find(name); it != sample_of.end())
            cells.refuse(0, sample, "a name of its own, not that of column " + std::to_string(it->second));
        sample_of.emplace(name, d.num_samples() + 1);
        const auto [it, added] = condition_number.emplace(std::string(cells[1]), d.num_conditions() + 1);
        if (added) d.conditions.emplace_back(cells[1]);
        d.samples.push_back(name);
        d.condition_of.push_back(it->second);
        d.line_of.push_back(cells.line());
    }
    return d;
}

void check_design_testable(const Design& d)
{
    if (d.num_conditions() < 2)
        fail_input(describe(d.file) + " names " + std::to_string(d.num_conditions()) +
                   (d.num_conditions() == 1 ? " condition" : " conditions") +
                   ": expected at least two conditions to compare");
    for (int c = 1; c <= d.num_conditions(); ++c)
        if (d.members(c).size() >= 2) return;
    fail_input(describe(d.file) + " has one sample per condition: expected a condition with at least two "
                                  "samples, whose variation is the test's null (without replicates, leave "
                                  "--design out for the table per pair of samples)");
}

void check_design_columns(const Design& d, int columns, const std::string& columns_source,
                          const std::vector<std::string>& column_names, const std::string& names_source)
{
    if (d.num_samples() > columns)
        refuse_cell(d, d.line_of[static_cast<std::size_t>(columns)], 1, "sample name",
                    "no more than " + std::to_string(columns) + " samples, the columns of " + columns_source,
                    d.samples[static_cast<std::size_t>(columns)]);
    if (d.num_samples() < columns)
        fail_input(describe(d.file) + ": expected " + std::to_string(columns) + " samples, one per column of " +
                   columns_source + ", found " + std::to_string(d.num_samples()));
    for (std::size_t s = 0; s < column_names.size() && s < d.samples.size(); ++s)
        if (column_names[s] != d.samples[s])
            refuse_cell(d, d.line_of[s], 1, "sample name",
                        quote_token(column_names[s]) + ", the name " + names_source + " gives column " +
                            std::to_string(s + 1),
                        d.samples[s]);
}
