// Float sums in the orders NetworkX's arithmetic forms them.
//
// CPython's sum(), as NetworkX's totals meet it. NetworkX sums with sum(), so
// every total that mirrors one is added here, in the order sum() sees the
// values.
//
// PySum: floats only, a plain left-to-right sum before 3.12, Neumaier's
// compensated sum from 3.12 on.
//
// KindSum: numbers of the four value kinds, from sum()'s start, the int 0.
// sum() is a state machine: an int path while items are exact ints (bools
// included), a float path while the running result is an exact float (ints
// met there are added as doubles, never compensated), and a generic path of
// `result = result + item` for good once an item of another type (a numpy
// scalar) appears. At that switch the float path's total, with its
// compensation folded in, becomes the running result. The generic path adds
// plainly, and the result's kind is the OR of the kinds met (the int path's
// and float path's results are Python ints and floats). Ints are exact
// throughout: callers keep integer totals within 2**53.
//
// numpy's float64 reductions, term for term. NetworkX's scipy-based
// algorithms sum vectors with `ndarray.sum()` and sparse row sums with
// `np.add.reduceat`; both add by numpy's pairwise scheme, which differs from a
// left-to-right sum from eight terms on:
//   - fewer than 8 terms: left to right, starting from -0.0;
//   - 8 to 128 terms: eight running sums start from the first eight terms and
//     take every eighth term after them, then combine as
//     ((r0 + r1) + (r2 + r3)) + ((r4 + r5) + (r6 + r7)); the n mod 8 terms
//     left over are added one by one;
//   - more: split at half the length rounded down to a multiple of 8, sum the
//     halves recursively and add them.
// `ndarray.sum()` adds that result to 0.0; a `reduceat` segment is its first
// term plus the pairwise sum of the rest. A test compares these with the
// installed numpy, so a numpy release that sums otherwise is caught.
#pragma once

#include "graph/core_graph.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

namespace fennel {

class PySum {
public:
    explicit PySum(bool compensated, double start = 0.0) : s_(start), compensated_(compensated) {}
    // Resumes a sum from its running pair (partial(), compensation()).
    PySum(bool compensated, double partial, double compensation)
        : s_(partial), c_(compensation), compensated_(compensated) {}

    void add(double x) {
        const double t = s_ + x;
        if (compensated_) c_ += std::fabs(s_) >= std::fabs(x) ? (s_ - t) + x : (x - t) + s_;
        s_ = t;
    }
    // Adds x without compensating it (sum()'s ints on its float path).
    void add_plain(double x) { s_ += x; }

    // The total as sum() returns it: the compensation is applied only when
    // it is non-zero and finite.
    double result() const { return c_ != 0.0 && std::isfinite(c_) ? s_ + c_ : s_; }
    double partial() const { return s_; }
    double compensation() const { return c_; }

private:
    double s_ = 0.0;
    double c_ = 0.0;
    bool compensated_;
};

inline double py_sum(std::span<const double> values, bool compensated) {
    PySum sum(compensated);
    for (double x : values) sum.add(x);
    return sum.result();
}

// math.hypot(*values) as CPython computes it (vector_norm, 3.11 on): the
// values scaled by a power of two below the largest, their squares summed
// exactly in order into a running 1.0 plus two low-order sums, the square
// root of that, then one differential correction. `at(i)` gives the i-th
// value. nullopt for a non-finite value or a largest one below the normal
// range (CPython's other branches): the caller asks math.hypot itself.
template <class At>
std::optional<double> py_hypot(std::size_t n, At&& at) {
    // The exact product and sum of two doubles, as (rounded, error).
    const auto square = [](double a) {
        const double c = 134217729.0 * a;  // 2**27 + 1: Veltkamp's split
        const double hi = c - (c - a);
        const double lo = a - hi;
        const double p = a * a;
        return std::pair{p, lo * lo - (((p - hi * hi) - lo * hi) - hi * lo)};
    };
    const auto fast_sum = [](double a, double b) {  // |a| >= |b|
        const double x = a + b;
        return std::pair{x, b - (x - a)};
    };
    double max = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = std::fabs(at(i));
        if (!std::isfinite(x)) return std::nullopt;
        if (x > max) max = x;
    }
    if (max == 0.0 || n <= 1) return max;
    int max_e = 0;
    std::frexp(max, &max_e);
    if (max_e < -1023) return std::nullopt;
    const double scale = std::ldexp(1.0, -max_e);
    double csum = 1.0;
    double frac1 = 0.0;
    double frac2 = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto [hi, lo] = square(std::fabs(at(i)) * scale);
        const auto [sum, err] = fast_sum(csum, hi);
        csum = sum;
        frac1 += lo;
        frac2 += err;
    }
    double h = std::sqrt(csum - 1.0 + (frac1 + frac2));
    const auto [hi, lo] = square(h);
    const auto [sum, err] = fast_sum(csum, -hi);
    csum = sum;
    frac1 -= lo;
    frac2 += err;
    h += (csum - 1.0 + (frac1 + frac2)) / (2.0 * h);
    return h / scale;
}

