// Bindings of network_simplex's pivot loop.
#include "algorithms/mincost.hpp"
#include "lib/entry.hpp"

#include <climits>

namespace fennel::py {

namespace {

// A list of Python ints (within 64 bits) and floats, as PyNumbers.
bool read_numbers(PyObject* list, std::size_t count, const char* what, std::vector<PyNumber>& out) {
    if (static_cast<std::size_t>(PyList_GET_SIZE(list)) != count) {
        PyErr_Format(PyExc_ValueError, "%s must hold %zu numbers", what, count);
        return false;
    }
    out.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        PyObject* item = PyList_GET_ITEM(list, static_cast<Py_ssize_t>(k));
        if (PyFloat_CheckExact(item)) {
            out[k] = PyNumber::of_float(PyFloat_AS_DOUBLE(item));
        } else if (PyLong_CheckExact(item)) {
            int overflow = 0;
            const long long v = PyLong_AsLongLongAndOverflow(item, &overflow);
            if (overflow != 0) {
                PyErr_Format(PyExc_OverflowError, "%s holds an int beyond 64 bits", what);
                return false;
            }
            if (v == -1 && PyErr_Occurred()) return false;
            out[k] = PyNumber::of_int(v);
        } else {
            PyErr_Format(PyExc_TypeError, "%s must hold ints and floats only", what);
            return false;
        }
    }
    return true;
}

PyObject* number(const PyNumber& x) { return x.is_float ? PyFloat_FromDouble(x.f) : to_python(x.i); }

PyObject* network_simplex_flows(std::uint32_t n, const Positions& sources, const Positions& targets,
                                const ListRef& capacities, const ListRef& weights, const ListRef& flows,
                                const ListRef& potentials) {
    SimplexProblem p;
    if (sources.size() != targets.size() || sources.size() < n) {
        return raise(value_error("sources and targets must hold the edges, then one artificial edge per node"));
    }
    p.n = n;
    p.m = static_cast<std::uint32_t>(sources.size() - n);
    for (std::size_t e = 0; e < sources.size(); ++e) {
        if (sources[e] > n || targets[e] > n) return raise(index_error());
    }
    const std::size_t count = sources.size();
    if (!read_numbers(capacities.obj, count, "capacities", p.capacity) ||
        !read_numbers(weights.obj, count, "weights", p.weight) || !read_numbers(flows.obj, count, "flows", p.flow) ||
        !read_numbers(potentials.obj, n, "potentials", p.potential)) {
        return nullptr;
    }
    p.source = sources;
    p.target = targets;
    return detached([&] { return run_network_simplex(p); },
        [&]() -> PyObject* {
            PyObject* out = PyList_New(static_cast<Py_ssize_t>(count));
            if (out == nullptr) return nullptr;
            for (std::size_t e = 0; e < count; ++e) {
                PyObject* x = number(p.flow[e]);
                if (x == nullptr) {
                    Py_DECREF(out);
                    return nullptr;
                }
                PyList_SET_ITEM(out, static_cast<Py_ssize_t>(e), x);
            }
            return out;
        });
}

constexpr auto NETWORK_SIMPLEX = function<network_simplex_flows>(
    "_network_simplex",
    "network_simplex's pivots on `n` nodes (the root is position n): the edges\n(`sources`, `targets`, the n "
    "artificial ones last) with their `capacities`\nand `weights`, the starting `flows` and node `potentials` (Python "
    "ints\nwithin 64 bits and floats). Returns the final flows, of Python's types.",
    arg<std::uint32_t>("n"), arg<Positions>("sources"), arg<Positions>("targets"), arg<ListRef>("capacities"),
    arg<ListRef>("weights"), arg<ListRef>("flows"), arg<ListRef>("potentials"));


// cost_of_flow's products flowDict[u][v] * d.get(weight, 0), one per edge of
// G.edges(data=True) in its order (undirected: an edge where its first end's
// row meets it), over a graph of plain dicts. None when a row, an edge's
// data or a flow dict row is not a plain dict, or a flow or weight is not a
// Python int or float: the caller then evaluates NetworkX's expression
// itself. NetworkX's own errors (a missing key) come back as they come there.
bool plain_number(PyObject* x) { return PyLong_CheckExact(x) || PyFloat_CheckExact(x); }

PyObject* flow_products(const DictRef& adjacency, bool directed, const DictRef& flow_dict, PyObject* weight) {
    PyRef out = PyRef::steal(PyList_New(0));
    if (!out) return nullptr;
    PyRef seen = PyRef::steal(directed ? nullptr : PySet_New(nullptr));
    if (!directed && !seen) return nullptr;
    PyObject* zero = PyLong_FromLong(0);
    if (zero == nullptr) return nullptr;
    PyRef zero_ref = PyRef::steal(zero);
    Py_ssize_t i = 0;
    PyObject *u = nullptr, *nbrs = nullptr;
    while (PyDict_Next(adjacency.obj, &i, &u, &nbrs)) {
        if (!PyDict_CheckExact(nbrs)) Py_RETURN_NONE;
        // Held while lookups may run the nodes' own __eq__.
        const PyRef u_ref = PyRef::new_ref(u), nbrs_ref = PyRef::new_ref(nbrs);
        Py_ssize_t j = 0;
        PyObject *v = nullptr, *data = nullptr;
        while (PyDict_Next(nbrs, &j, &v, &data)) {
            const PyRef v_ref = PyRef::new_ref(v), data_ref = PyRef::new_ref(data);
            if (!directed) {
                const int found = PySet_Contains(seen.get(), v);
                if (found < 0) return nullptr;
                if (found == 1) continue;
            }
            if (!PyDict_CheckExact(data)) Py_RETURN_NONE;
            PyRef row = PyRef::steal(PyObject_GetItem(flow_dict.obj, u));
            if (!row) return nullptr;
            if (!PyDict_CheckExact(row.get())) Py_RETURN_NONE;
            PyRef flow = PyRef::steal(PyObject_GetItem(row.get(), v));
            if (!flow) return nullptr;
            PyObject* w = PyDict_GetItemWithError(data, weight);
            if (w == nullptr) {
                if (PyErr_Occurred()) return nullptr;
                w = zero;
            }
            if (!plain_number(flow.get()) || !plain_number(w)) Py_RETURN_NONE;
            PyRef product = PyRef::steal(PyNumber_Multiply(flow.get(), w));
            if (!product || PyList_Append(out.get(), product.get()) < 0) return nullptr;
        }
        if (!directed && PySet_Add(seen.get(), u) < 0) return nullptr;
    }
    return out.release();
}

constexpr auto FLOW_PRODUCTS = function<flow_products>(
    "_flow_products",
    "cost_of_flow's products flowDict[u][v] * d.get(weight, 0) in G.edges order,\nfrom G._adj (`adjacency`); None "
    "where NetworkX's expression must run\nitself (other dicts or numbers).",
    arg<DictRef>("adjacency"), arg<bool>("directed"), arg<DictRef>("flow_dict"), arg<PyObject*>("weight"));
}  // namespace

std::vector<PyMethodDef> mincost_functions() { return {row<NETWORK_SIMPLEX>(), row<FLOW_PRODUCTS>()}; }

}  // namespace fennel::py
