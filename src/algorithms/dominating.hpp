// NetworkX's dominating sets (dominating.py): dominating_set and
// connected_dominating_set, and the check is_dominating_set.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// dominating_set's greedy pass: NetworkX pops each next node from its set
// of the nodes not yet dominated, whose order is CPython's set table with
// that set's history (built by differences, shrunk by pops and `-=`),
// replayed here from the nodes' hashes. Returns the nodes in the order
// NetworkX adds them to its answer, `start` first; `start` < 0 takes the
// first node of set(G), as NetworkX's arbitrary_element does.
std::vector<Node> greedy_dominating_set(const Csr& rows, const std::vector<std::int64_t>& hashes,
                                        std::int64_t start);

// Whether the nodes marked in `chosen` and their neighbours (`rows`) are
// every node.
bool dominates(const Csr& rows, const std::vector<std::uint8_t>& chosen);

// connected_dominating_set's greedy growth from the node of highest degree
// (the first in node order among equals), its heap ordered by (-unseen
// degree, push count): the nodes in the order NetworkX adds them. `rows`
// is a connected graph of at least two nodes; `degrees` NetworkX's.
std::vector<Node> greedy_connected_dominating_set(const Csr& rows, std::vector<std::int64_t> degrees);

}  // namespace fennel
