// Bindings of the flow-based connectivity: the auxiliary digraph and its
// residual network are built from the graph on every call (O(n + m), small
// beside the flows), then the flows or cuts the caller asks for.
#include "algorithms/connectivity.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <limits>

namespace fennel::py {

namespace {

Auxiliary kind_of(bool node) { return node ? Auxiliary::Nodes : Auxiliary::Edges; }

// The ends of each pair in H: s as sB and t as tA in the node auxiliary.
bool ends_in(const CoreGraph& g, const Positions& ss, const Positions& ts) {
    if (ss.size() != ts.size()) {
        raise(value_error("sources and targets must pair up"));
        return false;
    }
    for (std::size_t i = 0; i < ss.size(); ++i) {
        if (ss[i] >= g.n || ts[i] >= g.n) {
            raise(index_error());
            return false;
        }
    }
    return true;
}

PyObject* with_rows(PyObject* head, const Csr& rows) {
    if (head == nullptr) return nullptr;
    return Py_BuildValue("(NNN)", head, to_python(rows.offsets), to_python(rows.targets));
}

PyObject* unit_flows(const CoreGraph& g, bool node, const Positions& ss, const Positions& ts, double cutoff) {
    if (!ends_in(g, ss, ts)) return nullptr;
    return detached(
        [&]() -> Result<std::vector<std::int64_t>> {
        const Residual r = unit_residual(auxiliary_graph(g, kind_of(node)));
        std::vector<Node> from(ss), to(ts);
        for (std::size_t i = 0; node && i < from.size(); ++i) {
            from[i] = 2 * from[i] + 1;
            to[i] = 2 * to[i];
        }
        return pair_flows(r, from, to, cutoff);
        },
        [](const std::vector<std::int64_t>& values) {
            return list_from(values.size(), [&](std::size_t i) { return PyLong_FromLongLong(values[i]); });
        });
}

struct Cut {
    std::int64_t chosen = -1;
    std::vector<Node> reaching;
    Csr rows;
};

PyObject* unit_cut(const CoreGraph& g, bool node, Node s, Node t) {
    if (s >= g.n || t >= g.n) return raise(index_error());
    if (!node && s == t) return raise(value_error("s and t must differ"));
    return detached(
        [&] {
            Cut cut;
            AuxiliaryGraph h = auxiliary_graph(g, kind_of(node));
            const Residual r = unit_residual(h);
            cut.reaching = node ? cut_reaching(r, 2 * s + 1, 2 * t) : cut_reaching(r, s, t);
            cut.rows = std::move(h.rows);
            return cut;
        },
        [](const Cut& cut) { return with_rows(to_python(cut.reaching), cut.rows); });
}

PyObject* smallest(const CoreGraph& g, bool node, const Positions& ss, const Positions& ts, const Flags& skip,
                   std::uint64_t initial_size) {
    if (!ends_in(g, ss, ts)) return nullptr;
    if (skip.size() != ss.size()) return raise(value_error("skip must hold one flag per pair"));
    for (std::size_t i = 0; i < ss.size(); ++i) {
        if (!node && !skip[i] && ss[i] == ts[i]) return raise(value_error("s and t must differ"));
    }
    return detached(
        [&]() -> Result<Cut> {
            Cut cut;
            AuxiliaryGraph h = auxiliary_graph(g, kind_of(node));
            Result<CutChoice> choice = smallest_cut(unit_residual(h), kind_of(node), ss, ts, skip, initial_size);
            if (!choice.ok()) return choice.error();
            cut.chosen = choice.value().chosen;
            cut.reaching = std::move(choice.value().reaching);
            cut.rows = std::move(h.rows);
            return cut;
        },
        [](const Cut& cut) {
            return with_rows(Py_BuildValue("(LN)", static_cast<long long>(cut.chosen), to_python(cut.reaching)),
                             cut.rows);
        });
}

// NetworkX's neighbours of v for node connectivity: G.predecessors(v) then
// G.successors(v) on a digraph (the exact predecessor order loaded), G[v]
// otherwise.
PyObject* around(const CoreGraph& g, Node v) {
    if (v >= g.n) return raise(index_error());
    if (!g.directed) return to_list(g.succ.row(v));
    auto view = g.search_view(std::nullopt, true);
    if (!view.ok()) return raise(view.error());
    const auto pred = view.value().out->row(v);
    const auto succ = g.succ.row(v);
    std::vector<Node> out(pred.begin(), pred.end());
    out.insert(out.end(), succ.begin(), succ.end());
    return to_list(out);
}

constexpr auto AROUND = method<around>(
    "connectivity_neighbors",
    "v's predecessors in G._pred order then its successors (a digraph, its exact\n"
    "predecessor order loaded), or its row.",
    arg<Node>("v"));
constexpr auto UNIT_FLOWS = method<unit_flows>(
    "unit_flows",
    "Edmonds–Karp's flow value from ss[i] to ts[i] over the residual network of\n"
    "the edge (node=False) or node (node=True: s as sB, t as tA) auxiliary\n"
    "digraph, every pair on the worker pool, each run stopping once its value\n"
    "reaches `cutoff`.",
    arg<bool>("node"), arg<Positions>("ss"), arg<Positions>("ts"), arg<double>("cutoff"));
constexpr auto UNIT_CUT = method<unit_cut>(
    "unit_cut",
    "minimum_cut over the auxiliary digraph's residual network: (the nodes of H\n"
    "reaching t in breadth-first order, H's row offsets, H's row targets).",
    arg<bool>("node"), arg<Node>("s"), arg<Node>("t"));
constexpr auto SMALLEST_CUT = method<smallest>(
    "smallest_cut",
    "The cuts of minimum_edge_cut or minimum_node_cut, the pairs on the worker\n"
    "pool: ((index of the last cut no larger than the best\n"
    "before it, -1 for none beating `initial_size`; its nodes of H reaching t),\n"
    "H's row offsets, H's row targets). Pairs flagged in `skip` cut nothing.",
    arg<bool>("node"), arg<Positions>("ss"), arg<Positions>("ts"), arg<Flags>("skip"),
    arg<std::uint64_t>("initial_size"));

}  // namespace

std::vector<PyMethodDef> connectivity_methods() {
    return {row<AROUND>(), row<UNIT_FLOWS>(), row<UNIT_CUT>(), row<SMALLEST_CUT>()};
}

}  // namespace fennel::py
