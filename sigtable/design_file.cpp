#include "sigtable/design_file.h"

#include "tables/design_lines.h"

#include <algorithm>
#include <string_view>

namespace {

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
    const std::vector<DesignLine> lines = read_design_lines(d.file, "column");
    std::vector<std::string> conditions;
    for (const DesignLine& l : lines) conditions.push_back(l.condition);
    d.conditions = distinct_conditions(conditions);
    for (const DesignLine& l : lines) {
        d.samples.push_back(l.sample);
        d.condition_of.push_back(static_cast<int>(
            std::find(d.conditions.begin(), d.conditions.end(), l.condition) - d.conditions.begin() + 1));
        d.line_of.push_back(l.line);
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
