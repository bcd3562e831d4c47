// Bindings of the lowest common ancestors.
//
// Both walks keep their state between the generators' steps in capsules:
// tree_lca and dag_lca build them from the graph, _tree_lca_next,
// _dag_lca_next and _dag_lca_pairs hand out the next answers. A generator
// runs one step at a time, so no two calls share a capsule at once.
#include "algorithms/lowest_common_ancestors.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <memory>

namespace fennel::py {

namespace {

constexpr const char* TREE_CAPSULE = "fennel._core.TreeLca";
constexpr const char* DAG_CAPSULE = "fennel._core.DagLca";

void free_tree(PyObject* capsule) { delete static_cast<TreeLca*>(PyCapsule_GetPointer(capsule, TREE_CAPSULE)); }

void free_dag(PyObject* capsule) { delete static_cast<DagLca*>(PyCapsule_GetPointer(capsule, DAG_CAPSULE)); }

template <class State>
PyObject* capsule_of(std::unique_ptr<State>& state, const char* name, PyCapsule_Destructor free) {
    PyObject* capsule = PyCapsule_New(state.get(), name, free);
    if (capsule != nullptr) state.release();
    return capsule;
}

// G._pred's rows in their own order (loaded by the caller).
Result<const Csr*> exact_pred(const CoreGraph& g) {
    if (!g.has_exact_pred()) return value_error("load G._pred's order first");
    auto view = g.search_view(std::nullopt, true);
    if (!view.ok()) return view.error();
    return view.value().out;
}

PyObject* tree_root(const CoreGraph& g) {
    if (!g.directed) return raise(value_error("a tree's root needs a directed graph"));
    const TreeRoot found = fennel::tree_root(g.in_rows());
    return Py_BuildValue("(iI)", static_cast<int>(found.problem), found.root);
}

PyObject* tree_lca(const CoreGraph& g, Node root, const Positions& offsets, const Positions& members,
                   const Positions& flags) {
    if (!g.directed) return raise(value_error("tree_lca needs a directed graph"));
    if (root >= g.n) return raise(index_error());
    auto pred = exact_pred(g);
    if (!pred.ok()) return raise(pred.error());
    std::optional<PairRows> pairs;
    if (!offsets.empty()) {
        if (offsets.size() != g.n + 1 || offsets.front() != 0 || offsets.back() != members.size() ||
            flags.size() != members.size()) {
            return raise(value_error("pair rows must hold n + 1 offsets over the members and their flags"));
        }
        for (std::size_t v = 0; v < g.n; ++v) {
            if (offsets[v] > offsets[v + 1]) return raise(value_error("pair offsets must not decrease"));
        }
        for (Node m : members) {
            if (m >= g.n) return raise(index_error());
        }
        for (Node f : flags) {
            if (f > 3) return raise(value_error("pair flags are 0 to 3"));
        }
        pairs.emplace();
        pairs->rows.offsets.assign(offsets.begin(), offsets.end());
        pairs->rows.targets.assign(members.begin(), members.end());
        pairs->flags.assign(flags.begin(), flags.end());
    }
    std::unique_ptr<TreeLca> state;
    PyObject* done = detached(
        [&]() -> Status {
            state = std::make_unique<TreeLca>(g.succ, *pred.value(), root, std::move(pairs));
            return {};
        },
        [] { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    return capsule_of(state, TREE_CAPSULE, free_tree);
}

PyObject* tree_answers(const TreeLca& state, const std::vector<TreeLca::Item>& items, PyObject* nodes_tuple,
                       PyObject* root_item, PyObject* members);
PyObject* dag_answers(const std::vector<DagLca::Triple>& found, PyObject* nodes_tuple);

// ((first, second), lca), new references taken to the three objects.
PyObject* answer_tuple(PyObject* first, PyObject* second, PyObject* lca) {
    PyObject* pair = PyTuple_Pack(2, first, second);
    if (pair == nullptr) return nullptr;
    PyObject* item = PyTuple_Pack(2, pair, lca);
    Py_DECREF(pair);
    return item;
}

PyObject* tree_lca_next(PyObject* capsule, std::uint64_t limit, const TupleRef& nodes, PyObject* root_item,
                        PyObject* members) {
    auto* state = static_cast<TreeLca*>(PyCapsule_GetPointer(capsule, TREE_CAPSULE));
    if (state == nullptr) return nullptr;
    if (limit < 2) return raise(value_error("limit must be 2 or more"));
    if (members != Py_None && !PyTuple_Check(members)) return raise(value_error("members must be a tuple or None"));
    return detached([&] { return state->next(static_cast<std::size_t>(limit)); },
                    [&](const std::vector<TreeLca::Item>& items) { return tree_answers(*state, items, nodes.obj, root_item, members); });
}

PyObject* tree_answers(const TreeLca& state, const std::vector<TreeLca::Item>& items, PyObject* nodes_tuple, PyObject* root_item, PyObject* members) {
    const auto n = static_cast<std::size_t>(PyTuple_GET_SIZE(nodes_tuple));
    return list_from(items.size(), [&](std::size_t i) -> PyObject* {
        const TreeLca::Item& it = items[i];
        if (it.node >= n || it.lca >= n) return raise(index_error());
        // The walk's node is dfs_postorder_nodes' object: the root as given.
        PyObject* node = it.node == state.root() ? root_item : PyTuple_GET_ITEM(nodes_tuple, it.node);
        PyObject* other = nullptr;
        if (members == Py_None) {
            if (it.other >= n) return raise(index_error());
            other = PyTuple_GET_ITEM(nodes_tuple, it.other);
        } else {
            if (it.other >= static_cast<std::size_t>(PyTuple_GET_SIZE(members))) return raise(index_error());
            other = PyTuple_GET_ITEM(members, it.other);
        }
        PyObject* lca = PyTuple_GET_ITEM(nodes_tuple, it.lca);
        return it.other_first ? answer_tuple(other, node, lca) : answer_tuple(node, other, lca);
    });
}

PyObject* dag_lca(const CoreGraph& g, const BytesRef& hashes) {
    if (!g.directed) return raise(value_error("dag_lca needs a directed graph"));
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    auto pred = exact_pred(g);
    if (!pred.ok()) return raise(pred.error());
    std::unique_ptr<DagLca> state;
    PyObject* done = detached(
        [&]() -> Status {
            state = std::make_unique<DagLca>(g.succ, *pred.value(), std::move(hash));
            return {};
        },
        [] { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    return capsule_of(state, DAG_CAPSULE, free_dag);
}

PyObject* dag_lca_next(PyObject* capsule, std::uint64_t limit, const TupleRef& nodes) {
    auto* state = static_cast<DagLca*>(PyCapsule_GetPointer(capsule, DAG_CAPSULE));
    if (state == nullptr) return nullptr;
    return detached([&] { return state->next_all(static_cast<std::size_t>(limit)); },
                    [&](const std::vector<DagLca::Triple>& found) { return dag_answers(found, nodes.obj); });
}

PyObject* dag_answers(const std::vector<DagLca::Triple>& found, PyObject* nodes_tuple) {
    const auto n = static_cast<std::size_t>(PyTuple_GET_SIZE(nodes_tuple));
    return list_from(found.size(), [&](std::size_t i) -> PyObject* {
        const DagLca::Triple& t = found[i];
        if (t.v >= n || t.w >= n || t.lca >= n) return raise(index_error());
        return answer_tuple(PyTuple_GET_ITEM(nodes_tuple, t.v), PyTuple_GET_ITEM(nodes_tuple, t.w),
                            PyTuple_GET_ITEM(nodes_tuple, t.lca));
    });
}

PyObject* dag_lca_pairs(PyObject* capsule, const Positions& vs, const Positions& ws) {
    auto* state = static_cast<DagLca*>(PyCapsule_GetPointer(capsule, DAG_CAPSULE));
    if (state == nullptr) return nullptr;
    if (vs.size() != ws.size()) return raise(value_error("vs and ws must have one entry per pair"));
    const Count n = state->node_count();
    for (std::size_t i = 0; i < vs.size(); ++i) {
        if (vs[i] >= n || ws[i] >= n) return raise(index_error());
    }
    std::vector<Node> lcas(vs.size());
    std::vector<std::uint8_t> own(vs.size());
    return detached(
        [&]() -> Status {
            for (std::size_t i = 0; i < vs.size(); ++i) {
                const DagLca::Answer a = state->answer(vs[i], ws[i]);
                lcas[i] = a.lca;
                own[i] = a.own_member ? 1 : 0;
            }
            return {};
        },
        [&] { return tuple_from([&] { return to_python(lcas); }, [&] { return to_python(own); }); });
}

constexpr auto TREE_ROOT = method<tree_root>(
    "tree_root",
    "`(problem, root)`: the one node without predecessors; `problem` 1, 2, 3\nfor NetworkX's multiple sources, "
    "not a tree, no source (0: none).");

constexpr auto TREE_LCA = method<tree_lca>(
    "tree_lca",
    "Tarjan's offline walk from `root` (a capsule for _tree_lca_next), along\nG._pred's order (load it first). "
    "Without pairs `offsets` is empty; else row v\nof the pair rows is members[offsets[v]:offsets[v + 1]] with "
    "`flags` bit 0\nfor (v, member) asked and bit 1 for (member, v).",
    arg<Node>("root"), arg<Positions>("offsets"), arg<Positions>("members"), arg<Positions>("flags"));

constexpr auto TREE_LCA_NEXT = function<tree_lca_next>(
    "_tree_lca_next",
    "The walk's next answers (at most `limit`, 2 or more), each ((u, v), lca) of\n`nodes` objects, the root as "
    "`root_item` where the walk's node is the root,\nthe pair members as `members` objects (None: no pairs).",
    arg<PyObject*>("state"), arg<std::uint64_t>("limit"), arg<TupleRef>("nodes"), arg<PyObject*>("root_item"),
    arg<PyObject*>("members"));

constexpr auto DAG_LCA = method<dag_lca>(
    "dag_lca",
    "all_pairs_lowest_common_ancestor's answers (a capsule for _dag_lca_next and\n_dag_lca_pairs), along G._pred's "
    "order (load it first); `hashes`: hash()\nof each node as int64 bytes.",
    arg<BytesRef>("hashes"));

constexpr auto DAG_LCA_NEXT = function<dag_lca_next>(
    "_dag_lca_next",
    "The next answers over combinations_with_replacement(G, 2) (at most\n`limit`), each ((v, w), lca) of `nodes` "
    "objects.",
    arg<PyObject*>("state"), arg<std::uint64_t>("limit"), arg<TupleRef>("nodes"));

constexpr auto DAG_LCA_PAIRS = function<dag_lca_pairs>(
    "_dag_lca_pairs",
    "`(lcas, own)` of the pairs (vs[i], ws[i]): each answer's position (2**32 - 1:\nno common ancestor) and whether it is "
    "the first member of the set the\nintersection iterated, as NetworkX added it.",
    arg<PyObject*>("state"), arg<Positions>("vs"), arg<Positions>("ws"));

}  // namespace

std::vector<PyMethodDef> lowest_common_ancestors_functions() {
    return {row<TREE_LCA_NEXT>(), row<DAG_LCA_NEXT>(), row<DAG_LCA_PAIRS>()};
}

std::vector<PyMethodDef> lowest_common_ancestors_methods() {
    return {row<TREE_ROOT>(), row<TREE_LCA>(), row<DAG_LCA>()};
}

}  // namespace fennel::py
