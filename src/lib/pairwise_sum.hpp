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

#include <cstddef>

namespace fennel {

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

// One segment of np.add.reduceat: term(lo) plus the pairwise sum of the rest
// (n >= 1).
template <class Term>
double numpy_segment_sum(const Term& term, std::size_t lo, std::size_t n) {
    return term(lo) + pairwise_sum(term, lo + 1, n - 1);
}

}  // namespace fennel
