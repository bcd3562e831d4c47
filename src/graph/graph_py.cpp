// Bindings of the graph subsystem: build_graph, load_exact_pred and the small
// synchronous queries. None of them detaches: they are linear at most in the
// size of what they return (or read Python objects throughout).
#include "graph/convert.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry_points.hpp"
#include "lib/errors.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

namespace fennel::py {

namespace {

bool require_list(const char* function, const char* name, PyObject* obj) {
    if (PyList_Check(obj)) return true;
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be list, not %.200s", function, name,
                 Py_TYPE(obj)->tp_name);
    return false;
}

bool require_dict(const char* function, const char* name, PyObject* obj) {
    if (PyDict_Check(obj)) return true;
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be dict, not %.200s", function, name,
                 Py_TYPE(obj)->tp_name);
    return false;
}

// Reads `adjacency` for the node list: rows plus one column per attribute.
// Rows that vanish because `nodes` shrank while it was read stay empty, so
// the result always has exactly `n` rows.
bool read_rows(PyObject* nodes, PyObject* index, Count n, PyObject* adjacency,
               const std::vector<Attr>& attrs, bool multigraph, Adjacency& out) {
    NodeIndex node_index;
    if (!node_index.build(nodes, index, n)) return false;
    if (!read_adjacency(nodes, node_index, adjacency, attrs, multigraph, out)) return false;
    while (out.csr.offsets.size() < n + 1) out.csr.offsets.push_back(out.csr.targets.size());
    return true;
}

PyObject* position_query(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                         const char* function, bool predecessors) {
    static const char* const params[] = {"v"};
    PyObject* a[1];
    if (!parse_args({function, params, 1}, args, nargsf, kwnames, a)) return nullptr;
    Node v;
    if (!to_position({function, "v", a[0]}, v)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (v >= g.n) return raise(index_error());
    const Csr& rows = predecessors ? g.in_rows() : g.succ;
    return to_list(rows.row(v));
}

// `attr` of weight_info / weight_mixed: a str, or None/absent.
const Weights* weights_arg(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                           const char* function, bool& ok) {
    static const char* const params[] = {"attr"};
    PyObject* a[1];
    std::optional<std::string> attr;
    ok = parse_args({function, params, 0}, args, nargsf, kwnames, a) &&
         to_optional_string({function, "attr", a[0]}, attr);
    if (!ok || !attr) return nullptr;
    return graph_of(self).find_weights(*attr);
}

// Predecessor rows (directed graphs) and the weight columns of a graph
// whose succ rows are read. Runs detached: it touches no Python object.
Status assemble_weights(CoreGraph& g, std::vector<Weights>& columns, const std::vector<std::string>& names) {
    std::vector<Slot> perm;
    if (g.directed) {
        auto pred = counting_sort_pred(g.succ, perm);
        if (!pred.ok()) return pred.error();
        g.pred = std::move(pred.value());
    }
    for (std::size_t i = 0; i < columns.size(); ++i) {
        Weights& w = columns[i];
        if (g.directed) w.pred_values = permute_column(w.values, perm);
        g.weights.insert_or_assign(names[i], std::move(w));
    }
    return {};
}

}  // namespace

PyObject* build_graph(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const params[] = {"nodes", "index", "succ", "directed", "weight_attrs", "multigraph"};
        constexpr const char* F = "build_graph";
        PyObject* a[6];
        if (!parse_args({F, params, 5}, args, nargsf, kwnames, a)) return nullptr;
        bool directed = false;
        bool multigraph = false;
        std::vector<Attr> attrs;
        if (!require_list(F, "nodes", a[0]) || !require_dict(F, "index", a[1]) ||
            !to_bool({F, "directed", a[3]}, directed) || !parse_attrs(F, a[4], attrs) ||
            (a[5] != nullptr && !to_bool({F, "multigraph", a[5]}, multigraph))) {
            return nullptr;
        }
        PyObject* nodes = a[0];
        const Count n = static_cast<Count>(PyList_GET_SIZE(nodes));
        if (n > MAX_CONVERTED_NODES) return raise(not_implemented("graph has too many nodes"));

        auto g = std::make_unique<CoreGraph>();
        Adjacency read;
        if (!read_rows(nodes, a[1], n, a[2], attrs, multigraph, read)) return nullptr;
        g->succ = std::move(read.csr);
        g->keys_are_nodes = read.keys_are_nodes;
        g->n = n;
        g->directed = directed;
        std::vector<std::string> names;
        if (!attr_names(attrs, names)) return nullptr;
        Status status;
        {
            // Predecessor rows and columns are native work.
            Detached detached;
            status = assemble_weights(*g, read.columns, names);
        }
        if (!status.ok()) return raise(status.error());
        return wrap_graph(std::move(g));
    });
}

