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
        const Count n = rows.node_count();
        for (std::uint32_t level = 1;; ++level) {
            if (current.size() * DENSE_SHARE >= n) {
                dense_level(rows, level, fresh);
            } else {
                sparse_level(rows, level, fresh);
            }
            if (current.empty()) return level - 1;
        }
    }

private:
    // A frontier of at least n / DENSE_SHARE nodes is expanded by scanning
    // the words in position order, which reads them sequentially; a smaller
    // one through the lists, at the cost of what it reaches.
    static constexpr std::size_t DENSE_SHARE = 32;

    template <class Fresh>
    void dense_level(const Csr& rows, std::uint32_t level, Fresh& fresh) {
        const Count n = rows.node_count();
        for (Node v = 0; v < n; ++v) {
            const std::uint64_t f = frontier[v];
            if (f == 0) continue;
            for (Node u : rows.row(v)) next[u] |= f;
        }
        current.clear();
        for (Node u = 0; u < n; ++u) {
            const std::uint64_t bits = next[u] & ~visited[u];
            next[u] = 0;
            frontier[u] = bits;
            if (bits == 0) continue;
            if (visited[u] == 0) seen.push_back(u);
            visited[u] |= bits;
            current.push_back(u);
            fresh(level, u, bits);
        }
    }

    template <class Fresh>
    void sparse_level(const Csr& rows, std::uint32_t level, Fresh& fresh) {
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
    }
};

}  // namespace fennel
