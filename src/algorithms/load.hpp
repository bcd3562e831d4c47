// NetworkX's load centrality (load.py): newman_betweenness_centrality
// (load_centrality) and edge_load_centrality, before rescaling.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

// The sums of _node_betweenness over every source in position order, one per
// node position. Unweighted (g.weights null): nx.predecessor's search,
// expanding levels below `max_level`. Weighted: dijkstra_predecessor_and_
// distance, dropping edges beyond `cutoff`. `rank` orders the nodes as
// Python compares them (NetworkX sorts (length, node) pairs). nullopt:
// a search met a shorter path into a settled node (negative weights).
Result<std::optional<std::vector<double>>> load(const GraphView& g, std::uint32_t max_level,
                                                std::optional<double> cutoff, const std::vector<std::uint32_t>& rank);

// edge_load_centrality's sums: `keys` numbers the ordered pairs (u, v) and
// (v, u) of every edge in NetworkX's key order; `forward[p]` and
// `backward[p]` are the keys of succ slot p's (u, v) and (v, u).
Result<std::vector<double>> edge_load(const CoreGraph& g, std::uint32_t max_level, std::size_t keys,
                                      const std::vector<std::uint32_t>& forward,
                                      const std::vector<std::uint32_t>& backward);

// NetworkX's key order of edge_load_centrality: for each edge (u, v) of
// G.edges, the pair (u, v) then (v, u), each at its first appearance. Fills
// the succ-slot key tables and returns the pairs as (us, vs).
struct LoadKeys {
    std::vector<Node> us;
    std::vector<Node> vs;
    std::vector<std::uint32_t> forward;
    std::vector<std::uint32_t> backward;
};
Result<LoadKeys> load_keys(const CoreGraph& g);

}  // namespace fennel
