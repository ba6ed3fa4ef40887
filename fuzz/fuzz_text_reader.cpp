// The one reader under every text input (InputFile, with LineFields over
// its lines), checked against a plain reading of the same text done here:
// the first byte gives how the file is read (plain or gzip in each form,
// whole or in chunks), the second what is read (tokens, lines, lines split
// at tabs, lines split at blanks); the rest is the text. What the reader
// hands out, with its line numbers, must be what the text holds, and it
// must refuse the text exactly when a NUL byte is read, and gzip data cut
// short always.
#include "fuzz/fuzz_input.h"
#include "tables/line_fields.h"
#include "tables/textin.h"

#include <string>
#include <vector>

#ifndef TEXTIN_BLOCK_BYTES
#error "the fuzz build sets the reader's block (TEXTIN_BLOCK_BYTES)"
#endif

namespace {

enum class Mode { tokens, lines, tabs, blanks };

// One item as the checks compare them: "line:text", the fields of a line
// joined by a byte no field holds (a tab between cells, a line end between
// words).
std::string item(std::uint64_t line, std::string_view text) { return std::to_string(line) + ":" + std::string(text); }

std::string joined(const LineFields& fields, char between)
{
    std::string out;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) out += between;
        out += fields[k];
    }
    return out;
}

std::vector<std::string> read_items(const std::string& path, Mode mode)
{
    InputFile in = InputFile::open({"fuzz file", path});
    std::vector<std::string> items;
    if (mode == Mode::tokens) {
        for (std::string_view token; in.next(token);) items.push_back(item(in.line(), token));
        return items;
    }
    if (mode == Mode::lines) {
        for (std::string_view line; in.next_line(line);) items.push_back(item(in.line(), line));
        return items;
    }
    LineFields fields(in, mode == Mode::tabs ? Split::tabs : Split::blanks);
    while (fields.next_line()) items.push_back(item(fields.line(), joined(fields, mode == Mode::tabs ? '\t' : '\n')));
    return items;
}

// The same from the text itself; false when the reader must refuse it.
bool expected_items(std::string_view text, Mode mode, std::vector<std::string>& items)
{
    if (mode == Mode::tokens) {
        std::uint64_t line = 1;
        for (std::size_t p = 0; p < text.size();) {
            if (InputFile::is_separator(text[p])) {
                line += text[p++] == '\n';
                continue;
            }
            std::size_t end = p;
            while (end < text.size() && !InputFile::is_separator(text[end])) ++end;
            // A token longer than a block is handed out cut to it, and only
            // that much of it is read.
            const std::string_view token = text.substr(p, std::min<std::size_t>(end - p, TEXTIN_BLOCK_BYTES));
            if (token.find('\0') != std::string_view::npos) return false;
            items.push_back(item(line, token));
            p = end;
        }
        return true;
    }
    if (text.find('\0') != std::string_view::npos) return false;
    std::uint64_t line = 0;
    for (std::size_t p = 0; p < text.size();) {
        const std::size_t end = std::min(text.find('\n', p), text.size());
        std::string_view row = text.substr(p, end - p);
        p = end + 1;
        ++line;
        if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
        if (mode == Mode::lines) {
            items.push_back(item(line, row));
            continue;
        }
        std::string fields;
        bool any = false;
        if (mode == Mode::tabs) {
            fields = row;
        } else {
            for (std::size_t q = 0; q < row.size();) {
                if (InputFile::is_separator(row[q])) {
                    ++q;
                    continue;
                }
                std::size_t e = q;
                while (e < row.size() && !InputFile::is_separator(row[e])) ++e;
                fields += (any ? "\n" : "") + std::string(row.substr(q, e - q));
                any = true;
                q = e;
            }
            if (!any) continue; // lines without a field are passed over
        }
        items.push_back(item(line, fields));
    }
    return true;
}

} // namespace

FUZZ_TARGET("fuzz_text_reader")
{
    const fuzz::Reading reading = bytes.take_reading();
    const Mode mode = static_cast<Mode>(bytes.take(3));
    std::vector<std::string> got;
    const bool taken = fuzz::accepts_rest(bytes, reading, [&](const std::string& path) { got = read_items(path, mode); });
    // The fuzzer's own deflate data holds a text not known here.
    if (reading.gzip == fuzz::Gzip::raw) return;
    if (reading.gzip == fuzz::Gzip::cut) {
        fuzz::check(!taken, "gzip data cut short is refused");
        return;
    }
    std::vector<std::string> expected;
    const bool readable = expected_items(bytes.rest(), mode, expected);
    fuzz::check(taken == readable, "a text refused exactly when a NUL byte is read");
    if (taken) fuzz::check(got == expected, "the text's tokens, lines or fields with their line numbers");
}
