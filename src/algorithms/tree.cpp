// NetworkX's kruskal_mst_edges: a stable sort of the edges by weight, then a
// union-find that keeps the edges joining two trees.
//
// Cost: O(m) for the sort (a least-significant-digit radix sort of the
// weights' bits, eight passes at most, passes every key agrees on skipped),
// near-linear for the joins (union by size, path halving).
#include "algorithms/tree.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

namespace fennel {

namespace {

struct Record {
    std::uint64_t key;  // the weight's rank, see sort_key
    Node u, v;
};

// An unsigned key whose order is the weights' order as Python compares
// them: -0.0 equals 0.0, so both map to 0.0's key, and equal keys stay in
// edge order under the stable sort. Descending weights (`maximum`, as
// NetworkX's sorted(..., reverse=True), itself stable) take the complement.
std::uint64_t sort_key(double w, bool maximum) {
    if (w == 0.0) w = 0.0;
    const auto bits = std::bit_cast<std::uint64_t>(w);
    const std::uint64_t key = (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
    return maximum ? ~key : key;
}

// Sorts by key, stably: one counting pass per byte, lowest byte first.
void radix_sort(std::vector<Record>& records) {
    const std::size_t m = records.size();
    std::array<std::array<std::size_t, 256>, 8> counts{};
    for (const Record& r : records) {
        for (unsigned b = 0; b < 8; ++b) ++counts[b][(r.key >> (8 * b)) & 0xff];
    }
    std::vector<Record> other(m);
    for (unsigned b = 0; b < 8; ++b) {
        auto& count = counts[b];
        // Every key has the same byte here: this pass would change nothing.
        if (m == 0 || count[(records[0].key >> (8 * b)) & 0xff] == m) continue;
        std::size_t start = 0;
        for (std::size_t& c : count) start += std::exchange(c, start);
        for (const Record& r : records) other[count[(r.key >> (8 * b)) & 0xff]++] = r;
        records.swap(other);
    }
}

}  // namespace

Result<KeptEdges> kruskal(const GraphView& view, bool maximum) {
    const Csr& out = *view.out;
    const Count n = view.n();
    // The edges in G.edges order: each undirected edge from its earlier end.
    std::vector<Record> records;
    records.reserve(view.directed ? out.slot_count() : out.slot_count() / 2 + 1);
    for (Node u = 0; u < n; ++u) {
        for (Slot s = out.begin(u); s < out.end(u); ++s) {
            const Node v = out.targets[s];
            if (!view.directed && v < u) continue;
            const double w = view.weights ? (*view.weights)[s] : 1.0;
            // NaN has no place in the order: Python's sort would leave it anywhere.
            if (std::isnan(w)) return value_error("no NaN weights");
            records.push_back({sort_key(w, maximum), u, v});
        }
    }
    radix_sort(records);
    // Which edges join two trees depends only on the trees, not on how the
    // forest below represents them.
    std::vector<Node> parent(n);
    std::vector<Node> size(n, 1);
    for (Node x = 0; x < n; ++x) parent[x] = x;
    auto find = [&](Node x) {
        while (parent[x] != x) {
            parent[x] = parent[parent[x]];
            x = parent[x];
        }
        return x;
    };
    KeptEdges kept;
    kept.us.reserve(n);
    kept.vs.reserve(n);
    for (const Record& r : records) {
        Node ru = find(r.u), rv = find(r.v);
        if (ru == rv) continue;
        if (size[ru] < size[rv]) std::swap(ru, rv);
        parent[rv] = ru;
        size[ru] += size[rv];
        kept.us.push_back(r.u);
        kept.vs.push_back(r.v);
        if (kept.us.size() + 1 == n) break;  // a spanning tree: nothing more can join
    }
    return kept;
}

}  // namespace fennel
