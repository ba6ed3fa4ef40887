#include "tables/textin.h"

#include "tables/file_identity.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

// The fuzz build (-DFUZZ=ON) reads in blocks of a few bytes instead, so that
// inputs of a few kilobytes cross block boundaries everywhere.
#ifdef TEXTIN_BLOCK_BYTES
constexpr std::size_t kBlock = TEXTIN_BLOCK_BYTES;
#else
constexpr std::size_t kBlock = std::size_t(1) << 22;
#endif

inline bool is_space(char c) { return InputFile::is_separator(c); }

// from_chars takes no leading '+'; the pipeline's readers do.
std::string_view drop_plus(std::string_view token)
{
    if (token.size() > 1 && token[0] == '+' && token[1] != '-' && token[1] != '+') token.remove_prefix(1);
    return token;
}

template <typename T>
IntParse parse_integer(std::string_view token, T& value)
{
    token = drop_plus(token);
    if (token.empty()) return IntParse::not_integer;
    T parsed{};
    auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), parsed, 10);
    if (ec == std::errc::result_out_of_range) {
        // Only a complete integer counts as out of range; "99999999999x" is simply not one.
        const char* p = token.data() + (token[0] == '-' ? 1 : 0);
        const char* e = token.data() + token.size();
        while (p < e && *p >= '0' && *p <= '9') ++p;
        return p == e ? IntParse::out_of_range : IntParse::not_integer;
    }
    if (ec != std::errc() || ptr != token.data() + token.size()) return IntParse::not_integer;
    value = parsed;
    return IntParse::ok;
}

} // namespace

InputFile InputFile::open(FileName name)
{
    int fd = ::open(name.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail_open(name, "open", errno);
    record_opened_file(name, fd);
    return InputFile(std::move(name), fd);
}

InputFile::InputFile(FileName name, int fd) : name_(std::move(name)), fd_(fd) {}

InputFile::InputFile(InputFile&& other) noexcept
    : name_(std::move(other.name_)), fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)),
      pos_(other.pos_), end_(other.end_), at_eof_(other.at_eof_), skip_rest_(other.skip_rest_), line_(other.line_),
      token_line_(other.token_line_)
{
}

InputFile::~InputFile() { close(); }

void InputFile::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    at_eof_ = true;
    buffer_.clear();
    buffer_.shrink_to_fit();
    pos_ = end_ = 0;
}

// Keeps the unread bytes [pos_, end_) at the front and reads more after them.
// Returns false when nothing more could be read.
bool InputFile::fill()
{
    if (at_eof_) return false;
    if (buffer_.empty()) buffer_.resize(kBlock);
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    while (end_ < buffer_.size()) {
        ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail_open(name_, "read", errno);
        }
        if (got == 0) {
            at_eof_ = true;
            break;
        }
        end_ += static_cast<std::size_t>(got);
        // One read is enough to go on with; the next refill tops it up.
        break;
    }
    return true;
}

bool InputFile::next(std::string_view& token)
{
    for (;;) {
        // Skip separators, counting lines, and the tail of an over-long token.
        while (pos_ < end_) {
            char c = buffer_[pos_];
            if (is_space(c)) {
                if (c == '\n') ++line_;
                skip_rest_ = false;
            } else if (!skip_rest_) {
                break;
            }
            ++pos_;
        }
        if (pos_ == end_) {
            if (!fill()) {
                // The end of the file is reported at the last line that had
                // a token: that is where the record falls short.
                return false;
            }
            continue;
        }
        // A token: make sure it lies wholly in the buffer.
        std::size_t p = pos_;
        while (p < end_ && !is_space(buffer_[p])) ++p;
        if (p == end_ && !at_eof_) {
            if (pos_ == 0 && end_ == buffer_.size()) {
                // Longer than a whole block: no number is, so hand out its
                // start for the message and drop the rest.
                token = std::string_view(buffer_.data(), end_);
                token_line_ = line_;
                pos_ = end_;
                skip_rest_ = true;
                return true;
            }
            fill();
            continue;
        }
        token = std::string_view(buffer_.data() + pos_, p - pos_);
        token_line_ = line_;
        pos_ = p;
        return true;
    }
}

IntParse parse_int32(std::string_view token, std::int32_t& value) { return parse_integer(token, value); }

IntParse parse_int64(std::string_view token, std::int64_t& value) { return parse_integer(token, value); }

bool parse_real(std::string_view token, double& value)
{
    token = drop_plus(token);
    if (token.empty()) return false;
    double parsed = 0;
    auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), parsed, std::chars_format::general);
    // Out-of-range reals (1e999, 1e-999) come back as errors from from_chars;
    // strtod's answer, infinity or a denormal/zero, is what a user expects.
    if (ec == std::errc::result_out_of_range && ptr == token.data() + token.size()) {
        std::string copy(token);
        parsed = std::strtod(copy.c_str(), nullptr);
        value = parsed;
        return true;
    }
    if (ec != std::errc() || ptr != token.data() + token.size()) return false;
    value = parsed;
    return true;
}
