// Bindings of the k-edge-connected components.
#include "algorithms/edge_kcomponents.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

// (members, bounds): each component's positions in NetworkX's insertion order.
PyObject* bridge_components_of(const CoreGraph& g) {
    if (g.directed) return raise(value_error("bridge_components needs an undirected graph"));
    return detached([&] { return bridge_components(g.succ); }, [](const ComponentList& found) {
        return Py_BuildValue("(NN)", to_python(found.members), to_python(found.bounds));
    });
}

constexpr auto BRIDGE_COMPONENTS = method<bridge_components_of>(
    "bridge_components",
    "bridge_components of the undirected graph: (members, bounds), each\ncomponent's positions in the order "
    "NetworkX's search inserts them.");

}  // namespace

std::vector<PyMethodDef> edge_kcomponents_methods() { return {row<BRIDGE_COMPONENTS>()}; }

}  // namespace fennel::py
