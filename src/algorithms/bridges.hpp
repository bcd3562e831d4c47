// Chain decomposition and bridges, in the orders NetworkX's generators yield
// them.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

// NetworkX's depth-first cycle forest (chain_decomposition's
// _dfs_cycle_forest over dfs_labeled_edges): the nodes in preorder, each
// node's tree parent (NONE for a root and for nodes the search did not
// reach), and for each node the far ends of the non-tree edges it gains, in
// the order the search meets them: a descendant that reaches back to it, or
// itself for a self-loop.
struct CycleForest {
    static constexpr Node NONE = 0xFFFFFFFFu;

    std::vector<Node> preorder;
    std::vector<Node> parent;
    Csr nontree;
};

// The search over `rows` (undirected, one entry per neighbour, slot order)
// from `root` alone, or from every unvisited node in position order.
CycleForest cycle_forest(const Csr& rows, std::optional<Node> root);

// NetworkX's chains: from each node in preorder, one chain per non-tree edge
// it gains, walking tree parents up to the first node already visited.
// With `edges`, the chains' edges as (first, second) pairs, chain after
// chain (`bounds` has one more entry than there are chains). `walked` marks
// the nodes a chain passed through: a tree edge (v, parent) lies on a chain
// exactly when v is walked.
struct Chains {
    std::vector<Node> first;
    std::vector<Node> second;
    std::vector<std::size_t> bounds{0};
    std::vector<std::uint8_t> walked;

    std::size_t size() const { return bounds.size() - 1; }
};

Chains chains(const CycleForest& forest, bool edges);

// The bridges (edges on no chain) of the forest's nodes, as NetworkX lists
// them from a graph's edges: from each node in `order` (by default the
// forest's nodes in position order), the row's slots whose far end comes
// no earlier in that order, the self-loop included. `order` must hold
// exactly the forest's nodes. The edges come as (us, vs).
EdgeList bridge_edges(const Csr& rows, std::optional<Node> root, const std::optional<std::vector<Node>>& order);

// NetworkX's local bridges: the edges, in G.edges order, whose ends share
// no neighbour (an end's self-loop makes it a neighbour of itself, so no
// edge at a self-looped node qualifies). With `span`, each one's span: the
// hop count from its first end to its second without the edge itself
// (NO_SPAN when nothing else joins them), what NetworkX's Dijkstra over
// unit weights returns.
struct LocalBridges {
    static constexpr std::uint32_t NO_SPAN = 0xFFFFFFFFu;

    std::vector<Node> us;
    std::vector<Node> vs;
    std::vector<std::uint32_t> spans;
};

Result<LocalBridges> local_bridge_edges(const Csr& rows, bool span);

}  // namespace fennel
