#include "tables/byte_source.h"

#include "tables/file_identity.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zlib.h>

namespace {

// The compressed bytes are read in blocks of this size. The fuzz build
// (-DFUZZ=ON) takes a few bytes, so that short inputs end a block
// everywhere inside the gzip data.
#ifdef TEXTIN_GZIP_BYTES
constexpr std::size_t kCompressedBlock = TEXTIN_GZIP_BYTES;
#else
constexpr std::size_t kCompressedBlock = std::size_t(1) << 18;
#endif

// zlib counts in unsigned int: larger requests are made in parts.
constexpr std::size_t kLargestRequest = std::size_t(1) << 30;

bool starts_gzip(const char* bytes) { return bytes[0] == '\x1f' && bytes[1] == '\x8b'; }

} // namespace

// zlib's stream state points back at its z_stream, which therefore stays
// where it was made: the source holds it through a pointer and may move.
struct ByteSource::Inflater {
    z_stream z{};
    std::vector<unsigned char> input = std::vector<unsigned char>(kCompressedBlock);
    bool file_ended = false;   // the file's bytes are all in `input`
    bool member_ended = false; // a gzip member ended; another may follow

    Inflater()
    {
        // 16 + 15: a gzip header and trailer around the largest window.
        if (inflateInit2(&z, 16 + 15) != Z_OK) throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
};

ByteSource ByteSource::open(FileName name)
{
    const int fd = ::open(name.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail_open(name, "open", errno);
    record_opened_file(name, fd);
    return ByteSource(std::move(name), fd);
}

ByteSource::ByteSource(FileName name, int fd) : name_(std::move(name)), fd_(fd) {}

ByteSource::ByteSource(ByteSource&& other) noexcept
    : name_(std::move(other.name_)), fd_(std::exchange(other.fd_, -1)), started_(other.started_),
      ranged_(other.ranged_), remaining_(other.remaining_), gzip_(std::move(other.gzip_))
{
}

ByteSource::~ByteSource() { close(); }

void ByteSource::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    gzip_.reset();
}

#ifdef TEXTIN_FUZZ_READS
std::size_t g_longest_read = 0;
#endif

std::size_t ByteSource::read_raw(char* into, std::size_t room)
{
#ifdef TEXTIN_FUZZ_READS
    if (g_longest_read > 0) room = std::min(room, g_longest_read);
#endif
    if (ranged_) room = static_cast<std::size_t>(std::min<std::uint64_t>(room, remaining_));
    if (room == 0) return 0;
    for (;;) {
        const ssize_t got = ::read(fd_, into, std::min(room, kLargestRequest));
        if (got >= 0) {
            if (ranged_) remaining_ -= static_cast<std::uint64_t>(got);
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) fail_open(name_, "read", errno);
    }
}

void ByteSource::read_range(std::uint64_t begin, std::uint64_t end)
{
    if (::lseek(fd_, static_cast<off_t>(begin), SEEK_SET) < 0) fail_open(name_, "seek in", errno);
    started_ = true;
    ranged_ = true;
    remaining_ = end > begin ? end - begin : 0;
}

std::size_t ByteSource::read(char* into, std::size_t room)
{
    if (fd_ < 0 || room == 0) return 0;
    if (!started_) return read_first(into, room);
    if (gzip_) return inflate(into, room);
    return read_raw(into, room);
}

std::size_t ByteSource::read_first(char* into, std::size_t room)
{
    started_ = true;
    // Two bytes tell; a pipe may hand them over one at a time.
    std::size_t got = read_raw(into, room);
    while (got == 1 && room > 1 && into[0] == '\x1f') {
        const std::size_t more = read_raw(into + 1, room - 1);
        if (more == 0) break;
        got += more;
    }
    if (got < 2 || !starts_gzip(into)) return got;
    gzip_ = std::make_unique<Inflater>();
    if (got > gzip_->input.size()) gzip_->input.resize(got);
    std::memcpy(gzip_->input.data(), into, got);
    gzip_->z.next_in = gzip_->input.data();
    gzip_->z.avail_in = static_cast<uInt>(got);
    return inflate(into, room);
}

void ByteSource::refuse_gzip(const char* why) const
{
    fail_input("cannot read " + describe(name_) + ": " + why);
}

std::size_t ByteSource::inflate(char* into, std::size_t room)
{
    Inflater& g = *gzip_;
    z_stream& z = g.z;
    for (;;) {
        if (z.avail_in == 0 && !g.file_ended) {
            const std::size_t got = read_raw(reinterpret_cast<char*>(g.input.data()), g.input.size());
            g.file_ended = got == 0;
            z.next_in = g.input.data();
            z.avail_in = static_cast<uInt>(got);
            continue;
        }
        if (g.member_ended) {
            if (z.avail_in == 0) return 0; // the file ends after a whole member
            // Bytes after a member start another one, or the data is damaged.
            g.member_ended = false;
            inflateReset(&z);
        }
        z.next_out = reinterpret_cast<Bytef*>(into);
        z.avail_out = static_cast<uInt>(std::min(room, kLargestRequest));
        const uInt before = z.avail_out;
        const int status = ::inflate(&z, Z_NO_FLUSH);
        const std::size_t made = before - z.avail_out;
        if (status == Z_STREAM_END) {
            g.member_ended = true;
        } else if (status == Z_MEM_ERROR) {
            throw std::bad_alloc();
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            refuse_gzip((std::string("its gzip data is damaged (") + (z.msg ? z.msg : "not inflatable") + ")").c_str());
        } else if (made == 0 && z.avail_in == 0 && g.file_ended) {
            refuse_gzip("its gzip data ends early (the file is cut short)");
        }
        // Each pass takes input or makes text, or stops above.
        if (made > 0) return made;
    }
}
