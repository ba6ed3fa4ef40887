#include "bamcount/design_sheet.h"

#include "cli/diag.h"
#include "tables/design_lines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

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

SampleSheet read_sample_sheet(const std::string& path)
{
    const FileName name{"sample sheet", path};
    SampleSheet sheet;
    const std::vector<DesignLine> lines =
        read_design_lines(name, "sample", [&](const LineFields& cells, const std::string& of) {
            const LineFields::Named file{"alignment file", of};
            if (cells.size() < 3) cells.refuse(2, file, "a tab and the sample's BAM, CRAM or SAM file");
            if (cells[2].empty()) cells.refuse(2, file, "the path of a BAM, CRAM or SAM file");
            const std::string alignments(cells[2]);
            if (const int error = unreadable(alignments); error != 0)
                cells.refuse(2, file, "a BAM, CRAM or SAM file that can be read",
                             quote_token(alignments) + " (" + std::strerror(error) + ")");
            sheet.files.push_back(alignments);
        });
    for (const DesignLine& l : lines) {
        sheet.samples.push_back(l.sample);
        sheet.conditions.push_back(l.condition);
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
