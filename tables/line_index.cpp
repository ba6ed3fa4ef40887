#include "tables/line_index.h"

#include "tables/textout.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kSampleBlocks = 16;

std::size_t sample_bytes(IndexFormat format) { return format == IndexFormat::reads ? 4096 : 1024; }

void fnv(std::uint64_t& h, const unsigned char* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ULL;
}

// FNV-1a of the size and of 16 blocks (of 4 KB for the reads, 1 KB for the
// other tables) spread evenly from the first byte to the last: a file
// rewritten with the same size but other values nearly always changes one of
// them. False when the file cannot be read.
bool sample_check(int fd, std::uint64_t size, IndexFormat format, std::uint64_t& h)
{
    const std::size_t block_bytes = sample_bytes(format);
    h = 14695981039346656037ULL;
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(size >> (8 * i));
    fnv(h, bytes, 8);
    std::vector<unsigned char> block(block_bytes);
    const std::uint64_t last = size > block_bytes ? size - block_bytes : 0;
    for (std::size_t b = 0; b < kSampleBlocks; ++b) {
        const std::uint64_t at = last * b / (kSampleBlocks - 1);
        std::size_t got = 0;
        while (got < block_bytes && at + got < size) {
            const ssize_t n = ::pread(fd, block.data() + got, block_bytes - got, static_cast<off_t>(at + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            got += static_cast<std::size_t>(n);
        }
        fnv(h, block.data(), got);
    }
    return true;
}

// The size of a regular file whose first bytes are not gzip's.
bool plain_file(int fd, std::uint64_t& size)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    unsigned char magic[2] = {0, 0};
    if (size >= 2 && ::pread(fd, magic, 2, 0) != 2) return false;
    return !(magic[0] == 0x1f && magic[1] == 0x8b);
}

// FNV-1a of the offsets, so that a damaged index is known as one before a
// shard starts reading in the middle of a row.
std::uint64_t offsets_check(const std::vector<std::uint64_t>& offsets)
{
    std::uint64_t h = 14695981039346656037ULL;
    for (const std::uint64_t o : offsets) {
        unsigned char bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(o >> (8 * i));
        fnv(h, bytes, 8);
    }
    return h;
}

std::string hex(std::uint64_t v)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

const char* format_word(IndexFormat format) { return format == IndexFormat::reads ? "reads-index" : "table-index"; }

} // namespace

std::string line_index_path(const std::string& path) { return path + ".idx"; }

LineIndex::Span LineIndex::span(std::int64_t first, std::int64_t last) const
{
    Span s;
    const std::int64_t k0 = (first - 1) / every;
    s.begin = offsets[static_cast<std::size_t>(k0)];
    s.start = k0 * every + 1;
    const std::int64_t k1 = (last + every - 1) / every; // the first checkpoint after row last
    s.end = static_cast<std::size_t>(k1) < offsets.size() ? offsets[static_cast<std::size_t>(k1)] : size;
    return s;
}

bool LineIndex::starts_line(int fd, std::uint64_t at)
{
    char before = 0;
    return at == 0 || (::pread(fd, &before, 1, static_cast<off_t>(at - 1)) == 1 && before == '\n');
}

std::string write_line_index(const FileName& file, IndexFormat format, std::int64_t fields, std::int64_t every)
{
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail_open(file, "open", errno);
    LineIndex idx;
    idx.format = format;
    idx.fields = fields;
    idx.every = every;
    if (!plain_file(fd, idx.size)) {
        ::close(fd);
        return "it is not a plain regular file (gzip-compressed data cannot be read from the middle)";
    }
    if (!sample_check(fd, idx.size, format, idx.check)) fail_open(file, "read", errno);
    // One pass over the bytes, counting the fields of each line. A line ends
    // at its '\n', the last one also at the end of the file; the first line
    // that is not a record of the layout ends the index.
    std::vector<char> block(std::size_t(1) << 20);
    std::uint64_t at = 0, line_start = 0;
    std::int64_t in_line = 0;
    bool in_token = false;
    const auto line_ended = [&](std::uint64_t next_start) {
        if (idx.fields == 0 && idx.rows == 0) idx.fields = in_line; // the first line sets the layout
        if (in_line != idx.fields || in_line == 0) return false;
        if (idx.rows % every == 0) idx.offsets.push_back(line_start);
        ++idx.rows;
        in_line = 0;
        in_token = false;
        line_start = next_start;
        return true;
    };
    for (bool going = true; going;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail_open(file, "read", errno);
        if (got == 0) {
            if (in_line > 0) line_ended(at);
            break;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) && going; ++i) {
            const char c = block[i];
            if (c == '\n') {
                going = line_ended(at + i + 1);
            } else {
                const bool separator = InputFile::is_separator(c);
                if (!separator && !in_token) ++in_line;
                in_token = !separator;
            }
        }
        at += static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    if (idx.rows == 0)
        return fields > 0 ? "its first line is not a row of " + std::to_string(fields) + " fields"
                          : std::string("its first line holds no field");
    OutputFile out = OutputFile::create(
        {format == IndexFormat::reads ? "reads index" : file.role + " index", line_index_path(file.path)});
    std::string& b = out.buffer();
    b += std::string(format_word(format)) + " 1\nsize " + std::to_string(idx.size) + "\ncheck " + hex(idx.check) +
         (format == IndexFormat::reads ? "\nconditions " + std::to_string(idx.fields - 3)
                                       : "\nfields " + std::to_string(idx.fields)) +
         "\nrows " + std::to_string(idx.rows) + "\nevery " + std::to_string(every) + "\noffsets " +
         hex(offsets_check(idx.offsets)) + "\n";
    for (const std::uint64_t o : idx.offsets) {
        b += std::to_string(o);
        b += '\n';
        out.line_done();
    }
    out.close();
    return {};
}

