// Link prediction. Costs: O(deg u + deg v) per pair, plus the CPython set
// tables replayed where a float sum's order depends on them; a search per
// pair (or per run of pairs from one node) for common_neighbor_centrality's
// distances; O(n) set operations per node popped by nx.non_edges.
#include "algorithms/link_prediction.hpp"

#include "algorithms/search.hpp"
#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fennel {

namespace {

constexpr std::uint32_t UNREACHED = BfsState::UNREACHED;

// A run of pairs from one node this long searches the whole graph once
// rather than searching between each pair's ends.
constexpr std::size_t WHOLE_SEARCH_RUN = 16;

}  // namespace

struct LinkPredictor::Scratch {
    // The searches' scratch only where distances are asked for.
    Scratch(Count n, bool searches) : in_v(n, 0), from_u(searches ? n : 0), from_v(searches ? n : 0) {}

    std::uint32_t next_stamp() {
        if (++stamp == 0) {
            std::fill(in_v.begin(), in_v.end(), 0);
            stamp = 1;
        }
        return stamp;
    }

    std::vector<std::uint32_t> in_v;       // == stamp: in G[v]
    std::uint32_t stamp = 0;
    std::vector<Node> common;  // nx.common_neighbors(G, u, v), in G[u]'s order, then in the set's
    std::vector<Node> sequence;
    std::vector<Node> sorted;  // the common neighbours, sorted to be looked up
    SetTable s_table, r_table;
    BfsState from_u, from_v;
};

LinkPredictor::LinkPredictor(const CoreGraph& graph, std::span<const std::int64_t> hashes,
                             std::span<const std::int64_t> degrees, std::vector<std::int32_t> community,
                             LinkParams params)
    : rows_(graph.succ),
      hashes_(hashes),
      degrees_(degrees),
      community_(std::move(community)),
      params_(params) {}

// nx.common_neighbors is `G._adj[u].keys() & G._adj[v].keys() - {u, v}`:
// S = set(G._adj[v]) (one resize up front, as set.update(dict) makes, then
// v's keys in order) less u and v; then `keys & S` iterates the smaller
// side, u's keys in order when len(G[u]) <= len(S) (S.intersection(keys)),
// S's table otherwise, adding the members found to a fresh set. Its table
// is the order NetworkX's sums meet the common neighbours in. Reorders
// s.common into it; false when that order cannot matter (under two).
bool LinkPredictor::common_order(Scratch& s, Node u, Node v) const {
    if (s.common.size() < 2) return false;
    const auto ru = rows_.row(u);
    const auto rv = rows_.row(v);
    const std::uint32_t stamp = s.stamp;
    std::size_t s_size = rv.size();
    if (s.in_v[u] == stamp) --s_size;
    if (v != u && s.in_v[v] == stamp) --s_size;
    if (ru.size() <= s_size) {
        s.sequence = s.common;
    } else {
        SetTable& st = s.s_table;
        st.clear();
        st.reserve_update(rv.size());
        for (Node w : rv) st.add(w, hashes_[w]);
        st.discard(u, hashes_[u]);
        if (v != u) st.discard(v, hashes_[v]);
        st.settle_dummies();
        s.sorted.assign(s.common.begin(), s.common.end());
        std::sort(s.sorted.begin(), s.sorted.end());
        s.sequence.clear();
        st.each([&](Node w) {
            if (std::binary_search(s.sorted.begin(), s.sorted.end(), w)) s.sequence.push_back(w);
        });
    }
    SetTable& r = s.r_table;
    r.clear();
    for (Node w : s.sequence) r.add(w, hashes_[w]);
    s.common.clear();
    r.each([&](Node w) { s.common.push_back(w); });
    return true;
}

