// Arrays numbered as the whole table is, holding only a part of it: a run
// over a range of genes (--genes) reads and keeps only its genes' lines of
// the annotation and the fits, but every step indexes them by the gene's and
// the exon's number in the whole table. A whole read holds 1..n.
#pragma once

#include "numcore/arrays.h"

#include <cstdint>
#include <utility>

// A vector valid at [first..last] (none when last < first).
template <typename T>
class PartVector {
public:
    PartVector() = default;
    PartVector(std::int64_t first, std::int64_t last) : shift_(first - 1)
    {
        if (last >= first) v_ = Vector<T>(last - first + 1);
    }
    T& operator[](std::int64_t i) { return v_[i - shift_]; }
    const T& operator[](std::int64_t i) const { return v_[i - shift_]; }

private:
    Vector<T> v_;
    std::int64_t shift_ = 0;
};

// A matrix whose rows [first..last] are valid, each a 1-based vector of
// `cols` entries.
template <typename T>
class PartMatrix {
public:
    PartMatrix() = default;
    PartMatrix(std::int64_t first, std::int64_t last, std::int64_t cols) : shift_(first - 1)
    {
        if (last >= first) m_ = Matrix<T>(last - first + 1, cols);
    }
    T* operator[](std::int64_t r) { return m_[r - shift_]; }
    const T* operator[](std::int64_t r) const { return m_[r - shift_]; }

private:
    Matrix<T> m_;
    std::int64_t shift_ = 0;
};
