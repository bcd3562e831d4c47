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
#pragma once

#include "graph/core_graph.hpp"

#include <cmath>
#include <cstdint>
#include <span>

namespace fennel {

class PySum {
public:
    explicit PySum(bool compensated, double start = 0.0) : s_(start), compensated_(compensated) {}

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

}  // namespace fennel
