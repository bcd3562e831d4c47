// Binding of label propagation.
#include "algorithms/community.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* propagate(const CoreGraph& g, const Positions& order) {
    // On directed rows labels can cycle for ever (NetworkX serves undirected graphs only).
    if (g.directed) return raise(not_implemented("label propagation needs an undirected graph"));
    return detached([&] { return label_propagation(g.succ, order); });
}

constexpr auto LABEL_PROPAGATION = method<propagate>(
    "label_propagation", "Final labels of `label_propagation_communities`, visiting `order`.", arg<Positions>("order"));

}  // namespace

std::vector<PyMethodDef> community_methods() { return {row<LABEL_PROPAGATION>()}; }

}  // namespace fennel::py
