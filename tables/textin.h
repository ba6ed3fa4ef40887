// Reading the pipeline's text files: every text input, plain or
// gzip-compressed (byte_source.h), is read through an InputFile.
//
// An InputFile is opened the moment its name is taken and read later, whole,
// in large blocks. It hands out either whitespace-separated tokens, the
// tables' way (line breaks carry no meaning to their records, which may span
// lines), or whole lines, for the files read line by line (line_fields.h
// splits them into fields). Both are views into the block, with the line
// they stand on, so that a message about a bad field can point at it.
//
// Text holds no NUL byte: one is refused where it stands, "<role> '<path>',
// line L, byte B: expected text, found a NUL byte", so that no line is cut
// or joined at it and a stream of zeros (or a binary file given by mistake)
// stops at once.
#pragma once

#include "cli/diag.h"
#include "tables/byte_source.h"

#include <cstdint>
#include <string_view>
#include <vector>

class InputFile {
public:
    // Opens the file for reading, or stops with status 2 naming the file.
    static InputFile open(FileName name);

    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&&) = delete;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // The next token, or false at the end of the file. The view stays valid
    // until the next call. A read error stops the program with status 2.
    // A token longer than a block (4 MB: no number is) is handed out cut
    // to the block, its rest passed over.
    bool next(std::string_view& token);

    // The next line without its line end ("\n" or "\r\n"; the last line may
    // have none), or false at the end of the file. The view stays valid until
    // the next call; a line is held whole, however long, up to kLongestLine
    // bytes (a longer one is refused). line() is then its number.
    bool next_line(std::string_view& text);
    static constexpr std::size_t kLongestLine = std::size_t(1) << 30;

    // The next token when it is a plain decimal integer within 32 bits (an
    // optional '-' and at most ten digits, ended by a separator or the end of
    // the file): sets token and value and returns true. Otherwise takes only
    // the separators before it and returns false, and next() hands it out.
    // This is the path nearly every field of a table takes, so it is kept
    // to one pass over the bytes with no library call.
    bool next_plain_int32(std::string_view& token, std::int32_t& value)
    {
        const char* b = buffer_.data();
        std::size_t p = pos_;
        if (skip_rest_) return false;
        while (p < end_ && is_separator(b[p])) {
            if (b[p] == '\n') ++line_;
            ++p;
        }
        pos_ = p;
        // A token near the end of the block may go on in the next one.
        if (end_ - p < kLongestPlain + 2 && !at_eof_) return false;
        const std::size_t start = p;
        const bool negative = p < end_ && b[p] == '-';
        if (negative) ++p;
        const std::size_t digits_from = p;
        const std::size_t limit = end_ - digits_from < kLongestPlain ? end_ : digits_from + kLongestPlain;
        std::int64_t v = 0;
        while (p < limit && static_cast<unsigned char>(b[p] - '0') < 10) v = v * 10 + (b[p++] - '0');
        if (p == digits_from || (p < end_ && !is_separator(b[p]))) return false;
        if (negative) v = -v;
        if (v > 2147483647 || v < -2147483647 - 1) return false;
        token = std::string_view(b + start, p - start);
        token_line_ = line_;
        pos_ = p;
        value = static_cast<std::int32_t>(v);
        return true;
    }

    // Up to `count` plain non-negative integers (digits only, within 32 bits)
    // in a row, into out[0..]: the table rows' fast path, with the position
    // held in registers. Returns how many were read; it stops before the
    // first token that is anything else, which next() then hands out, and
    // near the end of a block. `token` is the last one read, `first_line`
    // the line of the first; `bits` gets the bitwise or of the values read,
    // so that a caller bounding them by 2^b - 1 checks them all at once.
    int next_plain_counts(int count, std::int32_t* out, std::string_view& token, std::uint32_t& bits,
                          std::uint64_t& first_line)
    {
        const char* b = buffer_.data();
        std::size_t p = pos_;
        std::uint64_t line = line_;
        if (skip_rest_) return 0;
        // The separators before the first token, taken here to know its
        // line; the loop finds none in front of it.
        while (p < end_ && is_separator(b[p])) {
            if (b[p] == '\n') ++line;
            ++p;
        }
        first_line = line;
        int got = 0;
        std::size_t start = p;
        for (; got < count; ++got) {
            std::size_t q = p;
            while (q < end_ && is_separator(b[q])) {
                if (b[q] == '\n') ++line;
                ++q;
            }
            if (end_ - q < kLongestPlain + 2 && !at_eof_) break;
            const std::size_t limit = end_ - q < kLongestPlain ? end_ : q + kLongestPlain;
            std::size_t r = q;
            std::uint64_t v = 0;
            while (r < limit && static_cast<unsigned char>(b[r] - '0') < 10) v = v * 10 + static_cast<unsigned>(b[r++] - '0');
            if (r == q || (r < end_ && !is_separator(b[r])) || v > 2147483647) break;
            out[got] = static_cast<std::int32_t>(v);
            bits |= static_cast<std::uint32_t>(v);
            start = q;
            p = r;
            line_ = line;
            token_line_ = line;
        }
        if (got > 0) {
            token = std::string_view(b + start, p - start);
            pos_ = p;
        }
        return got;
    }

    static bool is_separator(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') < 5; }

    // Line of the token or line last returned (1-based); at the end of the
    // file it stays the line of the last token, where a short record falls
    // short.
    std::uint64_t line() const { return token_line_; }

    const FileName& name() const { return source_.name(); }
    int descriptor() const { return source_.descriptor(); }

    // Reads only the bytes [begin, end) of the plain file, of which `begin`
    // starts line `line`, so that the lines are the file's own. Before any
    // read.
    void read_range(std::uint64_t begin, std::uint64_t end, std::uint64_t line)
    {
        source_.read_range(begin, end);
        consumed_ = line_start_ = begin;
        line_ = token_line_ = line;
    }

    // Releases the descriptor; later reads find the end of the file.
    void close();

private:
    explicit InputFile(ByteSource source);
    // Reads more after the unread bytes [pos_, end_), which move to the
    // front; false when nothing more could be read. With `grow`, a buffer
    // full of unread bytes (one long line) doubles first.
    bool fill(bool grow = false);
    // Refuses the NUL byte at buffer_[at], on line line_.
    [[noreturn]] void refuse_nul(std::size_t at) const;
    static constexpr std::size_t kLongestPlain = 10;

    ByteSource source_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool at_eof_ = false;
    bool skip_rest_ = false;
    std::uint64_t line_ = 1;
    std::uint64_t token_line_ = 1;
    // For the byte of a NUL in its line: the file's bytes before buffer_[0],
    // and where (in those bytes) the line they end in starts.
    std::uint64_t consumed_ = 0;
    std::uint64_t line_start_ = 0;
};

enum class IntParse { ok, not_integer, out_of_range };

// A whole token as a decimal integer with an optional sign.
IntParse parse_int32(std::string_view token, std::int32_t& value);
IntParse parse_int64(std::string_view token, std::int64_t& value);

// A whole token as a real number (decimal or exponent notation, inf, nan).
bool parse_real(std::string_view token, double& value);
