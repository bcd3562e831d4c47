// Bindings of label propagation, Louvain's levels and modularity.
//
// A Louvain run keeps its level graph between the generator's steps in a
// capsule: louvain_start builds it from the graph, louvain_level runs one
// level, louvain_modularity scores the level's communities and
// louvain_aggregate turns them into the next level's graph. A generator runs
// one step at a time, so no two calls share a capsule at once.
#include "algorithms/community.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstdint>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>

namespace fennel::py {

namespace {

PyObject* propagate(const CoreGraph& g, const Positions& order) {
    // On directed rows labels can cycle for ever (NetworkX serves undirected graphs only).
    if (g.directed) return raise(not_implemented("label propagation needs an undirected graph"));
    return detached([&] { return label_propagation(g.succ, order); });
}

PyObject* intra_edges(const CoreGraph& g, const Positions& label, Node unlabelled, const Positions& keys) {
    return detached([&] { return intra_community_edges(g.succ, g.directed, label, unlabelled, keys); },
                    [](const IntraEdges& r) {
                        if (!r.complete) return Py_BuildValue("(OOI)", Py_None, Py_None, r.missing);
                        return Py_BuildValue("(KKO)", static_cast<unsigned long long>(r.intra),
                                             static_cast<unsigned long long>(r.edges), Py_None);
                    });
}

constexpr const char* LOUVAIN_CAPSULE = "fennel._core.Louvain";
constexpr Node NO_ROW = std::numeric_limits<Node>::max();

void free_louvain(PyObject* capsule) {
    delete static_cast<Louvain*>(PyCapsule_GetPointer(capsule, LOUVAIN_CAPSULE));
}

Louvain* louvain_of(PyObject* capsule) {
    return static_cast<Louvain*>(PyCapsule_GetPointer(capsule, LOUVAIN_CAPSULE));
}

// The weight column of attribute `weight` with each slot's kind (unit
// int weights for None or an attribute a native graph lacks).
struct Column {
    const std::vector<double>* values = nullptr;
    const Weights* facts = nullptr;

