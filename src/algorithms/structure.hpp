// Components, bipartiteness and core numbers, in NetworkX's orders.
#pragma once

#include "algorithms/directed.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

// NetworkX's _plain_bfs from each unseen node in position order: a component
// lists its nodes in discovery order (level by level, rows in slot order,
// `back` rows after `out` rows when given). Components come in ascending
// order of their first node.
Components connected_components(const Csr& out, const Csr* back);

// Two-colouring by depth-first search over out rows (and back rows).
bool is_bipartite(const Csr& out, const Csr* back);

// NetworkX's core_number (Batagelj-Zaversnik buckets) over out rows then
// `back` rows (directed graphs: in + out degree); nullopt with a self-loop.
std::optional<std::vector<Count>> core_number(const Csr& out, const Csr* back);

struct Colouring {
    std::vector<Node> order;           // processing order
    std::vector<std::uint32_t> colours;  // by position
};

// NetworkX's greedy_color with the largest-first strategy: nodes by degree
// (NetworkX degrees), largest first, ties in position order; each takes the
// smallest colour none of its out-neighbours has yet.
Colouring greedy_colour(const Csr& out, const std::vector<Count>& degrees);

// Final labels of NetworkX's label_propagation_communities visiting `order`
// (a permutation of every position; labels start as positions).
Result<std::vector<Node>> label_propagation(const Csr& out, const std::vector<Node>& order);

struct KeptEdges {
    std::vector<Node> us;
    std::vector<Node> vs;
};

// NetworkX's Kruskal forest: the edges in G.edges order (each undirected edge
// once, from its earlier endpoint), sorted stably by weight (descending when
// `maximum`), kept when they join two trees. Fails on a NaN weight.
Result<KeptEdges> kruskal(const GraphView& view, bool maximum);

}  // namespace fennel
