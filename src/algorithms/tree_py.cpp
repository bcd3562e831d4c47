// Binding of Kruskal's spanning forest.
#include "algorithms/tree.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* spanning_forest(const CoreGraph& g, const AttrName& weight, bool maximum) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return kruskal(g.view(column.value()), maximum); }, [](const KeptEdges& kept) {
        return tuple_from([&] { return to_list(kept.us); }, [&] { return to_list(kept.vs); });
    });
}

constexpr auto KRUSKAL =
    method<spanning_forest>("kruskal", "Kruskal's spanning forest: kept edges as `(us, vs)` in yield order.",
                            arg<AttrName>("weight", none), arg<bool>("maximum", false));

}  // namespace

std::vector<PyMethodDef> tree_methods() { return {row<KRUSKAL>()}; }

}  // namespace fennel::py
