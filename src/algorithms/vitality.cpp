// Closeness vitality's removals. NetworkX's subgraph view walks G's rows
// with the removed node filtered out, so the searches run over a copy of
// the rows without it, the later positions shifted down by one: node order,
// row order and so every tie-break stay NetworkX's. Cost per removal: the
// copy, O(n + m), and the all-pairs search.
#include "algorithms/vitality.hpp"

#include "algorithms/distance_measures.hpp"

#include <numeric>

namespace fennel {

namespace {

// `rows` without node r; `column` (per slot of `rows`) follows when given.
Csr without(const Csr& rows, Node r, const std::vector<double>* column, std::vector<double>* kept) {
    const Count n = rows.node_count();
    Csr out;
    out.offsets.reserve(n);
    out.targets.reserve(rows.slot_count());
    out.offsets.push_back(0);
    for (Node v = 0; v < n; ++v) {
        if (v == r) continue;
        for (Slot s = rows.begin(v); s < rows.end(v); ++s) {
            const Node w = rows.targets[s];
            if (w == r) continue;
            out.targets.push_back(w > r ? w - 1 : w);
            if (column) kept->push_back((*column)[s]);
        }
        out.offsets.push_back(out.targets.size());
    }
    return out;
}

}  // namespace

Result<std::vector<WienerWithout>> wiener_without(const CoreGraph& g, const std::vector<double>* column,
                                                  bool int_weights, bool compensated_sum,
                                                  std::span<const Node> removed) {
    std::vector<WienerWithout> out;
    out.reserve(removed.size());
    const Count left = g.n - 1;
    std::vector<Node> all(left);
    std::iota(all.begin(), all.end(), Node{0});
    for (Node r : removed) {
        WienerWithout w;
        std::vector<double> kept;
        const Csr succ = without(g.succ, r, column, &kept);
        // is_strongly_connected / is_connected: every source reaches every
        // node, or (undirected) the first one does.
        std::span<const Node> probes(all.data(), g.directed ? all.size() : std::min<std::size_t>(1, all.size()));
        auto reach = bfs_stats(succ, probes);
        if (!reach.ok()) return reach.error();
        w.connected = true;
        for (const BfsStats& s : reach.value()) w.connected = w.connected && s.reached == left;
        if (w.connected) {
            if (column == nullptr) {
                const auto& hops = g.directed ? reach.value() : std::vector<BfsStats>{};
                if (g.directed) {
                    for (const BfsStats& s : hops) w.int_total += s.total;
                } else {
                    auto every = bfs_stats(succ, all);
                    if (!every.ok()) return every.error();
                    for (const BfsStats& s : every.value()) w.int_total += s.total;
                }
            } else {
                Csr pred_rows;
                if (g.directed) pred_rows = without(g.in_rows(), r, nullptr, nullptr);
                const GraphView view{.out = &succ, .in = g.directed ? &pred_rows : &succ, .weights = &kept,
                                     .directed = g.directed};
                auto stats = dijkstra_stats(view, all, int_weights, compensated_sum);
                if (!stats.ok()) return stats.error();
                w.valid = stats.value().total_valid;
                w.any_float = stats.value().any_float;
                w.float_total = stats.value().float_total;
                w.int_total = stats.value().int_total;
            }
        }
        out.push_back(w);
    }
    return out;
}

}  // namespace fennel
