// Core numbers, onion layers and k-trusses, as NetworkX's core module
// computes them.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

// NetworkX's core_number over out rows then `back` rows (directed graphs:
// in + out degree, a reciprocated neighbour counted twice, as NetworkX's
// all_neighbors lists it); nullopt with a self-loop.
// The numbers per node, 32-bit in `narrow` unless the graph has 2**32 slots
// or more (then in `wide`).
struct CoreNumbers {
    std::vector<std::uint32_t> narrow;
    std::vector<Count> wide;
};
std::optional<CoreNumbers> core_numbers(const Csr& out, const Csr* back);

// NetworkX's onion_layers over undirected rows without self-loops: the
// nodes in the order they get their layer (isolates first, then layer by
// layer, each layer by degree and then node order, as a stable sort of the
// remaining nodes gives it) and each one's layer, in that order; nullopt
// with a self-loop.
struct OnionLayers {
    std::vector<Node> order;
    std::vector<Count> layer;
};
std::optional<OnionLayers> onion_peel(const Csr& adj);

// NetworkX's k_truss rounds over undirected rows without self-loops: each
// round drops, at once, every edge whose ends share fewer than `need`
// neighbours, until a round drops none. Whether each slot's edge is kept.
std::optional<std::vector<std::uint8_t>> truss_edges(const Csr& adj, double need);

}  // namespace fennel
