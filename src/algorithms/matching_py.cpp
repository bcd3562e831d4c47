// Binding of the maximal matching.
#include "algorithms/matching.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* maximal(const CoreGraph& g) {
    if (g.directed) return raise(not_implemented("maximal matchings need an undirected graph"));
    return detached([&] { return fennel::greedy_matching(g.succ); });
}

constexpr auto MAXIMAL_MATCHING = method<maximal>(
    "greedy_matching", "maximal_matching's edges as a flat list of (u, v) positions, in the order\ntaken.");

}  // namespace

std::vector<PyMethodDef> matching_methods() { return {row<MAXIMAL_MATCHING>()}; }

}  // namespace fennel::py
