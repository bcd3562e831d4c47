// Distance summaries (see distance_measures.hpp). The Dijkstra totals are
// added on the calling thread, sources in order and each source's distances
// in settle order, as NetworkX's sum() meets them.
#include "algorithms/distance_measures.hpp"

#include "algorithms/bit_bfs.hpp"
#include "algorithms/shortest_paths.hpp"
#include "lib/pool.hpp"
#include "algorithms/summation.hpp"

#include <algorithm>
#include <bit>

namespace fennel {

namespace {

void stats_of_chunk(BitLevels& bits, const Csr& rows, std::span<const Node> chunk, std::span<BfsStats> out) {
    for (std::size_t i = 0; i < chunk.size(); ++i) out[i] = BfsStats{};
    bits.run(rows, chunk, [&](std::uint32_t level, Node, std::uint64_t fresh) {
        for (std::uint64_t rest = fresh; rest != 0; rest &= rest - 1) {
            BfsStats& s = out[static_cast<std::size_t>(std::countr_zero(rest))];
            ++s.reached;
            s.total += level;
            s.max = level;
        }
    });
}

}  // namespace

Result<std::vector<BfsStats>> bfs_stats(const Csr& rows, std::span<const Node> sources) {
    std::vector<BfsStats> out(sources.size());
    const std::size_t chunks = (sources.size() + BIT_CHUNK - 1) / BIT_CHUNK;
    auto done = map_with_scratch(
        chunks, [&] { return BitLevels(rows.node_count()); },
        [&](BitLevels& bits, std::size_t c) {
            const std::size_t begin = c * BIT_CHUNK;
            const std::size_t len = std::min(BIT_CHUNK, sources.size() - begin);
            stats_of_chunk(bits, rows, sources.subspan(begin, len), std::span(out).subspan(begin, len));
            add_progress(len);
            return true;
        });
    if (!done.ok()) return done.error();
    return out;
}


Result<DijkstraStats> dijkstra_stats(const GraphView& view, std::span<const Node> sources, bool int_weights,
                                     bool compensated_sum, std::vector<double>* terms) {
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
                    if (terms != nullptr) {
                        terms->push_back(f->dist[k]);
                    } else {
                        sum.add(f->dist[k]);
                    }
                    out.any_float = true;
                }
            }
        }
    }
    out.float_total = sum.result();
    return out;
}

}  // namespace fennel
