// Bindings of native construction: build_native (Python edge tuples with
// typed attribute columns), build_native_arrays (raw little-endian arrays)
// and native_edges, which gives a native graph's edge list back.
#include "graph/convert.hpp"
#include "graph/core_graph_py.hpp"
#include "graph/edge_value_py.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"
#include "lib/to_python.hpp"
#include "native/builder.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace fennel::py {

namespace {

constexpr Count MAX_BUILT_NODES = 0xFFFFFFFFull;  // positions below 2^32 - 1
constexpr long long MAX_EXACT_INT = 1LL << 53;

// The node list and node -> position dict a call creates and returns.
struct NodeTable {
    PyRef list = PyRef::steal(PyList_New(0));
    PyRef index = PyRef::steal(PyDict_New());

    // The position of `x`, adding it as a new node if unseen.
    bool lookup(PyObject* x, Node& out) {
        PyObject* found = nullptr;
        const int r = PyDict_GetItemRef(index.get(), x, &found);
        if (r < 0) return false;
        if (r > 0) {
            PyRef held = PyRef::steal(found);
            out = static_cast<Node>(PyLong_AsUnsignedLong(found));
            return !PyErr_Occurred();
        }
        const Py_ssize_t c = PyList_GET_SIZE(list.get());
        if (static_cast<Count>(c) >= MAX_BUILT_NODES) {
            PyErr_SetString(PyExc_ValueError, "too many nodes");
            return false;
        }
        if (x == Py_None) {
            PyErr_SetString(PyExc_ValueError, "None cannot be a node");
            return false;
        }
        PyRef pos = PyRef::steal(PyLong_FromSsize_t(c));
        if (!pos || PyDict_SetItem(index.get(), x, pos.get()) < 0 || PyList_Append(list.get(), x) < 0) return false;
        out = static_cast<Node>(c);
        return true;
    }
};

// One Python edge-attribute value for a native column; what no column can
// hold raises.
bool parse_value(PyObject* v, EdgeValue& out) {
    switch (read_edge_value(v, out, [] {})) {
        case ReadStatus::Ok: return true;
        case ReadStatus::TooLarge: PyErr_SetString(PyExc_ValueError, "integer edge attribute is too large"); break;
        case ReadStatus::NaN:
            PyErr_SetString(PyExc_ValueError, "NaN edge attributes are not supported by fennel graphs; use a networkx graph");
            break;
        case ReadStatus::Unsupported:
            PyErr_Format(PyExc_TypeError, "fennel graphs store numeric edge attributes only, got %s", Py_TYPE(v)->tp_name);
            break;
        case ReadStatus::Raised: break;
    }
    return false;
}

// The (key, value) pairs of an attribute dict, in the order dict.update
// reads them: a dict's own storage order unless its type iterates another
// way, then keys() with item lookups. Taken as strong references, so the
// Python code that parsing may run cannot free them.
bool dict_items(PyObject* d, std::vector<std::pair<PyRef, PyRef>>& out) {
    out.clear();
    if (Py_TYPE(d)->tp_iter == PyDict_Type.tp_iter) {
        CriticalSection lock(d);
        Py_ssize_t pos = 0;
        PyObject* key;
        PyObject* value;
        while (PyDict_Next(d, &pos, &key, &value)) out.emplace_back(PyRef::new_ref(key), PyRef::new_ref(value));
        return true;
    }
    PyRef keys = PyRef::steal(PyMapping_Keys(d));
    if (!keys) return false;
    PyRef it = PyRef::steal(PyObject_GetIter(keys.get()));
    if (!it) return false;
    while (PyRef key = PyRef::steal(PyIter_Next(it.get()))) {
        PyRef value = PyRef::steal(PyObject_GetItem(d, key.get()));
        if (!value) return false;
        out.emplace_back(std::move(key), std::move(value));
    }
    return !PyErr_Occurred();
}

// Whether the objects naming an edge's endpoints are the node objects (or
// indistinguishable from them): NetworkX keys its adjacency by them.
bool endpoints_are_nodes(NodeTable& t, PyObject* u, Node pu, PyObject* v, Node pv) {
    PyObject* nu = PyList_GET_ITEM(t.list.get(), pu);
    PyObject* nv = PyList_GET_ITEM(t.list.get(), pv);
    return same_key(u, nu) && same_key(v, nv);
}

PyObject* build_native(PyObject* edges, PyObject* nodes, bool directed, const std::string& weight) {
    NodeTable table;
    if (!table.list || !table.index) return nullptr;
    Node ignored;
    if (nodes != Py_None) {
        PyRef it = PyRef::steal(PyObject_GetIter(nodes));
        if (!it) return nullptr;
        while (PyRef x = PyRef::steal(PyIter_Next(it.get()))) {
            if (!table.lookup(x.get(), ignored)) return nullptr;
        }
        if (PyErr_Occurred()) return nullptr;
    }
    Builder builder(directed);
    bool keys_are_nodes = true;
    std::vector<std::pair<PyRef, PyRef>> items;
    PyRef it = PyRef::steal(PyObject_GetIter(edges));
    if (!it) return nullptr;
    while (PyRef item = PyRef::steal(PyIter_Next(it.get()))) {
        PyRef edge = PyTuple_Check(item.get()) ? std::move(item) : PyRef::steal(PySequence_Tuple(item.get()));
        if (!edge) return nullptr;
        const Py_ssize_t len = PyTuple_GET_SIZE(edge.get());
        if (len != 2 && len != 3) {
            PyErr_Format(PyExc_ValueError, "edge tuple must have 2 or 3 items, got %zd", len);
            return nullptr;
        }
        PyObject* u = PyTuple_GET_ITEM(edge.get(), 0);
        PyObject* v = PyTuple_GET_ITEM(edge.get(), 1);
        Node pu = 0;
        Node pv = 0;
        if (!table.lookup(u, pu) || !table.lookup(v, pv)) return nullptr;
        keys_are_nodes = keys_are_nodes && endpoints_are_nodes(table, u, pu, v, pv);
        const std::size_t id = builder.edge(pu, pv);
        if (len == 2) continue;
        PyObject* d = PyTuple_GET_ITEM(edge.get(), 2);
        EdgeValue p;
        if (!PyDict_Check(d)) {
            if (!parse_value(d, p)) return nullptr;
            builder.set_attr(id, weight, p.kind, p.value, p.builtin);
            continue;
        }
        if (!dict_items(d, items)) return nullptr;
        std::size_t previous = 0;
        for (auto& [key, value] : items) {
            if (!PyUnicode_Check(key.get())) {
                PyErr_SetString(PyExc_TypeError, "edge attribute names must be strings");
                return nullptr;
            }
            Py_ssize_t size = 0;
            const char* name = PyUnicode_AsUTF8AndSize(key.get(), &size);
            if (name == nullptr || !parse_value(value.get(), p)) return nullptr;
            const std::size_t column = builder.column(std::string_view(name, static_cast<std::size_t>(size)));
            if (&key != &items.front().first && column <= previous) builder.note_out_of_order();
            previous = column;
            builder.set(column, id, p.kind, p.value, p.builtin);
        }
    }
    if (PyErr_Occurred()) return nullptr;
    const Count n = static_cast<Count>(PyList_GET_SIZE(table.list.get()));
    return detached([&] { return std::move(builder).assemble(n); },
                    [&](std::unique_ptr<CoreGraph>& built) -> PyObject* {
                        built->keys_are_nodes = keys_are_nodes;
                        PyRef graph = PyRef::steal(wrap_graph(std::move(built)));
                        if (!graph) return nullptr;
                        return PyTuple_Pack(3, graph.get(), table.list.get(), table.index.get());
                    });
}

// A bytes argument as packed 8-byte values, read in place (the argument
// holds the object for the call and bytes never change). A trailing partial
// value would silently drop data (32-bit arrays passed by mistake), so it is
// refused.
struct Packed {
    PackedInt64 values{nullptr, 0};
};

bool convert(const Args& a, std::size_t i, Packed& out) {
    BytesRef buffer;
    if (!a.convert(i, buffer)) return false;
    const std::size_t size = static_cast<std::size_t>(PyBytes_GET_SIZE(buffer.obj));
    if (size % 8 != 0) {
        PyErr_Format(PyExc_ValueError, "%s() argument '%s' must hold whole 8-byte values, got %zu bytes", a.function(),
                     std::string(a.name(i)).c_str(), size);
        return false;
    }
    out.values = PackedInt64(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(buffer.obj)), size / 8);
    return true;
}

