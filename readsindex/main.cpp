// readsindex [--every=K] NUM_CONDITIONS READS_FILE: writes READS_FILE.idx,
// where every K-th (by default 4096th) row of the reads file starts, so that
// mfit, lvcmp and isocmp run with --genes=FIRST-LAST read only the rows of
// their genes.
// readsindex --tables [--every=K] FILE...: the same for the annotation and
// the fits (exon_zb, gene_zb, gene_re, exon_re), every K-th (128th) line, so
// that a shard reads only its genes' and their exons' lines of them.
// A file that cannot have one (gzip-compressed, not one record per line)
// gets none, with a warning, and status 0: the programs then read it whole.
#include "cli/diag.h"
#include "tables/line_index.h"
#include "tables/reads_index.h"
#include "tables/textin.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void report(const FileName& file, const std::string& why)
{
    if (!why.empty())
        warn("warning: no index of " + describe(file) + ": " + why + "; --genes shards will read it whole");
    else
        std::printf("wrote %s\n", line_index_path(file.path).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    set_program_name("readsindex");
    stop_when_out_of_memory();
    const bool tables = argc > 1 && std::strcmp(argv[1], "--tables") == 0;
    if (tables) {
        --argc;
        ++argv;
    }
    std::int32_t every = tables ? kTableIndexEvery : kIndexEvery;
    if (argc > 1 && std::strncmp(argv[1], "--every=", 8) == 0) {
        if (parse_int32(argv[1] + 8, every) != IntParse::ok || every < 1)
            fail_input(std::string("--every: expected a whole number of at least 1, found ") + quote_token(argv[1] + 8));
        --argc;
        ++argv;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("Usage: readsindex [--every=K] NUM_CONDITIONS READS_FILE\n"
                  "       readsindex --tables [--every=K] FILE...\n"
                  "Writes READS_FILE.idx: the byte offset of every K-th row (4096), for --genes shards;\n"
                  "with --tables, FILE.idx of each annotation or fits file (every 128th line).");
        close_standard_output();
        return 0;
    }
    if (tables) {
        if (argc < 2) fail_input("--tables: expected at least one FILE (--help)");
        for (int k = 1; k < argc; ++k) {
            const FileName file{"table file", argv[k]};
            report(file, write_line_index(file, IndexFormat::table, 0, every));
        }
        close_standard_output();
        return 0;
    }
    if (argc != 3) fail_input("expected two arguments, NUM_CONDITIONS and READS_FILE (--help)");
    std::int32_t conditions = 0;
    if (parse_int32(argv[1], conditions) != IntParse::ok || conditions < 1)
        fail_input(std::string("num_conditions: expected a whole number of at least 1, found ") + quote_token(argv[1]));
    const FileName reads{"reads file", argv[2]};
    report(reads, write_reads_index(reads, conditions, every));
    close_standard_output();
    return 0;
}
