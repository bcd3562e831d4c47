// Binding of Kruskal's spanning forest: the kept edges as positions, as the
// source graph's own edge tuples, or filled into a new tree's dicts.
#include "algorithms/tree.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "lib/pyref.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel::py {

namespace {

// mapping[key] as a new reference: a dict read in place, any other mapping
// (a view's filtered adjacency, a subclass's factory) through __getitem__.
PyObject* item(PyObject* mapping, PyObject* key) {
    if (!PyDict_CheckExact(mapping)) return PyObject_GetItem(mapping, key);
    PyObject* found = nullptr;
    if (PyDict_GetItemRef(mapping, key, &found) == 0) PyErr_SetObject(PyExc_KeyError, key);
    return found;
}

// mapping[node] for every node of `nodes`, in order. A graph's own _node
// and _adj hold the nodes as keys in that order: such a dict is read in one
// pass over its entries, in memory order, rather than by a lookup per node
// (most of the time a lookup costs is waiting for memory). Any other mapping
// is read key by key.
bool values_in_order(PyObject* mapping, PyObject* nodes, std::vector<PyRef>& out) {
    const Py_ssize_t n = PyTuple_GET_SIZE(nodes);
    out.clear();
    out.reserve(static_cast<std::size_t>(n));
    if (PyDict_CheckExact(mapping) && PyDict_GET_SIZE(mapping) == n) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(mapping, &pos, &key, &value) &&
               key == PyTuple_GET_ITEM(nodes, static_cast<Py_ssize_t>(out.size()))) {
            out.push_back(PyRef::new_ref(value));
        }
        if (out.size() == static_cast<std::size_t>(n)) return true;
        out.clear();
    }
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* value = item(mapping, PyTuple_GET_ITEM(nodes, i));
        if (value == nullptr) return false;
        out.push_back(PyRef::steal(value));
    }
    return true;
}

bool check_nodes(const CoreGraph& g, const TupleRef& nodes) {
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) == g.n) return true;
    raise(value_error("nodes must hold one object per node"));
    return false;
}

template <class Make>
PyObject* with_kept(const CoreGraph& g, const AttrName& weight, bool maximum, Make&& make) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return kruskal(g.view(column.value()), maximum); }, make);
}

PyObject* spanning_forest(const CoreGraph& g, const AttrName& weight, bool maximum) {
    return with_kept(g, weight, maximum, [](const KeptEdges& kept) {
        return tuple_from([&] { return to_list(kept.us); }, [&] { return to_list(kept.vs); });
    });
}

// The kept edges' indices under each node (both ends, or the first end
// only), in yield order under each: a pass in node order visits each row of
// the source and of the tree once, in memory order, instead of jumping
// between rows in weight order (most of such a jump's cost is waiting for
// memory).
struct ByNode {
    std::vector<std::size_t> offsets;
    std::vector<std::uint32_t> edges;

    std::span<const std::uint32_t> of(Node x) const { return {edges.data() + offsets[x], offsets[x + 1] - offsets[x]}; }
};

ByNode by_node(const KeptEdges& kept, Count n, bool both_ends) {
    ByNode b;
    b.offsets.assign(n + 1, 0);
    for (std::size_t e = 0; e < kept.us.size(); ++e) {
        ++b.offsets[kept.us[e] + 1];
        if (both_ends) ++b.offsets[kept.vs[e] + 1];
    }
    for (Count x = 0; x < n; ++x) b.offsets[x + 1] += b.offsets[x];
    b.edges.resize(b.offsets[n]);
    std::vector<std::size_t> next(b.offsets.begin(), b.offsets.end() - 1);
    for (std::size_t e = 0; e < kept.us.size(); ++e) {
        b.edges[next[kept.us[e]]++] = static_cast<std::uint32_t>(e);
        if (both_ends) b.edges[next[kept.vs[e]]++] = static_cast<std::uint32_t>(e);
    }
    return b;
}

// The kept edges as NetworkX's Kruskal yields them: (u, v, G._adj[u][v]),
// or (u, v) without `data`. The data dicts are read row by row in node
// order (u is each edge's earlier end, the row G.edges reads it from).
PyObject* spanning_edges(const CoreGraph& g, const AttrName& weight, bool maximum, const TupleRef& nodes,
                         PyObject* adj, bool data) {
    if (!check_nodes(g, nodes)) return nullptr;
    return with_kept(g, weight, maximum, [&](const KeptEdges& kept) -> PyObject* {
        std::vector<PyRef> rows, datas(kept.us.size());
        if (data) {
            if (!values_in_order(adj, nodes.obj, rows)) return nullptr;
            const ByNode firsts = by_node(kept, g.n, false);
            for (Node x = 0; x < g.n; ++x) {
                for (std::uint32_t e : firsts.of(x)) {
                    datas[e] = PyRef::steal(item(rows[x].get(), PyTuple_GET_ITEM(nodes.obj, kept.vs[e])));
                    if (!datas[e]) return nullptr;
                }
            }
        }
        return list_from(kept.us.size(), [&](std::size_t e) -> PyObject* {
            PyObject* u = PyTuple_GET_ITEM(nodes.obj, kept.us[e]);
            PyObject* v = PyTuple_GET_ITEM(nodes.obj, kept.vs[e]);
            return data ? PyTuple_Pack(3, u, v, datas[e].get()) : PyTuple_Pack(2, u, v);
        });
    });
}

