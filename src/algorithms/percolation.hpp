// NetworkX's percolation centrality (centrality/percolation.py), before
// its final scaling by 1 / (n - 2).
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <span>
#include <vector>

namespace fennel {

// For each source s in node order, Brandes' searches (breadth-first without
// a weight column, else NetworkX's _single_source_dijkstra_path_basic) and
// _accumulate_percolation: popping the settle order, delta[v] +=
// sigma[v] * coeff, then percolation[w] += delta[w] * (states[s] /
// (total - states[w])) for w != s. Each node's sum is formed source after
// source, as NetworkX forms it, whatever the thread count. `total - states[w]`
// must not be zero for any node (NetworkX divides by it).
Result<std::vector<double>> percolation(const GraphView& g, std::span<const double> states, double total);

}  // namespace fennel
