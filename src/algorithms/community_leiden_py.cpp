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

#include <cmath>
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
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
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

PyObject* draw_request(const Leiden& state, const LeidenDraw& d) {
    if (d.candidates.empty()) return Py_NewRef(Py_None);
    PyObject* cands = to_list(d.candidates);
    if (cands == nullptr) return nullptr;
    PyObject* deltas = to_list(d.deltas);
    if (deltas == nullptr) {
        Py_DECREF(cands);
        return nullptr;
    }
    return Py_BuildValue("(NNO)", cands, deltas, state.int_deltas() ? Py_True : Py_False);
}

// _merge_node_subset's draw, seed.choices(candidates, weights=[math.exp((x -
// max(deltas)) / theta) for x in deltas])[0], where choices is
// random.Random's own: the weights accumulated left to right, their total
// plus 0.0, one seed.random() scaled by the total and bisected (right) among
// the first n - 1 sums. Integer deltas (CPM with an int resolution) and an
// int theta within 2**53 give the same doubles as the floats here: their
// differences are exact and int / int rounds as the double quotient does.
// False (nothing raised) when a weight or the total is not a finite positive
// number: there math.exp or choices raises, and the caller draws in Python.
bool draw_in_place(PyObject* seed, const LeidenDraw& d, double theta, Node& chosen, bool& failed) {
    failed = false;
    if (!(theta > 0.0)) return false;  // / 0 raises in Python
    double top = d.deltas.front();
    for (double x : d.deltas) {
        if (x > top) top = x;
    }
    std::vector<double> sums(d.deltas.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < d.deltas.size(); ++i) {
        const double w = std::exp((d.deltas[i] - top) / theta);
        if (!std::isfinite(w)) return false;
        sum = i == 0 ? w : sum + w;
        sums[i] = sum;
    }
    const double total = sums.back() + 0.0;
    if (!(total > 0.0) || !std::isfinite(total)) return false;
    PyRef random = PyRef::steal(PyObject_GetAttrString(seed, "random"));
    PyRef drawn = random ? PyRef::steal(PyObject_CallNoArgs(random.get())) : PyRef{};
    const double r = drawn ? PyFloat_AsDouble(drawn.get()) : -1.0;
    if (!drawn || (r == -1.0 && PyErr_Occurred())) {
        failed = true;
        return false;
    }
    const double x = r * total;
    std::size_t lo = 0, hi = sums.size() - 1;
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (x < sums[mid]) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    chosen = d.candidates[lo];
    return true;
}

// The refinement with every draw made here from `seed` (whose choices is
// random.Random's): None once every community is refined, or the request
// of a draw whose weights random.Random.choices would refuse.
PyObject* leiden_refine_drawing(PyObject* capsule, PyObject* seed, double theta) {
    Leiden* state = leiden_of(capsule);
    if (state == nullptr) return nullptr;
    Node chosen = 0;
    const Node* given = nullptr;
    for (;;) {
        Result<LeidenDraw> step = [&] {
            Detached d;
            return state->refine(given);
        }();
        if (!step.ok()) return raise(step.error());
        const LeidenDraw& d = step.value();
        if (d.candidates.empty()) return Py_NewRef(Py_None);
        bool failed = false;
        if (!draw_in_place(seed, d, theta, chosen, failed)) {
            return failed ? nullptr : draw_request(*state, d);
        }
        given = &chosen;
    }
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
                    [state](const LeidenDraw& d) { return draw_request(*state, d); });
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
constexpr auto LEIDEN_REFINE_DRAWING = function<leiden_refine_drawing>(
    "_leiden_refine_drawing",
    "The refinement with its draws made from `seed` as random.Random.choices\nmakes them (weights exp((delta - "
    "max) / theta)): None once every community\nis refined, or the request of a draw choices would refuse.",
    arg<PyObject*>("state"), arg<PyObject*>("seed"), arg<double>("theta"));
constexpr auto LEIDEN_AGGREGATE = function<leiden_aggregate>(
    "_leiden_aggregate",
    "The refined communities (members, bounds) and whether quality improved;\nthe state's graph becomes their "
    "aggregate.",
    arg<PyObject*>("state"));

}  // namespace

std::vector<PyMethodDef> leiden_methods() { return {row<LEIDEN_START>()}; }

std::vector<PyMethodDef> leiden_functions() {
    return {row<LEIDEN_MOVE>(), row<LEIDEN_REFINE>(), row<LEIDEN_REFINE_DRAWING>(), row<LEIDEN_AGGREGATE>()};
}

}  // namespace fennel::py
