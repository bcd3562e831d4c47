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

}  // namespace

std::vector<PyMethodDef> mincost_functions() { return {row<NETWORK_SIMPLEX>()}; }

}  // namespace fennel::py
