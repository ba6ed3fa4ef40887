// bamcount's GTF/GFF3 reader (read_annotation): the first byte gives how
// the file is read (plain or gzip, whole or in chunks), the rest is the
// file.
#include "bamcount/annotation.h"
#include "fuzz/fuzz_input.h"

FUZZ_TARGET("fuzz_annotation")
{
    const fuzz::Reading reading = bytes.take_reading();
    fuzz::accepts_rest(bytes, reading, [](const std::string& path) {
        for (const ExonRecord& exon : read_annotation(path).exons) {
            fuzz::check(exon.start >= 1 && exon.end >= exon.start, "an exon's span from 1, end at or after start");
            fuzz::check(exon.strand == '+' || exon.strand == '-' || exon.strand == '.', "a strand of + - .");
            fuzz::check(!exon.gene_id.empty() && !exon.gene_name.empty() && !exon.transcript_id.empty(),
                        "an exon's gene and transcript named");
        }
    });
}
