// Binding of is_bipartite and the Hopcroft-Karp matching.
#include "algorithms/bipartite.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* bipartite(const CoreGraph& g) {
    return detached([&] { return two_colorable(g.succ, g.pred ? &*g.pred : nullptr); });
}

PyObject* matching(const CoreGraph& g, const Positions& left, const Positions& right) {
    for (const auto* side : {&left, &right}) {
        for (const Node v : *side) {
            if (v >= g.n) return raise(index_error());
        }
    }
    return detached([&] { return hopcroft_karp(g.succ, left, right); }, [](const BipartiteMatching& m) {
        return tuple_from([&] { return to_list(m.keys); }, [&] { return to_list(m.values); },
                          [&] { return to_python(m.missing); });
    });
}

constexpr auto HOPCROFT_KARP = method<matching>(
    "hopcroft_karp", "hopcroft_karp_matching's dict as `(keys, values, missing)`: positions in its key order,\n"
    "or the neighbour whose lookup raises KeyError in NetworkX.", arg<Positions>("left"), arg<Positions>("right"));

constexpr auto BIPARTITE = method<bipartite>("two_colorable", "Whether two colours suffice (self-loops never allow it).");

}  // namespace

std::vector<PyMethodDef> bipartite_methods() { return {row<BIPARTITE>(), row<HOPCROFT_KARP>()}; }

}  // namespace fennel::py