LinkScore LinkPredictor::score(Scratch& s, Node u, Node v, std::uint32_t distance) const {
    const LinkIndex index = params_.index;
    if (index == LinkIndex::PreferentialAttachment) return {0.0, degrees_[u] * degrees_[v], LinkScore::Int};
    if (index == LinkIndex::CommonNeighborCentrality && u == v) return {0.0, 0, LinkScore::SelfLoop};
    std::int32_t cu = 0;
    if (index == LinkIndex::CnSoundarajanHopcroft || index == LinkIndex::RaSoundarajanHopcroft ||
        index == LinkIndex::WithinInterCluster) {
        // _community(G, u) and then _community(G, v) come first.
        cu = community_[u];
        if (cu < 0) return {0.0, -1, LinkScore::NoCommunity};
        if (community_[v] < 0) return {0.0, -2, LinkScore::NoCommunity};
        const bool same = cu == community_[v];
        if (!same && index != LinkIndex::CnSoundarajanHopcroft) return {0.0, 0, LinkScore::Int};
    }

    const std::uint32_t stamp = s.next_stamp();
    const auto ru = rows_.row(u);
    for (Node w : rows_.row(v)) s.in_v[w] = stamp;
    s.common.clear();
    std::int64_t shared = 0;  // |G[u] & G[v]|, u and v included
    for (Node w : ru) {
        if (s.in_v[w] != stamp) continue;
        ++shared;
        if (w != u && w != v) s.common.push_back(w);
    }
    const auto count = static_cast<std::int64_t>(s.common.size());

    // The first common neighbour, in the set's order, missing the community.
    const auto missing_community = [&]() -> std::int64_t {
        bool any = false;
        for (Node w : s.common) any = any || community_[w] < 0;
        if (!any) return -1;
        common_order(s, u, v);
        for (Node w : s.common) {
            if (community_[w] < 0) return w;
        }
        return -1;
    };

    switch (index) {
        case LinkIndex::Jaccard: {
            const std::int64_t union_size = static_cast<std::int64_t>(ru.size() + rows_.row(v).size()) - shared;
            if (union_size == 0) return {0.0, 0, LinkScore::Int};
            return {static_cast<double>(count) / static_cast<double>(union_size), 0, LinkScore::Float};
        }
        case LinkIndex::AdamicAdar:
        case LinkIndex::ResourceAllocation: {
            if (count == 0) return {0.0, 0, LinkScore::Int};
            const bool log = index == LinkIndex::AdamicAdar;
            // 1 / log(1) divides by zero: only u's own neighbours (u == v) can have degree 1.
            if (log) {
                for (Node w : s.common) {
                    if (degrees_[w] == 1) return {0.0, 0, LinkScore::ZeroDivision};
                }
            }
            common_order(s, u, v);
            PySum sum(params_.compensated);
            for (Node w : s.common) {
                const double d = static_cast<double>(degrees_[w]);
                sum.add(log ? 1.0 / std::log(d) : 1.0 / d);
            }
            return {sum.result(), 0, LinkScore::Float};
        }
        case LinkIndex::CommonNeighborCentrality: {
            if (params_.count_only) return {0.0, count, LinkScore::Int};
            // alpha * n_nbrs + (1 - alpha) * len(G) / path_len
            const double alpha = params_.alpha;
            const double path = distance == UNREACHED ? std::numeric_limits<double>::infinity()
                                                      : static_cast<double>(distance);
            const double centrality = (1.0 - alpha) * static_cast<double>(rows_.node_count()) / path;
            return {alpha * static_cast<double>(count) + centrality, 0, LinkScore::Float};
        }
        case LinkIndex::CnSoundarajanHopcroft: {
            if (cu != community_[v]) return {0.0, count, LinkScore::Int};
            if (const std::int64_t w = missing_community(); w >= 0) return {0.0, w, LinkScore::NoCommunity};
            std::int64_t bonus = 0;
            for (Node w : s.common) bonus += community_[w] == cu;
            return {0.0, count + bonus, LinkScore::Int};
        }
        case LinkIndex::RaSoundarajanHopcroft: {
            if (const std::int64_t w = missing_community(); w >= 0) return {0.0, w, LinkScore::NoCommunity};
            std::size_t kept = 0;
            for (Node w : s.common) kept += community_[w] == cu;
            if (kept == 0) return {0.0, 0, LinkScore::Int};
            if (kept > 1) common_order(s, u, v);
            PySum sum(params_.compensated);
            for (Node w : s.common) {
                if (community_[w] == cu) sum.add(1.0 / static_cast<double>(degrees_[w]));
            }
            return {sum.result(), 0, LinkScore::Float};
        }
        case LinkIndex::WithinInterCluster: {
            if (const std::int64_t w = missing_community(); w >= 0) return {0.0, w, LinkScore::NoCommunity};
            std::int64_t within = 0;
            for (Node w : s.common) within += community_[w] == cu;
            // len(within) / (len(inter) + delta): an int delta keeps the sum an
            // int, exact here as a double (the caller bounds it).
            const double inter = static_cast<double>(count - within);
            return {static_cast<double>(within) / (inter + params_.delta), 0, LinkScore::Float};
        }
        case LinkIndex::PreferentialAttachment:
            break;
    }
    return {};
}