// Node positions narrowed to 32 bits, after the checks on ids in their order.
Result<Count> checked_positions(const PackedInt64& src, const PackedInt64& dst, std::optional<std::uint64_t> num_nodes,
                                Builder& builder) {
    const std::size_t m = src.size();
    std::int64_t largest = -1;
    std::int64_t smallest = 0;
    for (std::size_t i = 0; i < m; ++i) {
        largest = std::max({largest, src[i], dst[i]});
        smallest = std::min({smallest, src[i], dst[i]});
    }
    const std::uint64_t hi = m == 0 ? 0 : static_cast<std::uint64_t>(largest) + 1;
    if (smallest < 0) return value_error("node ids must be non-negative");
    if (num_nodes && *num_nodes < hi) return value_error("num_nodes is smaller than the largest node id");
    const Count n = num_nodes ? *num_nodes : hi;
    if (n > MAX_CONVERTED_NODES) return value_error("too many nodes");
    std::vector<Node> s(m);
    std::vector<Node> t(m);
    for (std::size_t i = 0; i < m; ++i) {
        s[i] = static_cast<Node>(src[i]);
        t[i] = static_cast<Node>(dst[i]);
    }
    builder.set_edges(std::move(s), std::move(t));
    return n;
}

Status check_weights(const std::vector<double>& weights, AttrKind kind) {
    for (double w : weights) {
        if (std::isnan(w)) return value_error("NaN edge weights are not supported by fennel graphs");
        if (kind == KIND_INT && !(std::fabs(w) <= static_cast<double>(MAX_EXACT_INT) && w == std::trunc(w))) {
            return value_error("integer edge attribute is too large");
        }
        if (kind == KIND_BOOL && w != 0.0 && w != 1.0) return value_error("bool weights must be 0 or 1");
    }
    return {};
}

