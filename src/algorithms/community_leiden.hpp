// NetworkX 3.7's leiden_partitions (community/leiden.py): level by level, a
// queue-based local moving (_move_nodes_fast), a refinement with random
// merges (_merge_node_subset) and an aggregation (_create_aggregate_graph).
//
// The order in which NetworkX's sets iterate decides which node is queued
// first, how each community's nodes are enumerated (and so which merges the
// refinement offers and in which order it draws) and the aggregated graph's
// node order. SetTable replays CPython's set table over level positions with
// the keys' hashes, so every iteration order is CPython's.
#pragma once

#include "algorithms/community.hpp"
#include "algorithms/set_table.hpp"

#include <cstdint>
#include <deque>
#include <vector>

namespace fennel {

enum class LeidenMetric : std::uint8_t { CPM = 0, MODULARITY = 1 };

// What the refinement asks of the caller's generator: one seed.choices
// over `candidates` (indices into the community's refinement) weighted by
// math.exp((delta - max(deltas)) / theta). Empty when the refinement is done.
struct LeidenDraw {
    std::vector<Node> candidates;
    std::vector<double> deltas;
};

// A level's refined communities: level positions members[bounds[c]:bounds[c + 1]]
// in their sets' order; `improved`: NetworkX goes on to another level.
struct LeidenLevel {
    std::vector<Node> members;
    std::vector<Node> bounds;
    bool improved = false;
};

// leiden_partitions' state between the generator's steps. Weights are
// integers within 2**53 (the caller checks), so every degree, community
// total and edge sum is exact in a double whatever order NetworkX adds it
// in; the floats NetworkX forms from them are formed here by its own
// expressions.
class Leiden {
public:
    // `level`: the graph NetworkX copies G into; `hashes`: hash() of G's
    // nodes in order; `int_resolution`: resolution is an int (CPM deltas
    // then stay ints).
    Leiden(WeightedRows level, std::vector<std::int64_t> hashes, LeidenMetric metric, double resolution,
           bool int_resolution, bool compensated);

    // metric_function(G, [{u} for u in G]): the quality the first level must beat.
    Status start();
    // _move_nodes_fast visiting `order` (seed.shuffle's permutation of the level's positions).
    Status move_nodes(const std::vector<Node>& order);
    // _merge_node_subset over each community in turn, until a merge needs a
    // draw; `pick`: the candidate the last draw chose.
    Result<LeidenDraw> refine(const Node* pick);
    // The refined partition's quality against the last, then
    // _create_aggregate_graph.
    Result<LeidenLevel> aggregate();
    // Whether the refined deltas NetworkX forms are ints.
    bool int_deltas() const { return metric_ == LeidenMetric::CPM && int_resolution_; }

private:
    std::int64_t hash_of(Node u) const { return hashes_.empty() ? std::int64_t{u} : hashes_[u]; }
    double delta(double e, double a1, double a2, double c1, double c2) const;
    Result<double> quality(const std::vector<Node>& members, const std::vector<Node>& bounds) const;
    void build_edge_weights();
    void start_community();
    void merge(Node u, std::size_t pick);

    WeightedRows g_;
    std::vector<std::int64_t> hashes_;  // empty once the level's nodes are ints
    LeidenMetric metric_;
    double resolution_;
    bool int_resolution_;
    bool compensated_;
    double gamma_ = 0.0;
    double q_ = 0.0;

    // edge_wts: each node's neighbours but itself with their weights
    // (directed: out-weights, then in-weights added, first-met order).
    Csr nbrs_;
    std::vector<double> nbr_w_;
    // Node sizes: node_weight (CPM), degree (undirected modularity) or
    // out-degree with in-degree in size2_ (directed modularity).
    std::vector<double> size1_, size2_;

    // _move_nodes_fast: each node's community and the communities kept.
    std::vector<Node> node2com_;
    std::vector<std::vector<Node>> parts_;  // P without its empty sets, members in set order
    std::vector<Node> parts_com_;           // their indices in P

    // _merge_node_subset's state over parts_[part_].
    std::size_t part_ = 0;
    std::size_t next_r_ = 0;               // the next node of R to take
    std::vector<Node> r_;                  // R: local indices of well-connected nodes
    std::vector<double> t_;                // T by local index
    std::vector<double> w_in_;             // by local index: weight to C's other nodes
    std::vector<Node> local_;              // by level position: its index in C
    std::vector<Node> refined_of_;         // by level position: its refined community in C
    std::vector<SetTable> refined_;        // C_refined
    std::vector<double> rsize1_, rsize2_;  // their totals
    std::vector<double> rext_;             // their weight to the rest of C
    double c1_ = 0.0, c2_ = 0.0;           // C's totals
    bool pending_ = false;                 // a draw is out for pending_node_
    Node pending_node_ = 0;
    std::vector<double> scratch_w_;        // weight to each refined community, by index
    std::vector<std::uint8_t> scratch_at_;
    LeidenDraw draw_;
    std::vector<double> draw_weights_;     // u's weight into each candidate
    bool in_part_ = false;

    std::vector<std::vector<Node>> refined_out_;  // P_refined flat, members in set order
    std::vector<Node> refined_part_;              // each refined community's P index
};

}  // namespace fennel