namespace {

// The hop count between u and v (UNREACHED: none): breadth-first from both
// ends, a whole level of the smaller fringe at a time. The first edge that
// meets the other side closes a shortest path: no node was reached from
// both sides before this level, so none can be nearer.
std::uint32_t pair_distance(const Csr& rows, BfsState& a, BfsState& b, Node u, Node v) {
    if (u == v) return 0;
    a.start(u);
    b.start(v);
    while (true) {
        const bool forward = a.fringe() <= b.fringe();
        BfsState& near = forward ? a : b;
        const BfsState& far = forward ? b : a;
        if (near.fringe() == 0) return UNREACHED;
        std::uint32_t found = UNREACHED;
        near.expand_level(rows, [&](Node x, Node w, bool) {
            if (far.level[w] == UNREACHED) return false;
            found = near.level[x] + 1 + far.level[w];
            return true;
        });
        if (found != UNREACHED) return found;
    }
}

}  // namespace

Result<std::vector<LinkScore>> LinkPredictor::scores(std::span<const Node> pairs) const {
    const std::size_t count = pairs.size() / 2;
    const Count n = rows_.node_count();
    const bool distances = params_.index == LinkIndex::CommonNeighborCentrality && !params_.count_only;
    // Work items: runs of pairs from one node (a search each) when distances
    // are needed, slices of pairs otherwise.
    std::vector<std::size_t> bounds{0};
    for (std::size_t i = 1; i <= count; ++i) {
        const bool cut = i == count || (distances ? pairs[2 * i] != pairs[2 * i - 2] : i % 256 == 0);
        if (cut) bounds.push_back(i);
    }
    std::vector<LinkScore> out(count);
    const Pieces pieces = split(bounds.size() - 1);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        Scratch s(n, distances);
        for (std::size_t item = pieces.begin(piece); item < pieces.end(piece) && !stop_requested(); ++item) {
            const std::size_t begin = bounds[item], end = bounds[item + 1];
            const bool whole = distances && end - begin >= WHOLE_SEARCH_RUN;
            if (whole) s.from_u.discover<true>(rows_, pairs[2 * begin], UNREACHED);
            for (std::size_t i = begin; i < end; ++i) {
                const Node u = pairs[2 * i], v = pairs[2 * i + 1];
                std::uint32_t distance = 0;
                if (distances && u != v) {
                    distance = whole ? s.from_u.level[v] : pair_distance(rows_, s.from_u, s.from_v, u, v);
                }
                out[i] = score(s, u, v, distance);
            }
        }
    });
    if (!st.ok()) return st.error();
    return out;
}

void LinkPredictor::next_non_edges(std::size_t limit, std::vector<Node>& pairs) {
    const Count n = rows_.node_count();
    const auto hash_of = [&](Node x) { return hashes_[x]; };
    if (!started_) {
        // nodes = set(graph): the nodes added one by one.
        started_ = true;
        for (Node v = 0; v < n; ++v) remaining_.add(v, hashes_[v]);
        mark_.assign(n, 0);
    }
    std::size_t made = 0;
    while (made < limit) {
        if (next_other_ < others_.size()) {
            pairs.push_back(u_);
            pairs.push_back(others_[next_other_++]);
            ++made;
            continue;
        }
        if (remaining_.size() == 0) return;
        // u = nodes.pop(); for v in nodes - set(graph[u])
        u_ = remaining_.pop();
        const std::uint32_t stamp = ++stamp_;
        const auto row = rows_.row(u_);
        for (Node w : row) mark_[w] = stamp;
        const SetTable others =
            SetTable::difference(remaining_, row.size(), [&](Node x) { return mark_[x] == stamp; }, hash_of);
        others_.clear();
        next_other_ = 0;
        others.each([&](Node x) { others_.push_back(x); });
    }
}

}  // namespace fennel
