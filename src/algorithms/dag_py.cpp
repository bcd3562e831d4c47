// Bindings of topological_generations, the in-degrees it leaves, dag_longest_path
// and is_aperiodic's divisor.
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

PyObject* longest_path(const CoreGraph& g, const AttrName& weight, const Positions& order) {
    auto view = g.search_view(weight, true);
    if (!view.ok()) return raise(view.error());
    const GraphView& pred = view.value();
    return detached([&] { return longest_path_over(*pred.out, pred.weights, order); },
                    [](const LongestPath& found) {
                        if (!found.complete) return Py_BuildValue("(OI)", Py_None, found.missing);
                        return Py_BuildValue("(NO)", to_list(found.path), Py_None);
                    });
}

PyObject* period(const CoreGraph& g, Node root) {
    if (root >= g.succ.node_count()) return raise(index_error());
    return detached([&] { return period_divisor(g.succ, root); });
}

constexpr auto GENERATIONS = method<generations>("generations", "`(generations, has_cycle)`");
constexpr auto INDEGREES = method<indegrees>("indegrees_after",
                                             "In-degrees left after removing the out-edges of `processed` nodes:\nthe "
                                             "state of `nx.topological_generations` after those generations.",
                                             arg<Positions>("processed"));

constexpr auto LONGEST_PATH = method<longest_path>(
    "longest_path_over",
    "`(path, None)`: dag_longest_path over `order`, along G._pred's rows (load\nthem first); `(None, node)` for the "
    "first predecessor met before its\nvisit.",
    arg<AttrName>("weight"), arg<Positions>("order"));

constexpr auto PERIOD = method<period>(
    "period_divisor",
    "The gcd of level[u] - level[v] + 1 over the edges reached from `root`\n(breadth-first levels): a strongly "
    "connected graph's period, 0 without\na cycle.",
    arg<Node>("root"));

}  // namespace

std::vector<PyMethodDef> dag_methods() {
    return {row<GENERATIONS>(), row<INDEGREES>(), row<LONGEST_PATH>(), row<PERIOD>()};
}

}  // namespace fennel::py
