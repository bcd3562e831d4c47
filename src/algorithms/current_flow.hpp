// Current-flow betweenness and closeness as NetworkX computes them: the
// reverse Cuthill-McKee labelling NetworkX relabels the graph by, the
// labelled adjacency its Laplacian is built from, and the loops over the
// rows of the inverse Laplacian (the rows themselves are solved by the
// caller with NetworkX's numpy or scipy routine).
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace fennel {

// reverse_cuthill_mckee_ordering(G) of a connected undirected graph:
// ordering[k] is the position labelled k. `hash` holds hash() of
// each node (the neighbour sets NetworkX sorts by degree iterate in CPython's
// set order). nullopt when G is not connected.
Result<std::optional<std::vector<Node>>> reverse_cuthill_mckee(const Csr& rows, const std::vector<std::int64_t>& hash);

// Why NetworkX's arithmetic is out of fennel's reach on this graph: 2 for a
// weight that is not a power of two within [2^-20, 2^20] (B @ C's products
// are exact only for those); else 0.
int flow_graph_problem(const CoreGraph& g, const std::vector<double>* weights);

// One undirected edge in labels, u < v, with the weight NetworkX reads for it.
struct LabelledEdge {
    Node u;
    Node v;
    double c;
    std::size_t listed;  // its index in G.edges order
};

// G's edges in labels, sorted as NetworkX's flow_matrix_row sorts them;
// `weights` aligned with succ (nullptr: 1.0 each), read from the row of the
// endpoint that lists the edge.
std::vector<LabelledEdge> labelled_edges(const CoreGraph& g, const std::vector<double>* weights,
                                         const std::vector<Node>& label);

// NetworkX's adjacency matrix of the relabelled graph in canonical CSR form
// (each edge in both rows, columns ascending).
struct LabelledAdjacency {
    std::vector<std::int64_t> indptr;
    std::vector<std::int64_t> indices;
    std::vector<double> data;
};
LabelledAdjacency labelled_adjacency(const std::vector<LabelledEdge>& edges, Count n);

// The rows of the inverse Laplacian NetworkX's solvers return, by label:
// row r at inverse + r * n, its first entry 0.
struct InverseRows {
    const double* inverse;
    Count n;
    const double* row(Node r) const { return inverse + static_cast<std::size_t>(r) * n; }
};

// numpy's argsort of each of k rows of n values (rows k * n, row-major),
// ties in numpy's own order: orders[i * n + r] is row i's r-th smallest.
using NumpyArgsort =
    std::function<Status(const std::vector<double>& rows, std::size_t n, std::vector<std::int64_t>& orders)>;

// current_flow_betweenness_centrality's sums by label, before NetworkX's
// final (b - n) * 2 / nb.
Result<std::vector<double>> flow_betweenness_sums(const InverseRows& inv, const std::vector<LabelledEdge>& edges,
                                                  const NumpyArgsort& argsort);

// edge_current_flow_betweenness_centrality by edge (in `edges`' order),
// divided by nb.
Result<std::vector<double>> edge_flow_betweenness(const InverseRows& inv, const std::vector<LabelledEdge>& edges,
                                                  double nb, const NumpyArgsort& argsort);

// current_flow_closeness_centrality's sums by label, before NetworkX's
// 1 / value; `order` lists the labels in G's node order.
Result<std::vector<double>> flow_closeness_sums(const InverseRows& inv, const std::vector<Node>& order);

}  // namespace fennel
