// Greedy colouring, as NetworkX's greedy_color colours with the
// largest_first strategy.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

struct Colouring {
    std::vector<Node> order;           // processing order
    std::vector<std::uint32_t> colours;  // by position
};

// NetworkX's greedy_color with the largest-first strategy: nodes by degree
// (NetworkX degrees), largest first, ties in position order; each takes the
// smallest colour none of its out-neighbours has yet.
Colouring greedy_colour(const Csr& out, const std::vector<Count>& degrees);

}  // namespace fennel
