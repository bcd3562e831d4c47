// NetworkX's randomised label propagation (community.label_propagation):
// asyn_lpa_communities and fast_label_propagation_communities. The random
// draws are the caller's: NetworkX's own calls on its generator object, made
// in NetworkX's order, so the generator ends in NetworkX's state.
#pragma once

#include "algorithms/py_random.hpp"
#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <span>
#include <vector>

namespace fennel {

// The generator calls, made on the calling thread.
class Draws {
public:
    virtual ~Draws() = default;
    // seed.shuffle over the nodes: the positions in the order it leaves them.
    virtual Result<std::vector<Node>> shuffled() = 0;
    // seed.choice(labels): the label it picks.
    virtual Result<Node> choice(std::span<const Node> labels) = 0;
};

// The draws of CPython's random.Random itself, from its state: shuffle
// swaps each position from the last down with one _randbelow below it,
// choice takes one _randbelow of the labels' count.
class TwisterDraws final : public Draws {
public:
    TwisterDraws(MersenneTwister& rng, Count n) : rng_(rng), n_(n) {}
    Result<std::vector<Node>> shuffled() override;
    Result<Node> choice(std::span<const Node> labels) override;

private:
    MersenneTwister& rng_;
    Count n_;
};

// Rows and weights of the neighbourhoods a node counts labels over.
struct LabelRows {
    const Csr* succ;
    const Csr* pred;                      // directed graphs: G._pred's rows in its order
    const std::vector<double>* succ_weights;  // nullptr: unweighted counts
    const std::vector<double>* pred_weights;
    bool multigraph;  // unweighted multigraph counts walk succ before pred
};

// Final labels (positions of the nodes that first held them) of
// asyn_lpa_communities, which counts labels over succ rows only.
Result<std::vector<Node>> asyn_lpa(const LabelRows& rows, Draws& draws);

// Final labels of fast_label_propagation_communities.
Result<std::vector<Node>> fast_label_propagation(const LabelRows& rows, Draws& draws);

}  // namespace fennel
