// What every fuzz target shares: handing the fuzzer's bytes to a reader that
// takes a file by path, taking sizes and modes from the front of the data,
// and telling a refusal (the expected way to meet bad input) from a finding.
//
// The data reaches the reader through a pipe named by its /proc/self/fd path.
// In chunked mode the pipe works in packets, so that every read(2) returns at
// most one chunk: the table readers then see the input arrive a few bytes at
// a time and take their refill path at every chunk boundary, which a file of
// a few kilobytes, read in 4 MB blocks, never reaches. A pipe is also not a
// regular file, so the run's registry of opened files does not grow with
// every input.
#pragma once

#include "cli/diag.h"

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

namespace fuzz {

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

    // How the reader sees the text: 0 reads it whole, a chunk size from 1 to
    // 128 a few bytes at a time. Half of the byte values choose each.
    int take_chunk()
    {
        const int mode = take(255);
        return mode < 128 ? 0 : mode - 127;
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

// The text as a file a reader opens by path() and reads to its end.
class InputText {
public:
    explicit InputText(std::string_view text, int chunk = 0)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK | (chunk > 0 ? O_DIRECT : 0)) != 0) harness_fault("pipe2");
        read_end_ = ends[0];
        // A packet takes a whole slot of the pipe (a page) however small:
        // chunks grow when there are more of them than slots.
        ::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
        const long capacity = ::fcntl(ends[1], F_GETPIPE_SZ);
        const std::size_t slots = static_cast<std::size_t>(capacity > 0 ? capacity : 0) / 4096;
        std::size_t step = text.size();
        if (chunk > 0 && slots > 0) step = std::max<std::size_t>(chunk, (text.size() + slots - 1) / slots);
        bool fits = capacity > 0 && text.size() <= static_cast<std::size_t>(capacity);
        for (std::size_t from = 0; fits && from < text.size(); from += step) {
            const std::size_t n = std::min(step, text.size() - from);
            fits = ::write(ends[1], text.data() + from, n) == static_cast<ssize_t>(n);
        }
        ::close(ends[1]);
        if (!fits) {
            // More than the pipe holds (a long input given by hand): a file.
            ::close(read_end_);
            read_end_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
            if (read_end_ < 0) harness_fault("memfd_create");
            for (std::size_t from = 0; from < text.size();) {
                const ssize_t n = ::write(read_end_, text.data() + from, text.size() - from);
                if (n <= 0) harness_fault("write");
                from += static_cast<std::size_t>(n);
            }
        }
        path_ = "/proc/self/fd/" + std::to_string(read_end_);
    }
    ~InputText() { ::close(read_end_); }
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

// Hands the rest of the bytes, read as `chunk` says (see take_chunk), to
// `read` as the path of a file; returns whether the reader took it.
template <typename Read>
bool accepts_rest(const Bytes& bytes, int chunk, Read&& read)
{
    const InputText text(bytes.rest(), chunk);
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
