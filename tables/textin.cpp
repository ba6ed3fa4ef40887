#include "tables/textin.h"

#include "tables/file_identity.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
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

InputFile InputFile::open(FileName name) { return InputFile(ByteSource::open(std::move(name))); }

InputFile::InputFile(ByteSource source) : source_(std::move(source)) {}

InputFile::InputFile(InputFile&& other) noexcept
    : source_(std::move(other.source_)), buffer_(std::move(other.buffer_)), pos_(other.pos_), end_(other.end_),
      at_eof_(other.at_eof_), skip_rest_(other.skip_rest_), line_(other.line_), token_line_(other.token_line_),
      consumed_(other.consumed_), line_start_(other.line_start_)
{
}

InputFile::~InputFile() { close(); }

void InputFile::close()
{
    source_.close();
    at_eof_ = true;
    buffer_.clear();
    buffer_.shrink_to_fit();
    pos_ = end_ = 0;
}

bool InputFile::fill(bool grow)
{
    if (at_eof_) return false;
    if (buffer_.empty()) buffer_.resize(kBlock);
    if (pos_ > 0) {
        // The bytes read past leave the buffer; the last line end among
        // them is where the line at pos_ starts.
        if (const void* end = ::memrchr(buffer_.data(), '\n', pos_))
            line_start_ = consumed_ + static_cast<std::size_t>(static_cast<const char*>(end) - buffer_.data()) + 1;
        consumed_ += pos_;
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (grow && end_ == buffer_.size()) {
        if (buffer_.size() >= kLongestLine)
            fail_input(describe(name()) + ", line " + std::to_string(line_) + ": expected a line of at most " +
                       std::to_string(kLongestLine) + " bytes, found a longer one");
        buffer_.resize(std::min(buffer_.size() * 2, kLongestLine));
    }
    // One read is enough to go on with; the next refill tops it up.
    const std::size_t got = source_.read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) at_eof_ = true;
    end_ += got;
    return true;
}

void InputFile::refuse_nul(std::size_t at) const
{
    // No line end lies between pos_ and the NUL: its line starts after the
    // last one before it, in the buffer or before it.
    const void* end = ::memrchr(buffer_.data(), '\n', at);
    const std::uint64_t start =
        end ? consumed_ + static_cast<std::size_t>(static_cast<const char*>(end) - buffer_.data()) + 1 : line_start_;
    fail_input(describe(name()) + ", line " + std::to_string(line_) + ", byte " +
               std::to_string(consumed_ + at - start + 1) + ": expected text, found a NUL byte");
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
        for (char c; p < end_ && !is_space(c = buffer_[p]); ++p)
            if (c == '\0') refuse_nul(p);
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

bool InputFile::next_line(std::string_view& text)
{
    // Only the bytes not yet looked at are searched, so that a line read
    // over several refills is scanned once.
    std::size_t scanned = 0; // from pos_: neither a line end nor a NUL
    const char* newline = nullptr;
    for (;;) {
        const std::size_t unread = end_ - pos_ - scanned;
        if (unread > 0) {
            const char* from = buffer_.data() + pos_ + scanned;
            newline = static_cast<const char*>(std::memchr(from, '\n', unread));
            const std::size_t upto = newline ? static_cast<std::size_t>(newline - from) : unread;
            if (const void* nul = std::memchr(from, '\0', upto))
                refuse_nul(static_cast<std::size_t>(static_cast<const char*>(nul) - buffer_.data()));
            scanned += upto;
        }
        if (newline || !fill(true)) break;
    }
    if (!newline && pos_ == end_) return false;
    const char* first = buffer_.data() + pos_;
    std::size_t length = newline ? static_cast<std::size_t>(newline - first) : end_ - pos_;
    pos_ += length + (newline ? 1 : 0); // a last line without its line end
    if (length > 0 && first[length - 1] == '\r') --length;
    text = std::string_view(first, length);
    token_line_ = line_;
    if (newline) ++line_;
    skip_rest_ = false;
    return true;
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
