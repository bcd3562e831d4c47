// PageRank, eigenvector and Katz centrality by power iteration, with every
// sum formed in the order NetworkX forms it.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/pool.hpp"
#include "lib/py_sum.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fennel {

struct PageRankInput {
    double alpha = 0.85;
    std::optional<std::vector<double>> personalization;  // raw, by position
    std::optional<std::vector<double>> nstart;
    std::optional<std::vector<double>> dangling;
    std::uint64_t max_iter = 100;
    double tol = 1e-6;
    bool return_previous = false;
    // NetworkX 3.7 and later: dangling nodes are those whose out-weights sum
    // to zero, and their mass is a numpy sum. Earlier releases: those whose
    // inverse sum is zero (an infinite sum too), summed left to right.
    bool numpy_dangling = false;
};

// NetworkX's scipy PageRank: the scores by position, or nullopt when the
// iteration does not converge within max_iter steps. `weights` is aligned
// with succ, `in_weights` with the in-rows (nullptr both: unweighted).
Result<std::optional<std::vector<double>>> pagerank(const CoreGraph& g, const std::vector<double>* weights,
                                                    const std::vector<double>* in_weights, const PageRankInput& in);

// One power iteration over the out-rows, nodes taken in `order` (the key
// order of NetworkX's vector dict).
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

    // x[t] += w * x_last[u] for each u in order and each out-slot of u;
    // with kinds, numpy[t] also takes numpy_last[u] or the weight's numpy-ness.
    void spread(const std::vector<double>& x_last, std::vector<double>& x, const NodeKinds& numpy_last,
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
        it.spread(x_last, x, numpy_last, numpy);
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
