// Binding of is_bipartite.
#include "algorithms/bipartite.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* bipartite(const CoreGraph& g) {
    return detached([&] { return two_colorable(g.succ, g.pred ? &*g.pred : nullptr); });
}

constexpr auto BIPARTITE = method<bipartite>("two_colorable", "Whether two colours suffice (self-loops never allow it).");

}  // namespace

std::vector<PyMethodDef> bipartite_methods() { return {row<BIPARTITE>()}; }

}  // namespace fennel::py
