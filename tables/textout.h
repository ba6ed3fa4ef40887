// Writing the pipeline's result files.
//
// An OutputFile is created (or emptied) the moment its name is taken. Lines are
// formatted into a large buffer and written in blocks. Any failed write or
// close stops the program with status 255 and a message naming the file, so a
// full disk is never reported as success.
//
// A name that is a file the run has already opened (an input, or another
// output) is refused before anything is truncated. A regular file is written
// under a temporary name in the same folder (".<name>.XXXXXX") and renamed
// over its final name at close, so a file under the final name is always a
// whole result; until then the final name is an empty file. Devices, named
// pipes and files with several hard links are written directly.
#pragma once

#include "cli/diag.h"

#include <cstdint>
#include <string>
#include <string_view>

// Appends a real the way "%.6f" prints it (inf, -inf, nan and -nan included).
void append_fixed6(std::string& out, double value);
// Appends an integer the way "%d" prints it.
void append_int(std::string& out, std::int64_t value);

// The five ways a line is built, shared by a memory buffer and a file:
// `Derived` supplies `buffer()` and `line_done()`.
template <class Derived>
class LineFormatter {
public:
    Derived& text(std::string_view s)
    {
        buffer().append(s);
        return self().line_done();
    }
    Derived& ch(char c)
    {
        buffer().push_back(c);
        return self();
    }
    Derived& integer(std::int64_t v)
    {
        append_int(buffer(), v);
        return self();
    }
    Derived& fixed6(double v)
    {
        append_fixed6(buffer(), v);
        return self();
    }
    Derived& endl()
    {
        buffer().push_back('\n');
        return self().line_done();
    }

private:
    Derived& self() { return static_cast<Derived&>(*this); }
    std::string& buffer() { return self().buffer(); }
};

// Lines formatted in memory, to be written to a file later: the worker
// threads format their features' lines here and the writing thread passes
// them on in table order.
class LineBuffer : public LineFormatter<LineBuffer> {
public:
    std::string& buffer() { return text_; }
    LineBuffer& line_done() { return *this; }
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

class OutputFile : public LineFormatter<OutputFile> {
public:
    // Creates or truncates the file, or stops with status 2 naming it.
    static OutputFile create(FileName name);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Closes if still open; a failure there is fatal like any other. While
    // an exception unwinds, the unfinished file is abandoned instead: its
    // temporary file removed, the final name left empty.
    ~OutputFile();

    // Appends lines formatted elsewhere.
    OutputFile& put(const LineBuffer& lines) { return text(lines.str()); }

    std::string& buffer() { return buffer_; }
    // The buffer goes out once it is large.
    OutputFile& line_done()
    {
        if (buffer_.size() >= kFlushAt) flush();
        return *this;
    }

    void flush();
    // Writes what is buffered, closes, and renames the file into place.
    void close();
    const FileName& name() const { return name_; }

private:
    OutputFile(FileName name, int fd);
    // Moves the writing to a temporary file beside a regular final file.
    void write_aside();
    void abandon();
    static constexpr std::size_t kFlushAt = std::size_t(1) << 20;

    FileName name_;
    int fd_ = -1;
    std::string buffer_;
    // Set while writing aside: the temporary file, the final file it becomes
    // (the link's target when the name is a symbolic link) and its slot among
    // the pending outputs.
    std::string temporary_;
    std::string final_;
    int pending_slot_ = -1;
};
