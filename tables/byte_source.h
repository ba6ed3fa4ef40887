// The bytes of a text input: as the file holds them, or inflated when the
// file is gzip-compressed.
//
// Every text input of the pipeline may be gzip-compressed, whatever its
// name: the file's first two bytes tell (the gzip magic 1f 8b, which no
// text starts with), so a reads.txt or features.tsv written through gzip
// reads as well as a genes.gtf.gz. A file of several gzip members, as
// concatenated .gz files and bgzip's blocks are, reads as their texts one
// after another.
//
// The source is where a run learns of its inputs: opening one records it
// (file_identity.h), so that no output of the run may overwrite it.
#pragma once

#include "cli/diag.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#ifdef TEXTIN_FUZZ_READS
// The fuzz build only: every read(2) of a file asks for at most this many
// bytes (0: as many as there is room for), so that a short input arrives
// a few bytes at a time, as from a slow pipe, and the readers take their
// refill paths at every such boundary. The fuzz targets set it per input.
extern std::size_t g_longest_read;
#endif

class ByteSource {
public:
    // Opens the file and records it among the run's inputs, or stops with
    // status 2 naming it.
    static ByteSource open(FileName name);

    ByteSource(ByteSource&& other) noexcept;
    ByteSource& operator=(ByteSource&&) = delete;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;
    ~ByteSource();

    // Reads up to `room` bytes of the text into `into` and returns how many;
    // 0 only at the end of the text. A failed read (a folder, say) and gzip
    // data that is damaged or cut short stop the program with status 2.
    std::size_t read(char* into, std::size_t room);

    const FileName& name() const { return name_; }
    int descriptor() const { return fd_; }

    // Reads the plain file's bytes [begin, end) only, from here on: a part
    // of a large table whose index says where it lies. Before any read.
    void read_range(std::uint64_t begin, std::uint64_t end);

    // Releases the descriptor; later reads find the end of the text.
    void close();

private:
    struct Inflater;
    ByteSource(FileName name, int fd);
    // Reads the file's own bytes, at most `room`; 0 at its end.
    std::size_t read_raw(char* into, std::size_t room);
    // The first read: takes the bytes that tell whether the file is gzip.
    std::size_t read_first(char* into, std::size_t room);
    std::size_t inflate(char* into, std::size_t room);
    [[noreturn]] void refuse_gzip(const char* why) const;

    FileName name_;
    int fd_ = -1;
    bool started_ = false;
    bool ranged_ = false;
    std::uint64_t remaining_ = 0; // bytes left of the range
    std::unique_ptr<Inflater> gzip_; // set for a gzip file
};
