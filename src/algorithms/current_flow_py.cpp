// Bindings of the current-flow centralities: the labelling, the labelled
// adjacency and the loops over the inverse Laplacian's rows.
#include "algorithms/current_flow.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>

namespace fennel::py {

namespace {

// A C-contiguous buffer of n * n doubles, held for the call.
class SquareBuffer {
public:
    ~SquareBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    bool read(PyObject* obj, Count n) {
        if (PyObject_GetBuffer(obj, &view_, PyBUF_C_CONTIGUOUS) < 0) return false;
        held_ = true;
        if (view_.len != static_cast<Py_ssize_t>(n * n * sizeof(double))) {
            PyErr_SetString(PyExc_ValueError, "the inverse must hold n * n float64 values");
            return false;
        }
        return true;
    }
    const double* data() const { return static_cast<const double*>(view_.buf); }

private:
    Py_buffer view_{};
    bool held_ = false;
};

bool check_labels(const CoreGraph& g, const Positions& ordering, std::vector<Node>& label) {
    if (ordering.size() != g.n) {
        PyErr_SetString(PyExc_ValueError, "the ordering must list every node once");
        return false;
    }
    label.assign(g.n, static_cast<Node>(g.n));
    for (std::size_t k = 0; k < ordering.size(); ++k) {
        if (ordering[k] >= g.n || label[ordering[k]] != g.n) {
            PyErr_SetString(PyExc_ValueError, "the ordering must list every node once");
            return false;
        }
        label[ordering[k]] = static_cast<Node>(k);
    }
    return true;
}

template <class T>
PyObject* bytes_of(const std::vector<T>& v) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()),
                                     static_cast<Py_ssize_t>(v.size() * sizeof(T)));
}

PyObject* flow_problem(const CoreGraph& g, const AttrName& weight) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return PyLong_FromLong(flow_graph_problem(g, column.value()));
}

PyObject* rcm_ordering(const CoreGraph& g, const BytesRef& hashes) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    if (g.directed) return raise(value_error("an undirected graph"));
    return detached([&] { return reverse_cuthill_mckee(g.succ, hash); });
}

PyObject* flow_adjacency(const CoreGraph& g, const AttrName& weight, const Positions& ordering) {
    std::vector<Node> label;
    if (!check_labels(g, ordering, label)) return nullptr;
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return labelled_adjacency(labelled_edges(g, column.value(), label), g.n); },
                    [&](const LabelledAdjacency& a) -> PyObject* {
                        return tuple_from([&] { return bytes_of(a.indptr); }, [&] { return bytes_of(a.indices); },
                                          [&] { return bytes_of(a.data); });
                    });
}

// The numpy argsort callback: `argsort(bytes of k rows, n)` returns the k
// argsorts as int64 bytes.
NumpyArgsort python_argsort(Detached& d, PyObject* argsort) {
    return [&d, argsort](const std::vector<double>& rows, std::size_t n, std::vector<std::int64_t>& orders) -> Status {
        const bool ok = d.attached([&] {
            PyRef arg = PyRef::steal(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(rows.data()),
                                                               static_cast<Py_ssize_t>(rows.size() * sizeof(double))));
            PyRef width = PyRef::steal(PyLong_FromSize_t(n));
            if (!arg || !width) return false;
            PyRef out = PyRef::steal(PyObject_CallFunctionObjArgs(argsort, arg.get(), width.get(), nullptr));
            if (!out) return false;
            if (!PyBytes_Check(out.get()) ||
                PyBytes_GET_SIZE(out.get()) != static_cast<Py_ssize_t>(rows.size() * sizeof(std::int64_t))) {
                PyErr_SetString(PyExc_ValueError, "argsort must return int64 bytes, one per entry");
                return false;
            }
            orders.resize(rows.size());
            if (!rows.empty()) std::memcpy(orders.data(), PyBytes_AS_STRING(out.get()), rows.size() * sizeof(std::int64_t));
            for (std::int64_t k : orders) {
                if (k < 0 || static_cast<std::size_t>(k) >= n) {
                    PyErr_SetString(PyExc_ValueError, "argsort returned an index out of range");
                    return false;
                }
            }
            return true;
        });
        if (!ok) return interrupted();  // the callee's exception stays set
        return {};
    };
}

