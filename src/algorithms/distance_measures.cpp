// Distance summaries (see distance_measures.hpp). The Dijkstra totals are
// added on the calling thread, sources in order and each source's distances
// in settle order, as NetworkX's sum() meets them.
#include "algorithms/distance_measures.hpp"

#include "algorithms/shortest_paths.hpp"
#include "lib/pool.hpp"
#include "algorithms/summation.hpp"

#include <algorithm>
#include <bit>

namespace fennel {

namespace {

constexpr std::size_t CHUNK = 64;

// One word per node for each of the three sets; bit i is source i of the
// chunk. Owned by one pool task and cleared per chunk.
struct BitScratch {
    std::vector<std::uint64_t> visited;   // sources that have reached the node
    std::vector<std::uint64_t> frontier;  // sources that reached it at this level
    std::vector<std::uint64_t> next;      // sources with a frontier edge into it

    explicit BitScratch(Count n) : visited(n), frontier(n), next(n) {}
};

void stats_of_chunk(BitScratch& bits, const Csr& rows, std::span<const Node> chunk, std::span<BfsStats> out) {
    std::fill(bits.visited.begin(), bits.visited.end(), 0);
    std::fill(bits.frontier.begin(), bits.frontier.end(), 0);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        out[i] = BfsStats{};
        bits.visited[chunk[i]] |= std::uint64_t{1} << i;
        bits.frontier[chunk[i]] |= std::uint64_t{1} << i;
    }
    const Count n = rows.node_count();
    for (std::uint32_t level = 1;; ++level) {
        std::fill(bits.next.begin(), bits.next.end(), 0);
        for (Node v = 0; v < n; ++v) {
            const std::uint64_t f = bits.frontier[v];
            if (f == 0) continue;
            for (Node u : rows.row(v)) bits.next[u] |= f;
        }
        bool changed = false;
        for (Node u = 0; u < n; ++u) {
            const std::uint64_t fresh = bits.next[u] & ~bits.visited[u];
            bits.frontier[u] = fresh;
            if (fresh == 0) continue;
            bits.visited[u] |= fresh;
            changed = true;
            for (std::uint64_t rest = fresh; rest != 0; rest &= rest - 1) {
                BfsStats& s = out[static_cast<std::size_t>(std::countr_zero(rest))];
                ++s.reached;
                s.total += level;
                s.max = level;
            }
        }
        if (!changed) return;
    }
}

}  // namespace

Result<std::vector<BfsStats>> bfs_stats(const Csr& rows, std::span<const Node> sources) {
    std::vector<BfsStats> out(sources.size());
    const std::size_t chunks = (sources.size() + CHUNK - 1) / CHUNK;
    auto done = map_with_scratch(
        chunks, [&] { return BitScratch(rows.node_count()); },
        [&](BitScratch& bits, std::size_t c) {
            const std::size_t begin = c * CHUNK;
            const std::size_t len = std::min(CHUNK, sources.size() - begin);
            stats_of_chunk(bits, rows, sources.subspan(begin, len), std::span(out).subspan(begin, len));
            add_progress(len);
            return true;
        });
    if (!done.ok()) return done.error();
    return out;
}


Result<DijkstraStats> dijkstra_stats(const GraphView& view, std::span<const Node> sources, bool int_weights,
                                     bool compensated_sum) {
    DijkstraStats out;
    out.per_source.reserve(sources.size());
    PySum sum(compensated_sum);
    // At most one batch of distance lists is alive at a time; the sum runs
    // on this thread in source order, whatever the scheduling.
    const std::size_t batch = 64 * pool_size();
    for (std::size_t begin = 0; begin < sources.size(); begin += batch) {
        auto found = dijkstra_many(view, sources.subspan(begin, std::min(batch, sources.size() - begin)),
                                   std::nullopt);
        if (!found.ok()) return found.error();
        for (const auto& f : found.value()) {
            if (!f) {
                out.per_source.push_back(std::nullopt);
                out.total_valid = false;
                continue;
            }
            DijkstraSummary summary{f->order.size(), 0.0};
            for (double d : f->dist) {
                if (d > summary.max) summary.max = d;
            }
            out.per_source.push_back(summary);
            if (!out.total_valid) continue;
            // The first entry is the source's int 0.
            for (std::size_t k = 1; k < f->dist.size(); ++k) {
                if (int_weights) {
                    out.int_total += static_cast<__int128>(f->dist[k]);
                } else {
                    sum.add(f->dist[k]);
                    out.any_float = true;
                }
            }
        }
    }
    out.float_total = sum.result();
    return out;
}

}  // namespace fennel
