// The text layer of the annotation reader: the nine tab-separated columns
// of a GTF/GFF3 line (read, plain or gzip-compressed, by the shared reader
// of tables/line_fields.h), and the attributes of the ninth in either
// format's syntax. A line that cannot be used is refused here with the
// file, the line and the field.
#pragma once

#include "cli/diag.h"
#include "tables/line_fields.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr int kColumns = 9;

// One feature line, split into its columns (views into the line's text).
struct Line {
    const LineFields& cells;
    std::string_view fields[kColumns];

    [[noreturn]] void refuse(int field, std::string_view expected, std::string_view found) const;
    [[noreturn]] void refuse(int field, std::string_view expected) const; // found: the field's text
    // Column `field` as a position from 1 to kLargestPosition, or refused.
    std::int64_t position(int field) const;
    // Column 7 as '+', '-' or '.' ('?' is unknown, as '.'), or refused.
    char strand() const;
};

// The line's nine tab-separated columns, or a refusal of the line.
Line split_columns(const LineFields& cells);

// The attributes of a GTF line, `key "value"; key value;`, read and
// checked once per line. A quoted value runs to its closing quote, ';'
// included (`note "a; b";`); after that quote only blanks and then ';' or
// the end of the field may follow. So an unclosed quote
// (`gene_id "g1; transcript_id "t1";`) is refused at field 9 rather than
// read as the id `g1; transcript_id `.
class GtfAttributes {
public:
    // Reads column 9 of `line`, or refuses the line. The values are views
    // into the line's text.
    void read(const Line& line);
    // The value of the first `key`, or an empty view.
    std::string_view value(std::string_view key) const;
    // The first of `keys` with a value; empty for none.
    std::string first_of(std::initializer_list<std::string_view> keys) const;

private:
    std::vector<std::pair<std::string_view, std::string_view>> items_;
};

// GFF3 attributes: `key=value;key=value1,value2`. The raw (still
// percent-encoded) value of `key`, or an empty view.
std::string_view gff3_attribute(std::string_view attributes, std::string_view key);

// A GFF3 value decoded from its percent-encoding.
std::string percent_decoded(std::string_view v);

// Every value of the GFF3 attribute `key` (`Parent=t1,t2`), each decoded:
// they are split at the commas before decoding, so that an escaped comma
// (%2C) stays inside its value.
std::vector<std::string> gff3_values(std::string_view attributes, std::string_view key);

// The first of `keys` that the GFF3 attributes give, decoded; empty for none.
std::string first_of(std::string_view attributes, std::initializer_list<std::string_view> keys);

// Whether a feature's attribute column reads as GFF3 (`key=value`).
bool looks_like_gff3(std::string_view attributes);
