// Text made into gzip data, as `gzip` writes it: the tests' and the fuzz
// targets' compressed inputs. Header-only, so that the fuzz build, which
// builds no test library, takes it as it is.
#pragma once

#include <string>
#include <string_view>
#include <zlib.h>

// `text` as one gzip member; empty when zlib fails (it does not, but for
// memory), which the callers' comparisons then show.
inline std::string gzip_member(std::string_view text)
{
    z_stream z{};
    // 16 + 15: a gzip header and trailer around the largest window.
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return status == Z_STREAM_END ? out : std::string();
}
