// Bindings of chain decomposition, bridges and local bridges.
#include "algorithms/bridges.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cmath>

namespace fennel::py {

namespace {

bool check_root(const CoreGraph& g, const std::optional<Node>& root) {
    if (!root || *root < g.n) return true;
    raise(index_error());
    return false;
}

// Each chain as a list of (first, second) tuples of the objects of `nodes`.
PyObject* chains_of(const CoreGraph& g, const TupleRef& nodes, std::optional<Node> root) {
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) != g.n) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return nullptr;
    }
    if (!check_root(g, root)) return nullptr;
    return detached([&] { return chains(cycle_forest(g.succ, root), true); }, [&](const Chains& parts) {
        return list_from(parts.size(), [&](std::size_t c) {
            const std::size_t begin = parts.bounds[c];
            return list_from(parts.bounds[c + 1] - begin, [&](std::size_t i) {
                return PyTuple_Pack(2, PyTuple_GET_ITEM(nodes.obj, parts.first[begin + i]),
                                    PyTuple_GET_ITEM(nodes.obj, parts.second[begin + i]));
            });
        });
    });
}

// The bridges as (first ends, second ends) position lists.
PyObject* bridges_of(const CoreGraph& g, std::optional<Node> root, const std::optional<Positions>& order) {
    if (!check_root(g, root)) return nullptr;
    if (order) {
        for (Node v : *order) {
            if (v >= g.n) return raise(index_error());
        }
    }
    return detached([&] { return bridge_edges(g.succ, root, order); }, [](const EdgeList& edges) {
        return Py_BuildValue("(NN)", to_python(edges.us), to_python(edges.vs));
    });
}

// The local bridges as (u, v) tuples of the objects of `nodes`, or with
// `span` as (u, v, span): an int, or float('inf') when nothing else joins u
// and v.
PyObject* local_bridges_of(const CoreGraph& g, const TupleRef& nodes, bool span) {
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) != g.n) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return nullptr;
    }
    return detached([&] { return local_bridge_edges(g.succ, span); }, [&](const LocalBridges& found) {
        return list_from(found.us.size(), [&](std::size_t i) -> PyObject* {
            PyObject* u = PyTuple_GET_ITEM(nodes.obj, found.us[i]);
            PyObject* v = PyTuple_GET_ITEM(nodes.obj, found.vs[i]);
            if (!span) return PyTuple_Pack(2, u, v);
            const std::uint32_t hops = found.spans[i];
            PyObject* length = hops == LocalBridges::NO_SPAN ? PyFloat_FromDouble(HUGE_VAL) : to_python(hops);
            if (length == nullptr) return nullptr;
            return Py_BuildValue("(OON)", u, v, length);
        });
    });
}

constexpr auto CHAIN_DECOMPOSITION = method<chains_of>(
    "chain_lists", "Chains as lists of edge tuples of `nodes`' objects, in NetworkX's order.",
    arg<TupleRef>("nodes"), kwarg<std::optional<Node>>("root", none));
constexpr auto BRIDGES = method<bridges_of>(
    "bridge_edges", "Bridges of the graph, or of root's component, listed from the nodes of `order`\n"
    "(default: position order) as (first ends, second ends).",
    kwarg<std::optional<Node>>("root", none), kwarg<std::optional<Positions>>("order", none));
constexpr auto LOCAL_BRIDGES = method<local_bridges_of>(
    "local_bridge_edges", "Local bridges as tuples of `nodes`' objects in G.edges order, with their\n"
    "hop spans when `span`.",
    arg<TupleRef>("nodes"), kwarg<bool>("span", true));

}  // namespace

std::vector<PyMethodDef> bridges_methods() {
    return {row<CHAIN_DECOMPOSITION>(), row<BRIDGES>(), row<LOCAL_BRIDGES>()};
}

}  // namespace fennel::py
