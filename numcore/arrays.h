// Owning wrappers for the offset-indexed arrays of nrutil.h.
//
// Each wrapper holds exactly one handle with the bounds it was made with and
// releases it once, on every path out of its scope. They are move-only, so a
// handle can be handed on but never released twice. Indexing is 1-based, as
// the tables of the pipeline are.
#pragma once

#include "numcore/nrutil.h"

#include <cstdint>
#include <utility>

namespace arrays_detail {

template <typename T> struct Allocator;

template <> struct Allocator<int> {
    static int* vector(std::int64_t n) { return ivector(1, n); }
    static void release(int* v, std::int64_t n) { free_ivector(v, 1, n); }
    static int** matrix(std::int64_t r, std::int64_t c) { return imatrix(1, r, 1, c); }
    static void release(int** m, std::int64_t r, std::int64_t c) { free_imatrix(m, 1, r, 1, c); }
};

template <> struct Allocator<double> {
    static double* vector(std::int64_t n) { return dvector(1, n); }
    static void release(double* v, std::int64_t n) { free_dvector(v, 1, n); }
    static double** matrix(std::int64_t r, std::int64_t c) { return dmatrix(1, r, 1, c); }
    static void release(double** m, std::int64_t r, std::int64_t c) { free_dmatrix(m, 1, r, 1, c); }
};

} // namespace arrays_detail

// A vector valid at [1..size()].
template <typename T>
class Vector {
public:
    Vector() = default;
    explicit Vector(std::int64_t length) : v_(arrays_detail::Allocator<T>::vector(length)), n_(length) {}
    Vector(Vector&& other) noexcept : v_(std::exchange(other.v_, nullptr)), n_(std::exchange(other.n_, 0)) {}
    Vector& operator=(Vector&& other) noexcept
    {
        if (this != &other) {
            reset();
            v_ = std::exchange(other.v_, nullptr);
            n_ = std::exchange(other.n_, 0);
        }
        return *this;
    }
    Vector(const Vector&) = delete;
    Vector& operator=(const Vector&) = delete;
    ~Vector() { reset(); }

    T& operator[](std::int64_t i) { return v_[i]; }
    const T& operator[](std::int64_t i) const { return v_[i]; }
    // The raw 1-based handle, for the numeric routines.
    T* get() { return v_; }
    const T* get() const { return v_; }
    std::int64_t size() const { return n_; }

private:
    void reset()
    {
        if (v_) arrays_detail::Allocator<T>::release(v_, n_);
        v_ = nullptr;
        n_ = 0;
    }
    T* v_ = nullptr;
    std::int64_t n_ = 0;
};

// A matrix valid at [1..rows()][1..cols()]; each row is a 1-based vector.
template <typename T>
class Matrix {
public:
    Matrix() = default;
    Matrix(std::int64_t rows, std::int64_t cols)
        : m_(arrays_detail::Allocator<T>::matrix(rows, cols)), rows_(rows), cols_(cols)
    {
    }
    Matrix(Matrix&& other) noexcept
        : m_(std::exchange(other.m_, nullptr)), rows_(std::exchange(other.rows_, 0)), cols_(std::exchange(other.cols_, 0))
    {
    }
    Matrix& operator=(Matrix&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_ = std::exchange(other.m_, nullptr);
            rows_ = std::exchange(other.rows_, 0);
            cols_ = std::exchange(other.cols_, 0);
        }
        return *this;
    }
    Matrix(const Matrix&) = delete;
    Matrix& operator=(const Matrix&) = delete;
    ~Matrix() { reset(); }

    T* operator[](std::int64_t i) { return m_[i]; }
    const T* operator[](std::int64_t i) const { return m_[i]; }
    T** get() { return m_; }
    std::int64_t rows() const { return rows_; }
    std::int64_t cols() const { return cols_; }

private:
    void reset()
    {
        if (m_) arrays_detail::Allocator<T>::release(m_, rows_, cols_);
        m_ = nullptr;
        rows_ = cols_ = 0;
    }
    T** m_ = nullptr;
    std::int64_t rows_ = 0;
    std::int64_t cols_ = 0;
};

using IntVector = Vector<int>;
using RealVector = Vector<double>;
using IntMatrix = Matrix<int>;
using RealMatrix = Matrix<double>;
