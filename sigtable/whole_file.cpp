#include "sigtable/whole_file.h"

#include "tables/file_identity.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

OpenedFile::OpenedFile(const FileName& name) : fd_(::open(name.path.c_str(), O_RDONLY | O_CLOEXEC))
{
    if (fd_ < 0) fail_open(name, "open", errno);
}

OpenedFile::~OpenedFile() { ::close(fd_); }

std::string read_whole(const FileName& name)
{
    const OpenedFile file(name);
    record_opened_file(name, file.fd());
    std::string text;
    for (;;) {
        const std::size_t old_size = text.size();
        text.resize(old_size + (std::size_t(1) << 16));
        const ssize_t got = ::read(file.fd(), text.data() + old_size, text.size() - old_size);
        const int error = errno;
        text.resize(old_size + static_cast<std::size_t>(got > 0 ? got : 0));
        if (got == 0) break;
        if (got < 0 && error != EINTR) fail_open(name, "read", error);
    }
    return text;
}
