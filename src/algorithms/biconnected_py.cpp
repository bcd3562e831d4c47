// Bindings of biconnected components and articulation points.
#include "algorithms/biconnected.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel::py {

namespace {

bool check_nodes(const CoreGraph& g, const TupleRef& nodes) {
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) == g.n) return true;
    PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
    return false;
}

BiconnectedParts components_of(const CoreGraph& g, std::size_t max_parts) {
    return biconnected(g.succ, true, max_parts);
}

// Each component as the list of its edges, (first, second) tuples of the
// objects of `nodes`.
PyObject* biconnected_edges(const CoreGraph& g, const TupleRef& nodes) {
    if (!check_nodes(g, nodes)) return nullptr;
    return detached([&] { return components_of(g, 0); }, [&](const BiconnectedParts& parts) {
        return list_from(parts.size(), [&](std::size_t c) {
            const std::size_t begin = parts.bounds[c];
            return list_from(parts.bounds[c + 1] - begin, [&](std::size_t i) {
                return PyTuple_Pack(2, PyTuple_GET_ITEM(nodes.obj, parts.first[begin + i]),
                                    PyTuple_GET_ITEM(nodes.obj, parts.second[begin + i]));
            });
        });
    });
}

// Each component as a set of the objects of `nodes`: the set NetworkX builds
// by adding its edges' ends in edge order. Adding an item a set holds
// changes nothing, so the ends' first appearances alone make the same set.
PyObject* biconnected_sets(const CoreGraph& g, const TupleRef& nodes) {
    if (!check_nodes(g, nodes)) return nullptr;
    return detached([&] { return components_of(g, 0); }, [&](const BiconnectedParts& parts) {
        PyObject* const* objects = &PyTuple_GET_ITEM(nodes.obj, 0);
        std::vector<std::uint32_t> stamp(g.n, 0);  // 1 + the last component holding each node
        std::vector<Node> members;
        return list_from(parts.size(), [&](std::size_t c) -> PyObject* {
            const auto mark = static_cast<std::uint32_t>(c + 1);
            members.clear();
            for (std::size_t i = parts.bounds[c]; i < parts.bounds[c + 1]; ++i) {
                for (Node v : {parts.first[i], parts.second[i]}) {
                    if (stamp[v] != mark) {
                        stamp[v] = mark;
                        members.push_back(v);
                    }
                }
            }
            return set_from(objects, std::span<const Node>(members));
        });
    });
}

// One component covering every node, found by a search stopped at the second.
PyObject* one_component(const CoreGraph& g) {
    return detached([&] { return components_of(g, 2); }, [&](const BiconnectedParts& parts) {
        if (parts.size() != 1) return Py_NewRef(Py_False);
        std::vector<std::uint8_t> member(g.n, 0);
        Count count = 0;
        for (std::size_t i = 0; i < parts.first.size(); ++i) {
            for (Node v : {parts.first[i], parts.second[i]}) {
                count += member[v] == 0;
                member[v] = 1;
            }
        }
        return PyBool_FromLong(count == g.n);
    });
}

PyObject* cut_nodes(const CoreGraph& g) {
    return detached([&] { return biconnected(g.succ, false, 0).points; });
}

constexpr auto BICONNECTED_EDGES = method<biconnected_edges>(
    "biconnected_edges", "Biconnected components as lists of edge tuples of `nodes`' objects, in NetworkX's order.",
    arg<TupleRef>("nodes"));
constexpr auto BICONNECTED_SETS = method<biconnected_sets>(
    "biconnected_sets", "Biconnected components as sets of `nodes`' objects filled in NetworkX's order.",
    arg<TupleRef>("nodes"));
constexpr auto IS_BICONNECTED = method<one_component>(
    "one_biconnected_component", "Whether one biconnected component holds every node.");
constexpr auto ARTICULATION_POINTS = method<cut_nodes>(
    "cut_nodes", "Articulation points as positions, each once, in NetworkX's order.");

}  // namespace

std::vector<PyMethodDef> biconnected_methods() {
    return {row<BICONNECTED_EDGES>(), row<BICONNECTED_SETS>(), row<IS_BICONNECTED>(), row<ARTICULATION_POINTS>()};
}

}  // namespace fennel::py
