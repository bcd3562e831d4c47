// Matchings, as NetworkX's matching module finds them: the greedy maximal
// matching, the maximality check, and Edmonds' maximum-weight matching
// (blossoms, primal-dual).
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

// NetworkX's maximal_matching over undirected rows: G.edges() in order (an
// edge once, from the endpoint listed first), each edge taken when neither
// end is matched and it is no self-loop. The edges as (u, v) pairs, flat,
// in the order taken.
std::vector<Node> greedy_matching(const Csr& adj);

// Whether some edge of the rows (no self-loop) has both ends unmatched:
// is_maximal_matching's last pass over G.edges. `matched` lists positions.
bool has_free_edge(const Csr& adj, const std::vector<Node>& matched);

// NetworkX's max_weight_matching over undirected rows without parallel
// edges, `weights` per slot (equal on both slots of an edge). Each pair
// (v, mate[v]) of NetworkX's mate dict, flat, in the dict's insertion order,
// a pair listed once from the endpoint inserted first: the insert sequence
// of matching_dict_to_set. Precondition: every weight finite, and the
// integers among them small enough that every dual stays exact in a double.
Result<std::vector<Node>> blossom_matching(const Csr& adj, const std::vector<double>* weights,
                                           bool maxcardinality);

}  // namespace fennel
