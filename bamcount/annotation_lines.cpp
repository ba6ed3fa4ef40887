#include "bamcount/annotation_lines.h"

#include "bamcount/annotation.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

// The block the lines are read in. The fuzz build (-DFUZZ=ON) reads files
// of a few kilobytes thousands of times a second, and takes a small one.
#ifdef ANNOTATION_BUFFER_BYTES
constexpr unsigned kBuffer = ANNOTATION_BUFFER_BYTES;
#else
constexpr unsigned kBuffer = 1u << 20;
#endif
const char* const kColumnNames[kColumns] = {"seqid", "source", "type", "start", "end", "score", "strand", "phase",
                                            "attributes"};

} // namespace

LineReader::LineReader(FileName name) : name_(std::move(name)), buffer_(kBuffer)
{
    file_ = gzopen(name_.path.c_str(), "rb");
    if (!file_) fail_open(name_, "open", errno ? errno : ENOMEM);
    // zlib reads into the block directly, without a copy through a buffer
    // of its own, when asked for at least twice its buffer's size.
    gzbuffer(file_, kBuffer / 4);
}

LineReader::~LineReader() { gzclose(file_); }

bool LineReader::fill()
{
    if (at_end_) return false;
    // The unread bytes, the start of a line, move to the front; a line
    // longer than the buffer doubles it.
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const std::size_t room = std::min<std::size_t>(buffer_.size() - end_, 1u << 30);
    const int n = gzread(file_, buffer_.data() + end_, static_cast<unsigned>(room));
    if (n > 0) {
        end_ += static_cast<std::size_t>(n);
        return true;
    }
    int error = Z_OK;
    const char* message = gzerror(file_, &error);
    if (n < 0 || (error != Z_OK && error != Z_STREAM_END))
        fail_input("cannot read " + describe(name_) + ": " + (error == Z_ERRNO ? std::strerror(errno) : message));
    at_end_ = true;
    return false;
}

bool LineReader::next(std::string_view& line)
{
    const char* newline = nullptr;
    for (;;) {
        // Only the bytes not yet looked at are searched, so a line that
        // spans several reads is scanned once.
        const char* from = buffer_.data() + begin_ + scanned_;
        const std::size_t unread = end_ - begin_ - scanned_;
        newline = static_cast<const char*>(std::memchr(from, '\n', unread));
        const std::size_t upto = newline ? static_cast<std::size_t>(newline - from) : unread;
        if (const void* nul = std::memchr(from, '\0', upto)) {
            const std::size_t byte = static_cast<std::size_t>(static_cast<const char*>(nul) - (buffer_.data() + begin_));
            fail_input(where(number_ + 1) + ", byte " + std::to_string(byte + 1) +
                       ": expected text, found a NUL byte");
        }
        scanned_ += upto;
        if (newline || !fill()) break;
    }
    if (!newline && begin_ == end_) return false;
    const char* first = buffer_.data() + begin_;
    std::size_t length = newline ? static_cast<std::size_t>(newline - first) : end_ - begin_;
    begin_ += length + (newline ? 1 : 0); // a last line without its line end
    scanned_ = 0;
    if (length > 0 && first[length - 1] == '\r') --length;
    line = std::string_view(first, length);
    ++number_;
    return true;
}

std::string LineReader::where(std::uint64_t line) const { return describe(name_) + ", line " + std::to_string(line); }

void Line::refuse(int field, std::string_view expected, std::string_view found) const
{
    fail_input(in.where(in.line_number()) + ", field " + std::to_string(field + 1) + " (" + kColumnNames[field] +
               "): expected " + std::string(expected) + ", found " + std::string(found));
}

void Line::refuse(int field, std::string_view expected) const { refuse(field, expected, quote_token(fields[field])); }

