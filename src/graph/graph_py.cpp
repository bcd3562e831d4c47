// Bindings of the graph subsystem: build_graph, load_exact_pred and the small
// synchronous queries. None of them detaches: they are linear at most in the
// size of what they return (or read Python objects throughout).
#include "graph/assemble.hpp"
#include "graph/convert.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"
#include "lib/to_python.hpp"

#include <tuple>

namespace fennel::py {

namespace {

bool read_rows(PyObject* nodes, PyObject* index, Count n, PyObject* adjacency,
               const std::vector<Attr>& attrs, bool multigraph, Adjacency& out) {
    NodeIndex node_index;
    if (!node_index.build(nodes, index, n)) return false;
    if (!read_adjacency(nodes, node_index, adjacency, attrs, multigraph, out)) return false;
    while (out.csr.offsets.size() < n + 1) out.csr.offsets.push_back(out.csr.targets.size());
    return true;
}

// An undirected graph's rows must hold every edge from both ends (NetworkX's
// methods keep them so; rows changed by hand or filtered by a view that is
// not symmetric may not): refused otherwise. Columns whose two rows differ
// are marked, for the functions that read each edge once.
Status check_mirrors(const CoreGraph& g, std::vector<std::pair<std::string, Weights>>& columns) {
    std::vector<const std::vector<double>*> values;
    for (const auto& column : columns) values.push_back(&column.second.values);
    auto found = mirrors(g.succ, values);
    if (!found.ok()) return found.error();
    if (!found.value().rows) return not_implemented("the rows of this undirected graph do not hold every edge from both ends");
    for (std::size_t c = 0; c < columns.size(); ++c) columns[c].second.symmetric = found.value().columns[c];
    return {};
}

// The `weight_attrs` parameter: `(attribute name, default)` pairs, read by
// the conversion's own parser.
struct WeightAttrs {
    std::vector<Attr> items;
};

bool convert(const Args& a, std::size_t i, WeightAttrs& out) { return parse_attrs(a.function(), a[i], out.items); }

PyObject* position_query(const CoreGraph& g, Node v, bool predecessors) {
    if (v >= g.n) return raise(index_error());
    const Csr& rows = predecessors ? g.in_rows() : g.succ;
    return to_list(rows.row(v));
}

PyObject* build_graph(ListRef nodes, DictRef index, PyObject* succ, bool directed, WeightAttrs weight_attrs,
                      bool multigraph) {
    const Count n = static_cast<Count>(PyList_GET_SIZE(nodes.obj));
    if (n > MAX_CONVERTED_NODES) return raise(not_implemented("graph has too many nodes"));

    auto g = std::make_unique<CoreGraph>();
    Adjacency read;
    if (!read_rows(nodes.obj, index.obj, n, succ, weight_attrs.items, multigraph, read)) return nullptr;
    g->succ = std::move(read.csr);
    g->keys_are_nodes = read.keys_are_nodes;
    g->n = n;
    g->directed = directed;
    std::vector<std::string> names;
    if (!attr_names(weight_attrs.items, names)) return nullptr;
    std::vector<std::pair<std::string, Weights>> columns;
    for (std::size_t i = 0; i < names.size(); ++i) columns.emplace_back(std::move(names[i]), std::move(read.columns[i]));
    // Predecessor rows and columns are native work.
    return detached(
        [&] {
            Status status = directed ? Status{} : check_mirrors(*g, columns);
            if (status.ok()) status = assemble(*g, std::move(columns));
            return status;
        },
        [&] { return wrap_graph(std::move(g)); });
}

PyObject* edge_data_reads_none(PyObject* adjacency, bool multigraph) {
    bool found = false;
    if (!fennel::py::edge_data_reads_none(adjacency, multigraph, found)) return nullptr;
    return PyBool_FromLong(found);
}

PyObject* parallel_counts(PyObject* adjacency) {
    std::vector<Count> counts;
    if (!fennel::py::parallel_counts(adjacency, counts)) return nullptr;
    return to_list(counts);
}

// `nodes` and `index` are checked only when read: a graph whose order is
// known (undirected, or loaded before) reads none of its arguments.
PyObject* load_exact_pred(const CoreGraph& g, PyObject* nodes, PyObject* index, PyObject* pred,
                          WeightAttrs weight_attrs, bool multigraph) {
    if (!g.directed || g.exact_pred.get() != nullptr) Py_RETURN_NONE;
    for (auto [name, value, ok, expected] : {std::tuple{"nodes", nodes, PyList_Check(nodes) != 0, "list"},
                                             std::tuple{"index", index, PyDict_Check(index) != 0, "dict"}}) {
        if (!ok) {
            return PyErr_Format(PyExc_TypeError, "load_exact_pred() argument '%s' must be %s, not %.200s", name,
                                expected, Py_TYPE(value)->tp_name);
        }
    }
    if (static_cast<Count>(PyList_GET_SIZE(nodes)) != g.n) {
        return raise(value_error("node list does not match this graph"));
    }
    Adjacency read;
    if (!read_rows(nodes, index, g.n, pred, weight_attrs.items, multigraph, read)) return nullptr;
    // Each row must reorder the predecessor row it stands for: another
    // graph's G._pred with as many edges would otherwise pass.
    return detached([&] { return g.same_in_rows(read.csr); }, [&](bool same) -> PyObject* {
        if (!same) return raise(value_error("predecessors do not match this graph"));
        auto exact = std::make_unique<ExactPred>();
        exact->csr = std::move(read.csr);
        exact->keys_are_nodes = read.keys_are_nodes;
        std::vector<std::string> names;
        if (!attr_names(weight_attrs.items, names)) return nullptr;
        for (std::size_t i = 0; i < names.size(); ++i) {
            exact->weights.insert_or_assign(names[i], std::move(read.columns[i].values));
        }
        g.exact_pred.set(std::move(exact));  // a racing load that won keeps its result
        Py_RETURN_NONE;
    });
}

PyObject* has_exact_pred(const CoreGraph& g) { return PyBool_FromLong(g.has_exact_pred()); }

PyObject* neighbors(const CoreGraph& g, Node v) { return position_query(g, v, false); }

PyObject* predecessors(const CoreGraph& g, Node v) { return position_query(g, v, true); }

PyObject* has_edge(const CoreGraph& g, Node u, Node v) {
    if (u >= g.n || v >= g.n) return raise(index_error());
    return PyBool_FromLong(g.has_edge(u, v));
}

PyObject* degrees(const CoreGraph& g) { return to_list(g.degrees()); }

PyObject* edges_in_order(const CoreGraph& g) {
    EdgeList edges = fennel::edges_in_order(g);
    PyRef us = PyRef::steal(to_list(edges.us));
    PyRef vs = PyRef::steal(to_list(edges.vs));
    PyRef ids = edges.ids ? PyRef::steal(to_list(*edges.ids)) : PyRef::new_ref(Py_None);
    if (!us || !vs || !ids) return nullptr;
    return PyTuple_Pack(3, us.get(), vs.get(), ids.get());
}

PyObject* number_of_edges(const CoreGraph& g) { return PyLong_FromUnsignedLongLong(g.number_of_edges()); }

PyObject* held_bytes(const CoreGraph& g) { return PyLong_FromUnsignedLongLong(g.held_bytes()); }

PyObject* attribute_names(const CoreGraph& g) {
    std::vector<std::string> names = g.attribute_names();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(names.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < names.size(); ++i) {
        PyObject* s = PyUnicode_FromStringAndSize(names[i].data(), static_cast<Py_ssize_t>(names[i].size()));
        if (s == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), s);
    }
    return list.release();
}

// The column of an edge attribute; nullptr for unit weights (None) or an
// attribute that was not converted.
const Weights* column_of(const CoreGraph& g, const AttrName& attr) {
    return attr ? g.find_weights(*attr) : nullptr;
}

// Adds `name: value` to `dict`, stealing `value`.
bool put(PyObject* dict, const char* name, PyObject* value) {
    PyRef owned = PyRef::steal(value);
    return owned && PyDict_SetItemString(dict, name, owned.get()) == 0;
}

PyObject* weight_facts(const CoreGraph& g, const std::string& attr) {
    const Weights* w = g.find_weights(attr);
    if (w == nullptr) Py_RETURN_NONE;
    const ValueFacts& f = w->facts;
    const bool finite = f.min_finite <= f.max_finite;
    PyRef out = PyRef::steal(PyDict_New());
    if (!out) return nullptr;
    PyObject* d = out.get();
    bool ok = put(d, "plain", PyBool_FromLong(f.plain)) &&
              put(d, "min_finite", finite ? PyFloat_FromDouble(f.min_finite) : Py_NewRef(Py_None)) &&
              put(d, "max_finite", finite ? PyFloat_FromDouble(f.max_finite) : Py_NewRef(Py_None)) &&
              put(d, "pos_inf", PyBool_FromLong(f.pos_inf)) && put(d, "neg_inf", PyBool_FromLong(f.neg_inf)) &&
              put(d, "numpy_bool", PyBool_FromLong(f.numpy_bool)) &&
              put(d, "all_int", PyBool_FromLong(w->all_int)) && put(d, "has_hidden", PyBool_FromLong(w->has_hidden)) &&
              put(d, "mixed", PyBool_FromLong(w->has_int && !w->all_int)) &&
              put(d, "kinds", PyLong_FromLong(w->slot_kinds)) &&
              put(d, "slot_kinds", PyBool_FromLong(w->uniform_kind() >= 0 || !w->kinds.empty()));
    return ok ? out.release() : nullptr;
}

PyObject* weight_symmetric(const CoreGraph& g, const AttrName& attr) {
    const Weights* w = column_of(g, attr);
    return PyBool_FromLong(w == nullptr || w->symmetric);
}

PyObject* keys_are_nodes(const CoreGraph& g, bool reverse) {
    if (!reverse || !g.directed || g.pred_exact) return PyBool_FromLong(g.keys_are_nodes);
    const ExactPred* exact = g.exact_pred.get();
    if (exact == nullptr) return raise(not_implemented("exact predecessor order not loaded"));
    return PyBool_FromLong(exact->keys_are_nodes);
}

constexpr auto BUILD_GRAPH = function<build_graph>(
    "build_graph",
    "Build a `CoreGraph` from NetworkX internals.\n\n"
    "`nodes` is `list(G)`, `index` maps node -> position in `nodes`, `succ` is\n"
    "`G._adj`, and `weight_attrs` is a list of `(attribute name, default)`.",
    arg<ListRef>("nodes"), arg<DictRef>("index"), arg<PyObject*>("succ"), arg<bool>("directed"),
    arg<WeightAttrs>("weight_attrs"), arg<bool>("multigraph", false));
constexpr auto EDGE_DATA_READS_NONE = function<edge_data_reads_none>(
    "edge_data_reads_none",
    "Whether some edge's data answers `data.get(None, 1)` with anything but the int 1\n"
    "(what NetworkX's weight functions read for weight=None). `adjacency` is `G._adj`.",
    arg<PyObject*>("adjacency"), arg<bool>("multigraph", false));
constexpr auto PARALLEL_COUNTS = function<parallel_counts>(
    "parallel_counts",
    "The number of keys of every (node, neighbour) pair of a multigraph's\n"
    "adjacency `G._adj`, in its iteration order.",
    arg<PyObject*>("adjacency"));
constexpr auto LOAD_EXACT_PRED = method<load_exact_pred>(
    "load_exact_pred", "Record the exact predecessor order of `G._pred` for reverse searches.", arg<PyObject*>("nodes"),
    arg<PyObject*>("index"), arg<PyObject*>("pred"), arg<WeightAttrs>("weight_attrs"), arg<bool>("multigraph", false));
constexpr auto HAS_EXACT_PRED =
    method<has_exact_pred>("has_exact_pred", "Whether reverse searches can follow NetworkX's predecessor order.");
constexpr auto NEIGHBORS = method<neighbors>(
    "neighbors", "Neighbors of `v` (successors for directed graphs), in NetworkX order.", arg<Node>("v"));
constexpr auto PREDECESSORS =
    method<predecessors>("predecessors", "Predecessors of `v`, by ascending position.", arg<Node>("v"));
constexpr auto HAS_EDGE =
    method<has_edge>("has_edge", "Whether the edge u -> v exists.", arg<Node>("u"), arg<Node>("v"));
constexpr auto DEGREES = method<degrees>("degrees", "NetworkX degrees: self-loops count twice; directed = in + out.");
constexpr auto EDGES_IN_ORDER = method<edges_in_order>(
    "edges_in_order",
    "Edges in `G.edges` order: `(u, v, edge id or None)` positions. For\n"
    "undirected graphs each edge once, from its earlier endpoint.");
constexpr auto ATTRIBUTE_NAMES =
    method<attribute_names>("attribute_names", "Names of the converted edge attributes, sorted.");
constexpr auto NUMBER_OF_EDGES =
    method<number_of_edges>("number_of_edges", "Number of edges, as NetworkX counts them.");
constexpr auto HELD_BYTES = method<held_bytes>(
    "held_bytes", "Bytes held by the graph's own arrays (rows, weight columns, edge record), not by node objects.");
constexpr auto WEIGHT_FACTS = method<weight_facts>(
    "weight_facts",
    "The facts of an edge attribute, as a dict, or None if it was not converted. Of\n"
    "every value read: `plain` (all Python int, float, bool or None, or numpy\n"
    "float64, int64 or bool_), `min_finite`, `max_finite` (None without finite\n"
    "values), `pos_inf`, `neg_inf`, `numpy_bool`; of the slots: `all_int`, `has_hidden`, `mixed`\n"
    "(ints and floats), `kinds` (one bit per value kind: int, float, numpy int,\n"
    "numpy float) and `slot_kinds` (each slot's kind is known).",
    arg<std::string>("attr"));
constexpr auto WEIGHT_SYMMETRIC = method<weight_symmetric>(
    "weight_symmetric",
    "Whether both rows of every undirected edge hold the same value of an edge\n"
    "attribute (always true for directed graphs and unit weights).",
    arg<AttrName>("attr", none));
constexpr auto KEYS_ARE_NODES = method<keys_are_nodes>(
    "keys_are_nodes",
    "Whether every neighbour key of the converted adjacency (of `G._pred` with\n"
    "`reverse`) is its node object or indistinguishable from it, so results keyed\n"
    "by either read the same.",
    arg<bool>("reverse", false));

}  // namespace

std::vector<PyMethodDef> graph_functions() { return {row<BUILD_GRAPH>(), row<EDGE_DATA_READS_NONE>(), row<PARALLEL_COUNTS>()}; }

std::vector<PyMethodDef> graph_methods() {
    return {row<LOAD_EXACT_PRED>(), row<HAS_EXACT_PRED>(), row<NEIGHBORS>(),
            row<PREDECESSORS>(),    row<HAS_EDGE>(),       row<DEGREES>(),         row<EDGES_IN_ORDER>(),
            row<ATTRIBUTE_NAMES>(), row<NUMBER_OF_EDGES>(), row<HELD_BYTES>(), row<WEIGHT_FACTS>(),    row<WEIGHT_SYMMETRIC>(), row<KEYS_ARE_NODES>()};
}

}  // namespace fennel::py