// Keyword-only options:
// - `weight_kind` says what the weights stand for, so that a graph read from
//   an int or bool array gives its values back with their type: 2 floats,
//   1 ints (whole values within 2**53), 4 bools (0.0 or 1.0);
// - `labels`: `src`/`dst` hold node labels (any int64 values) rather than
//   positions; nodes are numbered in order of first appearance (u before v,
//   edge by edge, as add_edges_from numbers them), `num_nodes` must be None,
//   and the call returns `(graph, labels)`, `labels` the packed int64 label
//   of every position.
PyObject* build_native_arrays(const Packed& src_values, const Packed& dst_values,
                              const std::optional<Packed>& weight_values, std::optional<std::uint64_t> num_nodes,
                              bool directed, const std::string& weight, std::int64_t weight_kind, bool labels) {
    if (weight_kind != KIND_INT && weight_kind != KIND_FLOAT && weight_kind != KIND_BOOL) {
        PyErr_SetString(PyExc_ValueError, "weight_kind must be 1 (int), 2 (float) or 4 (bool)");
        return nullptr;
    }
    if (labels && num_nodes) {
        PyErr_SetString(PyExc_ValueError, "num_nodes must be None when src and dst hold labels");
        return nullptr;
    }
    const AttrKind kind = static_cast<AttrKind>(weight_kind);
    const PackedInt64& src = src_values.values;
    const PackedInt64& dst = dst_values.values;

    std::vector<std::int64_t> label_of;
    auto build = [&]() -> Result<std::unique_ptr<CoreGraph>> {
        const std::size_t m = src.size();
        if (dst.size() != m) return value_error("src and dst must have the same length");
        if (weight_values && weight_values->values.size() != m) return value_error("weights must have one value per edge");
        Builder builder(directed);
        Count n = 0;
        if (labels) {
            auto relabelled = relabel_first_appearance(src, dst);
            if (!relabelled.ok()) return relabelled.error();
            Relabelled& r = relabelled.value();
            n = r.labels.size();
            label_of = std::move(r.labels);
            builder.set_edges(std::move(r.src), std::move(r.dst));
        } else {
            auto counted = checked_positions(src, dst, num_nodes, builder);
            if (!counted.ok()) return counted.error();
            n = counted.value();
        }
        if (weight_values) {
            std::vector<double> weights(m);
            for (std::size_t i = 0; i < m; ++i) weights[i] = std::bit_cast<double>(weight_values->values[i]);
            if (Status st = check_weights(weights, kind); !st.ok()) return st.error();
            if (m > 0) builder.set_column(weight, std::move(weights), kind);
        }
        return std::move(builder).assemble(n);
    };
    return detached(build, [&](std::unique_ptr<CoreGraph>& built) -> PyObject* {
        PyRef graph = PyRef::steal(wrap_graph(std::move(built)));
        if (!graph || !labels) return graph.release();
        PyRef packed_labels =
            PyRef::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(8 * label_of.size())));
        if (!packed_labels) return nullptr;
        auto* out = reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(packed_labels.get()));
        for (std::size_t p = 0; p < label_of.size(); ++p) {
            for (int b = 0; b < 8; ++b) {
                out[8 * p + b] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(label_of[p]) >> (8 * b));
            }
        }
        return PyTuple_Pack(2, graph.get(), packed_labels.get());
    });
}

