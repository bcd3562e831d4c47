// Binding of core_number.
#include "algorithms/core.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* cores(const CoreGraph& g) {
    return detached([&] { return core_number(g.succ, g.pred ? &*g.pred : nullptr); });
}

constexpr auto CORE_NUMBER =
    method<cores>("core_number", "Core numbers in node order, or `None` if the graph has self-loops.");

}  // namespace

std::vector<PyMethodDef> core_methods() { return {row<CORE_NUMBER>()}; }

}  // namespace fennel::py
