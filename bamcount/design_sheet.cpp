#include "bamcount/design_sheet.h"

#include "cli/diag.h"
#include "tables/line_fields.h"
#include "tables/textin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace {

bool has_blank(std::string_view name) { return std::any_of(name.begin(), name.end(), InputFile::is_separator); }

// Why the alignment file at `path` cannot be read, or 0 when it can. A
// missing file is refused while the sheet's line can still be named, not
// after the samples before it have been counted. "-" is standard input.
int unreadable(const std::string& path)
{
    if (path == "-") return 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st {};
    const int error = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    ::close(fd);
    return error;
}

std::string conditions_word(std::size_t n) { return std::to_string(n) + (n == 1 ? " condition" : " conditions"); }

} // namespace

std::vector<std::string> distinct_conditions(const std::vector<std::string>& conditions)
{
    std::vector<std::string> distinct;
    for (const std::string& c : conditions)
        if (std::find(distinct.begin(), distinct.end(), c) == distinct.end()) distinct.push_back(c);
    return distinct;
}

SampleSheet read_sample_sheet(const std::string& path)
{
    const FileName name{"sample sheet", path};
    SampleSheet sheet;
    InputFile input = InputFile::open(name);
    LineFields cells(input, Split::tabs);
    std::unordered_map<std::string, std::size_t> sample_at; // name to its sample number, from 1
    bool first = true;
    while (cells.next_line()) {
        if (cells.size() == 1 && cells[0].empty()) continue;
        const bool header = first && cells.size() >= 2 && cells[0] == "sample" && cells[1] == "condition";
        first = false;
        if (header) continue;
        const std::string of = " of sample " + std::to_string(sheet.samples.size() + 1);
        const LineFields::Named sample{"sample name", of}, condition{"condition name", of}, file{"alignment file", of};
        if (cells.size() < 2) cells.refuse(1, condition, "a tab and the sample's condition");
        if (cells.size() < 3) cells.refuse(2, file, "a tab and the sample's BAM, CRAM or SAM file");
        if (cells[0].empty() || has_blank(cells[0])) cells.refuse(0, sample, "a name without blanks");
        if (cells[1].empty() || has_blank(cells[1])) cells.refuse(1, condition, "a name without blanks");
        if (cells[2].empty()) cells.refuse(2, file, "the path of a BAM, CRAM or SAM file");
        // The tables' columns are told apart by their samples' names.
        const std::string sample_name(cells[0]);
        if (const auto it = sample_at.find(sample_name); it != sample_at.end())
            cells.refuse(0, sample, "a name of its own, not that of sample " + std::to_string(it->second));
        const std::string alignments(cells[2]);
        if (const int error = unreadable(alignments); error != 0)
            cells.refuse(2, file, "a BAM, CRAM or SAM file that can be read",
                         quote_token(alignments) + " (" + std::strerror(error) + ")");
        sample_at.emplace(sample_name, sheet.samples.size() + 1);
        sheet.samples.push_back(sample_name);
        sheet.conditions.emplace_back(cells[1]);
        sheet.files.push_back(alignments);
    }
    if (sheet.samples.empty())
        fail_input(describe(name) +
                   ": expected a line per sample (its name, condition and alignment file), found none");
    if (const std::vector<std::string> distinct = distinct_conditions(sheet.conditions); distinct.size() < 2)
        fail_input(describe(name) + " names " + conditions_word(distinct.size()) + " (" + quote_token(distinct[0]) +
                   "): expected at least two conditions to compare");
    return sheet;
}

std::string groups_problem(const std::vector<std::string>& groups, std::size_t files)
{
    if (groups.size() != files)
        return "--groups gives " + conditions_word(groups.size()) + " for " + std::to_string(files) +
               (files == 1 ? " alignment file" : " alignment files") + ": one per file, in their order";
    for (std::size_t s = 0; s < groups.size(); ++s) {
        if (groups[s].empty()) return "--groups: condition " + std::to_string(s + 1) + " is empty";
        if (has_blank(groups[s]))
            return "--groups: condition " + quote_token(groups[s]) +
                   " holds a blank, tab or line break: a name is one word";
    }
    if (const std::vector<std::string> distinct = distinct_conditions(groups); distinct.size() < 2)
        return "--groups names " + conditions_word(distinct.size()) + " (" + quote_token(distinct[0]) +
               "): expected at least two conditions to compare";
    return {};
}
