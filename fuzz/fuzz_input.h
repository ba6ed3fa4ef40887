// What every fuzz target shares: handing the fuzzer's bytes to a reader that
// takes a file by path, taking sizes and modes from the front of the data,
// and telling a refusal (the expected way to meet bad input) from a finding.
//
// The data reaches the reader through a pipe named by its /proc/self/fd
// path. A pipe is not a regular file, so the run's registry of opened files
// does not grow with every input. In chunked mode every read(2) the reader
// makes asks for a few bytes at most (g_longest_read, tables/byte_source.h):
// the readers then see the input arrive a few bytes at a time and take
// their refill paths at every chunk boundary, which a file of a few
// kilobytes, read in 4 MB blocks, never reaches.
//
// Every reader reads plain or gzip-compressed text alike, so the same byte
// that chooses the chunks chooses whether the text is handed over plain or
// compressed by the harness, in one gzip member or two, as a member cut
// short, or as the deflate data of a member taken from the fuzzer as it is
// (so that damaged compressed data reaches the reader too).
#pragma once

#include "cli/diag.h"
#include "tests/support/gzip.h"
#include "tables/byte_source.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

namespace fuzz {

// How a text is handed to its reader.
enum class Gzip {
    none,     // plain text
    member,   // one gzip member
    members,  // two, the text cut in two between them
    cut,      // one member with its last 1 to 8 bytes cut off
    raw,      // the fuzzer's bytes as a member's deflate data and trailer
};
struct Reading {
    int chunk = 0; // 0: the whole text at once; else read(2)s of at most this many bytes
    Gzip gzip = Gzip::none;
};

// The fuzzer's bytes, read from the front: a few control bytes, then the text.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // A value in 0..limit from the next byte; 0 once the data is used up.
    int take(int limit)
    {
        if (pos_ == size_) return 0;
        return data_[pos_++] % (limit + 1);
    }

    // How the reader gets the text, from one byte: bit 7 chooses chunks
    // (of 1 to 64 bytes, from bits 0-5) over the whole text at once, bit 6
    // gzip over plain text, and bits 0-1 the gzip form.
    Reading take_reading()
    {
        const int mode = take(255);
        return {mode & 0x80 ? (mode & 0x3f) + 1 : 0,
                mode & 0x40 ? static_cast<Gzip>(1 + (mode & 3)) : Gzip::none};
    }

    std::string_view rest() const { return {reinterpret_cast<const char*>(data_) + pos_, size_ - pos_}; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A failure of the harness itself, not of a reader.
[[noreturn]] inline void harness_fault(const char* what)
{
    __sanitizer_report_error_summary((std::string("fuzz: harness: ") + what + " failed").c_str());
    std::abort();
}


// The bytes of the file that hands `text` over in the form `gzip` says.
inline std::string file_bytes(std::string_view text, Gzip gzip)
{
    switch (gzip) {
    case Gzip::none: return std::string(text);
    case Gzip::member: return gzip_member(text);
    case Gzip::members: return gzip_member(text.substr(0, text.size() / 2)) + gzip_member(text.substr(text.size() / 2));
    case Gzip::cut: {
        const std::string member = gzip_member(text);
        return member.substr(0, member.size() - 1 - text.size() % 8);
    }
    case Gzip::raw: break;
    }
    // A gzip header (deflate, no flags, no time, Unix), then the bytes.
    return std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + std::string(text);
}

// The text as a file a reader opens by path() and reads to its end, in the
// form `reading` says; the reader's reads are cut to its chunk while the
// text is there.
class InputText {
public:
    explicit InputText(std::string_view text, Reading reading = {})
    {
        const std::string bytes = file_bytes(text, reading.gzip);
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) harness_fault("pipe2");
        read_end_ = ends[0];
        ::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
        const long capacity = ::fcntl(ends[1], F_GETPIPE_SZ);
        const bool fits = capacity > 0 && bytes.size() <= static_cast<std::size_t>(capacity) &&
                          ::write(ends[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        ::close(ends[1]);
        if (!fits) {
            // More than the pipe holds (a long input given by hand): a file.
            ::close(read_end_);
            read_end_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
            if (read_end_ < 0) harness_fault("memfd_create");
            for (std::size_t from = 0; from < bytes.size();) {
                const ssize_t n = ::write(read_end_, bytes.data() + from, bytes.size() - from);
                if (n <= 0) harness_fault("write");
                from += static_cast<std::size_t>(n);
            }
        }
        path_ = "/proc/self/fd/" + std::to_string(read_end_);
        g_longest_read = static_cast<std::size_t>(reading.chunk);
    }
    ~InputText()
    {
        g_longest_read = 0;
        ::close(read_end_);
    }
    InputText(const InputText&) = delete;
    InputText& operator=(const InputText&) = delete;

    const std::string& path() const { return path_; }

private:
    int read_end_ = -1;
    std::string path_;
};

// Runs a reader. A refusal of the input ends it with status 2 through
// stop_program, thrown as a ProgramStop here; any other status is a finding.
// Returns whether the reader took the input.
template <typename Read>
bool accepts(Read&& read)
{
    try {
        read();
        return true;
    } catch (const ProgramStop& stop) {
        if (stop.status != kExitBadInput) {
            const std::string text = "fuzz: a reader stopped with status " + std::to_string(stop.status) + ", not " +
                                     std::to_string(kExitBadInput);
            __sanitizer_report_error_summary(text.c_str());
            std::abort();
        }
        return false;
    }
}

// Aborts with `what` when a reader's promise about what it returns fails.
// The line goes where the sanitizers report, which stays open when the
// fuzzer closes standard error (-close_fd_mask=2).
inline void check(bool holds, const char* what)
{
    if (!holds) {
        __sanitizer_report_error_summary((std::string("fuzz: broken promise: ") + what).c_str());
        std::abort();
    }
}

// Every target's start: refusals throw instead of ending the process.
inline void start(const char* name)
{
    set_program_name(name);
    throw_on_stop(true);
}

// Hands the rest of the bytes, as `reading` says (see take_reading), to
// `read` as the path of a file; returns whether the reader took it.
template <typename Read>
bool accepts_rest(const Bytes& bytes, Reading reading, Read&& read)
{
    const InputText text(bytes.rest(), reading);
    return accepts([&] { read(text.path()); });
}

} // namespace fuzz

// Defines the fuzz target `name`: its start, and then the block that follows
// the macro as the body run on every input, with the input's bytes as
// `bytes` (a fuzz::Bytes&).
#define FUZZ_TARGET(name)                                                                                             \
    static void fuzz_one_input(fuzz::Bytes& bytes);                                                                   \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                                                \
    {                                                                                                                 \
        fuzz::start(name);                                                                                            \
        return 0;                                                                                                     \
    }                                                                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)                                 \
    {                                                                                                                 \
        fuzz::Bytes bytes(data, size);                                                                                \
        fuzz_one_input(bytes);                                                                                        \
        return 0;                                                                                                     \
    }                                                                                                                 \
    static void fuzz_one_input(fuzz::Bytes& bytes)
