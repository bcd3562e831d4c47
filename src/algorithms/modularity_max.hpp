// Greedy modularity maximisation, as NetworkX's community.modularity_max
// runs it: Clauset-Newman-Moore (greedy_modularity_communities) and the
// naive pair-by-pair search (naive_greedy_modularity_communities). Both
// return the merges they make, in order; the caller builds the frozensets
// by NetworkX's own set operations, whose iteration order depends on the
// node objects' hashes.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// One weight column with the kind of each value, for sums that follow
// Python's sum() (see summation.hpp). `values` nullptr: every edge weighs
// the int 1.
struct KindColumn {
    const std::vector<double>* values = nullptr;
    const Weights* kinds = nullptr;  // per-slot kinds of `values`; nullptr: all `uniform`
    std::uint8_t uniform = PY_INT;

    double value(Slot s) const { return values ? (*values)[s] : 1.0; }
    std::uint8_t kind(Slot s) const { return kinds ? kinds->kind(s) : uniform; }
};

struct CnmInput {
    const Csr* succ;
    const Csr* pred;  // directed graphs: G._pred's rows in its own order
    KindColumn out;   // per succ slot
    KindColumn in;    // per pred slot (directed)
    bool directed;
    bool weighted;  // NetworkX's m is the degree sum halved by `/` (else by `//`)
    // rank[v]: v's place among the node objects sorted by `<`, which breaks
    // NetworkX's ties between equal modularity gains.
    std::vector<Node> rank;
    double resolution;
    double cutoff;  // stop at this many communities
    double best_n;  // merge on past the best modularity until at most this many
    bool compensated_sum;
};

struct CnmMerges {
    std::vector<Node> merged;  // u0, v0, u1, v1, ...: u merged into v (positions)
    bool exhausted = false;    // no pair of communities was left to merge
    bool zero_total = false;   // the weights sum to zero (NetworkX divides by it)
};

Result<CnmMerges> cnm_merges(const CnmInput& in);

struct NaiveInput {
    const Csr* adj;
    const std::vector<double>* weights;  // integer values; nullptr: the int 1
    double resolution;
    bool int_resolution;  // an int: NetworkX's resolution * d * d is exact
    bool compensated_sum;
};

struct NaiveMerges {
    std::vector<Node> merged;  // i0, j0, ...: list entry i merged into entry j
    bool zero_total = false;   // no edge weight: NetworkX divides by zero
};

Result<NaiveMerges> naive_greedy_merges(const NaiveInput& in);

}  // namespace fennel
