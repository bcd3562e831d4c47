// Raw triangle counts per node, from which NetworkX's triangles, clustering
// and transitivity are formed.
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

struct TriangleCount {
    Count t = 0;   // triangles (undirected: each counted from both other corners)
    Count d = 0;   // degree without self-loops (directed: in + out)
    Count db = 0;  // bidirectional neighbours (directed)
};

// Counts for each of `nodes`, in parallel. `in` non-null: NetworkX's
// directed counts over in and out rows; null: the undirected counts over
// `out` rows, which `symmetric` says are an undirected graph's.
Result<std::vector<TriangleCount>> triangle_counts(const Csr& out, const Csr* in, const std::vector<Node>& nodes,
                                                   bool symmetric);

}  // namespace fennel
