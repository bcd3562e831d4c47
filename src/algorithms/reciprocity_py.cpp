// Bindings of the reciprocity counts.
#include "algorithms/reciprocity.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* reciprocity_counts(const CoreGraph& g, const std::optional<Positions>& nodes) {
    auto list = g.sources_or_all(nodes);
    if (!list.ok()) return raise(list.error());
    if (!g.directed) return raise(value_error("reciprocity counts are a directed graph's"));
    return detached([&] { return fennel::reciprocity_counts(g.succ, g.in_rows(), list.value()); },
                    [&](const std::vector<ReciprocityCount>& counts) -> PyObject* {
                        // NetworkX's 2 * len(overlap) / n_total (exact ints, one rounding), None when 0.
                        return list_from(counts.size(), [&](std::size_t i) -> PyObject* {
                            if (counts[i].total == 0) Py_RETURN_NONE;
                            return to_python(static_cast<double>(2 * counts[i].overlap) /
                                             static_cast<double>(counts[i].total));
                        });
                    });
}

PyObject* reciprocated_pairs(const CoreGraph& g) {
    if (!g.directed) return raise(value_error("reciprocity counts are a directed graph's"));
    return detached([&] { return fennel::reciprocated_pairs(g.succ, g.in_rows()); });
}

constexpr auto RECIPROCITY_COUNTS = method<reciprocity_counts>(
    "reciprocity_counts",
    "NetworkX's reciprocity of each of `nodes` (None: every node): 2 * len(pred &\nsucc) divided by len(pred) + "
    "len(succ), None when that is 0.",
    arg<std::optional<Positions>>("nodes"));
constexpr auto RECIPROCATED_PAIRS = method<reciprocated_pairs>(
    "reciprocated_pairs", "The ordered pairs (u, v), u != v, joined both ways.");

}  // namespace

std::vector<PyMethodDef> reciprocity_methods() { return {row<RECIPROCITY_COUNTS>(), row<RECIPROCATED_PAIRS>()}; }

}  // namespace fennel::py