    double value(Slot s) const { return values ? (*values)[s] : 1.0; }
    std::uint8_t kind(Slot s) const { return facts ? facts->kind(s) : std::uint8_t{PY_INT}; }
};

Result<Column> column_of(const CoreGraph& g, const AttrName& weight) {
    auto values = g.weight_slice(weight, false);
    if (!values.ok()) return values.error();
    Column c{values.value(), weight ? g.find_weights(*weight) : nullptr};
    if (c.facts && !c.facts->kinds_known()) return not_implemented("the kind of every weight was not kept");
    return c;
}

// G's rows as NetworkX's dicts hold them (G._pred's own order when directed).
Result<WeightedRows> graph_rows(const CoreGraph& g, const AttrName& weight) {
    auto column = column_of(g, weight);
    if (!column.ok()) return column.error();
    const Column& c = column.value();
    WeightedRows rows;
    rows.directed = g.directed;
    rows.out = g.succ;
    rows.out_w.resize(g.succ.slot_count());
    rows.out_k.resize(g.succ.slot_count());
    for (Slot s = 0; s < g.succ.slot_count(); ++s) {
        rows.out_w[s] = c.value(s);
        rows.out_k[s] = c.kind(s);
    }
    if (g.directed) {
        auto pred = g.search_view(weight, true);
        if (!pred.ok()) return pred.error();
        // Kinds are kept per succ slot: the predecessor rows take the column's one kind.
        const int kind = c.facts ? c.facts->uniform_kind() : PY_INT;
        if (kind < 0) return not_implemented("directed weights of several kinds");
        rows.in = *pred.value().out;
        const Slot slots = rows.in.slot_count();
        rows.in_w = pred.value().weights ? *pred.value().weights : std::vector<double>(slots, 1.0);
        rows.in_k.assign(slots, static_cast<std::uint8_t>(kind));
    }
    return rows;
}

PyObject* modularity_tuple(const ModularityValue& v) {
    return Py_BuildValue("(ddiO)", v.value, v.total, static_cast<int>(v.total_kind),
                         v.degenerate ? Py_True : Py_False);
}

PyObject* graph_modularity(const CoreGraph& g, const AttrName& weight, const Positions& members,
                           const Positions& bounds, double resolution, bool compensated) {
    auto rows = graph_rows(g, weight);
    if (!rows.ok()) return raise(rows.error());
    return detached([&] { return modularity_value(rows.value(), members, bounds, resolution, compensated); },
                    modularity_tuple);
}

PyObject* graph_overlapping_modularity(const CoreGraph& g, const AttrName& weight, const Positions& members,
                                       const Positions& bounds, const Positions& count, bool compensated) {
    auto rows = graph_rows(g, weight);
    if (!rows.ok()) return raise(rows.error());
    return detached([&] { return overlapping_modularity_terms(rows.value(), members, bounds, count, compensated); },
                    [](const OverlappingTerms& t) {
                        return Py_BuildValue("(diNN)", t.total, static_cast<int>(t.total_kind), to_list(t.inner),
                                             to_list(t.degree));
                    });
}

PyObject* louvain_start(const CoreGraph& g, const AttrName& weight, double resolution, bool compensated,
                        bool scaled) {
    auto column = column_of(g, weight);
    if (!column.ok()) return raise(column.error());
    const Column& c = column.value();
    // louvain_partitions' first graph: G's nodes, then G.edges(data=weight,
    // default=1) added in order (an undirected edge from its endpoint listed
    // first).
    // A row that names each neighbour once (as a dict does) makes every pair
    // distinct: the level graph is then built without looking pairs up.
    EdgeSeq edges;
    edges.us.reserve(g.succ.slot_count());
    edges.vs.reserve(g.succ.slot_count());
    edges.w.reserve(g.succ.slot_count());
    edges.k.reserve(g.succ.slot_count());
    std::vector<Node> last_row(g.n, NO_ROW);
    bool distinct = true;
    for (Node u = 0; u < g.n; ++u) {
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            const Node v = g.succ.targets[s];
            distinct = distinct && last_row[v] != u;
            last_row[v] = u;
            if (!g.directed && v < u) continue;
            edges.us.push_back(u);
            edges.vs.push_back(v);
            edges.w.push_back(c.value(s));
            edges.k.push_back(c.kind(s));
        }
    }
    // SCALED takes m from G itself, whose rows (and so whose degree sums)
    // may list neighbours in another order than the graph built from them.
    std::optional<WeightedRows> own;
    if (scaled) {
        auto rows = graph_rows(g, weight);
        if (!rows.ok()) return raise(rows.error());
        own.emplace(std::move(rows.value()));
    }
    const LouvainForm form = scaled ? LouvainForm::SCALED : LouvainForm::DIVIDED;
    std::unique_ptr<Louvain> state;
    PyObject* failed = detached(
        [&]() -> Status {
            auto rows = rows_from_edges(g.n, g.directed, edges, false, distinct);
            if (!rows.ok()) return rows.error();
            const double m = graph_size(own ? *own : rows.value(), compensated);
            state = std::make_unique<Louvain>(std::move(rows.value()), m, resolution, compensated, form);
            return {};
        },
        [] { return Py_NewRef(Py_None); });
    if (failed == nullptr) return nullptr;
    Py_DECREF(failed);
    PyObject* capsule = PyCapsule_New(state.get(), LOUVAIN_CAPSULE, free_louvain);
    if (capsule != nullptr) state.release();
    return capsule;
}

// A level's node as NetworkX's level graph names it: G's node at the
// first level (`labels` is G's node list), the int c after.
PyRef level_label(PyObject* labels, Node c) {
    if (labels == Py_None) return PyRef::steal(PyLong_FromUnsignedLong(c));
    return PyRef::new_ref(PyList_GET_ITEM(labels, c));
}

// {key}, as the display builds it.
PyRef singleton(PyObject* key) {
    PyRef set = PyRef::steal(PySet_New(nullptr));
    if (set && PySet_Add(set.get(), key) < 0) return {};
    return set;
}

// set.update(other) (set.difference_update(other) when `remove`) with one
// set argument: `|=` and `-=` run the same table operations (a merge that
// may resize first, not a run of adds), so the table ends the same.
bool combine(PyObject* target, PyObject* other, bool remove) {
    PyObject* r = remove ? PyNumber_InPlaceSubtract(target, other) : PyNumber_InPlaceOr(target, other);
    Py_XDECREF(r);
    return r != nullptr;
}

// The level's node sets: for level node u, {labels[u]} at the first level,
// members[u] after.
PyRef level_members(PyObject* labels, PyObject* members, Node u) {
    if (members == Py_None) {
        PyRef label = level_label(labels, u);
        return label ? singleton(label.get()) : PyRef{};
    }
    return PyRef::new_ref(PyList_GET_ITEM(members, u));
}

// _one_level's set operations after its moves: partition[src] loses and
// partition[dst] gains the moved node's set, inner[src] loses and
// inner[dst] gains the node. A set's iteration order follows its own
// history only, and a set left empty is dropped, so only the communities
// still holding nodes are built, each by its own operations in move order:
// the same tables as NetworkX's sets, without the sets that end empty.
// `partition` None stands for the first level's singletons {labels[c]}.
PyObject* replay_level(const std::vector<Node>& moves, const std::vector<Node>& node2com, PyObject* partition,
                       PyObject* labels, PyObject* members) {
    const std::size_t n = node2com.size();
    const std::size_t count = moves.size() / 3;
    // Each kept community's moves, in order: a counting sort of the moves
    // by the kept communities they touch.
    std::vector<std::uint32_t> start(n + 1, 0);
    std::vector<std::uint8_t> kept(n, 0);
    for (Node c : node2com) kept[c] = 1;
    for (std::size_t i = 0; i < count; ++i) {
        for (int side = 1; side <= 2; ++side) {
            const Node c = moves[3 * i + side];
            if (kept[c]) ++start[c + 1];
        }
    }
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<std::uint32_t> touching(start[n]);
    std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < count; ++i) {
        for (int side = 1; side <= 2; ++side) {
            const Node c = moves[3 * i + side];
            if (kept[c]) touching[next[c]++] = static_cast<std::uint32_t>(i);
        }
    }
    PyRef parts = PyRef::steal(PyList_New(0));
    PyRef inner = PyRef::steal(PyList_New(0));
    if (!parts || !inner) return nullptr;
    for (Node c = 0; c < n; ++c) {
        if (!kept[c]) continue;
        PyRef label = level_label(labels, c);
        if (!label) return nullptr;
        PyRef part = partition == Py_None ? singleton(label.get()) : PyRef::new_ref(PyList_GET_ITEM(partition, c));
        PyRef own = singleton(label.get());
        if (!part || !own) return nullptr;
        for (std::uint32_t t = start[c]; t < start[c + 1]; ++t) {
            const std::uint32_t i = touching[t];
            const Node u = moves[3 * i];
            const bool leaves = moves[3 * i + 1] == c;
            PyRef com = level_members(labels, members, u);
            PyRef node = level_label(labels, u);
            if (!com || !node || !combine(part.get(), com.get(), leaves)) return nullptr;
            if ((leaves ? PySet_Discard(own.get(), node.get()) : PySet_Add(own.get(), node.get())) < 0) return nullptr;
        }
        if (PyList_Append(parts.get(), part.get()) < 0 || PyList_Append(inner.get(), own.get()) < 0) return nullptr;
    }
    return Py_BuildValue("(OOO)", parts.get(), inner.get(), count > 0 ? Py_True : Py_False);
}

