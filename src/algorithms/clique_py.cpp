// Bindings of cliques and clique percolation.
//
// find_cliques' search and enumerate_all_cliques' walk keep their stacks
// between the generator's steps in capsules: clique_search and
// all_cliques_search build them from the graph, _clique_next and
// _all_cliques_next hand out the next cliques as lists of the caller's
// objects. A generator runs one
// step at a time, so no two calls share a capsule at once.
#include "algorithms/clique.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <algorithm>
#include <memory>

namespace fennel::py {

namespace {

constexpr const char* SEARCH_CAPSULE = "fennel._core.CliqueSearch";
constexpr const char* LEVELS_CAPSULE = "fennel._core.CliqueLevels";

void free_search(PyObject* capsule) {
    delete static_cast<CliqueSearch*>(PyCapsule_GetPointer(capsule, SEARCH_CAPSULE));
}

void free_levels(PyObject* capsule) {
    delete static_cast<CliqueLevels*>(PyCapsule_GetPointer(capsule, LEVELS_CAPSULE));
}

bool check_positions(const Positions& positions, Count n) {
    for (Node p : positions) {
        if (p >= n) {
            raise(index_error());
            return false;
        }
    }
    return true;
}

PyObject* clique_search(const CoreGraph& g, const BytesRef& hashes, const Positions& prefix) {
    if (g.directed) return raise(value_error("maximal cliques need an undirected graph"));
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash) || !check_positions(prefix, g.n)) return nullptr;
    std::unique_ptr<CliqueSearch> state;
    PyObject* done = detached(
        [&]() -> Status {
            state = std::make_unique<CliqueSearch>(g.succ, std::move(hash), prefix);
            return {};
        },
        [] { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    const std::size_t valid = state->valid_prefix();
    PyObject* lone = state->lone() ? Py_True : Py_False;
    PyObject* capsule = PyCapsule_New(state.get(), SEARCH_CAPSULE, free_search);
    if (capsule == nullptr) return nullptr;
    state.release();
    return Py_BuildValue("(NnO)", capsule, static_cast<Py_ssize_t>(valid), lone);
}

// Each clique as a list: the `prefix` objects, then the objects of `nodes`
// at its positions.
PyObject* clique_lists(const CliqueList& cliques, PyObject* nodes, PyObject* prefix) {
    const std::size_t start = static_cast<std::size_t>(PyTuple_GET_SIZE(prefix));
    return list_from(cliques.bounds.size() - 1, [&](std::size_t c) -> PyObject* {
        const std::size_t size = cliques.bounds[c + 1] - cliques.bounds[c];
        PyObject* list = PyList_New(static_cast<Py_ssize_t>(start + size));
        if (list == nullptr) return nullptr;
        for (std::size_t i = 0; i < start; ++i) {
            PyList_SET_ITEM(list, i, Py_NewRef(PyTuple_GET_ITEM(prefix, i)));
        }
        for (std::size_t i = 0; i < size; ++i) {
            const Node v = cliques.nodes[cliques.bounds[c] + i];
            PyList_SET_ITEM(list, start + i, Py_NewRef(PyTuple_GET_ITEM(nodes, v)));
        }
        return list;
    });
}

PyObject* clique_next(PyObject* capsule, std::uint64_t limit, const TupleRef& nodes, const TupleRef& prefix) {
    auto* state = static_cast<CliqueSearch*>(PyCapsule_GetPointer(capsule, SEARCH_CAPSULE));
    if (state == nullptr) return nullptr;
    if (static_cast<std::size_t>(PyTuple_GET_SIZE(nodes.obj)) != state->node_count()) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return nullptr;
    }
    return detached([&] { return state->next(static_cast<std::size_t>(limit)); },
                    [&](const CliqueList& c) { return clique_lists(c, nodes.obj, prefix.obj); });
}

PyObject* all_cliques_search(const CoreGraph& g) {
    if (g.directed) return raise(value_error("cliques need an undirected graph"));
    std::unique_ptr<CliqueLevels> state;
    PyObject* done = detached(
        [&]() -> Status {
            state = std::make_unique<CliqueLevels>(g.succ);
            return {};
        },
        [] { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    PyObject* capsule = PyCapsule_New(state.get(), LEVELS_CAPSULE, free_levels);
    if (capsule != nullptr) state.release();
    return capsule;
}

PyObject* all_cliques_next(PyObject* capsule, std::uint64_t limit, const TupleRef& nodes) {
    auto* state = static_cast<CliqueLevels*>(PyCapsule_GetPointer(capsule, LEVELS_CAPSULE));
    if (state == nullptr) return nullptr;
    if (static_cast<std::size_t>(PyTuple_GET_SIZE(nodes.obj)) != state->node_count()) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return nullptr;
    }
    PyObject* none = PyTuple_New(0);
    if (none == nullptr) return nullptr;
    PyObject* cliques = detached([&] { return state->next(static_cast<std::size_t>(limit)); },
                                 [&](const CliqueList& c) { return clique_lists(c, nodes.obj, none); });
    Py_DECREF(none);
    return cliques;
}

PyObject* largest_cliques(const CoreGraph& g, const BytesRef& hashes) {
    if (g.directed) return raise(value_error("cliques need an undirected graph"));
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    return detached([&] { return clique_numbers(g.succ, std::move(hash)); },
                    [](const CliqueNumbers& c) -> PyObject* {
                        PyObject* nodes = to_list(c.nodes);
                        if (nodes == nullptr) return nullptr;
                        PyObject* sizes = to_list(c.sizes);
                        if (sizes == nullptr) {
                            Py_DECREF(nodes);
                            return nullptr;
                        }
                        return Py_BuildValue("(NN)", nodes, sizes);
                    });
}

PyObject* largest_cliques_at(const CoreGraph& g, const Positions& nodes) {
    if (g.directed) return raise(value_error("cliques need an undirected graph"));
    if (!check_positions(nodes, g.n)) return nullptr;
    return detached([&] { return clique_numbers_at(g.succ, nodes); });
}

PyObject* heaviest_clique(const CoreGraph& g, const BytesRef& degrees, const BytesRef& weights,
                          std::uint64_t max_depth) {
    if (g.directed) return raise(value_error("cliques need an undirected graph"));
    std::vector<std::int64_t> degree;
    std::vector<std::int64_t> weight;
    if (!read_int64s(degrees, g.n, degree) || !read_int64s(weights, g.n, weight)) return nullptr;
    return detached([&] { return max_weight_clique(g.succ, degree, weight, static_cast<std::size_t>(max_depth)); },
                    [](const WeightedClique& c) -> PyObject* {
                        PyObject* nodes = to_list(c.nodes);
                        if (nodes == nullptr) return nullptr;
                        return Py_BuildValue("(NLO)", nodes, static_cast<long long>(c.weight),
                                             c.deep ? Py_True : Py_False);
                    });
}

PyObject* maximal_cliques(const CoreGraph& g, const BytesRef& hashes, std::uint64_t min_size) {
    if (g.directed) return raise(value_error("maximal cliques need an undirected graph"));
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    return detached(
        [&]() -> Result<CliqueList> {
            CliqueSearch search(g.succ, std::move(hash), {});
            CliqueList kept;
            while (!search.done()) {
                auto batch = search.next(1 << 16, static_cast<std::size_t>(min_size));
                if (!batch.ok()) return batch.error();
                const CliqueList& b = batch.value();
                for (std::size_t c = 0; c + 1 < b.bounds.size(); ++c) {
                    kept.nodes.insert(kept.nodes.end(), b.nodes.begin() + b.bounds[c], b.nodes.begin() + b.bounds[c + 1]);
                    kept.bounds.push_back(static_cast<Node>(kept.nodes.size()));
                }
            }
            return kept;
        },
        [](const CliqueList& c) -> PyObject* {
            PyObject* nodes = to_list(c.nodes);
            if (nodes == nullptr) return nullptr;
            PyObject* bounds = to_list(c.bounds);
            if (bounds == nullptr) {
                Py_DECREF(nodes);
                return nullptr;
            }
            return Py_BuildValue("(NN)", nodes, bounds);
        });
}

PyObject* percolation(const Positions& nodes, const Positions& bounds, std::uint64_t k, const BytesRef& clique_hashes,
                      const BytesRef& hashes) {
    if (bounds.empty() || bounds.front() != 0 || bounds.back() != nodes.size() ||
        !std::is_sorted(bounds.begin(), bounds.end())) {
        return raise(value_error("bounds must cut nodes into cliques"));
    }
    const std::size_t n = static_cast<std::size_t>(PyBytes_GET_SIZE(hashes.obj)) / sizeof(std::int64_t);
    std::vector<std::int64_t> hash;
    std::vector<std::int64_t> clique_hash;
    if (!read_int64s(hashes, n, hash) || !read_int64s(clique_hashes, bounds.size() - 1, clique_hash) ||
        !check_positions(nodes, static_cast<Count>(n))) {
        return nullptr;
    }
    CliqueList cliques{nodes, bounds};
    return detached(
        [&] { return clique_percolation(cliques, static_cast<std::size_t>(k), clique_hash, hash, n); },
        [](const CliqueList& c) -> PyObject* {
            PyObject* members = to_list(c.nodes);
            if (members == nullptr) return nullptr;
            PyObject* cuts = to_list(c.bounds);
            if (cuts == nullptr) {
                Py_DECREF(members);
                return nullptr;
            }
            return Py_BuildValue("(NN)", members, cuts);
        });
}

constexpr auto CLIQUE_SEARCH = method<clique_search>(
    "clique_search",
    "(search, valid, lone): find_cliques' search (a capsule), how many `prefix`\npositions passed its check, whether they left no candidate; `hashes`: hash() of each "
    "node as int64 bytes.",
    arg<BytesRef>("hashes"), arg<Positions>("prefix"));
constexpr auto MAXIMAL_CLIQUES = method<maximal_cliques>(
    "maximal_cliques",
    "find_cliques' cliques of at least `min_size` nodes in its order, as\n(positions, bounds); `hashes`: hash() of "
    "each node as int64 bytes.",
    arg<BytesRef>("hashes"), arg<std::uint64_t>("min_size"));

constexpr auto ALL_CLIQUES_SEARCH = method<all_cliques_search>(
    "all_cliques_search", "enumerate_all_cliques' walk (a capsule), before its first step.");
constexpr auto LARGEST_CLIQUES = method<largest_cliques>(
    "largest_cliques",
    "(positions, sizes): the nodes in order of first appearance in find_cliques'\ncliques and the size of each "
    "one's largest; `hashes`: hash() of each node\nas int64 bytes.",
    arg<BytesRef>("hashes"));
constexpr auto LARGEST_CLIQUES_AT = method<largest_cliques_at>(
    "largest_cliques_at", "The size of the largest clique through each of `nodes`.", arg<Positions>("nodes"));
constexpr auto HEAVIEST_CLIQUE = method<heaviest_clique>(
    "heaviest_clique",
    "(positions, weight, deep): max_weight_clique's clique and weight; `degrees`\nand `weights` as int64 bytes. "
    "`deep`: the search went past `max_depth`\nnodes and stopped.",
    arg<BytesRef>("degrees"), arg<BytesRef>("weights"), arg<std::uint64_t>("max_depth"));

constexpr auto ALL_CLIQUES_NEXT = function<all_cliques_next>(
    "_all_cliques_next",
    "The walk's next cliques, at most `limit`, each a list of the `nodes` objects\nat its positions; fewer once it is "
    "done.",
    arg<PyObject*>("state"), arg<std::uint64_t>("limit"), arg<TupleRef>("nodes"));
constexpr auto CLIQUE_NEXT = function<clique_next>(
    "_clique_next",
    "The search's next cliques, at most `limit`, each a list of the `prefix`\nobjects then the `nodes` objects at its "
    "positions; fewer once it is done.",
    arg<PyObject*>("state"), arg<std::uint64_t>("limit"), arg<TupleRef>("nodes"), arg<TupleRef>("prefix"));
constexpr auto PERCOLATION = function<percolation>(
    "_clique_percolation",
    "k_clique_communities over cliques (positions, bounds): each community's\ncliques in the order of NetworkX's "
    "component set, as (members, bounds);\n`clique_hashes`: hash() of each clique's frozenset, `hashes` of each "
    "node.",
    arg<Positions>("nodes"), arg<Positions>("bounds"), arg<std::uint64_t>("k"), arg<BytesRef>("clique_hashes"),
    arg<BytesRef>("hashes"));

}  // namespace

std::vector<PyMethodDef> clique_methods() {
    return {row<CLIQUE_SEARCH>(),    row<MAXIMAL_CLIQUES>(),    row<ALL_CLIQUES_SEARCH>(),
            row<LARGEST_CLIQUES>(), row<LARGEST_CLIQUES_AT>(), row<HEAVIEST_CLIQUE>()};
}

std::vector<PyMethodDef> clique_functions() {
    return {row<CLIQUE_NEXT>(), row<ALL_CLIQUES_NEXT>(), row<PERCOLATION>()};
}

}  // namespace fennel::py
