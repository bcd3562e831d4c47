// Bindings of topological_generations, the in-degrees it leaves, dag_longest_path,
// is_aperiodic's divisor and the edges transitive closures and reductions add.
#include "algorithms/dag.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>
#include <memory>

namespace fennel::py {

namespace {

// The generations as position lists, or as lists of `nodes`' objects (one
// per position) when given.
PyObject* generations(const CoreGraph& g, const std::optional<TupleRef>& nodes) {
    if (nodes && static_cast<Count>(PyTuple_GET_SIZE(nodes->obj)) != g.n) {
        return raise(value_error("nodes must hold one object per node"));
    }
    return detached([&] { return fennel::generations(g.succ, g.in_rows()); },
                    [&](const Generations& found) {
                        auto part = [&](std::size_t k) -> PyObject* {
                            const std::size_t start = found.bounds[k];
                            PyObject* list = PyList_New(static_cast<Py_ssize_t>(found.bounds[k + 1] - start));
                            if (list == nullptr) return nullptr;
                            for (std::size_t i = start; i < found.bounds[k + 1]; ++i) {
                                const Node v = found.order[i];
                                PyObject* item = nodes ? Py_NewRef(PyTuple_GET_ITEM(nodes->obj, v)) : to_python(v);
                                if (item == nullptr) {
                                    Py_DECREF(list);
                                    return nullptr;
                                }
                                PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i - start), item);
                            }
                            return list;
                        };
                        return tuple_from([&] { return list_from(found.bounds.size() - 1, part); },
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

// hash() of each of `count` nodes, as int64 bytes.
bool read_hashes(const BytesRef& bytes, Count count, std::vector<std::int64_t>& out) {
    const Py_ssize_t size = PyBytes_GET_SIZE(bytes.obj);
    if (size != static_cast<Py_ssize_t>(count * sizeof(std::int64_t))) {
        raise(value_error("hashes must hold one int64 per node"));
        return false;
    }
    out.resize(count);
    if (count > 0) std::memcpy(out.data(), PyBytes_AS_STRING(bytes.obj), static_cast<std::size_t>(size));
    return true;
}

PyObject* added_edges(const AddedEdges& added) {
    return tuple_from([&] { return to_python(added.tails); }, [&] { return to_python(added.heads); });
}

PyObject* closure(const CoreGraph& g, const BytesRef& hashes, std::uint64_t kind) {
    std::vector<std::int64_t> hash;
    if (!read_hashes(hashes, g.n, hash)) return nullptr;
    if (kind > static_cast<std::uint64_t>(ClosureKind::WITH_SELF)) return raise(value_error("unknown closure kind"));
    const auto k = static_cast<ClosureKind>(kind);
    return detached([&] { return closure_edges(g.succ, g.directed, hash, k); }, added_edges);
}

PyObject* closure_dag(const CoreGraph& g, const BytesRef& hashes, const Positions& order) {
    std::vector<std::int64_t> hash;
    if (!read_hashes(hashes, g.n, hash)) return nullptr;
    for (Node p : order) {
        if (p >= g.n) return raise(index_error());
    }
    return detached([&] { return closure_dag_edges(g.succ, hash, order); }, added_edges);
}

PyObject* reduction(const CoreGraph& g, const BytesRef& hashes) {
    std::vector<std::int64_t> hash;
    if (!read_hashes(hashes, g.n, hash)) return nullptr;
    return detached([&] { return reduction_edges(g.succ, hash); }, added_edges);
}

PyObject* ranked_order(const CoreGraph& g, const Positions& rank) {
    if (rank.size() != g.n) return raise(value_error("rank must hold one entry per node"));
    return detached([&] { return ranked_topological_order(g.succ, g.in_rows(), rank); },
                    [](const RankedOrder& found) {
                        return tuple_from([&] { return to_python(found.order); },
                                          [&] { return to_python(found.has_cycle); });
                    });
}

// antichains' search keeps its stack between the generator's steps in a
// capsule; a generator runs one step at a time, so no two calls share it.
constexpr const char* ANTICHAINS_CAPSULE = "fennel._core.Antichains";

void free_antichains(PyObject* capsule) {
    delete static_cast<Antichains*>(PyCapsule_GetPointer(capsule, ANTICHAINS_CAPSULE));
}

PyObject* antichain_search(const CoreGraph& g, const Positions& order) {
    for (Node p : order) {
        if (p >= g.n) return raise(index_error());
    }
    std::unique_ptr<Antichains> state;
    PyObject* done = detached(
        [&]() -> Status {
            state = std::make_unique<Antichains>(g.succ, order);
            return {};
        },
        [] { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    PyObject* capsule = PyCapsule_New(state.get(), ANTICHAINS_CAPSULE, free_antichains);
    if (capsule != nullptr) state.release();
    return capsule;
}

// Each antichain as a list of the `items` objects at its indices.
PyObject* antichain_lists(const Antichains::Batch& batch, PyObject* items) {
    return list_from(batch.bounds.size() - 1, [&](std::size_t c) -> PyObject* {
        const std::size_t start = batch.bounds[c];
        PyObject* list = PyList_New(static_cast<Py_ssize_t>(batch.bounds[c + 1] - start));
        if (list == nullptr) return nullptr;
        for (std::size_t i = start; i < batch.bounds[c + 1]; ++i) {
            PyList_SET_ITEM(list, i - start, Py_NewRef(PyTuple_GET_ITEM(items, batch.items[i])));
        }
        return list;
    });
}

PyObject* antichain_next(PyObject* capsule, std::uint64_t limit, const TupleRef& items) {
    auto* state = static_cast<Antichains*>(PyCapsule_GetPointer(capsule, ANTICHAINS_CAPSULE));
    if (state == nullptr) return nullptr;
    if (static_cast<std::size_t>(PyTuple_GET_SIZE(items.obj)) != state->order_size()) {
        return raise(value_error("items must hold one object per entry of the order"));
    }
    return detached([&] { return state->next(static_cast<std::size_t>(limit)); },
                    [&](const Antichains::Batch& b) { return antichain_lists(b, items.obj); });
}

// all_topological_sorts' state between the generator's steps, as for antichains.
constexpr const char* SORTS_CAPSULE = "fennel._core.TopologicalSorts";

void free_sorts(PyObject* capsule) {
    delete static_cast<TopologicalSorts*>(PyCapsule_GetPointer(capsule, SORTS_CAPSULE));
}

PyObject* topological_sorts(const CoreGraph& g, const BytesRef& parallel) {
    std::vector<std::int64_t> counts;
    if (PyBytes_GET_SIZE(parallel.obj) != 0 && !read_int64s(parallel, g.succ.slot_count(), counts)) return nullptr;
    std::unique_ptr<TopologicalSorts> state;
    PyObject* done = detached(
        [&]() -> Status {
            state = std::make_unique<TopologicalSorts>(g.succ, std::move(counts));
            return {};
        },
        [] { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    PyObject* capsule = PyCapsule_New(state.get(), SORTS_CAPSULE, free_sorts);
    if (capsule != nullptr) state.release();
    return capsule;
}

// (sorts, cycle, done): each sort a list of the `nodes` objects.
PyObject* sort_lists(const TopologicalSorts::Batch& batch, PyObject* nodes) {
    const std::size_t n = static_cast<std::size_t>(PyTuple_GET_SIZE(nodes));
    PyObject* sorts = list_from(batch.count, [&](std::size_t c) -> PyObject* {
        PyObject* list = PyList_New(static_cast<Py_ssize_t>(n));
        if (list == nullptr) return nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            PyList_SET_ITEM(list, i, Py_NewRef(PyTuple_GET_ITEM(nodes, batch.nodes[c * n + i])));
        }
        return list;
    });
    if (sorts == nullptr) return nullptr;
    return Py_BuildValue("(NOO)", sorts, batch.cycle ? Py_True : Py_False, batch.done ? Py_True : Py_False);
}

PyObject* topological_sorts_next(PyObject* capsule, std::uint64_t limit, const TupleRef& nodes) {
    auto* state = static_cast<TopologicalSorts*>(PyCapsule_GetPointer(capsule, SORTS_CAPSULE));
    if (state == nullptr) return nullptr;
    if (static_cast<std::size_t>(PyTuple_GET_SIZE(nodes.obj)) != state->node_count()) {
        return raise(value_error("nodes must hold one object per node"));
    }
    return detached([&] { return state->next(static_cast<std::size_t>(limit)); },
                    [&](const TopologicalSorts::Batch& b) { return sort_lists(b, nodes.obj); });
}

PyObject* topological_sorts_state(PyObject* capsule) {
    auto* state = static_cast<TopologicalSorts*>(PyCapsule_GetPointer(capsule, SORTS_CAPSULE));
    if (state == nullptr) return nullptr;
    const TopologicalSorts::State s = state->state();
    std::vector<std::uint64_t> count(s.count.begin(), s.count.end());
    return tuple_from([&] { return to_python(count); }, [&] { return to_python(s.d); },
                      [&] { return to_python(s.bases); }, [&] { return to_python(s.current); });
}

constexpr auto GENERATIONS = method<generations>(
    "generations", "`(generations, has_cycle)`: position lists, or lists of `nodes`' objects\n(one per node) when given.",
    kwarg<std::optional<TupleRef>>("nodes", none));
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

constexpr auto CLOSURE = method<closure>(
    "closure_edges",
    "`(tails, heads)`: the edges transitive_closure adds, in its order; `kind`\n0, 1, 2 for reflexive False, None, "
    "True; `hashes`: hash() of each node\nas int64 bytes.",
    arg<BytesRef>("hashes"), arg<std::uint64_t>("kind"));

constexpr auto CLOSURE_DAG = method<closure_dag>(
    "closure_dag_edges",
    "`(steps, heads)`: the edges transitive_closure_dag adds over `order`, in\nits order, each tail as its index "
    "into `order`.",
    arg<BytesRef>("hashes"), arg<Positions>("order"));

constexpr auto REDUCTION = method<reduction>(
    "reduction_edges", "`(tails, heads)`: transitive_reduction's edges of a DAG, in its order.", arg<BytesRef>("hashes"));

constexpr auto RANKED_ORDER = method<ranked_order>(
    "ranked_topological_order",
    "`(order, has_cycle)`: lexicographical_topological_sort's order when the\nnodes compare as their `rank` does.",
    arg<Positions>("rank"));

constexpr auto ANTICHAIN_SEARCH = method<antichain_search>(
    "antichain_search", "antichains' search over `order` (positions), as a capsule for\n_antichain_next.",
    arg<Positions>("order"));

constexpr auto ANTICHAIN_NEXT = function<antichain_next>(
    "_antichain_next",
    "The search's next antichains, at most `limit`, each a list of the `items`\nobjects at its indices into the order; "
    "fewer once it is done.",
    arg<PyObject*>("state"), arg<std::uint64_t>("limit"), arg<TupleRef>("items"));

constexpr auto TOPOLOGICAL_SORTS = method<topological_sorts>(
    "topological_sorts",
    "all_topological_sorts' walk (a capsule for _topological_sorts_next);\n`parallel`: the edge count of each slot "
    "of G._adj's rows as int64 bytes\n(empty: one edge per slot).",
    arg<BytesRef>("parallel"));

constexpr auto TOPOLOGICAL_SORTS_NEXT = function<topological_sorts_next>(
    "_topological_sorts_next",
    "`(sorts, cycle, done)`: the walk's next sorts (at most `limit`), each a list\nof `nodes` objects; `cycle`: "
    "NetworkX raises after them; `done`: none\ncomes after them.",
    arg<PyObject*>("state"), arg<std::uint64_t>("limit"), arg<TupleRef>("nodes"));

constexpr auto TOPOLOGICAL_SORTS_STATE = function<topological_sorts_state>(
    "_topological_sorts_state",
    "`(count, D, bases, sort)` right after the last sort handed out, as\npositions (D from its front).",
    arg<PyObject*>("state"));

}  // namespace

std::vector<PyMethodDef> dag_functions() {
    return {row<ANTICHAIN_NEXT>(), row<TOPOLOGICAL_SORTS_NEXT>(), row<TOPOLOGICAL_SORTS_STATE>()};
}

std::vector<PyMethodDef> dag_methods() {
    return {row<GENERATIONS>(), row<INDEGREES>(), row<LONGEST_PATH>(), row<PERIOD>(),
            row<CLOSURE>(),     row<CLOSURE_DAG>(), row<REDUCTION>(), row<RANKED_ORDER>(), row<ANTICHAIN_SEARCH>(),
            row<TOPOLOGICAL_SORTS>()};
}

}  // namespace fennel::py
