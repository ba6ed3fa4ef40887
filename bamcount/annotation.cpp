#include "annotation.h"

#include "diag.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <zlib.h>

namespace {

constexpr int kColumns = 9;
// zlib's read buffer. The fuzz build (-DFUZZ=ON) reads files of a few
// kilobytes thousands of times a second, and takes a small one.
#ifdef ANNOTATION_BUFFER_BYTES
constexpr unsigned kBuffer = ANNOTATION_BUFFER_BYTES;
#else
constexpr unsigned kBuffer = 1u << 20;
#endif
const char* const kColumnNames[kColumns] = {"seqid", "source", "type", "start", "end", "score", "strand", "phase",
                                            "attributes"};

// Lines of a plain or gzip-compressed file (zlib reads both).
class LineReader {
public:
    explicit LineReader(FileName name) : name_(std::move(name))
    {
        file_ = gzopen(name_.path.c_str(), "rb");
        if (!file_) fail_open(name_, "open", errno ? errno : ENOMEM);
        gzbuffer(file_, kBuffer);
    }
    ~LineReader() { gzclose(file_); }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line without its line end; false at the end of the file.
    bool next(std::string& line)
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

    std::uint64_t line_number() const { return number_; }
    const FileName& name() const { return name_; }

private:
    FileName name_;
    gzFile file_ = nullptr;
    std::uint64_t number_ = 0;
};

struct Line {
    const LineReader& in;
    std::string_view fields[kColumns];

    [[noreturn]] void refuse(int field, std::string_view expected, std::string_view found) const
    {
        fail_input(describe(in.name()) + ", line " + std::to_string(in.line_number()) + ", field " +
                   std::to_string(field + 1) + " (" + kColumnNames[field] + "): expected " + std::string(expected) +
                   ", found " + std::string(found));
    }
    [[noreturn]] void refuse(int field, std::string_view expected) const
    {
        refuse(field, expected, quote_token(fields[field]));
    }

    std::int64_t position(int field) const
    {
        std::int64_t v = 0;
        const std::string_view t = fields[field];
        const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || error != std::errc() || end != t.data() + t.size() || v < 1 || v > kLargestPosition)
            refuse(field, "a position, a whole number from 1 to " + std::to_string(kLargestPosition));
        return v;
    }
};

// Splits a line into its nine tab-separated columns, or refuses it.
Line split(const LineReader& in, const std::string& text)
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
        fail_input(describe(in.name()) + ", line " + std::to_string(in.line_number()) + ": expected " +
                   std::to_string(kColumns) + " tab-separated fields, found " + std::to_string(n));
    return line;
}

// GTF attributes: `key "value"; key value;`. Returns the value of `key`, or
// an empty view.
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

// GFF3 values are percent-encoded.
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

// GFF3 attributes: `key=value;key=value1,value2`. Returns the raw value of
// `key`, or an empty view.
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

char strand_of(const Line& line)
{
    const std::string_view s = line.fields[6];
    if (s == "+" || s == "-") return s[0];
    if (s == "." || s == "?") return '.';
    line.refuse(6, "'+', '-', '.' or '?'");
}

bool looks_like_gff3(std::string_view attributes)
{
    const std::size_t eq = attributes.find('=');
    return eq != std::string_view::npos && attributes.find('"') == std::string_view::npos;
}

// A GFF3 feature that exons may name as their parent.
struct Gff3Feature {
    std::string parent; // the first Parent, empty for a gene
    std::string id, name, type; // the gene_id/transcript_id shown to users, Name, biotype
};

} // namespace

std::vector<std::string> split_list(std::string_view text, char separator)
{
    std::vector<std::string> items;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t end = std::min(text.find(separator, from), text.size());
        if (end > from) items.emplace_back(text.substr(from, end - from));
        from = end + 1;
    }
    return items;
}

std::string joined(const std::vector<std::string>& items, char separator)
{
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += separator;
        out += item;
    }
    return out;
}

