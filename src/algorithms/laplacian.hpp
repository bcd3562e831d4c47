// Laplacian centrality's energies as NetworkX computes them: for each node i,
// the squared entries of the Laplacian without row and column i, its
// diagonal lowered by |L[j][i]|, summed by numpy.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// New energies of rows 0..count-1 of the dense n x n Laplacian `lap`
// (row-major float64): numpy's pairwise sum over each reduced matrix, laid
// out as NetworkX's fancy indexing lays it out.
Result<std::vector<double>> laplacian_energies(const double* lap, std::size_t n, std::size_t count);

// The same over an int64 Laplacian: numpy's int64 arithmetic wraps modulo
// 2^64, where every order of the sum gives one result, so each energy is the
// full one corrected along row and column i.
std::vector<std::int64_t> laplacian_energies(const std::int64_t* lap, std::size_t n, std::size_t count);

}  // namespace fennel
