// Raw triangle counts per node, from which NetworkX's triangles, clustering
// and transitivity are formed.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
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

// NetworkX's square_clustering terms for one node: `short_row` when the node
// has fewer than two neighbours (NetworkX's int 0), else the square count
// (already halved) and the potential squares it divides by.
struct SquareCount {
    bool short_row = false;
    std::int64_t squares = 0;
    std::int64_t potential = 0;
};

// The terms for each of `nodes`, in parallel, over G._adj's rows (`out`;
// successors of a directed graph), self-loops and repeated slots left out.
// `symmetric`: the rows are an undirected graph's.
Result<std::vector<SquareCount>> square_counts(const Csr& out, const std::vector<Node>& nodes, bool symmetric);

// generalized_degree's Counter for each of `nodes`: (triangle count, how
// many neighbours have it) pairs in the Counter's key order. NetworkX counts
// over the set `set(G[v]) - {v}`, so the keys come in the order of its
// table, replayed from `hash` (hash() of each node).
struct DegreeCounts {
    std::vector<Count> keys;
    std::vector<Count> counts;
    std::vector<std::size_t> bounds;  // node i's pairs: [bounds[i], bounds[i + 1])
};
Result<DegreeCounts> generalized_degrees(const Csr& out, const std::vector<Node>& nodes,
                                         const std::vector<std::int64_t>& hash);

// Weighted clustering, first half: the products NetworkX hands to np.cbrt
// (wt(i, j) * wt(j, k) * wt(k, i), each weight divided by `max_weight`), in
// its order: node by node, one group per neighbour j of the node's set, the
// group's k in the order of the set `inbrs & jnbrs` (CPython's tables
// replayed from `hash`). `weights`: the column over `out`'s slots;
// max_weight is NetworkX's max over G.edges, taken here.
struct WeightedTerms {
    std::vector<double> products;
    std::vector<std::uint64_t> group_sizes;  // one group per (node, j); directed: four per (node, j)
    std::vector<Count> degree;               // len(inbrs) per node; directed: len(ipreds) + len(isuccs)
    std::vector<Count> bidirectional;        // directed: len(ipreds & isuccs) per node
};
Result<WeightedTerms> weighted_triangle_terms(const Csr& out, const std::vector<double>& weights,
                                              const std::vector<Node>& nodes, const std::vector<std::int64_t>& hash);

// The same for a directed graph (NetworkX's
// _directed_weighted_triangles_and_degree_iter): for each j of ipreds, then
// of isuccs, four groups over ipreds & jpreds, ipreds & jsuccs, isuccs &
// jpreds and isuccs & jsuccs. `pred`: G._pred's rows in its own order, and
// `pred_weights` the column over them.
Result<WeightedTerms> directed_weighted_triangle_terms(const Csr& out, const std::vector<double>& weights,
                                                       const Csr& pred, const std::vector<double>& pred_weights,
                                                       const std::vector<Node>& nodes,
                                                       const std::vector<std::int64_t>& hash);

// Second half: each node's total, the running `+=` of np.cbrt(group).sum()
// over its `groups_per_degree * degree` groups, from the cube roots of the
// products; doubled (`2 * float(total)`) for an undirected graph.
std::vector<double> weighted_triangle_totals(const std::vector<double>& roots,
                                             const std::vector<std::uint64_t>& group_sizes,
                                             const std::vector<Count>& degree, Count groups_per_degree, bool doubled);

}  // namespace fennel
