// NetworkX's closeness vitality (vitality.py): the Wiener index of G with
// one node removed, for each node asked.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <span>
#include <vector>

namespace fennel {

// wiener_index(G.subgraph(set(G) - {r})) before its halving, as NetworkX
// forms it: `connected` (strongly, on a digraph) first, then the sum of
// every distance, sources in node order and each source's distances in
// search order (as dijkstra_stats / bfs_stats add them).
struct WienerWithout {
    bool connected = false;
    bool valid = true;       // no negative cycle met
    bool any_float = false;  // a float distance was added
    double float_total = 0.0;
    __int128 int_total = 0;
};

// `column`: the weight column of the succ slots, or nullptr for hop counts.
// The removals run one after another, each one's searches on the worker
// pool.
Result<std::vector<WienerWithout>> wiener_without(const CoreGraph& g, const std::vector<double>* column,
                                                  bool int_weights, bool compensated_sum,
                                                  std::span<const Node> removed);

}  // namespace fennel