std::vector<ExonRecord> read_annotation(const std::string& path)
{
    LineReader in({"annotation file", path});
    std::vector<ExonRecord> exons;
    std::string text;
    int format = 0; // 0 not yet known, 1 GTF, 3 GFF3

    // GFF3 exons wait for the whole file: parents may come after them.
    std::unordered_map<std::string, Gff3Feature> features;
    struct PendingExon {
        ExonRecord exon;
        std::vector<std::string> parents;
        std::uint64_t line;
    };
    std::vector<PendingExon> pending;

    while (in.next(text)) {
        if (text.empty()) continue;
        if (text[0] == '#') {
            if (text.rfind("##gff-version 3", 0) == 0) format = 3;
            if (text.rfind("##FASTA", 0) == 0) break;
            continue;
        }
        const Line line = split(in, text);
        const std::string_view attributes = line.fields[8];
        if (format == 0) format = looks_like_gff3(attributes) ? 3 : 1;
        const std::string_view type = line.fields[2];
        const bool gff3 = format == 3;

        if (gff3) {
            const std::string id = first_of(attributes, {"ID"}, true);
            if (!id.empty() && type != "exon") {
                Gff3Feature f;
                const std::string parents = first_of(attributes, {"Parent"}, true);
                f.parent = parents.substr(0, parents.find(','));
                f.id = first_of(attributes, {"gene_id", "transcript_id"}, true);
                if (f.id.empty()) f.id = id;
                f.name = first_of(attributes, {"Name", "gene_name"}, true);
                f.type = first_of(attributes, {"biotype", "gene_biotype", "gene_type"}, true);
                features.emplace(id, std::move(f));
            }
        }
        if (type != "exon") continue;

        ExonRecord exon;
        exon.chromosome = std::string(line.fields[0]);
        exon.start = line.position(3);
        exon.end = line.position(4);
        if (exon.end < exon.start)
            line.refuse(4, "an end at or after the start " + std::to_string(exon.start), quote_token(line.fields[4]));
        exon.strand = strand_of(line);

        if (!gff3) {
            exon.gene_id = first_of(attributes, {"gene_id"}, false);
            exon.transcript_id = first_of(attributes, {"transcript_id"}, false);
            if (exon.gene_id.empty()) line.refuse(8, "a gene_id attribute");
            if (exon.transcript_id.empty()) line.refuse(8, "a transcript_id attribute");
            exon.gene_name = first_of(attributes, {"gene_name"}, false);
            if (exon.gene_name.empty()) exon.gene_name = exon.gene_id;
            exon.gene_type = first_of(attributes, {"gene_type", "gene_biotype"}, false);
            exons.push_back(std::move(exon));
            continue;
        }

        const std::string parents = first_of(attributes, {"Parent"}, true);
        if (parents.empty()) line.refuse(8, "a Parent attribute naming the exon's transcript");
        pending.push_back({std::move(exon), split_list(parents, ','), in.line_number()});
    }

    // Each GFF3 exon becomes one record per transcript it belongs to.
    for (PendingExon& p : pending) {
        for (const std::string& parent : p.parents) {
            const auto t = features.find(parent);
            if (t == features.end())
                fail_input(describe(in.name()) + ", line " + std::to_string(p.line) + ", field 9 (attributes): " +
                           "expected a Parent that is the ID of a feature of the file, found " + quote_token(parent));
            const Gff3Feature* gene = &t->second;
            if (!t->second.parent.empty()) {
                const auto g = features.find(t->second.parent);
                if (g == features.end())
                    fail_input(describe(in.name()) + ", line " + std::to_string(p.line) + ", field 9 (attributes): " +
                               "expected the transcript " + quote_token(parent) + " to have a gene, found Parent " +
                               quote_token(t->second.parent) + ", the ID of no feature");
                gene = &g->second;
            }
            ExonRecord exon = p.exon;
            exon.gene_id = gene->id;
            exon.gene_name = gene->name.empty() ? gene->id : gene->name;
            exon.gene_type = gene->type;
            exon.transcript_id = t->second.id;
            exons.push_back(std::move(exon));
        }
    }
    return exons;
}