// The ints of `labels` as a list, labels[p] at p. When the labels span less
// than four per label (as ids numbered from 0 mostly do) the ints are made in
// ascending order of value, so that they lie in memory in that order: sets
// of many of them are filled in value order (set_from), which then reads
// them front to back instead of at random. Otherwise they are made in list
// order.
PyObject* int_labels(const Packed& packed) {
    const PackedInt64& labels = packed.values;
    const std::size_t n = labels.size();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return nullptr;
    auto place = [&](std::size_t p) {
        PyObject* item = PyLong_FromLongLong(labels[p]);
        if (item == nullptr) return false;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(p), item);
        return true;
    };
    std::int64_t low = n == 0 ? 0 : labels[0], high = low;
    for (std::size_t p = 1; p < n; ++p) {
        low = std::min(low, labels[p]);
        high = std::max(high, labels[p]);
    }
    const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
    constexpr std::uint32_t NONE = 0xFFFFFFFFu;
    if (n == 0 || n >= NONE || span >= 4 * static_cast<std::uint64_t>(n)) {
        for (std::size_t p = 0; p < n; ++p) {
            if (!place(p)) return nullptr;
        }
        return list.release();
    }
    std::vector<std::uint32_t> at(static_cast<std::size_t>(span) + 1, NONE);  // position of each value
    for (std::size_t p = 0; p < n; ++p) {
        at[static_cast<std::uint64_t>(labels[p]) - static_cast<std::uint64_t>(low)] = static_cast<std::uint32_t>(p);
    }
    // Each value's slot in the list is written at random: fetched ahead.
    constexpr std::size_t AHEAD = 16;
    PyObject** items = reinterpret_cast<PyListObject*>(list.get())->ob_item;
    std::size_t placed = 0;
    for (std::size_t i = 0; i < at.size(); ++i) {
        if (i + AHEAD < at.size() && at[i + AHEAD] != NONE) __builtin_prefetch(items + at[i + AHEAD], 1);
        if (at[i] == NONE) continue;
        PyObject* item = PyLong_FromLongLong(static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + i));
        if (item == nullptr) return nullptr;
        items[at[i]] = item;
        ++placed;
    }
    // Repeated labels (not made by the builder) leave slots empty: fill them
    // in list order.
    if (placed != n) {
        for (std::size_t p = 0; p < n; ++p) {
            if (PyList_GET_ITEM(list.get(), static_cast<Py_ssize_t>(p)) == nullptr && !place(p)) return nullptr;
        }
    }
    return list.release();
}

