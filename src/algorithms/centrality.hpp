// Centrality measures as NetworkX's centrality package computes them, with
// every float sum formed in the order NetworkX forms it:
//
// - betweenness: the raw sums of Brandes' accumulation, exactly as
//   betweenness_centrality and edge_betweenness_centrality add them;
// - closeness and harmonic: from the distances of one search per node
//   (closeness towards it: NetworkX reverses a directed graph first, and its
//   reversed copy lists each node's in-neighbours in ascending position,
//   which is what the predecessor rows hold);
// - eigenvector and Katz: the dict-based power iterations of
//   eigenvector_centrality and katz_centrality.
#pragma once

#include "algorithms/components.hpp"
#include "algorithms/summation.hpp"
#include "graph/core_graph.hpp"
#include "lib/pool.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fennel {

// One unscaled sum per node position. Unweighted view: breadth-first mode.
Result<std::vector<double>> betweenness(const GraphView& g, bool endpoints, std::span<const Node> sources);

// One unscaled sum per edge, in edges_in_order order.
Result<std::vector<double>> edge_betweenness(const GraphView& g, std::span<const Node> sources);

// Each source's terms on a row of its own, for totals added up elsewhere
// (another process, another machine) in source order: row i holds what
// source i adds to each entry, +0.0 where it adds nothing, so that
// `total[e] += row[i][e]` for i in order is NetworkX's sum. A second or later
// term of one entry within one source (an undirected zero-weight edge found
// from both ends) is listed in `extra` in NetworkX's order, to be added after
// that source's row. `hit` marks the entries given any term (harmonic rows).
struct RowExtra {
    std::uint32_t source;  // row index
    std::uint32_t entry;
    double value;
};
struct SourceRows {
    std::size_t entries = 0;
    std::vector<double> rows;  // sources x entries, row-major
    std::vector<RowExtra> extra;
    std::vector<std::uint8_t> hit;
};

// betweenness's and edge_betweenness's terms (rows over nodes, or edges in
// edges_in_order).
Result<SourceRows> betweenness_rows(const GraphView& g, bool endpoints, std::span<const Node> sources);
Result<SourceRows> edge_betweenness_rows(const GraphView& g, std::span<const Node> sources);

// totals[e] += rows[i][e] for each row in order, each row followed by its
// extras; `extra` is ordered by row.
void add_rows(std::span<double> totals, const double* rows, std::size_t count, std::span<const RowExtra> extra);

// NetworkX's divisive loop on an undirected graph (girvan_newman's
// _without_most_central_edges, edge_betweenness_partition): starting from
// g without the edges `gone` (indices in edges_in_order), cut the first edge
// of highest edge betweenness (its raw sum times `scale`, as NetworkX's
// rescaling multiplies it) and recompute, until the graph has `target`
// connected components or no edge is left.
struct EdgeCuts {
    std::vector<Slot> removed;  // the edges cut, in order
    Components parts;           // the components after the last cut, in NetworkX's order
};
Result<EdgeCuts> cut_central_edges(const GraphView& g, std::span<const Slot> gone, double scale,
                                   std::size_t target);

// Edge index of every succ slot: the slot itself for directed graphs; for
// undirected graphs the position of its edge in edges_in_order, both
// directions of an edge sharing one index. NO_EDGE where an undirected row
// has no mirror slot.
inline constexpr Slot NO_EDGE = ~Slot{0};
std::vector<Slot> edge_ids(const GraphView& g, Slot& edge_count);

// closeness(v) = (r - 1) / t, with r the nodes that reach v (v included) and
// t the sum of their distances; scaled by (r - 1) / (n - 1) with the
// Wasserman-Faust improvement; 0 when t is not positive or n < 2.
struct ClosenessOptions {
    bool wf_improved = true;
    bool int_weights = false;      // distances are ints: NetworkX's sum is exact
    bool compensated_sum = false;  // float sums as CPython 3.12+'s sum()
};

// `rows` run towards the requested nodes; without a column the search is
// breadth-first (bit-parallel, 64 sources at a time). Fails with
// NegativeCycle as NetworkX's Dijkstra does.
Result<std::vector<double>> closeness(const GraphView& rows, std::span<const Node> sources,
                                      const ClosenessOptions& options);

// Harmonic centrality as NetworkX accumulates it: for each source in order,
// for each node u its search reaches at a distance d != 0 (settle order, or
// discovery order without a column), sums[u] += 1 / d when u is in the
// nbunch; hit[u] tells whether u received any term (NetworkX then holds a
// float, else its int 0).
struct HarmonicSums {
    std::vector<double> sums;
    std::vector<std::uint8_t> hit;
};

