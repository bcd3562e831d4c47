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

#include <memory>
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
    EdgeSeq edges;
    for (Node u = 0; u < g.n; ++u) {
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            const Node v = g.succ.targets[s];
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
            auto rows = rows_from_edges(g.n, g.directed, edges, false);
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

PyObject* louvain_level(PyObject* capsule, const Positions& order) {
    Louvain* state = louvain_of(capsule);
    if (state == nullptr) return nullptr;
    return detached([&] { return state->one_level(order); }, [](const LevelMoves& l) { return to_list(l.moves); });
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
    "One Louvain level over the state's graph visiting `order`: the moves as a\nflat list of (node, left, joined).",
    arg<PyObject*>("state"), arg<Positions>("order"));
constexpr auto LOUVAIN_MODULARITY = function<louvain_modularity>(
    "_louvain_modularity", "`modularity` over the state's level graph.", arg<PyObject*>("state"),
    arg<Positions>("members"), arg<Positions>("bounds"));
constexpr auto LOUVAIN_AGGREGATE = function<louvain_aggregate>(
    "_louvain_aggregate", "Replaces the state's graph by the graph of its last level's communities.",
    arg<PyObject*>("state"));

}  // namespace

std::vector<PyMethodDef> louvain_functions() {
    return {row<LOUVAIN_LEVEL>(), row<LOUVAIN_MODULARITY>(), row<LOUVAIN_AGGREGATE>()};
}

}  // namespace fennel::py
