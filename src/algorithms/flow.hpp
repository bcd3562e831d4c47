// NetworkX's flow module: the residual network of build_residual_network and
// Edmonds–Karp's augmenting paths (edmondskarp.py), over capacities that are
// Python ints and floats with NetworkX's own arithmetic on them.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace fennel {

// A number of NetworkX's flow arithmetic: a Python int or float, held as a
// double. Ints stay exact while they are below 2^53, which the caller
// ensures; an operation's result is a float as soon as one operand is, as
// in Python.
struct FlowNumber {
    double value = 0.0;
    bool is_float = false;
};

// What build_residual_network makes of one edge of G.edges, in that order.
enum CapacityCode : std::uint8_t {
    CAP_DROPPED = 0,  // a self-loop, or a capacity not above 0: not in R
    CAP_INT = 1,      // a finite int capacity
    CAP_FLOAT = 2,    // a finite float capacity
    CAP_INFINITE = 3, // no capacity, or float('inf'): R holds R.graph['inf']
};

// NetworkX's residual network R. Edge e runs tail[e] -> head[e]; rows list
// edge ids in the order build_residual_network inserted them into R.succ
// and R.pred (each row in its dict's key order).
struct Residual {
    Count n = 0;
    std::vector<Node> tail, head;
    std::vector<Slot> reverse;            // the edge head[e] -> tail[e]
    std::vector<std::int64_t> origin;     // the G.edges index whose capacity e holds; -1: the 0 of a reverse edge
    std::vector<FlowNumber> capacity, flow;
    Csr succ, pred;                       // targets hold edge ids, not nodes
    FlowNumber inf;                       // R.graph['inf']
    std::unordered_map<std::uint64_t, Slot> by_pair;  // (tail << 32 | head) -> edge
};

// build_residual_network over G's edges (`us`, `vs`: G.edges order) with
// their codes and capacity values. Directed: the first of (u, v) and (v, u)
// inserts both, (u, v) first; undirected: (u, v) then (v, u), both with the
// edge's capacity. Every flow starts at the int 0.
Residual build_residual(Count n, bool directed, const std::vector<Node>& us, const std::vector<Node>& vs,
                        const std::vector<std::uint8_t>& codes, const std::vector<double>& values, FlowNumber inf);

// The residual edge u -> v, or -1 (a self-loop, or an edge not in R).
std::int64_t residual_edge(const Residual& r, Node u, Node v);

struct FlowRun {
    FlowNumber value;        // R.graph['flow_value']
    bool unbounded = false;  // an augmenting path carried more than inf / 2
};

// edmonds_karp_core step by step: bidirectional breadth-first searches
// (the smaller frontier grows, R.succ forwards and R.pred backwards in row
// order), each path augmented by its smallest residual capacity, while the
// flow value is below `cutoff`. `flow` (one entry per edge of R, every
// one the int 0 at first) receives the flows; R itself is only read, so
// runs over one R can go on side by side.
FlowRun edmonds_karp(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t, double cutoff);

// The nodes of set(nx.shortest_path_length(R, target=t)) once the
// saturated edges (flow == capacity) are removed: a breadth-first search
// back from t along R.pred, in discovery order. With `spare`, NetworkX
// 3.7's search instead: along the edges whose flow is below their capacity
// (the same edges unless rounding left a flow above its capacity).
std::vector<Node> reaching_target(const Residual& r, const std::vector<FlowNumber>& flow, Node t, bool spare = false);

}  // namespace fennel