// {} updated from `source`, as NetworkX's graphs copy node and edge data.
// A dict's items are inserted one by one rather than merged: a merge from a
// dict the collector tracks tracks the copy, while insertion tracks it only
// once a value could hold a reference cycle, so copies of plain numbers and
// strings cost the collector nothing (its first pass would untrack them).
PyObject* copied(PyObject* source) {
    PyRef d = PyRef::steal(PyDict_New());
    if (!d) return nullptr;
    if (!PyDict_CheckExact(source)) return PyDict_Update(d.get(), source) < 0 ? nullptr : d.release();
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(source, &pos, &key, &value)) {
        if (PyDict_SetItem(d.get(), key, value) < 0) return nullptr;
    }
    return d.release();
}

// Fills an empty tree's dicts (plain dicts, as nx.Graph makes them) as
// NetworkX's T.add_nodes_from(G.nodes.items()) then T.add_edges_from(kept)
// fill them: every node in G's order with a copy of its data and an empty
// row, then each kept edge in yield order with a copy of its data, shared by
// T._adj[u][v] and T._adj[v][u] (inserted in that order).
PyObject* spanning_tree(const CoreGraph& g, const AttrName& weight, bool maximum, const TupleRef& nodes,
                        PyObject* adj, PyObject* node_data, const DictRef& tree_node, const DictRef& tree_adj) {
    if (!check_nodes(g, nodes)) return nullptr;
    if (!PyDict_CheckExact(tree_node.obj) || !PyDict_CheckExact(tree_adj.obj) || PyDict_GET_SIZE(tree_node.obj) != 0 ||
        PyDict_GET_SIZE(tree_adj.obj) != 0) {
        return raise(value_error("the tree's dicts must be empty dicts"));
    }
    return with_kept(g, weight, maximum, [&](const KeptEdges& kept) -> PyObject* {
        std::vector<PyRef> source_nodes, source_rows;
        if (!values_in_order(node_data, nodes.obj, source_nodes) || !values_in_order(adj, nodes.obj, source_rows)) {
            return nullptr;
        }
        // Row by row in node order: each row holds its edges in yield order,
        // as NetworkX's inserts leave it, and an edge's data is copied at its
        // earlier end (where G.edges reads it) and shared with the later.
        const ByNode incident = by_node(kept, g.n, true);
        std::vector<PyRef> datas(kept.us.size());
        for (Node x = 0; x < g.n; ++x) {
            PyObject* n = PyTuple_GET_ITEM(nodes.obj, x);
            PyRef row = PyRef::steal(PyDict_New());
            PyRef data = PyRef::steal(row ? copied(source_nodes[x].get()) : nullptr);
            if (!data) return nullptr;
            for (std::uint32_t e : incident.of(x)) {
                const bool first = kept.us[e] == x;
                PyObject* other = PyTuple_GET_ITEM(nodes.obj, first ? kept.vs[e] : kept.us[e]);
                if (first) {
                    PyRef source = PyRef::steal(item(source_rows[x].get(), other));
                    datas[e] = PyRef::steal(source ? copied(source.get()) : nullptr);
                    if (!datas[e]) return nullptr;
                }
                if (PyDict_SetItem(row.get(), other, datas[e].get()) < 0) return nullptr;
            }
            if (PyDict_SetItem(tree_adj.obj, n, row.get()) < 0 || PyDict_SetItem(tree_node.obj, n, data.get()) < 0) {
                return nullptr;
            }
        }
        return Py_NewRef(Py_None);
    });
}

constexpr auto KRUSKAL =
    method<spanning_forest>("kruskal", "Kruskal's spanning forest: kept edges as `(us, vs)` in yield order.",
                            arg<AttrName>("weight", none), arg<bool>("maximum", false));
constexpr auto KRUSKAL_EDGES = method<spanning_edges>(
    "kruskal_edges",
    "Kruskal's kept edges in yield order as `(u, v, adj[u][v])` of `nodes`' objects, or `(u, v)` without `data`.",
    arg<AttrName>("weight"), arg<bool>("maximum"), arg<TupleRef>("nodes"), arg<PyObject*>("adj"),
    arg<bool>("data", true));
constexpr auto KRUSKAL_TREE = method<spanning_tree>(
    "kruskal_tree",
    "Fills the empty dicts `tree_node` and `tree_adj` with every node (its data copied from `node_data`) and "
    "Kruskal's kept edges (their data copied from `adj`), in NetworkX's order.",
    arg<AttrName>("weight"), arg<bool>("maximum"), arg<TupleRef>("nodes"), arg<PyObject*>("adj"),
    arg<PyObject*>("node_data"), arg<DictRef>("tree_node"), arg<DictRef>("tree_adj"));

}  // namespace

std::vector<PyMethodDef> tree_methods() { return {row<KRUSKAL>(), row<KRUSKAL_EDGES>(), row<KRUSKAL_TREE>()}; }

}  // namespace fennel::py
