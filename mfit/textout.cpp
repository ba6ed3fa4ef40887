#include "textout.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

void append_fixed6(std::string& out, double value)
{
    if (std::isnan(value)) {
        out += std::signbit(value) ? "-nan" : "nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    // A double's fixed form has at most 309 integer digits.
    char digits[400];
    auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6);
    out.append(digits, result.ptr);
}

void append_int(std::string& out, std::int64_t value)
{
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

OutputFile OutputFile::create(FileName name)
{
    int fd = ::open(name.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) fail_open(name, "create", errno);
    return OutputFile(std::move(name), fd);
}

OutputFile::OutputFile(FileName name, int fd) : name_(std::move(name)), fd_(fd) { buffer_.reserve(kFlushAt + 4096); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : name_(std::move(other.name_)), fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_))
{
}

OutputFile::~OutputFile() { close(); }

void OutputFile::flush()
{
    if (fd_ < 0) return;
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        ssize_t written = ::write(fd_, p, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail_write(name_, errno);
        }
        p += written;
        left -= static_cast<std::size_t>(written);
    }
    buffer_.clear();
}

void OutputFile::close()
{
    if (fd_ < 0) return;
    flush();
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) fail_write(name_, errno);
}
