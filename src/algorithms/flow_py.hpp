// What the bindings of the maximum flows share: numbers handed to Python as
// the int or float they stand for, the per-edge arrays read from bytes, and
// R's rows rebuilt as NetworkX's dicts.
#pragma once

#include "algorithms/flow.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace fennel::py {

// A number of the flow arithmetic as the Python int or float it stands for.
inline PyObject* number(FlowNumber x) {
    return x.is_float ? PyFloat_FromDouble(x.value) : PyLong_FromLongLong(static_cast<long long>(x.value));
}

template <class T>
bool read_array(const BytesRef& bytes, std::size_t count, std::vector<T>& out, const char* what) {
    const Py_ssize_t size = PyBytes_GET_SIZE(bytes.obj);
    if (size != static_cast<Py_ssize_t>(count * sizeof(T))) {
        raise(value_error(std::string(what) + " must hold one entry per edge"));
        return false;
    }
    out.resize(count);
    if (count > 0) std::memcpy(out.data(), PyBytes_AS_STRING(bytes.obj), static_cast<std::size_t>(size));
    return true;
}

// G.edges in order and the capacities read in Python for them (one uint8
// code and one double per edge): false, with an error set, when they do not
// fit G or R would hold too many edges.
inline bool read_flow_input(const CoreGraph& g, const BytesRef& codes_bytes, const BytesRef& values_bytes,
                            EdgeList& edges, std::vector<std::uint8_t>& codes, std::vector<double>& values) {
    edges = edges_in_order(g);
    if (!read_array(codes_bytes, edges.us.size(), codes, "codes")) return false;
    if (!read_array(values_bytes, edges.us.size(), values, "values")) return false;
    if (2 * edges.us.size() >= MAX_CONVERTED_NODES) {
        raise(not_implemented("too many edges for R"));
        return false;
    }
    return true;
}

// R's rows as NetworkX's dicts: one data dict per edge ({'capacity': the
// edge's capacity object, inf or the int 0; 'flow': its flow}), shared by
// the succ row of its tail and the pred row of its head, each row keyed by
// `nodes` in R's row order. Returns (succ rows, pred rows).
PyObject* residual_dicts(const Residual& r, const std::vector<FlowNumber>& flow, const std::vector<std::uint8_t>& codes,
                         PyObject* nodes, PyObject* objects, PyObject* inf_object);

// A residual network kept between calls (flow_network hands it out in a
// capsule, kept in Python with the capacities it was built from): the runs
// only read it, each with flows of its own. `capsule` None leaves `out`
// null; false, with an error set, when it is not a network of g's n nodes
// built from `edge_count` edges.
bool kept_network(PyObject* capsule, const CoreGraph& g, std::size_t edge_count, const Residual*& out);

}  // namespace fennel::py
