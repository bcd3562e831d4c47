// Bindings of capacity_scaling's phases.
#include "algorithms/capacityscaling.hpp"
#include "lib/entry.hpp"

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

bool offsets_valid(const Positions& offsets, std::size_t groups, std::size_t end) {
    if (offsets.size() != groups + 1 || offsets.front() != 0 || offsets.back() != end) return false;
    return std::is_sorted(offsets.begin(), offsets.end());
}

PyObject* capacity_scaling_flows(Count n, const Positions& heads, const ListRef& capacities, const ListRef& weights,
                                 const ListRef& excess, const BytesRef& hashes, const Positions& group_offsets,
                                 const Positions& group_heads, const Positions& arc_offsets, const Positions& arcs,
                                 std::int64_t delta) {
    ScalingProblem p;
    const std::size_t count = heads.size();
    if (count % 2 != 0) return raise(value_error("the arcs come in pairs"));
    if (delta < 1) return raise(value_error("delta must be at least 1"));
    if (!offsets_valid(group_offsets, n, group_heads.size()) ||
        !offsets_valid(arc_offsets, group_heads.size(), arcs.size())) {
        return raise(value_error("offsets must run from 0 to the end, in order"));
    }
    for (Node v : heads) {
        if (v >= n) return raise(index_error());
    }
    for (Node v : group_heads) {
        if (v >= n) return raise(index_error());
    }
    for (std::uint32_t a : arcs) {
        if (a >= count) return raise(index_error());
    }
    if (!read_numbers(capacities.obj, count, "capacities", p.capacity) ||
        !read_numbers(weights.obj, count, "weights", p.weight) ||
        !read_numbers(excess.obj, static_cast<std::size_t>(n), "excess", p.excess) ||
        !read_int64s(hashes, static_cast<std::size_t>(n), p.hashes)) {
        return nullptr;
    }
    p.n = n;
    p.head = heads;
    p.flow.assign(count, PyNumber::of_int(0));
    p.potential.assign(static_cast<std::size_t>(n), PyNumber::of_int(0));
    p.group_offsets = group_offsets;
    p.group_heads = group_heads;
    p.arc_offsets = arc_offsets;
    p.arcs = arcs;
    p.delta = delta;
    return detached([&] { return run_capacity_scaling(p); },
        [&]() -> PyObject* {
            // The flows of the forward arcs, then whether every excess is 0.
            bool balanced = true;
            for (const PyNumber& x : p.excess) balanced = balanced && is_zero(x);
            PyObject* flows = PyList_New(static_cast<Py_ssize_t>(count / 2));
            if (flows == nullptr) return nullptr;
            for (std::size_t e = 0; e < count / 2; ++e) {
                const PyNumber& x = p.flow[2 * e];
                PyObject* item = x.is_float ? PyFloat_FromDouble(x.f) : to_python(x.i);
                if (item == nullptr) {
                    Py_DECREF(flows);
                    return nullptr;
                }
                PyList_SET_ITEM(flows, static_cast<Py_ssize_t>(e), item);
            }
            return Py_BuildValue("(NO)", flows, balanced ? Py_True : Py_False);
        });
}

constexpr auto CAPACITY_SCALING = function<capacity_scaling_flows>(
    "_capacity_scaling",
    "capacity_scaling's phases on `n` nodes from `delta` down: the arcs of R in\npairs (arc 2i an edge, 2i + 1 its "
    "reverse) with their `heads`, `capacities`\nand `weights`, the nodes' starting `excess` and `hashes` (int64 "
    "bytes),\nR.succ as groups (`group_offsets` per node, `group_heads`, `arc_offsets`,\n`arcs`). Returns (the flow "
    "of each edge's arc, whether every excess is 0).",
    arg<Count>("n"), arg<Positions>("heads"), arg<ListRef>("capacities"), arg<ListRef>("weights"),
    arg<ListRef>("excess"), arg<BytesRef>("hashes"), arg<Positions>("group_offsets"), arg<Positions>("group_heads"),
    arg<Positions>("arc_offsets"), arg<Positions>("arcs"), arg<std::int64_t>("delta"));

}  // namespace

std::vector<PyMethodDef> capacityscaling_functions() { return {row<CAPACITY_SCALING>()}; }

}  // namespace fennel::py
