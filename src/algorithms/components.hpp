// Connected and strongly connected components, in the orders NetworkX's
// generators yield them.
#pragma once

#include "algorithms/level_bfs.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace fennel {

using Components = std::vector<std::vector<Node>>;

// The component search: NetworkX's _plain_bfs from each unseen node in
// position order, one component per step. A component lists its nodes in
// discovery order (level by level, rows in slot order, `back` rows after
// `out` rows when given: weakly connected components); components come in
// ascending order of their first node. The rows outlive the cursor.
class ComponentCursor {
public:
    ComponentCursor(const Csr& out, const Csr* back);

    // The next component in discovery order, its start first; empty once
    // every node is in one. Valid until the next call.
    std::span<const Node> next();
    // The same component, its large levels expanded on the pool
    // (level_bfs.hpp); fails only when the pool does (interrupted, out of
    // memory), leaving the cursor spent.
    Result<std::span<const Node>> next_on_pool();

    // Nodes of the components returned so far, component after component.
    std::span<const Node> order() const { return {order_.data(), done_}; }
    std::size_t expanded() const { return done_; }

private:
    const Csr& out_;
    const Csr* back_;
    std::vector<std::uint8_t> seen_;
    std::vector<Node> order_;
    std::size_t done_ = 0;
    Node next_start_ = 0;
    std::unique_ptr<LevelExpander> expander_;  // made for the first large level
};

// Every component at once, by the cursor.
Components weak_components(const Csr& out, const Csr* back);

// Tarjan's algorithm as NetworkX runs it: depth-first over succ rows from
// each unvisited node in position order; components in the order their roots
// finish, each listing its root and then the members as they leave the
// component stack. With `shortcut` (NetworkX 3.7 on), the search stops once
// every node is visited and the current node links to the tree's root: the
// last component is then the component stack bottom to top followed by the
// open frames bottom to top.
Components strong_components(const Csr& succ, bool shortcut);

}  // namespace fennel