class KindSum {
public:
    explicit KindSum(bool compensated) : compensated_(compensated), floats_(compensated) {}

    void add(double x, std::uint8_t kind) {
        switch (path_) {
            case Path::Int:
                if (kind == PY_INT) {
                    value_ += x;
                    return;
                }
                // int + float is a float, whose float path starts afresh;
                // int + numpy is numpy, on the generic path.
                if (kind == PY_FLOAT) {
                    path_ = Path::Float;
                    kind_ = PY_FLOAT;
                    floats_ = PySum(compensated_, value_ + x);
                    return;
                }
                value_ += x;
                kind_ = kind;
                path_ = Path::Generic;
                return;
            case Path::Float:
                if (kind == PY_FLOAT) {
                    floats_.add(x);
                    return;
                }
                if (kind == PY_INT) {
                    floats_.add_plain(x);
                    return;
                }
                value_ = floats_.result() + x;
                kind_ = static_cast<std::uint8_t>(kind | FLOAT_BIT);
                path_ = Path::Generic;
                return;
            case Path::Generic:
                value_ += x;
                kind_ = static_cast<std::uint8_t>(kind_ | kind);
                return;
        }
    }

    double value() const { return path_ == Path::Float ? floats_.result() : value_; }
    std::uint8_t kind() const { return kind_; }

private:
    enum class Path : std::uint8_t { Int, Float, Generic };
    Path path_ = Path::Int;
    double value_ = 0.0;  // the int path's and generic path's running result
    bool compensated_;
    PySum floats_;
    std::uint8_t kind_ = PY_INT;
};

// Pairwise sum of term(lo), ..., term(lo + n - 1).
template <class Term>
double pairwise_sum(const Term& term, std::size_t lo, std::size_t n) {
    if (n < 8) {
        double s = -0.0;
        for (std::size_t i = lo; i < lo + n; ++i) s += term(i);
        return s;
    }
    if (n <= 128) {
        double r[8];
        for (std::size_t j = 0; j < 8; ++j) r[j] = term(lo + j);
        std::size_t i = 8;
        for (; i < n - n % 8; i += 8) {
            for (std::size_t j = 0; j < 8; ++j) r[j] += term(lo + i + j);
        }
        double s = ((r[0] + r[1]) + (r[2] + r[3])) + ((r[4] + r[5]) + (r[6] + r[7]));
        for (; i < n; ++i) s += term(lo + i);
        return s;
    }
    std::size_t half = n / 2;
    half -= half % 8;
    return pairwise_sum(term, lo, half) + pairwise_sum(term, lo + half, n - half);
}

// ndarray.sum() of term(0), ..., term(n - 1).
template <class Term>
double numpy_sum(const Term& term, std::size_t n) {
    return 0.0 + pairwise_sum(term, 0, n);
}

// float ** y as CPython's float_pow and numpy's float64 scalars compute it:
// the C library's pow(), through a pointer the compiler cannot fold into a
// product (pow(x, 2.0) is not always x * x).
inline double (*volatile const libm_pow)(double, double) = &std::pow;

// One segment of np.add.reduceat: term(lo) plus the pairwise sum of the rest
// (n >= 1).
template <class Term>
double numpy_segment_sum(const Term& term, std::size_t lo, std::size_t n) {
    return term(lo) + pairwise_sum(term, lo + 1, n - 1);
}

}  // namespace fennel
