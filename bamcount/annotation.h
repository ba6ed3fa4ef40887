// Reading a gene annotation: the exons of every transcript of every gene,
// from a GTF file (Ensembl or GENCODE style: `key "value";` attributes) or
// a GFF3 file (`key=value` attributes, exons tied to genes through their
// transcripts' Parent links), plain or gzip-compressed.
//
// The format is told by the file itself: a "##gff-version 3" line, or else
// the attribute column of its first feature. A line that cannot be used
// stops the program with one message naming the file, the line and the
// field (exit status 2).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The largest position an annotation may give: the reads file holds
// positions in 32 bits, as BAM files do.
inline constexpr std::int64_t kLargestPosition = 2147483647;

struct ExonRecord {
    std::string chromosome;
    std::int64_t start = 0; // 1-based, inclusive, at most kLargestPosition
    std::int64_t end = 0;   // 1-based, inclusive, at most kLargestPosition
    char strand = '.';      // '+', '-' or '.'
    std::string gene_id;
    std::string gene_name; // the gene id when the annotation gives none
    std::string gene_type; // empty when the annotation gives none
    std::string transcript_id;
};

// Every exon of the annotation at `path`, in file order.
std::vector<ExonRecord> read_annotation(const std::string& path);

// Lists as annotations and bamcount's files write them: "a,b,c" and the like.
// split_list leaves out empty items.
std::vector<std::string> split_list(std::string_view text, char separator);
std::string joined(const std::vector<std::string>& items, char separator);
