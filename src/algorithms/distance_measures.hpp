// Per-source summaries of shortest-path searches, from which NetworkX's
// distance measures (eccentricity and its extrema) and its sums over all
// pairs (average_shortest_path_length, the connectivity test before it) are
// formed. Each source's search is independent of the others and runs on the
// worker pool; results come back in source order whatever the order in which
// the workers finish.
//
// bfs_stats advances up to 64 sources at once: bit i of a node's word stands
// for source i of the chunk, so one scan over the graph per level serves the
// whole chunk.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fennel {

struct BfsStats {
    std::uint64_t reached = 1;  // nodes reached, the source included
    std::uint64_t total = 0;    // sum of their hop distances
    std::uint32_t max = 0;      // largest hop distance
};

Result<std::vector<BfsStats>> bfs_stats(const Csr& rows, std::span<const Node> sources);


// Per-source summaries of Dijkstra searches and the total of every distance,
// as NetworkX's sum() adds them: sources in order, each one's distances in
// settle order. The source's own distance is NetworkX's int 0, which adds
// nothing; over int weights the total is exact, over floats it is
// CPython's sum() (compensated from 3.12 on when asked).
struct DijkstraSummary {
    std::uint64_t reached;  // length of the settle order
    double max;             // largest distance, NaN ignored
};

struct DijkstraStats {
    std::vector<std::optional<DijkstraSummary>> per_source;  // nullopt: a negative cycle
    bool total_valid = true;      // no source met a negative cycle
    bool any_float = false;       // a float distance was added (sum() then returns a float)
    double float_total = 0.0;     // over float weights
    __int128 int_total = 0;       // over int weights
};

// With `terms`, the float distances are appended there in the sum's order
// instead of being summed (for a sum continued elsewhere).
Result<DijkstraStats> dijkstra_stats(const GraphView& view, std::span<const Node> sources, bool int_weights,
                                     bool compensated_sum, std::vector<double>* terms = nullptr);

}  // namespace fennel
