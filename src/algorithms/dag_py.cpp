// Bindings of topological_generations and the in-degrees it leaves.
#include "algorithms/dag.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* generations(const CoreGraph& g) {
    return detached([&] { return fennel::generations(g.succ, g.in_rows()); },
                    [](const Generations& found) {
                        return tuple_from([&] { return to_python(found.generations); },
                                          [&] { return to_python(found.has_cycle); });
                    });
}

PyObject* indegrees(const CoreGraph& g, const Positions& processed) {
    Result<std::vector<Count>> r = indegrees_after(g.succ, g.in_rows(), processed);
    if (!r.ok()) return raise(r.error());
    return to_list(r.value());
}

constexpr auto GENERATIONS = method<generations>("generations", "`(generations, has_cycle)`");
constexpr auto INDEGREES = method<indegrees>("indegrees_after",
                                             "In-degrees left after removing the out-edges of `processed` nodes:\nthe "
                                             "state of `nx.topological_generations` after those generations.",
                                             arg<Positions>("processed"));

}  // namespace

std::vector<PyMethodDef> dag_methods() { return {row<GENERATIONS>(), row<INDEGREES>()}; }

}  // namespace fennel::py
