#include "tables/textout.h"

#include "tables/file_identity.h"
#include "tables/pending_outputs.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
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
    refuse_if_already_open(name);
    int fd = ::open(name.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) fail_open(name, "create", errno);
    record_opened_file(name, fd);
    OutputFile out(std::move(name), fd);
    out.write_aside();
    return out;
}

void OutputFile::write_aside()
{
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) return;
    char resolved[PATH_MAX];
    if (!::realpath(name_.path.c_str(), resolved)) return;
    std::string target = resolved;
    const std::size_t slash = target.rfind('/');
    std::string temporary = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".XXXXXX";
    int slot = -1;
    int fd = create_pending_output(temporary, slot);
    // A folder where no new file can be made: the final file is written directly.
    if (fd < 0) return;
    // The result keeps the permissions the final name was created with;
    // where they cannot be passed on, the final file is written directly.
    if (::fchmod(fd, st.st_mode & 07777) != 0) {
        ::close(fd);
        ::unlink(temporary.c_str());
        release_pending_output(slot);
        return;
    }
    pending_slot_ = slot;
    record_opened_file(name_, fd);
    ::close(std::exchange(fd_, fd));
    temporary_ = std::move(temporary);
    final_ = std::move(target);
}

OutputFile::OutputFile(FileName name, int fd) : name_(std::move(name)), fd_(fd) { buffer_.reserve(kFlushAt + 4096); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : name_(std::move(other.name_)), fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)),
      temporary_(std::move(other.temporary_)), final_(std::move(other.final_)),
      pending_slot_(std::exchange(other.pending_slot_, -1))
{
}

OutputFile::~OutputFile()
{
    if (std::uncaught_exceptions() > 0)
        abandon();
    else
        close();
}

void OutputFile::abandon()
{
    if (fd_ < 0) return;
    ::close(std::exchange(fd_, -1));
    if (temporary_.empty()) return;
    ::unlink(temporary_.c_str());
    release_pending_output(std::exchange(pending_slot_, -1));
    temporary_.clear();
}

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
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), final_.c_str()) != 0) fail_write(name_, errno);
    release_pending_output(std::exchange(pending_slot_, -1));
    temporary_.clear();
}
