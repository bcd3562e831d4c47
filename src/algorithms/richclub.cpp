// Rich club. Costs: O(n + m) for the terms; O(deg) per swap attempt for the
// randomisation, as NetworkX's list(G[u]) and dict updates.
#include "algorithms/richclub.hpp"

#include <algorithm>
#include <bit>

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

std::vector<std::int64_t> degrees_of(const std::vector<std::vector<Node>>& adj) {
    std::vector<std::int64_t> deg(adj.size());
    for (std::size_t u = 0; u < adj.size(); ++u) deg[u] = static_cast<std::int64_t>(adj[u].size());
    return deg;
}

std::uint64_t edge_key(Node u, Node v) {
    if (u > v) std::swap(u, v);
    return (static_cast<std::uint64_t>(u) << 32) | v;
}

void erase_value(std::vector<Node>& row, Node v) { row.erase(std::find(row.begin(), row.end(), v)); }

// The edge set the swaps test against: open addressing with linear probing
// and backward-shift deletion, sized once (the edge count never changes).
class EdgeSet {
public:
    explicit EdgeSet(std::size_t edges) {
        std::size_t size = 16;
        while (size < edges * 2 + 2) size <<= 1;
        slots_.assign(size, EMPTY);
        mask_ = size - 1;
    }
    bool contains(std::uint64_t key) const {
        for (std::size_t i = home(key);; i = (i + 1) & mask_) {
            if (slots_[i] == key) return true;
            if (slots_[i] == EMPTY) return false;
        }
    }
    void insert(std::uint64_t key) {
        std::size_t i = home(key);
        while (slots_[i] != EMPTY && slots_[i] != key) i = (i + 1) & mask_;
        slots_[i] = key;
    }
    void erase(std::uint64_t key) {
        std::size_t i = home(key);
        while (slots_[i] != key) {
            if (slots_[i] == EMPTY) return;
            i = (i + 1) & mask_;
        }
        // Shift back the entries whose probe runs crossed the hole.
        for (std::size_t j = (i + 1) & mask_; slots_[j] != EMPTY; j = (j + 1) & mask_) {
            const std::size_t h = home(slots_[j]);
            if (((j - h) & mask_) >= ((j - i) & mask_)) {
                slots_[i] = slots_[j];
                i = j;
            }
        }
        slots_[i] = EMPTY;
    }

private:
    static constexpr std::uint64_t EMPTY = ~std::uint64_t{0};
    std::size_t home(std::uint64_t key) const {
        key ^= key >> 33;
        key *= 0xff51afd7ed558ccdull;
        key ^= key >> 33;
        return static_cast<std::size_t>(key) & mask_;
    }
    std::vector<std::uint64_t> slots_;
    std::size_t mask_ = 0;
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

std::uint32_t MersenneTwister::next32() {
    constexpr std::uint32_t UPPER = 0x80000000u, LOWER = 0x7fffffffu, MATRIX = 0x9908b0dfu;
    if (index >= 624) {
        for (std::size_t k = 0; k < 624; ++k) {
            const std::uint32_t y = (mt[k] & UPPER) | (mt[(k + 1) % 624] & LOWER);
            mt[k] = mt[(k + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? MATRIX : 0u);
        }
        index = 0;
    }
    std::uint32_t y = mt[index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

double MersenneTwister::random() {
    const std::uint32_t a = next32() >> 5;
    const std::uint32_t b = next32() >> 6;
    return (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
}

std::uint32_t MersenneTwister::getrandbits(unsigned k) {
    if (k == 0) return 0;
    return next32() >> (32 - k);
}

std::uint64_t MersenneTwister::randbelow(std::uint64_t n) {
    const auto k = static_cast<unsigned>(std::bit_width(n));
    std::uint64_t r = getrandbits(k);
    while (r >= n) r = getrandbits(k);
    return r;
}

SwapOutcome randomised_rich_club(const Csr& rows, std::int64_t nswap, std::int64_t max_tries, MersenneTwister& rng,
                                 RichClubTerms& terms) {
    const Count n = rows.node_count();
    // G.copy(): add_edges_from over G's rows in node order; an edge joins
    // both copied rows when first met, from its earlier end.
    std::vector<std::vector<Node>> adj(n);
    EdgeSet edges(rows.slot_count() / 2 + 1);
    for (Node u = 0; u < n; ++u) {
        for (Node v : rows.row(u)) {
            if (v <= u) continue;
            adj[u].push_back(v);
            adj[v].push_back(u);
            edges.insert(edge_key(u, v));
        }
    }
    // cumulative_distribution(degrees): running float sums, each divided by
    // the total.
    const std::vector<std::int64_t> deg = degrees_of(adj);
    std::vector<double> cdf{0.0};
    double cumulative = 0.0;
    for (std::int64_t d : deg) {
        cumulative += static_cast<double>(d);
        cdf.push_back(cumulative);
    }
    for (double& c : cdf) c /= cumulative;
    // bisect.bisect_left(cdf, s) - 1, a Python index (-1 is the last node).
    auto pick = [&](double s) -> Node {
        const auto i = std::lower_bound(cdf.begin(), cdf.end(), s) - cdf.begin();
        return i == 0 ? static_cast<Node>(n - 1) : static_cast<Node>(i - 1);
    };
    SwapOutcome outcome;
    std::int64_t tries = 0;
    std::int64_t swaps = 0;
    while (swaps < nswap) {
        const double s1 = rng.random();
        const double s2 = rng.random();
        const Node u = pick(s1);
        const Node x = pick(s2);
        if (u == x) continue;
        if (adj[u].empty() || adj[x].empty()) {
            // The first choice from an empty row raises before the second draws.
            if (!adj[u].empty()) rng.randbelow(adj[u].size());
            outcome.end = SwapEnd::EmptyChoice;
            break;
        }
        const Node v = adj[u][rng.randbelow(adj[u].size())];
        const Node y = adj[x][rng.randbelow(adj[x].size())];
        if (v == y) continue;
        if (!edges.contains(edge_key(u, x)) && !edges.contains(edge_key(v, y))) {
            // add_edge(u, x), add_edge(v, y): new keys go to the rows' ends;
            // remove_edge(u, v), remove_edge(x, y) keep the others' order.
            adj[u].push_back(x);
            adj[x].push_back(u);
            edges.insert(edge_key(u, x));
            adj[v].push_back(y);
            adj[y].push_back(v);
            edges.insert(edge_key(v, y));
            erase_value(adj[u], v);
            erase_value(adj[v], u);
            edges.erase(edge_key(u, v));
            erase_value(adj[x], y);
            erase_value(adj[y], x);
            edges.erase(edge_key(x, y));
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
    for (Node u = 0; u < n; ++u) {
        for (Node v : adj[u]) {
            if (v < u) continue;
            const auto k1 = static_cast<std::size_t>(std::min(deg[u], deg[v]));
            if (k1 >= k1_count.size()) k1_count.resize(k1 + 1, 0);
            ++k1_count[k1];
        }
    }
    terms = terms_of(deg, k1_count);
    return outcome;
}

}  // namespace fennel
