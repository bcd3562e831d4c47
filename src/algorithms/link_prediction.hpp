// NetworkX's link prediction indices (link_prediction.py): the score of each
// pair of an ebunch, or of every non-edge in nx.non_edges' order.
#pragma once

#include "algorithms/set_table.hpp"
#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel {

enum class LinkIndex : std::uint8_t {
    Jaccard,
    AdamicAdar,
    ResourceAllocation,
    PreferentialAttachment,
    CommonNeighborCentrality,
    CnSoundarajanHopcroft,
    RaSoundarajanHopcroft,
    WithinInterCluster,
};

// One pair's answer: the Python int `whole`, the float `real`, or the
// exception NetworkX's predict() raises for the pair.
struct LinkScore {
    enum Tag : std::uint8_t { Int, Float, ZeroDivision, SelfLoop, NoCommunity };
    double real = 0.0;
    // NoCommunity: the node missing the attribute (a position; -1 for the
    // pair's u, -2 for its v, whose objects are the caller's).
    std::int64_t whole = 0;
    Tag tag = Int;
};

struct LinkParams {
    LinkIndex index = LinkIndex::Jaccard;
    bool compensated = false;   // sum() is compensated (CPython 3.12 on)
    bool count_only = false;    // common_neighbor_centrality with alpha == 1
    double alpha = 0.8;         // common_neighbor_centrality (an int one is exact here)
    double delta = 0.001;       // within_inter_cluster (an int one is exact here)
};

class LinkPredictor {
public:
    // `graph` (undirected), `hashes` and `degrees` (G.degree of each node,
    // self-loops counted twice) outlive the predictor. `community`: an id
    // per node by equality of the attribute values, -1 where it is missing
    // (empty for the indices that read none).
    LinkPredictor(const CoreGraph& graph, std::span<const std::int64_t> hashes,
                  std::span<const std::int64_t> degrees, std::vector<std::int32_t> community, LinkParams params);

    Count node_count() const { return rows_.node_count(); }

    // The scores of the pairs (pairs[2i], pairs[2i + 1]), each at its index.
    Result<std::vector<LinkScore>> scores(std::span<const Node> pairs) const;

    // The next non-edges of nx.non_edges, at most `limit` pairs appended to
    // `pairs`; fewer once they are done.
    void next_non_edges(std::size_t limit, std::vector<Node>& pairs);

    struct Scratch;

private:
    LinkScore score(Scratch& s, Node u, Node v, std::uint32_t distance) const;
    bool common_order(Scratch& s, Node u, Node v) const;

    const Csr& rows_;
    std::span<const std::int64_t> hashes_;
    std::span<const std::int64_t> degrees_;
    std::vector<std::int32_t> community_;
    LinkParams params_;

    // nx.non_edges: the set of nodes it pops from, and the difference
    // `nodes - set(G[u])` being walked.
    bool started_ = false;
    SetTable remaining_;
    Node u_ = 0;
    std::vector<Node> others_;
    std::size_t next_other_ = 0;
    std::vector<std::uint32_t> mark_;
    std::uint32_t stamp_ = 0;
};

}  // namespace fennel
