// Bindings of the byte format: CoreGraph.__reduce__ and the module function
// _core_graph_from_bytes that pickle calls to rebuild the graph.
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"
#include "serialize/graph_bytes.hpp"

namespace fennel::py {

namespace {

PyObject* reduce(PyObject* self, Args&) {
    PyRef module = PyRef::steal(PyImport_ImportModule("fennel._core"));
    if (!module) return nullptr;
    PyRef rebuild = PyRef::steal(PyObject_GetAttrString(module.get(), "_core_graph_from_bytes"));
    if (!rebuild) return nullptr;
    std::string data;
    {
        Detached detached;  // the graph is immutable; its write-once cells are read with acquire ordering
        data = to_bytes(graph_of(self));
    }
    PyRef bytes = PyRef::steal(PyBytes_FromStringAndSize(data.data(), static_cast<Py_ssize_t>(data.size())));
    if (!bytes) return nullptr;
    return Py_BuildValue("(O(O))", rebuild.get(), bytes.get());
}

PyObject* core_graph_from_bytes(PyObject*, Args& a) {
    PyObject* data = nullptr;
    if (!a.bytes(0, data)) return nullptr;
    // Bytes are immutable and the argument holds a reference for the call.
    std::span<const std::uint8_t> view(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(data)),
                                       static_cast<std::size_t>(PyBytes_GET_SIZE(data)));
    auto read = [&] {
        Detached detached;
        return from_bytes(view);
    }();
    if (!read.ok()) return raise(read.error());
    return wrap_graph(std::move(read.value()));
}

constexpr auto REDUCE = method("__reduce__", reduce,
                               "Pickle support: NetworkX keeps converted graphs in the original\n"
                               "graph's cache, so they must survive `pickle` and `copy.deepcopy`.");
constexpr auto CORE_GRAPH_FROM_BYTES = function("_core_graph_from_bytes", core_graph_from_bytes, "", "data");

}  // namespace

std::vector<PyMethodDef> serialize_functions() { return {row<CORE_GRAPH_FROM_BYTES>()}; }

std::vector<PyMethodDef> serialize_methods() { return {row<REDUCE>()}; }

}  // namespace fennel::py
