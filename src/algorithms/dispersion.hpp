// NetworkX's dispersion (centrality/dispersion.py): the counts behind it.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel {

// _dispersion(G, u, v)'s two counts: the pairs (s, t) of common neighbours
// that pass NetworkX's test, and the number of common neighbours.
struct DispersionCount {
    std::uint64_t total = 0;
    std::uint64_t embeddedness = 0;
};

// The counts of (u, v) for each u of `sources` and each v of u's row, row
// after row. NetworkX's pairs come from combinations() over a set of the
// common neighbours built in G[v]'s order, so which of s and t comes first
// (the test is not symmetric on directed graphs or with self-loops) follows
// CPython's set table, replayed from the nodes' `hashes`. `ordered`: the
// rows are directed or hold a self-loop (else the test is symmetric and the
// set's order is not needed).
Result<std::vector<DispersionCount>> dispersion_counts(const Csr& rows, std::span<const std::int64_t> hashes,
                                                        bool ordered, std::span<const Node> sources);

// The counts of the one pair (u, v), adjacent or not.
DispersionCount dispersion_pair(const Csr& rows, std::span<const std::int64_t> hashes, bool ordered, Node u, Node v);

}  // namespace fennel