PyObject* flow_betweenness(const CoreGraph& g, const AttrName& weight, const Positions& ordering, PyObject* inverse,
                           PyObject* argsort, std::optional<double> edge_nb) {
    std::vector<Node> label;
    if (!check_labels(g, ordering, label)) return nullptr;
    SquareBuffer buffer;
    if (!buffer.read(inverse, g.n)) return nullptr;
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    const InverseRows inv{buffer.data(), g.n};
    const std::vector<LabelledEdge> edges = labelled_edges(g, column.value(), label);
    if (!edge_nb) {
        return detached([&](Detached& d) { return flow_betweenness_sums(inv, edges, python_argsort(d, argsort)); });
    }
    // By edge in G.edges order: (the endpoint labelled lower, the other, value).
    return detached(
        [&](Detached& d) { return edge_flow_betweenness(inv, edges, *edge_nb, python_argsort(d, argsort)); },
        [&](const std::vector<double>& values) -> PyObject* {
            std::vector<std::size_t> at(edges.size());
            for (std::size_t k = 0; k < edges.size(); ++k) at[edges[k].listed] = k;
            return list_from(edges.size(), [&](std::size_t i) {
                const LabelledEdge& e = edges[at[i]];
                return tuple_from([&] { return to_python(ordering[e.u]); }, [&] { return to_python(ordering[e.v]); },
                                  [&] { return to_python(values[at[i]]); });
            });
        });
}

PyObject* flow_closeness(const CoreGraph& g, const Positions& ordering, PyObject* inverse) {
    std::vector<Node> label;
    if (!check_labels(g, ordering, label)) return nullptr;
    SquareBuffer buffer;
    if (!buffer.read(inverse, g.n)) return nullptr;
    const InverseRows inv{buffer.data(), g.n};
    return detached([&] { return flow_closeness_sums(inv, label); });
}

constexpr auto FLOW_PROBLEM = method<flow_problem>(
    "flow_problem",
    "0, or why NetworkX's current-flow arithmetic is out of reach: 2 for a\nweight that is not a power of two in "
    "[2**-20, 2**20].",
    arg<AttrName>("weight"));
constexpr auto RCM_ORDERING = method<rcm_ordering>(
    "rcm_ordering",
    "reverse_cuthill_mckee_ordering's positions, or `None` if the graph is not\nconnected; `hashes`: hash() of each "
    "node as int64 bytes.",
    arg<BytesRef>("hashes"));
constexpr auto FLOW_ADJACENCY = method<flow_adjacency>(
    "flow_adjacency",
    "`(indptr, indices, data)` (int64, int64 and float64 bytes): the canonical\nCSR adjacency of the graph relabelled "
    "by `ordering` (position of each label).",
    arg<AttrName>("weight"), arg<Positions>("ordering"));
constexpr auto FLOW_BETWEENNESS = method<flow_betweenness>(
    "flow_betweenness",
    "Current-flow betweenness sums by label from the inverse Laplacian's rows\n(`inverse`, n * n float64), or with "
    "`edge_nb` the edge values in G.edges\norder as `(position, position, value)`; `argsort(bytes)` ranks rows\nwith "
    "equal non-zero entries.",
    arg<AttrName>("weight"), arg<Positions>("ordering"), arg<PyObject*>("inverse"), arg<PyObject*>("argsort"),
    arg<std::optional<double>>("edge_nb", none));
constexpr auto FLOW_CLOSENESS = method<flow_closeness>(
    "flow_closeness", "Current-flow closeness sums by label from the inverse Laplacian's rows.",
    arg<Positions>("ordering"), arg<PyObject*>("inverse"));

}  // namespace

std::vector<PyMethodDef> current_flow_methods() {
    return {row<FLOW_PROBLEM>(), row<RCM_ORDERING>(), row<FLOW_ADJACENCY>(), row<FLOW_BETWEENNESS>(),
            row<FLOW_CLOSENESS>()};
}

}  // namespace fennel::py
