// Bindings of the reciprocity counts.
#include "algorithms/reciprocity.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* reciprocity_counts(const CoreGraph& g, const Positions& nodes) {
    auto list = g.sources_or_all(nodes);
    if (!list.ok()) return raise(list.error());
    if (!g.directed) return raise(value_error("reciprocity counts are a directed graph's"));
    return detached([&] { return fennel::reciprocity_counts(g.succ, g.in_rows(), list.value()); },
                    [&](const std::vector<ReciprocityCount>& counts) -> PyObject* {
                        return list_from(counts.size(), [&](std::size_t i) {
                            return tuple_from([&] { return to_python(counts[i].total); },
                                              [&] { return to_python(counts[i].overlap); });
                        });
                    });
}

PyObject* reciprocated_pairs(const CoreGraph& g) {
    if (!g.directed) return raise(value_error("reciprocity counts are a directed graph's"));
    return detached([&] { return fennel::reciprocated_pairs(g.succ, g.in_rows()); });
}

constexpr auto RECIPROCITY_COUNTS = method<reciprocity_counts>(
    "reciprocity_counts",
    "(len(pred) + len(succ), len(pred & succ)) of each of `nodes`, as NetworkX's\nreciprocity forms them.",
    arg<Positions>("nodes"));
constexpr auto RECIPROCATED_PAIRS = method<reciprocated_pairs>(
    "reciprocated_pairs", "The ordered pairs (u, v), u != v, joined both ways.");

}  // namespace

std::vector<PyMethodDef> reciprocity_methods() { return {row<RECIPROCITY_COUNTS>(), row<RECIPROCATED_PAIRS>()}; }

}  // namespace fennel::py
