// Binding of the disjoint paths: the auxiliary digraph and its residual
// network are built from the graph on every call, then the flow and the
// paths read back from it.
#include "algorithms/disjoint_paths.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* disjoint_paths_of(const CoreGraph& g, bool node, Node s, Node t, double cutoff, std::uint64_t algorithm) {
    if (s >= g.n || t >= g.n) return raise(index_error());
    if (algorithm != static_cast<std::uint64_t>(FlowAlgorithm::EdmondsKarp)) {
        return raise(value_error("unknown flow algorithm"));
    }
    return detached(
        [&] {
            const AuxiliaryGraph h = auxiliary_graph(g, node ? Auxiliary::Nodes : Auxiliary::Edges);
            // The node auxiliary digraph's ends: sB and tA.
            const Node hs = node ? 2 * s + 1 : s;
            const Node ht = node ? 2 * t : t;
            return disjoint_paths(h, hs, ht, cutoff, static_cast<FlowAlgorithm>(algorithm));
        },
        [&](const DisjointPaths& found) -> PyObject* {
            if (found.outcome != DisjointPaths::Found) return PyLong_FromLong(static_cast<long>(found.outcome));
            return list_from(found.paths.size(), [&](std::size_t i) { return to_python(found.paths[i]); });
        });
}

constexpr auto DISJOINT_PATHS = method<disjoint_paths_of>(
    "disjoint_paths",
    "edge_disjoint_paths over the edge auxiliary digraph (or, `node`, over the\n"
    "node one from sB to tA), `cutoff` inf for None, the flow run by `algorithm`\n"
    "(0: Edmonds–Karp). Returns the paths as lists of nodes of H, or 1 (no\n"
    "path) or 2 (s and t the same node).",
    arg<bool>("node"), arg<Node>("s"), arg<Node>("t"), arg<double>("cutoff"), arg<std::uint64_t>("algorithm"));

}  // namespace

std::vector<PyMethodDef> disjoint_paths_methods() { return {row<DISJOINT_PATHS>()}; }

}  // namespace fennel::py
