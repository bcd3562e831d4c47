// Unweighted reaching centralities (NetworkX's centrality/reaching).
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

// local_reaching_centrality of each of `sources` without weights, in
// parallel: a directed graph's (reached - 1) / (n - 1); an undirected
// graph's sum() of 1 / d over the breadth-first paths from the source, in
// their order, divided by n - 1. `compensated`: sum() is CPython 3.12's.
Result<std::vector<double>> local_reaching(const Csr& rows, const std::vector<Node>& sources, bool directed,
                                           bool compensated);

}  // namespace fennel
