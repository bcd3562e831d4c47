// NetworkX's assortativity module (algorithms/assortativity): the average
// degree of neighbours, the average degree connectivity and the (degree or
// attribute) pairs its mixing dicts, mixing matrices and assortativity
// coefficients count. Degrees are unweighted and every row holds each
// neighbour once (multigraphs with parallel edges stay with NetworkX).
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

// Which degree NetworkX reads: G.out_degree, G.in_degree or G.degree (their
// sum on a directed graph; an undirected self-loop counts twice).
enum class Side : std::uint8_t { Out, In, Both };

// Keys per succ slot of a multigraph, or nullptr.
using Mult = const std::vector<std::uint32_t>*;

// Every node's degree of that side.
std::vector<std::int64_t> side_degrees(const CoreGraph& g, Side side, Mult mult);

// average_neighbor_degree for the nodes `sources` (NetworkX's nbunch order):
// the sum of `target` degrees over the successors (source Out or Both, or
// the neighbours of an undirected graph) and the predecessors (source In or
// Both), divided by the node's `source` degree; 0.0 for degree 0.
Result<std::vector<double>> average_neighbor_degrees(const CoreGraph& g, Side source, Side target,
                                                     const std::vector<Node>& sources, Mult mult);

// average_degree_connectivity's two tallies per source degree k, the
// degrees in the order the nodes first meet them: dsum[k] (the `target`
// degrees of the neighbours reached: successors for Out and Both, as
// DiGraph.neighbors gives, predecessors for In) and dnorm[k] (k per node).
struct ConnectivityTally {
    std::vector<std::int64_t> k;
    std::vector<std::int64_t> dsum;
    std::vector<std::int64_t> dnorm;
};
Result<ConnectivityTally> degree_connectivity(const CoreGraph& g, Side source, Side target,
                                              const std::vector<Node>& sources, Mult mult);

// node_degree_xy's pairs: for each node u of `order` (NetworkX's walk of
// its set of nodes), the `x` degree of u with the `y` degree of each
// successor (neighbour, for undirected graphs) v that is in the set
// (`member[v]`), in row order, once per key.
struct Pairs {
    std::vector<std::int64_t> x;
    std::vector<std::int64_t> y;
};
Pairs degree_pairs(const CoreGraph& g, Side x, Side y, const std::vector<Node>& order,
                   const std::vector<std::uint8_t>& member, Mult mult);

// The positions in the order set(G) iterates them: CPython's set table
// filled node by node, replayed from the nodes' hashes.
std::vector<Node> set_order(const std::vector<std::int64_t>& hashes);

// mixing_dict's counts of those pairs, counted as they are walked: the
// outer keys in the order the dict first takes them (x, then y, of each
// pair in turn), and for each outer key its inner keys in insertion order
// with their counts.
struct MixingRow {
    std::int64_t key;
    std::vector<std::int64_t> inner;
    std::vector<std::int64_t> count;
};
std::vector<MixingRow> degree_mixing(const CoreGraph& g, Side x, Side y, const std::vector<Node>& order,
                                     const std::vector<std::uint8_t>& member, Mult mult);
// degree_mixing_matrix(mapping=...) of every node's pairs, unnormalised:
// the pair counts at (mapping index of x, of y), row-major over the k keys
// of `mapping` (degrees, in the mapping's order). Counts do not depend on
// the order pairs are met, so the walk is in node order.
std::vector<double> degree_matrix(const CoreGraph& g, Side x, Side y, const std::vector<std::int64_t>& mapping,
                                  Mult mult);
// degree_assortativity_coefficient of every node's pairs over `mapping`:
// _numeric_ac's numpy arithmetic on that matrix normalised, term for term
// (numpy's pairwise sums, pow() for ** 2). nullopt where numpy would warn
// (no pairs, a variance product that is not positive and finite, a
// quotient that is not finite): those are left to numpy.
std::optional<double> degree_coefficient(const CoreGraph& g, Side x, Side y, const std::vector<std::int64_t>& mapping,
                                         Mult mult);
// The distinct values in the order they first occur (values >= 0): a set
// built from them has the table of a set built from all of them.
std::vector<std::int64_t> first_occurrences(const std::vector<std::int64_t>& values);
// node_attribute_xy's pairs, as attribute codes: for each node u in node
// order with `member[u]`, (code[u], code[v]) for each successor (neighbour)
// v, whether in the set or not, once per key.
std::vector<MixingRow> attribute_mixing(const CoreGraph& g, const std::vector<std::int64_t>& code,
                                        const std::vector<std::uint8_t>& member, Mult mult);

}  // namespace fennel