std::optional<LineIndex> find_line_index(InputFile& file, IndexFormat format, std::int64_t fields,
                                         std::int64_t records, const std::string& records_name)
{
    const std::string path = line_index_path(file.name().path);
    const std::string& role = file.name().role;
    std::ifstream in(path);
    if (!in) return std::nullopt;
    const auto ignore = [&](const std::string& why) {
        warn("warning: ignoring the index '" + path + "' of " + describe(file.name()) + ": " + why +
             "; reading the whole " + role);
        return std::nullopt;
    };
    const bool reads = format == IndexFormat::reads;
    const std::string word = format_word(format), layout = reads ? "conditions" : "fields";
    LineIndex idx;
    idx.format = format;
    std::string head, check;
    int version = 0;
    if (!(in >> head >> version) || head != word || version != 1)
        return ignore("not a " + std::string(reads ? "reads" : "table") + " index of version 1");
    std::string k1, k2, k3, k4, k5, k6, listed;
    if (!(in >> k1 >> idx.size >> k2 >> check >> k3 >> idx.fields >> k4 >> idx.rows >> k5 >> idx.every >> k6 >>
          listed) ||
        k1 != "size" || k2 != "check" || k3 != layout || k4 != "rows" || k5 != "every" || k6 != "offsets" ||
        idx.every < 1 || idx.rows < 1)
        return ignore("its header is damaged");
    if (reads) idx.fields += 3;
    for (std::string o; in >> o;) {
        std::uint64_t v = 0;
        const auto [end, ec] = std::from_chars(o.data(), o.data() + o.size(), v);
        if (ec != std::errc() || end != o.data() + o.size()) return ignore("its offsets are damaged or cut");
        idx.offsets.push_back(v);
    }
    if (static_cast<std::int64_t>(idx.offsets.size()) != (idx.rows + idx.every - 1) / idx.every ||
        hex(offsets_check(idx.offsets)) != listed)
        return ignore("its offsets are damaged or cut");
    std::uint64_t size = 0, sum = 0;
    if (!plain_file(file.descriptor(), size)) return ignore("the " + role + " is gzip-compressed or not a regular file");
    if (size != idx.size || idx.offsets.back() >= size)
        return ignore("it was made for a " + role + " of " + std::to_string(idx.size) + " bytes, this one has " +
                      std::to_string(size));
    if (!sample_check(file.descriptor(), size, format, sum) || hex(sum) != check)
        return ignore("its checksum of the " + role +
                      "'s bytes differs: it was made for another file of the same size");
    if (idx.fields != fields)
        return ignore(reads ? "it was made for " + std::to_string(idx.fields - 3) + " conditions, not " +
                                  std::to_string(fields - 3)
                            : "it was made for lines of " + std::to_string(idx.fields) + " fields, not " +
                                  std::to_string(fields));
    if (idx.rows < records)
        return ignore("it holds " + std::to_string(idx.rows) + (reads ? " rows" : " lines") + ", fewer than " +
                      records_name + " = " + std::to_string(records));
    return idx;
}

void warn_index_offset(const InputFile& file, std::uint64_t offset)
{
    warn("warning: ignoring the index '" + line_index_path(file.name().path) + "' of " + describe(file.name()) +
         ": its offset " + std::to_string(offset) + " does not start a line; reading the whole " + file.name().role);
}
