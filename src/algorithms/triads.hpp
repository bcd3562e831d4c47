// The triad census of a directed graph (NetworkX's triadic_census).
#pragma once

#include "graph/core_graph.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace fennel {

// Triads counted per type, by the type's index in NetworkX's TRIAD_NAMES
// (index 0, the empty triad "003", is left at 0: NetworkX forms it from the
// total). `tricodes`: NetworkX's TRICODES table (64 type numbers 1..16).
// `in_nodeset`: a flag per node, every node set for the whole census;
// otherwise NetworkX's census of the triads that meet a flagged node.
using TriadCensus = std::array<std::int64_t, 16>;

Result<TriadCensus> triadic_census(const Csr& out, const Csr& in, const std::vector<std::uint8_t>& tricodes,
                                   const std::vector<std::uint8_t>& in_nodeset);

}  // namespace fennel
