// Binding of the isolates.
#include "algorithms/isolate.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* degree_zero(const CoreGraph& g) {
    return detached([&] { return isolated_nodes(g.succ, g.in_rows()); });
}

constexpr auto ISOLATES = method<degree_zero>("degree_zero_nodes", "The positions of the nodes of degree zero, in node order.");

}  // namespace

std::vector<PyMethodDef> isolate_methods() { return {row<ISOLATES>()}; }

}  // namespace fennel::py