Result<HarmonicSums> harmonic(const GraphView& rows, std::span<const Node> sources,
                              std::span<const std::uint8_t> in_nbunch);

// harmonic's terms 1 / d per source (see betweenness_rows), on rows over
// nodes; `hit` as HarmonicSums' for the block.
Result<SourceRows> harmonic_rows(const GraphView& rows, std::span<const Node> sources,
                                 std::span<const std::uint8_t> in_nbunch);


// One power iteration over the out-rows, nodes taken in `order` (the key
// order of NetworkX's vector dict).
//
// NetworkX scatters: each node in order adds its term to every out-neighbour.
// Each node's value is thus its own sum of terms in the order of their
// sources; prepare() lays out those sources per node (the in-rows, sources
// in `order`, with their weights), and the spread then gathers each node's
// sum on its own, from nodes read in order and in parallel, adding the same
// terms in the same order.
//
// Over numpy weights NetworkX's node values turn numpy.float64 as terms
// reach them: `x[t] += x_last[u] * w` is numpy when x_last[u] or w is, so the
// numpy nodes spread one hop per step, and the convergence sum() leaves its
// compensated float path at the first numpy term. With `kinds`, the
// iteration follows which nodes hold numpy values (NodeKinds, by position).
using NodeKinds = std::vector<std::uint8_t>;  // 1: the node's value is numpy.float64

struct Iteration {
    const Csr& succ;
    std::span<const Node> order;
    const std::vector<double>* weights;  // per succ slot; nullptr: every edge weighs 1
    bool compensated_sum;                // the interpreter's sum() is compensated
    const Weights* kinds = nullptr;      // the weights' kinds, when some are numpy
    // The gathering form, set by prepare() (not with kinds, whose spread
    // stays a scatter): in-row t lists the sources of t's terms in order,
    // in_weights their weights (empty: every edge weighs 1).
    Csr in;
    std::vector<double> in_weights;

    void prepare();
    // x[t] += w * x_last[u] for each u in order and each out-slot of u;
    // with kinds, numpy[t] also takes numpy_last[u] or the weight's numpy-ness.
    Status spread(const std::vector<double>& x_last, std::vector<double>& x, const NodeKinds& numpy_last,
                  NodeKinds& numpy) const;
    // sum(abs(x[u] - x_last[u]) for u in order), as the interpreter adds it:
    // a term is numpy when either value is.
    double error(const std::vector<double>& x, const std::vector<double>& x_last, const NodeKinds& numpy,
                 const NodeKinds& numpy_last) const;
    // tol times the number of nodes iterated, as NetworkX compares with it.
    double threshold(double tol) const { return tol * static_cast<double>(order.size()); }
};

// eigenvector_centrality from the normalised start vector x0 (by position).
// norm(x) returns the Euclidean norm of x taken in `order` (Python's
// math.hypot, called back), or nullopt with the interpreter's exception set.
// nullopt: did not converge.
// `numpy` receives the numpy-ness of each node's value (start: none).
template <class Norm>
Result<std::optional<std::vector<double>>> eigenvector(const Iteration& it, std::vector<double> x0,
                                                       std::uint64_t max_iter, double tol, Norm&& norm,
                                                       NodeKinds& numpy) {
    std::vector<double> x = std::move(x0);
    std::vector<double> x_last(x.size());
    NodeKinds numpy_last;
    numpy.assign(it.kinds != nullptr ? x.size() : 0, 0);
    const double threshold = it.threshold(tol);
    for (std::uint64_t iter = 0; iter < max_iter; ++iter) {
        // The spread adds to a copy of the previous iterate: NetworkX
        // iterates with A + I.
        x_last = x;
        numpy_last = numpy;
        if (Status st = it.spread(x_last, x, numpy_last, numpy); !st.ok()) return st.error();
        const std::optional<double> length = norm(x);
        if (!length) return Error{ErrorKind::Raised, {}};
        const double scale = *length == 0.0 ? 1.0 : *length;
        for (double& v : x) v = v / scale;
        add_progress(1);
        if (it.error(x, x_last, numpy, numpy_last) < threshold) return std::optional<std::vector<double>>{std::move(x)};
    }
    return std::optional<std::vector<double>>{};
}

// katz_centrality before normalisation, with scalar beta, from x0 (zeros
// when absent). nullopt: did not converge.
Result<std::optional<std::vector<double>>> katz(const Iteration& it, std::optional<std::vector<double>> x0,
                                                double alpha, double beta, std::uint64_t max_iter, double tol,
                                                NodeKinds& numpy);


}  // namespace fennel
