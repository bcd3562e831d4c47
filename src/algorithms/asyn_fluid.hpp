// NetworkX's asyn_fluidc (community.asyn_fluid): k fluid communities whose
// densities (1 / size) a node sums over itself and its neighbours, taking
// the densest community (within 0.0001, by seed.choice when its own is not
// among them), in rounds over fresh shuffles of the nodes.
#pragma once

#include "algorithms/label_propagation.hpp"

#include <cstdint>
#include <limits>
#include <vector>

namespace fennel {

inline constexpr Node NO_COMMUNITY = std::numeric_limits<Node>::max();

struct FluidCommunities {
    std::vector<Node> community;  // per position, NO_COMMUNITY when never reached
    std::vector<Node> order;      // the positions in the order NetworkX's dict first holds them
    bool emptied = false;         // a community lost its last node (NetworkX divides by its size, zero)
};

// Rounds over `adj` (undirected), at most `max_rounds`.
Result<FluidCommunities> fluid_communities(const Csr& adj, Node k, std::uint64_t max_rounds, Draws& draws);

}  // namespace fennel
