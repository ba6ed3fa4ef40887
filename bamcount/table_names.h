// How features.tsv spells the annotation's names, so that a reader can
// take them apart again.
//
// The tables join names: an aggregate gene's id is its members' ids joined
// with '+' (its name likewise), a part's transcripts are joined with ','.
// An annotation's own ids may hold those characters too, and GFF3's
// percent-encoding decodes to any byte, a tab or a line break among them,
// which would break the table's columns and lines.
// So every atomic id, name, chromosome and transcript id is escaped by
// table_name before it is joined or written: '%', '+', ',' and every
// control byte (below 0x20, and 0x7F) become %XX with upper-case hex, as
// GFF3 writes them. Splitting a field at '+' (or ',') and decoding each
// %XX gives back the annotation's text exactly.
//
// A gene that lies on several chromosomes or strands becomes one gene per
// piece, named "id@chromosome(strand)" with the strand as a word: plus,
// minus, unstranded; a '+' there would split RefSeq's 8227 and 438, merged
// on chrX, into pieces of "8227@X(+)+438@X(+)". '@', '(' and ')' are not
// escaped: a piece's suffix starts at its last '@', unless the
// chromosome's name holds one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// `text` with '%', '+', ',' and control bytes percent-encoded.
std::string table_name(std::string_view text);

// "plus", "minus" or "unstranded" for '+', '-' or '.'.
std::string_view strand_word(char strand);

// "@<chromosome>(<strand word>)": what a gene's piece on that chromosome
// and strand adds to its (escaped) id and name.
std::string piece_suffix(std::string_view chromosome, char strand);

// The names escaped and joined with `separator` (',' for transcripts).
std::string joined_table_names(const std::vector<std::string>& names, char separator);
