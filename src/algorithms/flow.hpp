// NetworkX's flow module: the residual network of build_residual_network and
// Edmonds–Karp's augmenting paths (edmondskarp.py), over capacities that are
// Python ints and floats with NetworkX's own arithmetic on them.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
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

// R's edges by their ends, (tail << 32 | head) -> edge: open addressing with
// linear probing, kept at most half full, so a lookup costs about one cache
// miss on a graph of millions of edges.
class PairIndex {
public:
    static constexpr Slot NONE = ~Slot{0};
    static std::uint64_t key(Node tail, Node head) { return (static_cast<std::uint64_t>(tail) << 32) | head; }

    void reserve(std::size_t count) {
        std::size_t size = 16;
        while (size < 2 * count) size <<= 1;
        rehash(size);
    }
    Slot find(std::uint64_t key) const {
        if (entries_.empty()) return NONE;
        for (std::size_t i = place(key);; i = (i + 1) & mask_) {
            if (entries_[i].key == key) return entries_[i].edge;
            if (entries_[i].key == EMPTY) return NONE;
        }
    }
    // key -> edge, unless key is there already.
    void insert(std::uint64_t key, Slot edge) {
        if (2 * (count_ + 1) > entries_.size()) rehash(entries_.empty() ? 16 : 2 * entries_.size());
        for (std::size_t i = place(key);; i = (i + 1) & mask_) {
            if (entries_[i].key == key) return;
            if (entries_[i].key == EMPTY) {
                entries_[i] = {key, edge};
                ++count_;
                return;
            }
        }
    }

private:
    // Node positions stay below 2^32 - 1, so no key is all ones.
    static constexpr std::uint64_t EMPTY = ~std::uint64_t{0};
    struct Entry {
        std::uint64_t key = EMPTY;
        Slot edge = NONE;
    };
    std::size_t place(std::uint64_t key) const { return (key * 0x9E3779B97F4A7C15ULL) >> shift_; }
    void rehash(std::size_t size) {
        std::vector<Entry> old;
        old.swap(entries_);
        entries_.assign(size, Entry{});
        mask_ = size - 1;
        shift_ = 64;
        for (std::size_t s = size; s > 1; s >>= 1) --shift_;
        count_ = 0;
        for (const Entry& e : old) {
            if (e.key != EMPTY) insert(e.key, e.edge);
        }
    }
    std::vector<Entry> entries_;
    std::size_t mask_ = 0, count_ = 0;
    unsigned shift_ = 64;
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
};

// build_residual_network over G's edges (`us`, `vs`: G.edges order) with
// their codes and capacity values. Directed: the first of (u, v) and (v, u)
// inserts both, (u, v) first; undirected: (u, v) then (v, u), both with the
// edge's capacity. Every flow starts at the int 0.
Residual build_residual(Count n, bool directed, const std::vector<Node>& us, const std::vector<Node>& vs,
                        const std::vector<std::uint8_t>& codes, const std::vector<double>& values, FlowNumber inf);

// build_flow_dict's values, one per slot of g.succ (R built from g, `flow`
// one per edge of R): the flow of R's edge u -> v where it is above 0, else
// the int 0.
std::vector<FlowNumber> flows_by_slot(const CoreGraph& g, const Residual& r, const std::vector<FlowNumber>& flow);

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
