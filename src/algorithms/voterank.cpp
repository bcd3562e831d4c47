// VoteRank. NetworkX recounts every vote in every round, O(m) a round; here
// a round recounts only the nodes one of whose voters lost ability, each
// in its own order of additions, and a max-tree over node positions finds
// the first node of highest score. Cost: O(n + m) to set up, then per pick
// the recounts around the picked node's neighbours and O(log n) per
// changed score.
#include "algorithms/voterank.hpp"

#include <algorithm>

namespace fennel {

namespace {

// Highest score, the lowest position among equals: max(G.nodes, key=...)
// keeps the first maximum in node order.
class MaxTree {
public:
    explicit MaxTree(std::size_t n) : size_(std::bit_ceil(std::max<std::size_t>(n, 1))), n_(n) {
        value_.assign(2 * size_, -1.0);
        at_.assign(2 * size_, 0);
        for (std::size_t i = 0; i < size_; ++i) at_[size_ + i] = static_cast<Node>(i);
    }
    void set(Node v, double value) {
        std::size_t i = size_ + v;
        value_[i] = value;
        for (i /= 2; i >= 1; i /= 2) {
            const std::size_t l = 2 * i, r = l + 1;
            const std::size_t best = value_[r] > value_[l] ? r : l;
            value_[i] = value_[best];
            at_[i] = at_[best];
        }
    }
    Node top() const { return at_[1]; }
    double top_value() const { return value_[1]; }

private:
    std::size_t size_;
    std::size_t n_;
    std::vector<double> value_;
    std::vector<Node> at_;
};

}  // namespace

std::vector<Node> voterank(const CoreGraph& g, Count limit) {
    const Count n = g.n;
    std::vector<Node> picked;
    if (n == 0 || limit == 0) return picked;
    // Each node's voters in the order NetworkX's pass adds their abilities.
    const EdgeList edges = edges_in_order(g);
    const std::size_t m = edges.us.size();
    std::vector<Slot> start(n + 1, 0);
    for (std::size_t e = 0; e < m; ++e) {
        ++start[edges.us[e] + 1];
        if (!g.directed) ++start[edges.vs[e] + 1];
    }
    for (Count v = 0; v < n; ++v) start[v + 1] += start[v];
    std::vector<Node> voters(start[n]);
    {
        std::vector<Slot> fill(start.begin(), start.end() - 1);
        for (std::size_t e = 0; e < m; ++e) {
            voters[fill[edges.us[e]]++] = edges.vs[e];
            if (!g.directed) voters[fill[edges.vs[e]]++] = edges.us[e];
        }
    }
    // Who counts whom: the scores to redo when a voter's ability changes.
    std::vector<Slot> vstart(n + 1, 0);
    for (Node w : voters) ++vstart[w + 1];
    for (Count v = 0; v < n; ++v) vstart[v + 1] += vstart[v];
    std::vector<Node> counted_by(voters.size());
    {
        std::vector<Slot> fill(vstart.begin(), vstart.end() - 1);
        for (Count v = 0; v < n; ++v) {
            for (Slot s = start[v]; s < start[v + 1]; ++s) counted_by[fill[voters[s]]++] = static_cast<Node>(v);
        }
    }
    // sum(degree) / len(G): out-degrees, or degrees (a self-loop counts
    // twice), both exact ints divided once.
    const double avg_degree = static_cast<double>(g.directed ? m : 2 * m) / static_cast<double>(n);
    std::vector<double> ability(n, 1.0);
    std::vector<std::uint8_t> chosen(n, 0);
    MaxTree tree(n);
    auto score = [&](Node v) {
        double s = 0.0;
        for (Slot k = start[v]; k < start[v + 1]; ++k) s += ability[voters[k]];
        return s;
    };
    for (Node v = 0; v < n; ++v) tree.set(v, score(v));
    std::vector<Count> stamp(n, 0);
    std::vector<Node> changed;
    for (Count round = 1; round <= limit; ++round) {
        const Node v = tree.top();
        if (tree.top_value() == 0.0) break;
        picked.push_back(v);
        chosen[v] = 1;
        ability[v] = 0.0;
        changed.assign(1, v);
        // G.edges(v): v's successors, or its neighbours (a self-loop once).
        for (Node w : g.succ.row(v)) {
            ability[w] -= 1 / avg_degree;
            ability[w] = std::max(ability[w], 0.0);
            changed.push_back(w);
        }
        for (Node w : changed) {
            for (Slot k = vstart[w]; k < vstart[w + 1]; ++k) {
                const Node x = counted_by[k];
                if (stamp[x] == round) continue;
                stamp[x] = round;
                tree.set(x, chosen[x] ? 0.0 : score(x));
            }
        }
        tree.set(v, 0.0);
    }
    return picked;
}

}  // namespace fennel
