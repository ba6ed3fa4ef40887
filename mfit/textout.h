// Writing the pipeline's result files.
//
// An OutputFile is created (or emptied) the moment its name is taken. Lines are
// formatted into a large buffer and written in blocks. Any failed write or
// close stops the program with status 255 and a message naming the file, so a
// full disk is never reported as success.
#pragma once

#include "diag.h"

#include <cstdint>
#include <string>
#include <string_view>

// Appends a real the way "%.6f" prints it (inf, -inf, nan and -nan included).
void append_fixed6(std::string& out, double value);
// Appends an integer the way "%d" prints it.
void append_int(std::string& out, std::int64_t value);

class OutputFile {
public:
    // Creates or truncates the file, or stops with status 2 naming it.
    static OutputFile create(FileName name);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Closes if still open; a failure there is fatal like any other.
    ~OutputFile();

    OutputFile& text(std::string_view s)
    {
        buffer_.append(s);
        maybe_flush();
        return *this;
    }
    OutputFile& ch(char c)
    {
        buffer_.push_back(c);
        return *this;
    }
    OutputFile& integer(std::int64_t v)
    {
        append_int(buffer_, v);
        return *this;
    }
    OutputFile& fixed6(double v)
    {
        append_fixed6(buffer_, v);
        return *this;
    }
    // Ends a line; the buffer goes out once it is large.
    OutputFile& endl()
    {
        buffer_.push_back('\n');
        maybe_flush();
        return *this;
    }

    void flush();
    void close();
    const FileName& name() const { return name_; }

private:
    OutputFile(FileName name, int fd);
    void maybe_flush()
    {
        if (buffer_.size() >= kFlushAt) flush();
    }
    static constexpr std::size_t kFlushAt = std::size_t(1) << 20;

    FileName name_;
    int fd_ = -1;
    std::string buffer_;
};
