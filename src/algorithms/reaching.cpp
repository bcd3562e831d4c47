// NetworkX's local_reaching_centrality without weights: the paths of
// nx.shortest_path(G, source=v), a breadth-first dict. A directed graph's
// value counts them; an undirected graph's adds _average_weight of each path
// with sum(): the int 0 of the source's own path, then 1 / len for the
// others, in the dict's (breadth-first) order. Paths of one length add the
// same term, so the level counts fix the sum; the sum runs as CPython's
// sum() does (PySum), then NetworkX divides by norm = 1 and by n - 1. Many
// sources run 64 at a time over bit-parallel levels.
#include "algorithms/reaching.hpp"

#include "algorithms/search.hpp"
#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>

namespace fennel {

namespace {

constexpr std::size_t CHUNK = 64;

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

// Up to 64 sources at once, bit i of a node's word standing for source i:
// one scan over the rows per level serves the whole chunk, and each level's
// newly reached nodes are counted per source.
void chunk_levels(const Csr& rows, std::span<const Node> chunk, std::vector<std::uint64_t>& visited,
                  std::vector<std::uint64_t>& frontier, std::vector<std::uint64_t>& next,
                  std::vector<std::vector<std::uint64_t>>& counts) {
    std::fill(visited.begin(), visited.end(), 0);
    std::fill(frontier.begin(), frontier.end(), 0);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        counts[i].assign(1, 0);
        visited[chunk[i]] |= std::uint64_t{1} << i;
        frontier[chunk[i]] |= std::uint64_t{1} << i;
    }
    const Count n = rows.node_count();
    for (std::size_t level = 1;; ++level) {
        std::fill(next.begin(), next.end(), 0);
        for (Node v = 0; v < n; ++v) {
            const std::uint64_t f = frontier[v];
            if (f == 0) continue;
            for (Node u : rows.row(v)) next[u] |= f;
        }
        bool changed = false;
        for (std::size_t i = 0; i < chunk.size(); ++i) counts[i].push_back(0);
        for (Node u = 0; u < n; ++u) {
            const std::uint64_t fresh = next[u] & ~visited[u];
            frontier[u] = fresh;
            if (fresh == 0) continue;
            visited[u] |= fresh;
            changed = true;
            for (std::uint64_t rest = fresh; rest != 0; rest &= rest - 1) {
                ++counts[static_cast<std::size_t>(std::countr_zero(rest))][level];
            }
        }
        if (!changed) return;
    }
}

struct ChunkScratch {
    std::vector<std::uint64_t> visited, frontier, next;
    std::vector<std::vector<std::uint64_t>> counts;
};

}  // namespace

Result<std::vector<double>> local_reaching(const Csr& rows, const std::vector<Node>& sources, bool directed,
                                           bool compensated) {
    const Count n = rows.node_count();
    const double others = static_cast<double>(n) - 1.0;
    if (sources.size() < CHUNK) {
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
    const std::size_t chunks = (sources.size() + CHUNK - 1) / CHUNK;
    auto done = map_with_scratch(
        chunks,
        [&] {
            return ChunkScratch{std::vector<std::uint64_t>(n), std::vector<std::uint64_t>(n),
                                std::vector<std::uint64_t>(n), std::vector<std::vector<std::uint64_t>>(CHUNK)};
        },
        [&](ChunkScratch& s, std::size_t c) {
            const std::size_t begin = c * CHUNK;
            const std::size_t len = std::min(CHUNK, sources.size() - begin);
            chunk_levels(rows, std::span(sources).subspan(begin, len), s.visited, s.frontier, s.next, s.counts);
            for (std::size_t i = 0; i < len; ++i) out[begin + i] = value_of(s.counts[i], directed, compensated, others);
            add_progress(len);
            return true;
        });
    if (!done.ok()) return done.error();
    return out;
}

}  // namespace fennel
