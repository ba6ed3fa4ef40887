#include "bamcount/annotation_lines.h"

#include "bamcount/annotation.h"

#include <algorithm>
#include <charconv>

namespace {

const char* const kColumnNames[kColumns] = {"seqid", "source", "type", "start", "end", "score", "strand", "phase",
                                            "attributes"};

} // namespace

void Line::refuse(int field, std::string_view expected, std::string_view found) const
{
    cells.refuse(static_cast<std::size_t>(field), {kColumnNames[field]}, expected, found);
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

Line split_columns(const LineFields& cells)
{
    if (cells.size() != kColumns)
        fail_input(cells.where() + ": expected " + std::to_string(kColumns) + " tab-separated fields, found " +
                   std::to_string(cells.size()));
    Line line{cells, {}};
    for (int k = 0; k < kColumns; ++k) line.fields[k] = cells[static_cast<std::size_t>(k)];
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

std::vector<std::string> gff3_values(std::string_view attributes, std::string_view key)
{
    std::vector<std::string> values;
    const std::string_view raw = gff3_attribute(attributes, key);
    for (std::size_t from = 0; from < raw.size();) {
        const std::size_t comma = std::min(raw.find(',', from), raw.size());
        if (comma > from) values.push_back(percent_decoded(raw.substr(from, comma - from)));
        from = comma + 1;
    }
    return values;
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