std::int64_t Line::position(int field) const
{
    std::int64_t v = 0;
    const std::string_view t = fields[field];
    const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || error != std::errc() || end != t.data() + t.size() || v < 1 || v > kLargestPosition)
        refuse(field, "a position, a whole number from 1 to " + std::to_string(kLargestPosition));
    return v;
}

char Line::strand() const
{
    const std::string_view s = fields[6];
    if (s == "+" || s == "-") return s[0];
    if (s == "." || s == "?") return '.';
    refuse(6, "'+', '-', '.' or '?'");
}

Line split_columns(const LineReader& in, std::string_view text)
{
    Line line{in, {}};
    std::size_t from = 0;
    int n = 0;
    for (;;) {
        const std::size_t tab = text.find('\t', from);
        if (n < kColumns) line.fields[n] = text.substr(from, tab - from);
        ++n;
        if (tab == std::string_view::npos) break;
        from = tab + 1;
    }
    if (n != kColumns)
        fail_input(in.where(in.line_number()) + ": expected " + std::to_string(kColumns) +
                   " tab-separated fields, found " + std::to_string(n));
    return line;
}

void GtfAttributes::read(const Line& line)
{
    const std::string_view a = line.fields[8];
    items_.clear();
    std::size_t p = 0;
    while (p < a.size()) {
        while (p < a.size() && (a[p] == ' ' || a[p] == ';')) ++p;
        const std::size_t key_end = a.find(' ', p);
        if (key_end == std::string_view::npos) break; // a last key without a value says nothing
        const std::string_view key = a.substr(p, key_end - p);
        const std::size_t v = key_end + 1;
        std::string_view value;
        if (v < a.size() && a[v] == '"') {
            const std::size_t close = a.find('"', v + 1);
            if (close == std::string_view::npos)
                line.refuse(8, "a closing '\"' of the value of " + quote_token(key), quote_token(a.substr(v)));
            value = a.substr(v + 1, close - v - 1);
            p = close + 1;
            while (p < a.size() && a[p] == ' ') ++p;
            if (p < a.size() && a[p] != ';')
                line.refuse(8, "';' after the quoted value of " + quote_token(key), quote_token(a.substr(p)));
        } else {
            const std::size_t semi = a.find(';', v);
            value = a.substr(v, semi == std::string_view::npos ? std::string_view::npos : semi - v);
            p = semi == std::string_view::npos ? a.size() : semi;
        }
        items_.emplace_back(key, value);
    }
}

std::string_view GtfAttributes::value(std::string_view key) const
{
    for (const auto& [k, v] : items_)
        if (k == key) return v;
    return {};
}

std::string GtfAttributes::first_of(std::initializer_list<std::string_view> keys) const
{
    for (std::string_view key : keys)
        if (const std::string_view v = value(key); !v.empty()) return std::string(v);
    return {};
}

std::string percent_decoded(std::string_view v)
{
    std::string out;
    out.reserve(v.size());
    auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size() && hex(v[i + 1]) >= 0 && hex(v[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex(v[i + 1]) * 16 + hex(v[i + 2])));
            i += 2;
        } else {
            out.push_back(v[i]);
        }
    }
    return out;
}

std::string_view gff3_attribute(std::string_view attributes, std::string_view key)
{
    std::size_t p = 0;
    while (p < attributes.size()) {
        std::size_t semi = attributes.find(';', p);
        if (semi == std::string_view::npos) semi = attributes.size();
        std::string_view pair = attributes.substr(p, semi - p);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == key) return pair.substr(eq + 1);
        p = semi + 1;
    }
    return {};
}

std::string first_of(std::string_view attributes, std::initializer_list<std::string_view> keys)
{
    for (std::string_view key : keys)
        if (const std::string_view v = gff3_attribute(attributes, key); !v.empty()) return percent_decoded(v);
    return {};
}

bool looks_like_gff3(std::string_view attributes)
{
    const std::size_t eq = attributes.find('=');
    return eq != std::string_view::npos && attributes.find('"') == std::string_view::npos;
}
