// Binding of is_bipartite.
#include "algorithms/bipartite.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* bipartite(const CoreGraph& g) {
    return detached([&] { return is_bipartite(g.succ, g.pred ? &*g.pred : nullptr); });
}

constexpr auto BIPARTITE = method<bipartite>("is_bipartite", "");

}  // namespace

std::vector<PyMethodDef> bipartite_methods() { return {row<BIPARTITE>()}; }

}  // namespace fennel::py
