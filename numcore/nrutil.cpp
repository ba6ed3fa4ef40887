#include "numcore/nrutil.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Writes the whole text to standard error, unformatted and unbuffered, so the
// report gets out even when stdio's buffers are in a bad state.
void write_stderr(const char* text, std::size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(2, text, length);
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

// Number of bytes for `count` elements of `size` bytes, or 0 when the count is
// not positive or the product does not fit: both are allocation failures.
std::size_t block_bytes(std::int64_t count, std::size_t size)
{
    if (count <= 0) return 0;
    if (static_cast<std::uint64_t>(count) > std::numeric_limits<std::size_t>::max() / size) return 0;
    return static_cast<std::size_t>(count) * size;
}

// A table of tens of millions of counts is touched page by page as it is
// filled; asking for huge pages makes that a few hundred faults instead of
// a few hundred thousand. Only a hint: the layout and contents are the same.
void prefer_huge_pages(void* block, std::size_t bytes)
{
    constexpr std::size_t kHuge = std::size_t(2) << 20;
    if (bytes < 16 * kHuge) return;
    const auto start = (reinterpret_cast<std::uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kHuge - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

template <typename T>
T* vector_block(std::int64_t nl, std::int64_t nh, const char* message)
{
    std::size_t bytes = block_bytes(nh - nl + 2, sizeof(T));
    T* block = bytes ? static_cast<T*>(std::malloc(bytes)) : nullptr;
    if (!block) nrerror(message);
    return block + 1 - nl;
}

template <typename T>
T** matrix_block(std::int64_t nrl, std::int64_t nrh, std::int64_t ncl, std::int64_t nch)
{
    std::int64_t nrow = nrh - nrl + 1;
    std::int64_t ncol = nch - ncl + 1;
    // nrow + 1 handles, the first unused. An empty matrix still needs the handle
    // of its first row, which is where the release finds the element block, so
    // it gets two.
    std::size_t table_bytes = block_bytes(nrow == 0 ? 2 : nrow + 1, sizeof(T*));
    T** m = table_bytes ? static_cast<T**>(std::malloc(table_bytes)) : nullptr;
    if (!m) nrerror("allocation failure 1 in matrix()");
    m = m + 1 - nrl;

    std::size_t element_bytes = 0;
    if (nrow >= 0 && ncol >= 0 &&
        (ncol == 0 || nrow <= (std::numeric_limits<std::int64_t>::max() - 1) / ncol))
        element_bytes = block_bytes(nrow * ncol + 1, sizeof(T));
    T* block = element_bytes ? static_cast<T*>(std::malloc(element_bytes)) : nullptr;
    if (!block) nrerror("allocation failure 2 in matrix()");
    prefer_huge_pages(block, element_bytes);

    m[nrl] = block + 1 - ncl;
    for (std::int64_t i = nrl + 1; i <= nrh; ++i) m[i] = m[i - 1] + ncol;
    return m;
}

} // namespace

void nrerror(const char* message)
{
    static const char head[] = "Numerical Recipes run-time error...\n";
    static const char tail[] = "...now exiting to system...\n";
    std::fflush(stdout);
    write_stderr(head, sizeof head - 1);
    std::size_t length = 0;
    while (message[length] != '\0') ++length;
    write_stderr(message, length);
    write_stderr("\n", 1);
    write_stderr(tail, sizeof tail - 1);
    std::exit(1);
}

int* ivector(std::int64_t nl, std::int64_t nh)
{
    return vector_block<int>(nl, nh, "allocation failure in ivector()");
}

double* dvector(std::int64_t nl, std::int64_t nh)
{
    return vector_block<double>(nl, nh, "allocation failure in dvector()");
}

int** imatrix(std::int64_t nrl, std::int64_t nrh, std::int64_t ncl, std::int64_t nch)
{
    return matrix_block<int>(nrl, nrh, ncl, nch);
}

double** dmatrix(std::int64_t nrl, std::int64_t nrh, std::int64_t ncl, std::int64_t nch)
{
    return matrix_block<double>(nrl, nrh, ncl, nch);
}

void free_ivector(int* v, std::int64_t nl, std::int64_t /*nh*/)
{
    std::free(v + nl - 1);
}

void free_dvector(double* v, std::int64_t nl, std::int64_t /*nh*/)
{
    std::free(v + nl - 1);
}

void free_imatrix(int** m, std::int64_t nrl, std::int64_t /*nrh*/, std::int64_t ncl, std::int64_t /*nch*/)
{
    std::free(m[nrl] + ncl - 1);
    std::free(m + nrl - 1);
}

void free_dmatrix(double** m, std::int64_t nrl, std::int64_t /*nrh*/, std::int64_t ncl, std::int64_t /*nch*/)
{
    std::free(m[nrl] + ncl - 1);
    std::free(m + nrl - 1);
}
