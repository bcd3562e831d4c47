// NetworkX's structural holes (structuralholes.py) node by node: the loops
// effective_size and constraint run for the nodes they are given.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel {

// The graph as the measures read it: each node's neighbours in the order of
// set(nx.all_neighbors(G, v)) (CPython's set table over G._pred's row, then
// G._adj's, replayed from the nodes' hashes) with the mutual weight of each,
// G[u][v].get(weight, 1) + G[v][u].get(weight, 1), an absent edge adding 0.
struct HolesInput {
    const Csr* succ = nullptr;
    const std::vector<double>* succ_weights = nullptr;  // per succ slot; nullptr: every weight 1
    const Csr* pred = nullptr;                          // G._pred's rows in their order; nullptr: undirected
    const std::vector<double>* pred_weights = nullptr;  // per pred slot
    bool int_weights = true;                            // every weight read is a Python int
    std::span<const std::int64_t> hashes;
};

// A measure as Python holds it: an int (only ever 0 here) or a float.
struct HolesValue {
    double value = 0.0;
    bool is_int = false;
    bool out_of_range = false;  // a square overflowed, where NetworkX's float ** raises
};

enum class HolesMeasure : std::uint8_t { Constraint, EffectiveSize, EffectiveSizeUnweighted };

// constraint or effective_size of each node of `nodes` (positions), by
// NetworkX's own loops: every sum() in its order and with its types
// (compensated from CPython 3.12 on when asked), a node without neighbours
// (or, for effective size, with only itself when `loops_isolate`) NaN.
// EffectiveSizeUnweighted is Borgatti's formula NetworkX uses on undirected
// graphs without weights.
Result<std::vector<HolesValue>> structural_holes(const HolesInput& in, HolesMeasure measure,
                                                 std::span<const Node> nodes, bool compensated, bool loops_isolate);

// local_constraint(G, u, v).
Result<HolesValue> local_constraint(const HolesInput& in, Node u, Node v, bool compensated);

// The adjacency matrix NetworkX's sparse path starts from
// (nx.adjacency_matrix), in canonical CSR: each row's targets ascending, with
// the weight of each edge (an undirected self-loop once).
struct SortedRows {
    std::vector<std::int64_t> indptr;
    std::vector<std::int64_t> indices;
    std::vector<double> data;
};
SortedRows sorted_rows(const Csr& succ, const std::vector<double>* weights);

// ((M > 0) * (M + M @ M) ** 2).sum(axis=1) for the normalised mutual
// weights M, as scipy forms it, given M in canonical CSR (each row's columns
// strictly ascending; every value finite and small enough that no product
// overflows, so entries off M's own pattern never reach the sums). Row i's
// terms are (M[i,k] + (M @ M)[i,k]) ** 2 over the k with M[i,k] > 0, in
// ascending k, the nonzero ones added by np.add.reduceat's pairwise scheme;
// (M @ M)[i,k] adds M[i,j] * M[j,k] from 0.0 over row i's entries j in their
// order, as scipy's product accumulates it. Only the entries on M's pattern
// are formed, where scipy forms the whole product.
Result<std::vector<double>> constraint_rows(std::span<const std::int64_t> indptr,
                                            std::span<const std::int64_t> indices, std::span<const double> data);

}  // namespace fennel
