// NetworkX's local_reaching_centrality without weights: the paths of
// nx.shortest_path(G, source=v), a breadth-first dict. A directed graph's
// value counts them; an undirected graph's adds _average_weight of each path
// with sum(): the int 0 of the source's own path, then 1 / len for the
// others, in the dict's (breadth-first) order. Paths of one length add the
// same term, so the level counts fix the sum; the sum runs as CPython's
// sum() does (PySum), then NetworkX divides by norm = 1 and by n - 1. Many
// sources run 64 at a time over bit-parallel levels.
#include "algorithms/reaching.hpp"

#include "algorithms/bit_bfs.hpp"
#include "algorithms/search.hpp"
#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>

namespace fennel {

namespace {

// A source's value from its level counts (counts[d]: nodes at d hops, d >= 1).
double value_of(const std::vector<std::uint64_t>& counts, bool directed, bool compensated, double others) {
    if (directed) {
        std::uint64_t reached = 1;
        for (std::uint64_t c : counts) reached += c;
        return static_cast<double>(reached - 1) / others;
    }
    PySum sum(compensated);
    for (std::size_t d = 1; d < counts.size(); ++d) {
        const double term = 1.0 / static_cast<double>(d);
        for (std::uint64_t c = 0; c < counts[d]; ++c) sum.add(term);
    }
    return sum.result() / others;
}

// Each level's newly reached nodes, counted per source of the chunk.
void chunk_levels(BitLevels& bits, const Csr& rows, std::span<const Node> chunk,
                  std::vector<std::vector<std::uint64_t>>& counts) {
    for (std::size_t i = 0; i < chunk.size(); ++i) counts[i].assign(1, 0);
    bits.run(rows, chunk, [&](std::uint32_t level, Node, std::uint64_t fresh) {
        for (std::uint64_t rest = fresh; rest != 0; rest &= rest - 1) {
            auto& c = counts[static_cast<std::size_t>(std::countr_zero(rest))];
            if (c.size() <= level) c.resize(level + 1, 0);
            ++c[level];
        }
    });
}

struct ChunkScratch {
    BitLevels bits;
    std::vector<std::vector<std::uint64_t>> counts;
};

}  // namespace

Result<std::vector<double>> local_reaching(const Csr& rows, const std::vector<Node>& sources, bool directed,
                                           bool compensated) {
    const Count n = rows.node_count();
    const double others = static_cast<double>(n) - 1.0;
    if (sources.size() < BIT_CHUNK) {
        // A few sources: one search each costs only what it reaches.
        return map_with_scratch(
            sources.size(), [&] { return BfsState(n); },
            [&](BfsState& bfs, std::size_t i) {
                bfs.discover<true>(rows, sources[i], BfsState::UNREACHED);
                std::vector<std::uint64_t> counts(1, 0);
                for (Node w : bfs.order().subspan(1)) {
                    const std::uint32_t d = bfs.level[w];
                    if (counts.size() <= d) counts.resize(d + 1, 0);
                    ++counts[d];
                }
                return value_of(counts, directed, compensated, others);
            });
    }
    std::vector<double> out(sources.size());
    const std::size_t chunks = (sources.size() + BIT_CHUNK - 1) / BIT_CHUNK;
    auto done = map_with_scratch(
        chunks, [&] { return ChunkScratch{BitLevels(n), std::vector<std::vector<std::uint64_t>>(BIT_CHUNK)}; },
        [&](ChunkScratch& s, std::size_t c) {
            const std::size_t begin = c * BIT_CHUNK;
            const std::size_t len = std::min(BIT_CHUNK, sources.size() - begin);
            chunk_levels(s.bits, rows, std::span(sources).subspan(begin, len), s.counts);
            for (std::size_t i = 0; i < len; ++i) out[begin + i] = value_of(s.counts[i], directed, compensated, others);
            add_progress(len);
            return true;
        });
    if (!done.ok()) return done.error();
    return out;
}

}  // namespace fennel
