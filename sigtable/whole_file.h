// Reading a small text input of sigtable whole (features.tsv,
// conditions.tsv) and splitting it into tab-separated cells. These files
// hold names that may contain spaces, so they are split at tabs here rather
// than into InputFile's whitespace-separated tokens.
#pragma once

#include "cli/diag.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A file opened for reading, closed once when it goes out of scope; a name
// that cannot be opened is refused with "cannot open", as InputFile does.
class OpenedFile {
public:
    explicit OpenedFile(const FileName& name);
    ~OpenedFile();
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// The whole text of a file, opened and read as InputFile does it: a name
// that cannot be opened is refused with "cannot open", a folder (which
// opens but cannot be read) with "cannot read ...: Is a directory", and the
// file is recorded among the run's inputs, so that no output may overwrite
// it.
std::string read_whole(const FileName& name);

// Calls `line(number, cells)` for every line of `text` (numbered from 1),
// its cells split at tabs; a last line without its line end counts too.
template <class Line>
void for_each_tab_line(const std::string& text, Line&& line)
{
    std::vector<std::string_view> cells;
    std::uint64_t number = 0;
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        const std::string_view row(text.data() + from, end - from);
        from = end + 1;
        ++number;
        cells.clear();
        for (std::size_t at = 0;;) {
            const std::size_t tab = row.find('\t', at);
            cells.push_back(row.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at));
            if (tab == std::string_view::npos) break;
            at = tab + 1;
        }
        line(number, static_cast<const std::vector<std::string_view>&>(cells));
    }
}
