// Matchings, as NetworkX's matching module finds them: the greedy maximal
// matching.
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

// NetworkX's maximal_matching over undirected rows: G.edges() in order (an
// edge once, from the endpoint listed first), each edge taken when neither
// end is matched and it is no self-loop. The edges as (u, v) pairs, flat,
// in the order taken.
std::vector<Node> greedy_matching(const Csr& adj);

}  // namespace fennel
