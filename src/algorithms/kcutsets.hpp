// Kanevsky's minimum node cuts as NetworkX's all_node_cuts runs them
// (connectivity/kcutsets.py): maximum flows over one residual network of
// the node auxiliary digraph H that each cut search reorders and grows, the
// strongly connected components of what the flow leaves, the antichains of
// their condensation, and the closed sets those antichains stand for.
#pragma once

#include "algorithms/components.hpp"
#include "algorithms/connectivity.hpp"
#include "algorithms/dag.hpp"
#include "algorithms/flow.hpp"
#include "algorithms/set_table.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

namespace fennel {

// Whether G less the `removed` nodes (flagged per node) is connected: the
// breadth-first test of _is_separating_set, on at least one node left.
bool connected_without(const CoreGraph& g, const std::vector<std::uint8_t>& removed);

// The search over pairs (x, v) the caller hands in, in NetworkX's order.
// `hash` holds hash() of H's node names f"{i}A", f"{i}B" (positions 2i and
// 2i + 1). NetworkX 3.7 (`from37`) gives H's edges between different nodes
// of G infinite capacity, removes only the edges whose flow equals their
// capacity, closes antichains under successors in the condensation and
// takes every cut it finds; earlier releases close them under predecessors
// in R, keep antichains of SCCs the flow touches and cuts of k internal
// edges of H that miss x and v.
class NodeCutSearch {
public:
    NodeCutSearch(const CoreGraph& g, bool from37, double k, std::vector<std::int64_t> hash);

    // node_cut (positions of G, any order) is in NetworkX's `seen` list.
    void mark_seen(std::vector<Node> cut);

    // The flow from xB to vA; true when its value is k, and the antichains
    // of this pair are then searched by next_cut.
    bool start_pair(Node x, Node v);

    // The next cut of the pair not seen before: its (u, w) edges of H in
    // the order NetworkX inserts them into `cutset`. False once every
    // antichain is done; R and H then take the pair's edges and the
    // saturated ones back, as NetworkX does after its loop.
    bool next_cut(std::vector<Node>& tails, std::vector<Node>& heads);

private:
    bool closed_set(const std::vector<Node>& antichain);
    void ordered_cutset(const std::vector<Node>& antichain, std::vector<Node>& tails, std::vector<Node>& heads);
    std::vector<Node> component_order(Node c) const;
    std::vector<Node> closure_pred(Node n, std::vector<std::vector<Node>>& strict_cache) const;
    void finish_pair();

    bool from37_;
    double k_;
    Count n_;  // nodes of H
    std::vector<std::int64_t> hash_;
    // H's rows as NetworkX's dicts hold them (the added edges at their ends).
    std::vector<std::vector<Node>> h_succ_, h_pred_;
    // R: its edges, and its rows as edge ids in dict order.
    Residual r_;
    PairIndex r_pairs_;  // R's edges by their ends, added edges too
    std::vector<std::vector<Node>> r_succ_, r_pred_;
    std::vector<FlowNumber> flow_;
    std::set<std::vector<Node>> seen_;

    // The pair under search.
    Node x_ = 0, v_ = 0;
    bool open_ = false;
    std::vector<Node> saturated_;      // in R.edges order
    std::vector<std::uint8_t> gone_;   // per edge: removed with the saturated ones
    Csr rest_succ_, rest_pred_;        // R less them, as node rows
    Components parts_;                 // its strongly connected components, in NetworkX's order
    std::vector<Node> part_of_;
    Csr l_succ_, l_pred_;              // the condensation L
    std::vector<Node> topo_;           // list(nx.topological_sort(L))
    std::vector<std::uint8_t> touched_;  // per component: holds an end of an edge with flow (before 3.7)
    std::unique_ptr<Antichains> antichains_;
    Antichains::Batch batch_;
    std::size_t batch_at_ = 0;
    std::vector<std::uint32_t> in_s_;        // == stamp_: in S
    std::vector<std::uint32_t> part_stamp_;  // == stamp_: a component of S
    std::vector<Node> queue_, cut_;          // closed_set's scratch
    std::uint32_t stamp_ = 0;
};

}  // namespace fennel
