// Breadth-first search from up to 64 sources at once: bit i of a node's word
// stands for source i of the chunk, so one scan over the rows per level
// serves the whole chunk. What each source reaches at each level is handed
// to the caller.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel {

inline constexpr std::size_t BIT_CHUNK = 64;

// One word per node for each of the three sets, and the lists of the nodes
// whose words are set, so that a level costs what it reaches. Owned by one
// pool task and reused from chunk to chunk.
struct BitLevels {
    std::vector<std::uint64_t> visited;   // sources that have reached the node
    std::vector<std::uint64_t> frontier;  // sources that reached it at this level
    std::vector<std::uint64_t> next;      // sources with a frontier edge into it
    std::vector<Node> seen, current, touched;

    explicit BitLevels(Count n) : visited(n), frontier(n), next(n) {}

    // Searches along `rows` from `chunk` (at most 64 sources), calling
    // fresh(level, u, bits) for every node u that the sources in `bits`
    // reach first at `level` (1, 2, ...), in no set order within a level; a
    // source's own node is its level 0 and is not reported. Returns the
    // last level that reached a node.
    template <class Fresh>
    std::uint32_t run(const Csr& rows, std::span<const Node> chunk, Fresh&& fresh) {
        for (Node v : seen) visited[v] = 0;
        seen.clear();
        current.clear();
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            const Node s = chunk[i];
            if (visited[s] == 0) {
                seen.push_back(s);
                current.push_back(s);
            }
            visited[s] |= std::uint64_t{1} << i;
            frontier[s] |= std::uint64_t{1} << i;
        }
        for (std::uint32_t level = 1;; ++level) {
            touched.clear();
            for (Node v : current) {
                const std::uint64_t f = frontier[v];
                frontier[v] = 0;
                for (Node u : rows.row(v)) {
                    if (next[u] == 0) touched.push_back(u);
                    next[u] |= f;
                }
            }
            current.clear();
            for (Node u : touched) {
                const std::uint64_t bits = next[u] & ~visited[u];
                next[u] = 0;
                if (bits == 0) continue;
                if (visited[u] == 0) seen.push_back(u);
                visited[u] |= bits;
                frontier[u] = bits;
                current.push_back(u);
                fresh(level, u, bits);
            }
            if (current.empty()) return level - 1;
        }
    }
};

}  // namespace fennel
