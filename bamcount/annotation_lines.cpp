#include "annotation_lines.h"

#include "annotation.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

// zlib's read buffer. The fuzz build (-DFUZZ=ON) reads files of a few
// kilobytes thousands of times a second, and takes a small one.
#ifdef ANNOTATION_BUFFER_BYTES
constexpr unsigned kBuffer = ANNOTATION_BUFFER_BYTES;
#else
constexpr unsigned kBuffer = 1u << 20;
#endif
const char* const kColumnNames[kColumns] = {"seqid", "source", "type", "start", "end", "score", "strand", "phase",
                                            "attributes"};

} // namespace

LineReader::LineReader(FileName name) : name_(std::move(name))
{
    file_ = gzopen(name_.path.c_str(), "rb");
    if (!file_) fail_open(name_, "open", errno ? errno : ENOMEM);
    gzbuffer(file_, kBuffer);
}

LineReader::~LineReader() { gzclose(file_); }

bool LineReader::next(std::string& line)
{
    line.clear();
    char chunk[1 << 16];
    while (gzgets(file_, chunk, sizeof chunk)) {
        line.append(chunk);
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            ++number_;
            return true;
        }
    }
    int error = Z_OK;
    const char* message = gzerror(file_, &error);
    if (error != Z_OK && error != Z_STREAM_END)
        fail_input("cannot read " + describe(name_) + ": " + (error == Z_ERRNO ? std::strerror(errno) : message));
    if (line.empty()) return false;
    ++number_; // a last line without its line end
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

Line split_columns(const LineReader& in, const std::string& text)
{
    Line line{in, {}};
    std::size_t from = 0;
    int n = 0;
    for (;;) {
        const std::size_t tab = text.find('\t', from);
        if (n < kColumns) line.fields[n] = std::string_view(text).substr(from, tab - from);
        ++n;
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    if (n != kColumns)
        fail_input(in.where(in.line_number()) + ": expected " + std::to_string(kColumns) +
                   " tab-separated fields, found " + std::to_string(n));
    return line;
}

std::string_view gtf_attribute(std::string_view attributes, std::string_view key)
{
    std::size_t p = 0;
    while (p < attributes.size()) {
        while (p < attributes.size() && (attributes[p] == ' ' || attributes[p] == ';')) ++p;
        const std::size_t key_end = attributes.find(' ', p);
        if (key_end == std::string_view::npos) break;
        const std::string_view k = attributes.substr(p, key_end - p);
        std::size_t v = key_end + 1;
        std::string_view value;
        if (v < attributes.size() && attributes[v] == '"') {
            const std::size_t close = attributes.find('"', v + 1);
            if (close == std::string_view::npos) break;
            value = attributes.substr(v + 1, close - v - 1);
            p = close + 1;
        } else {
            const std::size_t semi = attributes.find(';', v);
            value = attributes.substr(v, semi == std::string_view::npos ? std::string_view::npos : semi - v);
            p = semi == std::string_view::npos ? attributes.size() : semi;
        }
        if (k == key) return value;
    }
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

std::string first_of(std::string_view attributes, std::initializer_list<std::string_view> keys, bool gff3)
{
    for (std::string_view key : keys) {
        const std::string_view v = gff3 ? gff3_attribute(attributes, key) : gtf_attribute(attributes, key);
        if (!v.empty()) return gff3 ? percent_decoded(v) : std::string(v);
    }
    return {};
}

bool looks_like_gff3(std::string_view attributes)
{
    const std::size_t eq = attributes.find('=');
    return eq != std::string_view::npos && attributes.find('"') == std::string_view::npos;
}
