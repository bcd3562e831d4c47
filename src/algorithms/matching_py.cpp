// Binding of the maximal and maximum-weight matchings and the maximality check.
#include "algorithms/matching.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* maximal(const CoreGraph& g) {
    if (g.directed) return raise(not_implemented("maximal matchings need an undirected graph"));
    return detached([&] { return fennel::greedy_matching(g.succ); });
}

PyObject* blossom(const CoreGraph& g, const AttrName& weight, bool maxcardinality) {
    if (g.directed) return raise(not_implemented("weighted matchings need an undirected graph"));
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return fennel::blossom_matching(g.succ, column.value(), maxcardinality); });
}

PyObject* free_edge(const CoreGraph& g, const Positions& matched) {
    for (const Node v : matched) {
        if (v >= g.n) return raise(index_error());
    }
    return detached([&] { return fennel::has_free_edge(g.succ, matched); });
}

constexpr auto MAXIMAL_MATCHING = method<maximal>(
    "greedy_matching", "maximal_matching's edges as a flat list of (u, v) positions, in the order\ntaken.");
constexpr auto FREE_EDGE = method<free_edge>(
    "has_free_edge", "Whether some edge other than a self-loop has both ends outside `matched`.",
    arg<Positions>("matched"));
constexpr auto BLOSSOM_MATCHING = method<blossom>(
    "blossom_matching",
    "max_weight_matching's mate pairs as a flat list of (u, v) positions, in the order\n"
    "matching_dict_to_set inserts them.",
    arg<AttrName>("weight", none), arg<bool>("maxcardinality", false));

}  // namespace

std::vector<PyMethodDef> matching_methods() { return {row<MAXIMAL_MATCHING>(), row<FREE_EDGE>(), row<BLOSSOM_MATCHING>()}; }

}  // namespace fennel::py
