// Connected and strongly connected components, in the orders NetworkX's
// generators yield them.
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

using Components = std::vector<std::vector<Node>>;

// NetworkX's _plain_bfs from each unseen node in position order: a component
// lists its nodes in discovery order (level by level, rows in slot order,
// `back` rows after `out` rows when given). Components come in ascending
// order of their first node.
Components connected_components(const Csr& out, const Csr* back);

// Tarjan's algorithm as NetworkX runs it: depth-first over succ rows from
// each unvisited node in position order; components in the order their roots
// finish, each listing its root and then the members as they leave the
// component stack. With `shortcut` (NetworkX 3.7 on), the search stops once
// every node is visited and the current node links to the tree's root: the
// last component is then the component stack bottom to top followed by the
// open frames bottom to top.
Components strongly_connected_components(const Csr& succ, bool shortcut);

}  // namespace fennel
