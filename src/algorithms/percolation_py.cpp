// Binding of percolation centrality.
#include "algorithms/percolation.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* percolation(const CoreGraph& g, const AttrName& weight, const Reals& states, double total) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    if (states.size() != g.n) return raise(value_error("states must have one value per node"));
    return detached([&] { return fennel::percolation(g.view(column.value()), states, total); });
}

constexpr auto PERCOLATION = method<percolation>(
    "percolation",
    "percolation_centrality's sums before NetworkX's scaling by 1 / (n - 2):\n`states` by position, `total` "
    "NetworkX's running sum of the states.",
    arg<AttrName>("weight"), arg<Reals>("states"), arg<double>("total"));

}  // namespace

std::vector<PyMethodDef> percolation_methods() { return {row<PERCOLATION>()}; }

}  // namespace fennel::py
