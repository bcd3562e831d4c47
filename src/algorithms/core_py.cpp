// Bindings of the core numbers, onion layers and k-truss edges.
#include "algorithms/core.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

// The numbers as a list by position, or as {nodes[i]: number} when the
// node objects are given (NetworkX's dict, in G's order).
PyObject* cores(const CoreGraph& g, const std::optional<TupleRef>& nodes) {
    if (nodes && static_cast<Count>(PyTuple_GET_SIZE(nodes->obj)) != g.n) {
        return raise(value_error("nodes must hold one object per node"));
    }
    return detached([&] { return fennel::core_numbers(g.succ, g.pred ? &*g.pred : nullptr); },
                    [&](const std::optional<CoreNumbers>& found) -> PyObject* {
                        if (!found) return Py_NewRef(Py_None);
                        const bool narrow = found->wide.empty();
                        auto number = [&](std::size_t i) {
                            return narrow ? to_python(found->narrow[i]) : to_python(found->wide[i]);
                        };
                        if (nodes) return dict_from(nodes->obj, number);
                        return list_from(g.n, number);
                    });
}

PyObject* onion(const CoreGraph& g) {
    return detached([&] { return fennel::onion_peel(g.succ); },
                    [](const std::optional<OnionLayers>& found) {
                        if (!found) return Py_NewRef(Py_None);
                        return tuple_from([&] { return to_python(found->order); },
                                          [&] { return to_python(found->layer); });
                    });
}

PyObject* truss(const CoreGraph& g, double need) {
    return detached([&] { return truss_edges(g.succ, need); });
}

constexpr auto CORE_NUMBER =
    method<cores>("core_numbers",
                  "Core numbers in node order, or `None` if the graph has self-loops; with\n`nodes` (one object per "
                  "node), a dict of them keyed by those objects.",
                  kwarg<std::optional<TupleRef>>("nodes", none));

constexpr auto ONION_LAYERS = method<onion>(
    "onion_peel", "`(nodes, layers)`: onion_layers' nodes in the order they get a layer,\nand their layers "
    "(undirected rows); `None` if the graph has self-loops.");
constexpr auto TRUSS_EDGES = method<truss>(
    "truss_edges", "Whether k_truss keeps each slot's edge, for need = k - 2 (undirected rows);\n`None` if the graph has "
    "self-loops.",
    arg<double>("need"));

}  // namespace

std::vector<PyMethodDef> core_methods() { return {row<CORE_NUMBER>(), row<ONION_LAYERS>(), row<TRUSS_EDGES>()}; }

}  // namespace fennel::py
