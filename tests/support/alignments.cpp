#include "tests/support/alignments.h"

#include <gtest/gtest.h>
#include <htslib/sam.h>

std::string write_alignments(const ScratchDir& dir, const std::string& name, const std::string& sam,
                             const std::string& fasta)
{
    const std::string sam_path = dir.write(name + ".sam", sam);
    const std::string path = dir.file(name + (fasta.empty() ? ".bam" : ".cram"));
    samFile* in = sam_open(sam_path.c_str(), "r");
    samFile* out = sam_open(path.c_str(), fasta.empty() ? "wb" : "wc");
    if (!fasta.empty()) {
        EXPECT_EQ(hts_set_fai_filename(out, fasta.c_str()), 0);
    }
    sam_hdr_t* header = sam_hdr_read(in);
    EXPECT_EQ(sam_hdr_write(out, header), 0);
    bam1_t* b = bam_init1();
    while (sam_read1(in, header, b) >= 0) EXPECT_GE(sam_write1(out, header, b), 0);
    bam_destroy1(b);
    sam_hdr_destroy(header);
    sam_close(in);
    EXPECT_EQ(sam_close(out), 0);
    return path;
}
