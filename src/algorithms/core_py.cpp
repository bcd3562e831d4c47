// Binding of the core numbers.
#include "algorithms/core.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* cores(const CoreGraph& g) {
    return detached([&] { return fennel::core_numbers(g.succ, g.pred ? &*g.pred : nullptr); });
}

constexpr auto CORE_NUMBER =
    method<cores>("core_numbers", "Core numbers in node order, or `None` if the graph has self-loops.");

}  // namespace

std::vector<PyMethodDef> core_methods() { return {row<CORE_NUMBER>()}; }

}  // namespace fennel::py
