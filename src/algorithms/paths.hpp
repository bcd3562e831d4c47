// Single-source shortest-path lengths, shared by every weighted and
// unweighted search.
//
// DijkstraState::run reproduces NetworkX's heap-based Dijkstra from one
// source (`_dijkstra_multisource` without paths or target): entries are
// ordered by distance, then by a push counter that starts at 0 for the source,
// exactly like NetworkX's (distance, next(counter), node) heap tuples, so
// equal distances are finalized in push order. NaN weights mark edges whose
// NetworkX weight is None: such slots are skipped. The cutoff filter comes
// before the contradiction check, as in NetworkX.
//
// bfs_length_search reproduces NetworkX's level-by-level
// `_single_shortest_path_length`, including its early stop once every node is
// seen.
#pragma once

#include "algorithms/heap.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

// Reusable scratch for Dijkstra searches on graphs of `n` nodes. Each run
// resets only the nodes the previous run touched.
struct DijkstraState {
    std::vector<double> dist;        // final distance, where done
    std::vector<std::uint8_t> done;  // finalized
    std::vector<double> seen_dist;   // best tentative distance, where seen
    std::vector<std::uint8_t> seen;
    std::vector<Node> order;         // finalized nodes, in finalization order
    std::vector<Node> touched;       // nodes whose seen flag this run set
    SearchHeap<Node> heap;

    explicit DijkstraState(Count n) : dist(n), done(n), seen_dist(n), seen(n) {}

    // One search from `source` along `adj` (weights nullptr: every slot 1.0).
    // Fails with NegativeCycle when a finalized node would get shorter.
    Status run(const Csr& adj, const std::vector<double>* weights, Node source,
               std::optional<double> cutoff);
};

// Nodes in breadth-first discovery order from `source` with their hop
// counts; levels are expanded only while level < cutoff.
struct BfsLengths {
    std::vector<Node> order;
    std::vector<std::uint32_t> levels;
};
BfsLengths bfs_length_search(const Csr& adj, Count n, Node source, double cutoff);

}  // namespace fennel
