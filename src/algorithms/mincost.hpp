// NetworkX's minimum-cost flows (flow/networksimplex.py): the pivot loop of
// network_simplex over its spanning tree, step for step.
#pragma once

#include "lib/result.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// A number as NetworkX's simplex holds it, a Python int or a Python float,
// with Python's arithmetic between them: int op int stays an exact int (128
// bits here, which the caller's bounds keep from overflowing), an int meeting
// a float becomes that float's type (converted with correct rounding), and
// int/float comparisons are exact, as Python compares them.
struct PyNumber {
    __int128 i = 0;
    double f = 0.0;
    bool is_float = false;

    static PyNumber of_int(__int128 v) { return {v, 0.0, false}; }
    static PyNumber of_float(double v) { return {0, v, true}; }
    double as_double() const { return is_float ? f : static_cast<double>(i); }
};

PyNumber operator+(const PyNumber& a, const PyNumber& b);
PyNumber operator-(const PyNumber& a, const PyNumber& b);
PyNumber operator-(const PyNumber& a);
bool operator<(const PyNumber& a, const PyNumber& b);  // false when a float is NaN, as in Python
bool is_zero(const PyNumber& a);                        // x == 0
bool non_negative(const PyNumber& a);                   // x >= 0

// The problem as network_simplex holds it once its spanning tree is set up:
// `n` nodes, the root being position n (NetworkX's -1), `m` real edges
// followed by the n artificial ones (edge m + v joins node v and the root),
// each with its source, target, capacity and weight; the flows start as
// NetworkX's (0 on real edges, |demand| on artificial ones) and the node
// potentials as NetworkX's (+-faux_inf).
struct SimplexProblem {
    std::uint32_t n = 0;
    std::uint32_t m = 0;
    std::vector<std::uint32_t> source, target;  // m + n entries, the root as n
    std::vector<PyNumber> capacity, weight, flow;
    std::vector<PyNumber> potential;  // n entries
};

// Runs network_simplex's pivots on `p` (Dantzig's rule within blocks of
// ceil(sqrt(m)) edges searched cyclically, the leaving edge by the last
// smallest residual capacity around the cycle, the thread and subtree
// updates) and leaves the final flows in p.flow, as NetworkX's edge_flow.
// Fails only when the user interrupts (NetworkX's pivots on inexact floats
// can cycle forever, and so do these).
Status run_network_simplex(SimplexProblem& p);

}  // namespace fennel
