#include "algorithms/closeness.hpp"

#include "algorithms/distance.hpp"
#include "lib/pool.hpp"
#include "lib/py_sum.hpp"

#include <algorithm>
#include <atomic>
#include <limits>
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
            add_progress(1);
            return true;
        });
    if (!done.ok()) return done.error();
    if (contradiction.load()) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
    return out;
}

Result<HarmonicSums> harmonic(const PathAdj& rows, std::span<const Node> sources,
                              std::span<const std::uint8_t> in_nbunch) {
    const Count n = rows.adj->node_count();
    HarmonicSums out{std::vector<double>(n, 0.0), std::vector<std::uint8_t>(n, 0)};
    auto add = [&](Node u, double d) {
        if (d != 0.0 && in_nbunch[u]) {
            out.sums[u] = 1.0 / d + out.sums[u];
            out.hit[u] = 1;
        }
    };
    // Searches run in parallel a batch at a time; the terms are added on
    // this thread in source order, so no sum depends on the scheduling.
    const std::size_t batch = 4 * pool_size();
    for (std::size_t begin = 0; begin < sources.size(); begin += batch) {
        const auto part = sources.subspan(begin, std::min(batch, sources.size() - begin));
        if (rows.weights == nullptr) {
            auto found = bfs_many(*rows.adj, part, std::numeric_limits<double>::infinity());
            if (!found.ok()) return found.error();
            for (const BfsLengths& f : found.value()) {
                for (std::size_t k = 0; k < f.order.size(); ++k) add(f.order[k], static_cast<double>(f.levels[k]));
            }
            continue;
        }
        auto found = dijkstra_many(rows, part, std::nullopt);
        if (!found.ok()) return found.error();
        for (const auto& f : found.value()) {
            if (!f) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
            for (std::size_t k = 0; k < f->order.size(); ++k) add(f->order[k], f->dist[k]);
        }
    }
    return out;
}

}  // namespace fennel
