// Binding of the cycle basis.
#include "algorithms/cycles.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* basis(const CoreGraph& g, std::optional<Node> root) {
    if (g.directed) return raise(not_implemented("cycle bases need an undirected graph"));
    return detached([&] { return fennel::paton_cycles(g.succ, root); },
                    [](const CycleLists& found) {
                        return tuple_from([&] { return to_python(found.nodes); },
                                          [&] { return to_python(found.bounds); });
                    });
}

constexpr auto CYCLE_BASIS = method<basis>(
    "paton_cycles", "`(nodes, bounds)`: cycle_basis' cycles, cycle c being\nnodes[bounds[c]:bounds[c + 1]]; `root` "
    "(a position) or None.",
    arg<std::optional<Node>>("root"));

}  // namespace

std::vector<PyMethodDef> cycles_methods() { return {row<CYCLE_BASIS>()}; }

}  // namespace fennel::py
