// CPython's float sum(): a plain left-to-right sum before 3.12, Neumaier's
// compensated sum from 3.12 on. NetworkX sums floats with sum(), so every
// total that mirrors one is added here, in the order sum() sees the values.
#pragma once

#include <cmath>
#include <span>

namespace fennel {

class PySum {
public:
    explicit PySum(bool compensated) : compensated_(compensated) {}

    void add(double x) {
        const double t = s_ + x;
        if (compensated_) c_ += std::fabs(s_) >= std::fabs(x) ? (s_ - t) + x : (x - t) + s_;
        s_ = t;
    }

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

}  // namespace fennel
