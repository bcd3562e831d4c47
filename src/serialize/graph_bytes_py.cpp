// Bindings of the byte format: CoreGraph.__reduce__ and the module function
// _core_graph_from_bytes that pickle calls to rebuild the graph.
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "serialize/graph_bytes.hpp"

namespace fennel::py {

namespace {

PyObject* reduce(const CoreGraph& g) {
    PyRef module = PyRef::steal(PyImport_ImportModule("fennel._core"));
    if (!module) return nullptr;
    PyRef rebuild = PyRef::steal(PyObject_GetAttrString(module.get(), "_core_graph_from_bytes"));
    if (!rebuild) return nullptr;
    // The graph is immutable; its write-once cells are read with acquire ordering.
    return detached([&] { return to_bytes(g); }, [&](const std::string& data) -> PyObject* {
        PyRef bytes = PyRef::steal(PyBytes_FromStringAndSize(data.data(), static_cast<Py_ssize_t>(data.size())));
        if (!bytes) return nullptr;
        return Py_BuildValue("(O(O))", rebuild.get(), bytes.get());
    });
}

PyObject* core_graph_from_bytes(BytesRef data) {
    // Bytes are immutable and the argument holds a reference for the call.
    std::span<const std::uint8_t> view(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(data.obj)),
                                       static_cast<std::size_t>(PyBytes_GET_SIZE(data.obj)));
    return detached([&] { return from_bytes(view); },
                    [](std::unique_ptr<CoreGraph>& graph) { return wrap_graph(std::move(graph)); });
}

constexpr auto REDUCE = method<reduce>("__reduce__",
                                       "Pickle support: NetworkX keeps converted graphs in the original\n"
                                       "graph's cache, so they must survive `pickle` and `copy.deepcopy`.");
constexpr auto CORE_GRAPH_FROM_BYTES =
    function<core_graph_from_bytes>("_core_graph_from_bytes", "", arg<BytesRef>("data"));

}  // namespace

std::vector<PyMethodDef> serialize_functions() { return {row<CORE_GRAPH_FROM_BYTES>()}; }

std::vector<PyMethodDef> serialize_methods() { return {row<REDUCE>()}; }

}  // namespace fennel::py
