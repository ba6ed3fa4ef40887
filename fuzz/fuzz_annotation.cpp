// bamcount's GTF/GFF3 reader (read_annotation): the data is the file.
#include "annotation.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start("fuzz_annotation");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::InputText text(fuzz::Bytes(data, size).rest());
    fuzz::accepts([&] {
        for (const ExonRecord& exon : read_annotation(text.path())) {
            fuzz::check(exon.start >= 1 && exon.end >= exon.start, "an exon's span from 1, end at or after start");
            fuzz::check(exon.strand == '+' || exon.strand == '-' || exon.strand == '.', "a strand of + - .");
            fuzz::check(!exon.gene_id.empty() && !exon.gene_name.empty() && !exon.transcript_id.empty(),
                        "an exon's gene and transcript named");
        }
    });
    return 0;
}