bool is_list_of(PyObject* list, std::size_t n) {
    return PyList_CheckExact(list) && static_cast<std::size_t>(PyList_GET_SIZE(list)) == n;
}

PyObject* louvain_level(PyObject* capsule, const Positions& order, PyObject* partition, PyObject* labels,
                        PyObject* members) {
    Louvain* state = louvain_of(capsule);
    if (state == nullptr) return nullptr;
    const std::size_t n = state->level().n();
    if ((partition != Py_None && !is_list_of(partition, n)) || (labels != Py_None && !is_list_of(labels, n))
        || (members != Py_None && !is_list_of(members, n)) || (labels == Py_None) == (members == Py_None)) {
        PyErr_SetString(PyExc_TypeError, "partition, labels and members must be lists as long as the level");
        return nullptr;
    }
    return detached([&] { return state->one_level(order); },
                    [&](const LevelMoves& l) {
                        return replay_level(l.moves, state->communities(), partition, labels, members);
                    });
}

// The aggregated graphs' node sets (Louvain's _gen_graph or
// _aggregate_graph, Leiden's _create_aggregate_graph): for each part, an
// empty set updated with each member's set ({node} when `members` is None,
// members[node] for an int node) in the part's iteration order.
PyObject* community_unions(PyObject* inner, PyObject* members) {
    if (!PyList_CheckExact(inner) || (members != Py_None && !PyList_CheckExact(members))) {
        PyErr_SetString(PyExc_TypeError, "inner and members must be lists");
        return nullptr;
    }
    PyRef groups = PyRef::steal(PyList_New(0));
    if (!groups) return nullptr;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(inner); ++i) {
        PyRef part = PyRef::new_ref(PyList_GET_ITEM(inner, i));
        PyRef group = PyRef::steal(PySet_New(nullptr));
        PyRef it = PyRef::steal(PyObject_GetIter(part.get()));
        if (!group || !it) return nullptr;
        while (PyObject* raw = PyIter_Next(it.get())) {
            PyRef node = PyRef::steal(raw);
            PyRef com;
            if (members == Py_None) {
                com = singleton(node.get());
            } else {
                const Py_ssize_t u = PyLong_AsSsize_t(node.get());
                if (u == -1 && PyErr_Occurred()) return nullptr;
                if (u < 0 || u >= PyList_GET_SIZE(members)) {
                    PyErr_SetString(PyExc_IndexError, "a level node beyond the members");
                    return nullptr;
                }
                com = PyRef::new_ref(PyList_GET_ITEM(members, u));
            }
            if (!com || !combine(group.get(), com.get(), false)) return nullptr;
        }
        if (PyErr_Occurred() || PyList_Append(groups.get(), group.get()) < 0) return nullptr;
    }
    return groups.release();
}

