// Bindings of NetworkX 3.7's Leiden levels.
//
// A run keeps its level graph between the generator's steps in a capsule:
// leiden_start builds it from the graph, _leiden_move runs the local moving,
// _leiden_refine the refinement up to each draw the caller makes with its
// own generator, _leiden_aggregate scores and aggregates the level. A
// generator runs one step at a time, so no two calls share a capsule at once.
#include "algorithms/community_leiden.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>
#include <memory>

namespace fennel::py {

namespace {

constexpr const char* LEIDEN_CAPSULE = "fennel._core.Leiden";

void free_leiden(PyObject* capsule) { delete static_cast<Leiden*>(PyCapsule_GetPointer(capsule, LEIDEN_CAPSULE)); }

Leiden* leiden_of(PyObject* capsule) { return static_cast<Leiden*>(PyCapsule_GetPointer(capsule, LEIDEN_CAPSULE)); }

PyObject* leiden_start(const CoreGraph& g, const AttrName& weight, bool by_modularity, double resolution,
                       bool int_resolution, bool compensated, const BytesRef& hashes,
                       const std::optional<Positions>& us, const std::optional<Positions>& vs,
                       const std::optional<Reals>& ws) {
    const Py_ssize_t bytes = PyBytes_GET_SIZE(hashes.obj);
    if (bytes != static_cast<Py_ssize_t>(g.n * sizeof(std::int64_t))) {
        return raise(value_error("hashes must hold one int64 per node"));
    }
    std::vector<std::int64_t> hash(g.n);
    if (g.n > 0) std::memcpy(hash.data(), PyBytes_AS_STRING(hashes.obj), static_cast<std::size_t>(bytes));
    auto values = g.weight_slice(weight, false);
    if (!values.ok()) return raise(values.error());
    const std::vector<double>* w = values.value();
    // leiden_partitions' first graph: G's nodes, then G.edges(data=weight,
    // default=1) added in order (an undirected edge from its endpoint listed
    // first), a pair met again adding its weight. The caller admits integer
    // weights only, and lists the edges itself when some are parallel (the
    // rows keep one slot per pair).
    EdgeSeq edges;
    if (us || vs || ws) {
        if (!us || !vs || !ws || us->size() != vs->size() || us->size() != ws->size()) {
            return raise(value_error("us, vs and ws must list the same edges"));
        }
        edges.us = *us;
        edges.vs = *vs;
        edges.w = *ws;
        edges.k.assign(ws->size(), PY_INT);
    }
    for (Node u = 0; u < g.n && !us; ++u) {
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            const Node v = g.succ.targets[s];
            if (!g.directed && v < u) continue;
            edges.us.push_back(u);
            edges.vs.push_back(v);
            edges.w.push_back(w ? (*w)[s] : 1.0);
            edges.k.push_back(PY_INT);
        }
    }
    const LeidenMetric metric = by_modularity ? LeidenMetric::MODULARITY : LeidenMetric::CPM;
    std::unique_ptr<Leiden> state;
    PyObject* done = detached(
        [&]() -> Status {
            auto rows = rows_from_edges(g.n, g.directed, edges, false);
            if (!rows.ok()) return rows.error();
            state = std::make_unique<Leiden>(std::move(rows.value()), std::move(hash), metric, resolution,
                                             int_resolution, compensated);
            return state->start();
        },
        [] { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    PyObject* capsule = PyCapsule_New(state.get(), LEIDEN_CAPSULE, free_leiden);
    if (capsule != nullptr) state.release();
    return capsule;
}

PyObject* leiden_move(PyObject* capsule, const Positions& order) {
    Leiden* state = leiden_of(capsule);
    if (state == nullptr) return nullptr;
    return detached([&] { return state->move_nodes(order); }, [] { return Py_NewRef(Py_None); });
}

PyObject* leiden_refine(PyObject* capsule, PyObject* pick) {
    Leiden* state = leiden_of(capsule);
    if (state == nullptr) return nullptr;
    Node chosen = 0;
    if (pick != Py_None) {
        const unsigned long v = PyLong_AsUnsignedLong(pick);
        if (v == static_cast<unsigned long>(-1) && PyErr_Occurred()) return nullptr;
        chosen = static_cast<Node>(v);
    }
    const Node* given = pick == Py_None ? nullptr : &chosen;
    return detached([&] { return state->refine(given); },
                    [state](const LeidenDraw& d) -> PyObject* {
                        if (d.candidates.empty()) return Py_NewRef(Py_None);
                        PyObject* cands = to_list(d.candidates);
                        if (cands == nullptr) return nullptr;
                        PyObject* deltas = to_list(d.deltas);
                        if (deltas == nullptr) {
                            Py_DECREF(cands);
                            return nullptr;
                        }
                        return Py_BuildValue("(NNO)", cands, deltas, state->int_deltas() ? Py_True : Py_False);
                    });
}

PyObject* leiden_aggregate(PyObject* capsule) {
    Leiden* state = leiden_of(capsule);
    if (state == nullptr) return nullptr;
    return detached([&] { return state->aggregate(); },
                    [](const LeidenLevel& l) -> PyObject* {
                        PyObject* members = to_list(l.members);
                        if (members == nullptr) return nullptr;
                        PyObject* bounds = to_list(l.bounds);
                        if (bounds == nullptr) {
                            Py_DECREF(members);
                            return nullptr;
                        }
                        return Py_BuildValue("(NNO)", members, bounds, l.improved ? Py_True : Py_False);
                    });
}

constexpr auto LEIDEN_START = method<leiden_start>(
    "leiden_start",
    "A Leiden run's state (a capsule) over the graph NetworkX's leiden_partitions\ncopies G into, its singleton quality "
    "scored; `hashes`: hash() of each node\nas int64 bytes; us, vs, ws: G.edges(data=weight, default=1) when "
    "listed by\nthe caller.",
    arg<AttrName>("weight"), arg<bool>("by_modularity"), arg<double>("resolution"), arg<bool>("int_resolution"),
    arg<bool>("compensated"), arg<BytesRef>("hashes"), kwarg<std::optional<Positions>>("us", none),
    kwarg<std::optional<Positions>>("vs", none), kwarg<std::optional<Reals>>("ws", none));

constexpr auto LEIDEN_MOVE = function<leiden_move>(
    "_leiden_move", "_move_nodes_fast over the state's level graph, queueing `order` first.",
    arg<PyObject*>("state"), arg<Positions>("order"));
constexpr auto LEIDEN_REFINE = function<leiden_refine>(
    "_leiden_refine",
    "The refinement up to its next draw: (candidates, deltas, int deltas), or\nNone once every community is refined; "
    "`pick`: the last draw's candidate.",
    arg<PyObject*>("state"), arg<PyObject*>("pick"));
constexpr auto LEIDEN_AGGREGATE = function<leiden_aggregate>(
    "_leiden_aggregate",
    "The refined communities (members, bounds) and whether quality improved;\nthe state's graph becomes their "
    "aggregate.",
    arg<PyObject*>("state"));

}  // namespace

std::vector<PyMethodDef> leiden_methods() { return {row<LEIDEN_START>()}; }

std::vector<PyMethodDef> leiden_functions() {
    return {row<LEIDEN_MOVE>(), row<LEIDEN_REFINE>(), row<LEIDEN_AGGREGATE>()};
}

}  // namespace fennel::py