PyObject* load_exact_pred(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const params[] = {"nodes", "index", "pred", "weight_attrs", "multigraph"};
        constexpr const char* F = "load_exact_pred";
        PyObject* a[5];
        if (!parse_args({F, params, 4}, args, nargsf, kwnames, a)) return nullptr;
        bool multigraph = false;
        std::vector<Attr> attrs;
        if (!parse_attrs(F, a[3], attrs) ||
            (a[4] != nullptr && !to_bool({F, "multigraph", a[4]}, multigraph))) {
            return nullptr;
        }
        const CoreGraph& g = graph_of(self);
        if (!g.directed || g.exact_pred.get() != nullptr) Py_RETURN_NONE;
        if (!require_list(F, "nodes", a[0]) || !require_dict(F, "index", a[1])) return nullptr;
        PyObject* nodes = a[0];
        if (static_cast<Count>(PyList_GET_SIZE(nodes)) != g.n) {
            return raise(value_error("node list does not match this graph"));
        }
        auto exact = std::make_unique<ExactPred>();
        Adjacency read;
        if (!read_rows(nodes, a[1], g.n, a[2], attrs, multigraph, read)) return nullptr;
        // Each row must reorder the predecessor row it stands for: another
        // graph's G._pred with as many edges would otherwise pass.
        bool same = false;
        {
            Detached detached;
            same = g.same_in_rows(read.csr);
        }
        if (!same) return raise(value_error("predecessors do not match this graph"));
        exact->csr = std::move(read.csr);
        exact->keys_are_nodes = read.keys_are_nodes;
        std::vector<std::string> names;
        if (!attr_names(attrs, names)) return nullptr;
        for (std::size_t i = 0; i < attrs.size(); ++i) {
            exact->weights.insert_or_assign(names[i], std::move(read.columns[i].values));
        }
        g.exact_pred.set(std::move(exact));  // a racing load that won keeps its result
        Py_RETURN_NONE;
    });
}

PyObject* has_exact_pred(PyObject* self, PyObject*) {
    return PyBool_FromLong(graph_of(self).has_exact_pred());
}

PyObject* is_native(PyObject* self, PyObject*) {
    return PyBool_FromLong(graph_of(self).native.has_value());
}

PyObject* neighbors(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&] { return position_query(self, args, nargsf, kwnames, "neighbors", false); });
}

PyObject* predecessors(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&] { return position_query(self, args, nargsf, kwnames, "predecessors", true); });
}

PyObject* has_edge(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    static const char* const params[] = {"u", "v"};
    constexpr const char* F = "has_edge";
    PyObject* a[2];
    Node u;
    Node v;
    if (!parse_args({F, params, 2}, args, nargsf, kwnames, a) || !to_position({F, "u", a[0]}, u) ||
        !to_position({F, "v", a[1]}, v)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    if (u >= g.n || v >= g.n) return raise(index_error());
    return PyBool_FromLong(g.has_edge(u, v));
}

PyObject* degrees(PyObject* self, PyObject*) {
    return guarded([&] { return to_list(graph_of(self).degrees()); });
}

PyObject* edges_in_order(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        EdgeList edges = edges_in_order(graph_of(self));
        PyRef us = PyRef::steal(to_list(edges.us));
        PyRef vs = PyRef::steal(to_list(edges.vs));
        PyRef ids = edges.ids ? PyRef::steal(to_list(*edges.ids)) : PyRef::new_ref(Py_None);
        if (!us || !vs || !ids) return nullptr;
        return PyTuple_Pack(3, us.get(), vs.get(), ids.get());
    });
}

PyObject* number_of_edges(PyObject* self, PyObject*) {
    return PyLong_FromUnsignedLongLong(graph_of(self).number_of_edges());
}

PyObject* attribute_names(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        std::vector<std::string> names = graph_of(self).attribute_names();
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(names.size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < names.size(); ++i) {
            PyObject* s = PyUnicode_FromStringAndSize(names[i].data(), static_cast<Py_ssize_t>(names[i].size()));
            if (s == nullptr) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), s);
        }
        return list.release();
    });
}

PyObject* weight_info(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    bool ok;
    const Weights* w = weights_arg(self, args, nargsf, kwnames, "weight_info", ok);
    if (!ok) return nullptr;
    bool all_int = w == nullptr || w->all_int;
    bool has_hidden = w != nullptr && w->has_hidden;
    return Py_BuildValue("(OO)", all_int ? Py_True : Py_False, has_hidden ? Py_True : Py_False);
}

PyObject* weight_facts(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    static const char* const params[] = {"attr"};
    constexpr const char* F = "weight_facts";
    PyObject* a[1];
    std::string attr;
    if (!parse_args({F, params, 1}, args, nargsf, kwnames, a) || !to_string({F, "attr", a[0]}, attr)) {
        return nullptr;
    }
    const Weights* w = graph_of(self).find_weights(attr);
    if (w == nullptr) Py_RETURN_NONE;
    const ValueFacts& f = w->facts;
    const bool finite = f.min_finite <= f.max_finite;
    PyRef lo = finite ? PyRef::steal(PyFloat_FromDouble(f.min_finite)) : PyRef::new_ref(Py_None);
    PyRef hi = finite ? PyRef::steal(PyFloat_FromDouble(f.max_finite)) : PyRef::new_ref(Py_None);
    if (!lo || !hi) return nullptr;
    return Py_BuildValue("(OOOOO)", f.plain ? Py_True : Py_False, lo.get(), hi.get(),
                         f.pos_inf ? Py_True : Py_False, f.neg_inf ? Py_True : Py_False);
}

PyObject* keys_are_nodes(PyObject* self, PyObject*) {
    return PyBool_FromLong(graph_of(self).keys_are_nodes);
}

PyObject* weight_mixed(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    bool ok;
    const Weights* w = weights_arg(self, args, nargsf, kwnames, "weight_mixed", ok);
    if (!ok) return nullptr;
    return PyBool_FromLong(w != nullptr && w->has_int && !w->all_int);
}

}  // namespace fennel::py
