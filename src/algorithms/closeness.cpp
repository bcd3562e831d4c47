#include "algorithms/closeness.hpp"

#include "algorithms/distance.hpp"
#include "lib/pool.hpp"
#include "lib/py_sum.hpp"

#include <atomic>
#include <optional>

namespace fennel {

namespace {

double scaled(double reached, double total, Count n, bool wf_improved) {
    if (!(total > 0.0) || n < 2) return 0.0;
    double value = (reached - 1.0) / total;
    if (wf_improved) value *= (reached - 1.0) / static_cast<double>(n - 1);
    return value;
}

// sum() over one search's distances in settle order: the source's int 0
// first, then the floats (or, over int weights, exact integers).
double distance_total(const DijkstraLengths& found, const ClosenessOptions& options) {
    if (options.int_weights) {
        __int128 total = 0;
        for (double d : found.dist) total += static_cast<__int128>(d);
        return static_cast<double>(total);
    }
    PySum sum(options.compensated_sum);
    for (double d : found.dist) sum.add(d);
    return sum.result();
}

}  // namespace

Result<std::vector<double>> closeness(const PathAdj& rows, std::span<const Node> sources,
                                      const ClosenessOptions& options) {
    const Count n = rows.adj->node_count();
    std::vector<double> out(sources.size());
    if (rows.weights == nullptr) {
        auto stats = bfs_stats(*rows.adj, sources);
        if (!stats.ok()) return stats.error();
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const BfsStats& s = stats.value()[i];
            out[i] = scaled(static_cast<double>(s.reached), static_cast<double>(s.total), n, options.wf_improved);
        }
        return out;
    }
    // A contradiction ends the call: the other workers stop at their next
    // source.
    std::atomic<bool> contradiction{false};
    auto done = map_with_scratch(
        sources.size(), [&] { return DijkstraState(n); },
        [&](DijkstraState& state, std::size_t i) {
            if (contradiction.load(std::memory_order_relaxed)) return false;
            auto found = dijkstra_lengths(state, rows, sources[i], std::nullopt);
            if (!found.ok()) {
                contradiction.store(true, std::memory_order_relaxed);
                return false;
            }
            const double total = distance_total(found.value(), options);
            out[i] = scaled(static_cast<double>(found.value().order.size()), total, n, options.wf_improved);
            return true;
        });
    if (!done.ok()) return done.error();
    if (contradiction.load()) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
    return out;
}

}  // namespace fennel
