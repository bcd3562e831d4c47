// Rich club. Costs: O(n + m) for the terms; O(deg) per swap attempt for the
// randomisation, as NetworkX's list(G[u]) and dict updates.
#include "algorithms/richclub.hpp"

#include <algorithm>
#include <bit>
#include <span>

namespace fennel {

namespace {

// The terms from degrees and each edge's smaller end degree (k1).
RichClubTerms terms_of(const std::vector<std::int64_t>& deg, const std::vector<std::int64_t>& k1_count) {
    RichClubTerms terms;
    const auto total = static_cast<std::int64_t>(deg.size());
    std::int64_t max_degree = 0;
    for (std::int64_t d : deg) max_degree = std::max(max_degree, d);
    // degree_histogram, then `total - cs for cs in accumulate(hist) if
    // total - cs > 1`: the counts only fall, so the filter keeps a prefix
    // and enumerate's d is the degree.
    std::vector<std::int64_t> hist(static_cast<std::size_t>(max_degree) + 1, 0);
    for (std::int64_t d : deg) ++hist[static_cast<std::size_t>(d)];
    std::int64_t edges = 0;
    for (std::int64_t c : k1_count) edges += c;
    std::int64_t cs = 0;
    std::int64_t popped = 0;  // edges whose k1 <= d
    for (std::size_t d = 0; d < hist.size(); ++d) {
        cs += hist[d];
        if (total - cs <= 1) break;
        if (d < k1_count.size()) popped += k1_count[d];
        terms.nk.push_back(total - cs);
        terms.ek.push_back(edges - popped);
    }
    return terms;
}

// R's rows during the swaps. A swap takes one neighbour out of each of its
// four rows and adds one, so every row keeps its length: the rows live in
// one array at fixed offsets, and NetworkX's dict order (a removed key
// leaves its place, a new key goes last) is a shift of the row's tail and
// a write at its end.
class SwapRows {
public:
    explicit SwapRows(const std::vector<std::vector<Node>>& rows) {
        offsets_.push_back(0);
        for (const auto& row : rows) {
            targets_.insert(targets_.end(), row.begin(), row.end());
            offsets_.push_back(targets_.size());
        }
    }
    std::size_t size(Node u) const { return offsets_[u + 1] - offsets_[u]; }
    Node at(Node u, std::size_t i) const { return targets_[offsets_[u] + i]; }
    // `v in G[u]`, read from the shorter of the two rows (the graph is undirected).
    bool joined(Node u, Node v) const {
        if (size(v) < size(u)) std::swap(u, v);
        const Node* row = targets_.data() + offsets_[u];
        return std::find(row, row + size(u), v) != row + size(u);
    }
    // G[u]'s key `old` removed and `fresh` added after the others.
    void replace(Node u, Node old, Node fresh) {
        Node* row = targets_.data() + offsets_[u];
        Node* end = row + size(u);
        Node* at = std::find(row, end, old);
        std::move(at + 1, end, at);
        end[-1] = fresh;
    }
    template <class F>
    void each_row(F&& f) const {
        for (Node u = 0; u + 1 < offsets_.size(); ++u) {
            f(u, std::span<const Node>(targets_.data() + offsets_[u], size(u)));
        }
    }

private:
    std::vector<std::size_t> offsets_;
    std::vector<Node> targets_;
};

// bisect.bisect_left(cdf, s) - 1 as a Python index (-1: the last node),
// sped up by a guide table: guide[b] is the first index whose value is at
// least b / buckets, and the search starts a bucket below s's, whose bound
// is then surely at most s, so the scan finds bisect_left's own answer.
class Picker {
public:
    explicit Picker(std::vector<double> cdf) : cdf_(std::move(cdf)) {
        buckets_ = cdf_.size();
        guide_.resize(buckets_ + 1);
        std::size_t i = 0;
        for (std::size_t b = 0; b <= buckets_; ++b) {
            const double bound = static_cast<double>(b) / static_cast<double>(buckets_);
            while (i < cdf_.size() && cdf_[i] < bound) ++i;
            guide_[b] = i;
        }
    }
    Node pick(double s, Node n) const {
        auto b = static_cast<std::size_t>(s * static_cast<double>(buckets_));
        b = b > 0 ? std::min(b - 1, buckets_) : 0;
        std::size_t i = guide_[b];
        while (i < cdf_.size() && cdf_[i] < s) ++i;
        return i == 0 ? static_cast<Node>(n - 1) : static_cast<Node>(i - 1);
    }

private:
    std::vector<double> cdf_;
    std::vector<std::size_t> guide_;
    std::size_t buckets_ = 0;
};

}  // namespace

RichClubTerms rich_club_terms(const Csr& rows) {
    const Count n = rows.node_count();
    std::vector<std::int64_t> deg(n);
    for (Node u = 0; u < n; ++u) deg[u] = static_cast<std::int64_t>(rows.row(u).size());
    std::vector<std::int64_t> k1_count;
    for (Node u = 0; u < n; ++u) {
        for (Node v : rows.row(u)) {
            if (v < u) continue;  // each edge once
            const auto k1 = static_cast<std::size_t>(std::min(deg[u], deg[v]));
            if (k1 >= k1_count.size()) k1_count.resize(k1 + 1, 0);
            ++k1_count[k1];
        }
    }
    return terms_of(deg, k1_count);
}

SwapOutcome randomised_rich_club(const Csr& rows, std::int64_t nswap, std::int64_t max_tries, MersenneTwister& rng,
                                 RichClubTerms& terms) {
    const Count n = rows.node_count();
    // G.copy(): add_edges_from over G's rows in node order; an edge joins
    // both copied rows when first met, from its earlier end.
    std::vector<std::vector<Node>> copied(n);
    for (Node u = 0; u < n; ++u) {
        for (Node v : rows.row(u)) {
            if (v <= u) continue;
            copied[u].push_back(v);
            copied[v].push_back(u);
        }
    }
    SwapRows adj(copied);
    // cumulative_distribution(degrees): running float sums, each divided by
    // the total.
    std::vector<std::int64_t> deg(n);
    for (Node u = 0; u < n; ++u) deg[u] = static_cast<std::int64_t>(adj.size(u));
    std::vector<double> cdf{0.0};
    double cumulative = 0.0;
    for (std::int64_t d : deg) {
        cumulative += static_cast<double>(d);
        cdf.push_back(cumulative);
    }
    for (double& c : cdf) c /= cumulative;
    const Picker picker(std::move(cdf));
    SwapOutcome outcome;
    std::int64_t tries = 0;
    std::int64_t swaps = 0;
    while (swaps < nswap) {
        const Node u = picker.pick(rng.random(), static_cast<Node>(n));
        const Node x = picker.pick(rng.random(), static_cast<Node>(n));
        if (u == x) continue;
        if (adj.size(u) == 0 || adj.size(x) == 0) {
            // The first choice from an empty row raises before the second draws.
            if (adj.size(u) != 0) rng.randbelow(adj.size(u));
            outcome.end = SwapEnd::EmptyChoice;
            break;
        }
        const Node v = adj.at(u, rng.randbelow(adj.size(u)));
        const Node y = adj.at(x, rng.randbelow(adj.size(x)));
        if (v == y) continue;
        if (!adj.joined(u, x) && !adj.joined(v, y)) {
            // add_edge(u, x), add_edge(v, y), remove_edge(u, v),
            // remove_edge(x, y): each row loses one key and gains one last.
            adj.replace(u, v, x);
            adj.replace(x, y, u);
            adj.replace(v, u, y);
            adj.replace(y, x, v);
            ++swaps;
        }
        if (tries >= max_tries) {
            outcome.end = SwapEnd::TriesExceeded;
            outcome.tries = tries;
            break;
        }
        ++tries;
    }
    std::vector<std::int64_t> k1_count;
    adj.each_row([&](Node u, std::span<const Node> row) {
        for (Node v : row) {
            if (v < u) continue;
            const auto k1 = static_cast<std::size_t>(std::min(deg[u], deg[v]));
            if (k1 >= k1_count.size()) k1_count.resize(k1 + 1, 0);
            ++k1_count[k1];
        }
    });
    terms = terms_of(deg, k1_count);
    return outcome;
}

}  // namespace fennel
