// NetworkX's group centralities (group.py): the counts and sums behind
// group_degree_centrality (and its in/out forms) and
// group_closeness_centrality.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel {

// len(set().union(*[set(neighbours(i)) for i in S]) - set(S)), the
// neighbours read from `rows` (out-rows, or in-rows for G.reverse()).
std::size_t group_degree(const Csr& rows, std::span<const Node> group);

// The sum of multi_source_dijkstra_path_length(G, S) over the nodes not in
// S that it reaches, along `view` (the reversed graph for a directed G).
// The callers make every distance an integer and their sum exact, so the
// order of the sum does not matter. NaN weights are hidden edges.
__int128 group_distance_total(const GraphView& view, std::span<const Node> group);

// The same search's distances, by node (NaN: not reached), for callers that
// add them in the order of NetworkX's own set difference.
std::vector<double> group_distances(const GraphView& view, std::span<const Node> group);

}  // namespace fennel

namespace fennel {

// _group_preprocessing of group_betweenness_centrality, restricted to the
// group nodes `members` (set_v): a Brandes search from every node in node
// order with _accumulate_endpoints' dependencies, each plus 1 off the
// source, sigma halved when weighted. Tables are k x k over the members,
// row-major: pb[a][b] the path betweenness PB[a][b] (its sum over the
// nodes taken in node order), sigma[a][b], dist[a][b] (NaN: b unreached
// from a); reached[a] the number of nodes a reaches, itself included.
struct GroupPaths {
    std::vector<double> pb;
    std::vector<double> sigma;
    std::vector<double> dist;
    std::vector<std::uint64_t> reached;
};
Result<GroupPaths> group_paths(const GraphView& g, std::span<const Node> members);

// One group's steps of group_betweenness_centrality over GroupPaths `t`:
// `order` holds the group's member indices (into `members`) in the order of
// NetworkX's set(group). Returns PB_m[v][v] of each step, which NetworkX
// adds to the group's total in turn.
std::vector<double> group_steps(const GroupPaths& t, std::size_t k, std::span<const std::uint32_t> order);

}  // namespace fennel

namespace fennel {

// prominent_group's branch and bound over GroupPaths `t` of the m nodes
// outside C, taken in node order (the rows and columns of NetworkX's
// DataFrame). NetworkX pairs the DataFrame's diagonal, in that order, with
// its `nodes` list: label[i] is the row of nodes[i]. rank[r] places row r's
// node in Python's sorted order (ties of a contribution are broken by the
// nodes, largest first). `found` is false when no group beat 0.
struct ProminentGroup {
    bool found = false;
    double gbc = 0.0;
    std::vector<std::uint32_t> group;  // rows, in the order NetworkX added them
};
Result<ProminentGroup> prominent_search(const GroupPaths& t, std::size_t k, std::span<const std::uint32_t> label,
                                        std::span<const std::uint32_t> rank, bool greedy);

}  // namespace fennel
