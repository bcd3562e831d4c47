// NetworkX's flow-based connectivity (connectivity/connectivity.py, cuts.py):
// the auxiliary digraphs of connectivity/utils.py, their residual networks
// with unit capacities, and the maximum flows and minimum cuts run on them.
#pragma once

#include "algorithms/flow.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// Which auxiliary digraph: build_auxiliary_edge_connectivity (G's nodes,
// each undirected edge as two arcs) or build_auxiliary_node_connectivity
// (node i split into iA = 2i and iB = 2i + 1 joined by an arc).
enum class Auxiliary { Edges, Nodes };

// An auxiliary digraph H: its node count and edges in H.edges order (rows
// in insertion order, a pair inserted twice kept at its first place).
struct AuxiliaryGraph {
    Count n = 0;
    std::vector<Node> us, vs;
    Csr rows;  // H's successor rows (targets are nodes of H)
};
AuxiliaryGraph auxiliary_graph(const CoreGraph& g, Auxiliary kind);

// build_residual_network(H, "capacity"): every capacity the int 1, inf the
// int 3 * (edges of H but self-loops), or 1.
Residual unit_residual(const AuxiliaryGraph& h);

// maximum_flow_value over R with Edmonds–Karp from s to t for each pair,
// the pairs on the worker pool (R is shared, each run has its own flows).
// Each value is an int: every capacity is.
Result<std::vector<std::int64_t>> pair_flows(const Residual& r, const std::vector<Node>& ss,
                                             const std::vector<Node>& ts, double cutoff);

// One minimum_cut over R: the nodes still reaching t once Edmonds–Karp's
// saturated edges are removed, in breadth-first order.
std::vector<Node> cut_reaching(const Residual& r, Node s, Node t);

// The minimum cuts of minimum_edge_cut and minimum_node_cut, every pair's
// on the worker pool. NetworkX runs them one after another over one R whose
// rows each minimum_cut reorders (the saturated edges removed and added
// back); the orders change neither a flow's value nor the nodes reaching t
// in the residual network of a maximum flow (the same for every maximum
// flow), and a cut is those nodes alone. A pair flagged in `skip` is
// answered by an empty cut without a flow (minimum_st_node_cut's adjacent
// ends). Each cut's size is counted as NetworkX's set has it (edge cut: the
// pairs (u, v) of H with u on s's side, v on t's; node cut: their ends'
// nodes of G, but s and t); a cut replaces the best so far when it is no
// larger. Returns the index of the chosen pair (-1: none beats
// `initial_size`) and its nodes reaching t, in minimum_cut's order.
struct CutChoice {
    std::int64_t chosen = -1;
    std::vector<Node> reaching;
};
Result<CutChoice> smallest_cut(const Residual& r, Auxiliary kind, const std::vector<Node>& ss,
                               const std::vector<Node>& ts, const std::vector<std::uint8_t>& skip,
                               std::uint64_t initial_size);

}  // namespace fennel
