// Community detection and partition quality, as NetworkX's community
// module computes them: label_propagation_communities, the Louvain levels of
// louvain_partitions, modularity and partition_quality's edge count.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// Final labels of NetworkX's label_propagation_communities visiting `order`
// (a permutation of every position; labels start as positions).
Result<std::vector<Node>> label_propagation(const Csr& out, const std::vector<Node>& order);

// partition_quality's walk over G.edges(): how many edges there are and how
// many join two nodes of one community, each pair counted `keys[slot]` times (once when `keys` is
// empty), rows in node order and an undirected edge once, from the endpoint
// listed first. A node labelled `unlabelled` stops the walk at the first
// edge naming it, as NetworkX's dict lookup fails there: `missing` is that
// node, the edge's first endpoint before its second.
struct IntraEdges {
    std::uint64_t intra = 0;
    std::uint64_t edges = 0;  // len(G.edges)
    Node missing = 0;
    bool complete = true;
};
Result<IntraEdges> intra_community_edges(const Csr& out, bool directed, const std::vector<Node>& label,
                                         Node unlabelled, const std::vector<Node>& keys);

// A weighted graph as NetworkX's dicts hold it: rows in adjacency order, each
// slot's weight as a double with its value kind (PY_INT or PY_FLOAT). The
// doubles stand for Python's numbers exactly: the caller keeps every integer
// total and product within 2**53.
struct WeightedRows {
    bool directed = false;
    Csr out;  // G._adj, or G._succ when directed
    std::vector<double> out_w;
    std::vector<std::uint8_t> out_k;
    Csr in;  // G._pred, directed graphs only
    std::vector<double> in_w;
    std::vector<std::uint8_t> in_k;

    Count n() const { return out.node_count(); }
};

// Weighted edges in the order NetworkX lists or adds them.
struct EdgeSeq {
    std::vector<Node> us;
    std::vector<Node> vs;
    std::vector<double> w;
    std::vector<std::uint8_t> k;
};

// The rows of the Graph (DiGraph when `directed`) NetworkX builds by adding
// `edges` in order to n fresh nodes, a pair met again adding its weight to
// the pair's. `plus_zero`: the first weight of a pair is `w + 0`, as
// _gen_graph's accumulation starts from the int 0. `distinct`: the caller
// knows no pair comes twice (a simple graph's own edges), so no pair is
// looked up.
Result<WeightedRows> rows_from_edges(Count n, bool directed, const EdgeSeq& edges, bool plus_zero,
                                     bool distinct = false);

// NetworkX's modularity of the partition whose communities list
// members[bounds[c]:bounds[c + 1]] in the order set(community) iterates.
// `degenerate`: the squared degree total is 0, which NetworkX divides by
// (or, from 3.7 on, returns 0 for a zero total); `total` and `total_kind`
// let the caller form the same expression.
struct ModularityValue {
    double value = 0.0;
    double total = 0.0;
    std::uint8_t total_kind = PY_INT;
    bool degenerate = false;
};
Result<ModularityValue> modularity_value(const WeightedRows& g, const std::vector<Node>& members,
                                         const std::vector<Node>& bounds, double resolution, bool compensated);

// overlapping_modularity's terms (undirected graphs): the weighted degree
// total (`total`, `total_kind`), then for each community c, listed in the
// order set(community) iterates, 2 * L_c / total and k_c / total, where L_c
// adds wt / (count[u] * count[v]) over G.edges(comm) with both ends in c and
// k_c adds degree[u] / count[u] over c. Communities may share nodes;
// `count[u]` is how many of them hold u. With no members, the total alone.
struct OverlappingTerms {
    double total = 0.0;
    std::uint8_t total_kind = PY_INT;
    std::vector<double> inner;   // 2 * L_c / total
    std::vector<double> degree;  // k_c / total
};
Result<OverlappingTerms> overlapping_modularity_terms(const WeightedRows& g, const std::vector<Node>& members,
                                                      const std::vector<Node>& bounds,
                                                      const std::vector<Node>& count, bool compensated);

// The forms NetworkX's Louvain has taken. DIVIDED (up to 3.6): m is the
// size of the graph Louvain builds, a move's gain is remove_cost + wt / m -
// resolution * x / m**2 (2 * m**2 undirected) against 0, and _gen_graph
// starts each aggregated weight from the int 0. SCALED (3.7): m is the
// caller's graph's size, a gain is wt * m - gamma * x (gamma = resolution,
// or resolution / 2 undirected) against the removal cost u's own community
// scores, and _aggregate_graph takes a pair's first weight as it is.
enum class LouvainForm : std::uint8_t { DIVIDED, SCALED };

// G.size(weight=...) over these rows: sum() of the weighted degrees (in +
// out degree per node when directed), halved.
double graph_size(const WeightedRows& g, bool compensated);

// The moves of one Louvain level, in the order NetworkX makes them: node,
// the community it leaves, the community it joins (level positions).
struct LevelMoves {
    std::vector<Node> moves;  // flattened triples
};

// louvain_partitions' state between levels: the level's graph (nodes are
// the communities of the level before, in partition order) and the node's
// community assignment of the last level run.
class Louvain {
public:
    // `m`: louvain_partitions' m, which `form` takes from one graph or the other.
    Louvain(WeightedRows level, double m, double resolution, bool compensated, LouvainForm form);

    double m() const { return m_; }
    const WeightedRows& level() const { return g_; }
    double resolution() const { return resolution_; }
    bool compensated() const { return compensated_; }

    // NetworkX's _one_level visiting the nodes in `order` (seed.shuffle's
    // permutation of the level's positions).
    Result<LevelMoves> one_level(const std::vector<Node>& order);
    // NetworkX's _gen_graph (_aggregate_graph): the next level's graph from
    // the last level's communities, kept ones in index order.
    Status aggregate();
    // The community of each node of the graph after the last level run.
    const std::vector<Node>& communities() const { return node2com_; }

private:
    WeightedRows g_;
    double resolution_;
    bool compensated_;
    LouvainForm form_;
    double m_;
    std::vector<Node> node2com_;
};

}  // namespace fennel