PyObject* louvain_modularity(PyObject* capsule, const Positions& members, const Positions& bounds) {
    Louvain* state = louvain_of(capsule);
    if (state == nullptr) return nullptr;
    return detached(
        [&] { return modularity_value(state->level(), members, bounds, state->resolution(), state->compensated()); },
        modularity_tuple);
}

PyObject* louvain_aggregate(PyObject* capsule) {
    Louvain* state = louvain_of(capsule);
    if (state == nullptr) return nullptr;
    return detached([&] { return state->aggregate(); }, [] { return Py_NewRef(Py_None); });
}

constexpr auto LABEL_PROPAGATION = method<propagate>(
    "label_propagation", "Final labels of `label_propagation_communities`, visiting `order`.", arg<Positions>("order"));
constexpr auto MODULARITY = method<graph_modularity>(
    "modularity_value",
    "NetworkX's modularity of the communities members[bounds[c]:bounds[c + 1]]\n(each in set iteration order), as "
    "(value, degree total, its kind,\ndegenerate): degenerate when NetworkX divides by the squared total.",
    arg<AttrName>("weight"), arg<Positions>("members"), arg<Positions>("bounds"),
    arg<double>("resolution"), arg<bool>("compensated"));
constexpr auto OVERLAPPING_MODULARITY = method<graph_overlapping_modularity>(
    "overlapping_modularity_terms",
    "overlapping_modularity's terms for the communities members[bounds[c]:bounds[c + 1]]\n(each in set iteration "
    "order, count[u] communities holding u), as (degree total,\nits kind, [2 * L_c / total], [k_c / total]); the "
    "total alone with no members.",
    arg<AttrName>("weight"), arg<Positions>("members"), arg<Positions>("bounds"), arg<Positions>("count"),
    arg<bool>("compensated"));
constexpr auto INTRA_COMMUNITY_EDGES = method<intra_edges>(
    "intra_community_edges",
    "partition_quality's counts of the edges inside a community and of all edges, as\n(intra, edges, None), each "
    "pair counted keys[slot] times (once when keys is\nempty); (None, None, node) for the first edge endpoint "
    "labelled `unlabelled`.",
    arg<Positions>("label"), arg<Node>("unlabelled"), arg<Positions>("keys"));
constexpr auto LOUVAIN_START = method<louvain_start>(
    "louvain_start",
    "A Louvain run's state (a capsule) holding its first level graph; `scaled`:\nNetworkX 3.7's gains and m "
    "(3.4 to 3.6's otherwise).",
    arg<AttrName>("weight"), arg<double>("resolution"), arg<bool>("compensated"), arg<bool>("scaled"));

}  // namespace

std::vector<PyMethodDef> community_methods() {
    return {row<LABEL_PROPAGATION>(), row<MODULARITY>(), row<OVERLAPPING_MODULARITY>(), row<INTRA_COMMUNITY_EDGES>(), row<LOUVAIN_START>()};
}

namespace {

constexpr auto LOUVAIN_LEVEL = function<louvain_level>(
    "_louvain_level",
    "One Louvain level over the state's graph visiting `order`, its moves applied\nto `partition` (None: the "
    "singletons of `labels`) and to the level's own\nsingletons: (partition, inner, moved), empty sets dropped. "
    "`labels`: G's\nnodes at the first level (None after: the ints); `members`: each level\nnode's set of G's nodes "
    "(None at the first level).",
    arg<PyObject*>("state"), arg<Positions>("order"), arg<PyObject*>("partition"), arg<PyObject*>("labels"),
    arg<PyObject*>("members"));
constexpr auto COMMUNITY_UNIONS = function<community_unions>(
    "_community_unions",
    "An aggregated graph's node sets: per part of `inner`, the union of its\nnodes' `members` sets ({node} when "
    "`members` is None), updated in\niteration order.",
    arg<PyObject*>("inner"), arg<PyObject*>("members"));
constexpr auto LOUVAIN_MODULARITY = function<louvain_modularity>(
    "_louvain_modularity", "`modularity` over the state's level graph.", arg<PyObject*>("state"),
    arg<Positions>("members"), arg<Positions>("bounds"));
constexpr auto LOUVAIN_AGGREGATE = function<louvain_aggregate>(
    "_louvain_aggregate", "Replaces the state's graph by the graph of its last level's communities.",
    arg<PyObject*>("state"));

}  // namespace

std::vector<PyMethodDef> louvain_functions() {
    return {row<LOUVAIN_LEVEL>(), row<COMMUNITY_UNIONS>(), row<LOUVAIN_MODULARITY>(), row<LOUVAIN_AGGREGATE>()};
}

}  // namespace fennel::py