PyObject* data_in_column_order(const CoreGraph& g) { return PyBool_FromLong(g.data_in_column_order); }

PyObject* native_edges(const CoreGraph& g) {
    if (!g.native) Py_RETURN_NONE;
    const NativeEdges e = fennel::native_edges(g);
    PyRef src = PyRef::steal(to_list(std::span<const Node>(e.src)));
    PyRef dst = PyRef::steal(to_list(std::span<const Node>(e.dst)));
    PyRef attrs = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(e.attrs.size())));
    if (!src || !dst || !attrs) return nullptr;
    for (std::size_t i = 0; i < e.attrs.size(); ++i) {
        const EdgeAttr& c = e.attrs[i];
        PyRef name = PyRef::steal(PyUnicode_FromStringAndSize(c.name.data(), static_cast<Py_ssize_t>(c.name.size())));
        PyRef values = PyRef::steal(to_list(std::span<const double>(c.values)));
        PyRef kinds = PyRef::steal(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(c.kinds.data()),
                                                             static_cast<Py_ssize_t>(c.kinds.size())));
        if (!name || !values || !kinds) return nullptr;
        PyObject* column = PyTuple_Pack(3, name.get(), values.get(), kinds.get());
        if (column == nullptr) return nullptr;
        PyList_SET_ITEM(attrs.get(), static_cast<Py_ssize_t>(i), column);
    }
    return PyTuple_Pack(3, src.get(), dst.get(), attrs.get());
}

constexpr auto BUILD_NATIVE = function<build_native>(
    "build_native",
    "Build from Python edges. Returns the graph, the node list and the\n"
    "node -> position dict.\n\n"
    "Each edge is `(u, v)`, `(u, v, weight)` (stored under `weight`) or\n"
    "`(u, v, {attr: value})`. `nodes`, if given, are added first, in order.",
    arg<PyObject*>("edges"), arg<PyObject*>("nodes"), arg<bool>("directed"), arg<std::string>("weight"));
constexpr auto BUILD_NATIVE_ARRAYS = function<build_native_arrays>(
    "build_native_arrays",
    "Build from raw little-endian arrays: `src`/`dst` int64 node positions and\n"
    "optional float64 `weights`. Nodes are `0..num_nodes`.",
    arg<Packed>("src"), arg<Packed>("dst"), arg<std::optional<Packed>>("weights"),
    arg<std::optional<std::uint64_t>>("num_nodes"), arg<bool>("directed"), arg<std::string>("weight"),
    kwarg<std::int64_t>("weight_kind", KIND_FLOAT), kwarg<bool>("labels", false));
constexpr auto INT_LABELS = function<int_labels>(
    "int_labels",
    "The ints of packed little-endian int64 `labels` as a list in their order,\n"
    "made in ascending order of value when they span less than four per label.",
    arg<Packed>("labels"));
constexpr auto NATIVE_EDGES = method<native_edges>(
    "native_edges",
    "Native graphs: edges in insertion order, and each attribute's\n"
    "`(name, values, kinds)` per edge (kinds: the module's KIND_* constants).");
constexpr auto DATA_IN_COLUMN_ORDER = method<data_in_column_order>(
    "data_in_column_order",
    "Native graphs: whether every edge received its attributes in column\n"
    "order, so its data dict rebuilt column by column has NetworkX's key order.");

}  // namespace

std::vector<PyMethodDef> native_functions() {
    return {row<BUILD_NATIVE>(), row<BUILD_NATIVE_ARRAYS>(), row<INT_LABELS>()};
}

std::vector<PyMethodDef> native_methods() { return {row<NATIVE_EDGES>(), row<DATA_IN_COLUMN_ORDER>()}; }

}  // namespace fennel::py
