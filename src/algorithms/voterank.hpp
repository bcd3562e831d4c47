// NetworkX's VoteRank (centrality/voterank_alg.py).
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

// voterank's influential nodes in the order NetworkX picks them, at most
// `limit`. Each node's score is the sum of its voters' abilities in the
// order NetworkX's pass over G.edges() adds them (a directed edge (n, nbr)
// gives n the ability of nbr; an undirected edge gives each end the
// other's); the pick is the first node of highest score in node order.
// `rows` are the compact rows (one slot per neighbour pair), which NetworkX
// walks too when the graph has no parallel edges.
std::vector<Node> voterank(const CoreGraph& g, Count limit);

}  // namespace fennel
