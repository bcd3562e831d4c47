// Bindings of all_node_cuts' search: a capsule holding the residual network
// and the pair under search between the generator's steps (a generator runs
// one step at a time, so no two calls share it); the flows and antichain
// searches run detached from the interpreter.
#include "algorithms/kcutsets.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <memory>

namespace fennel::py {

namespace {

constexpr const char* NODE_CUTS_CAPSULE = "fennel._core.NodeCutSearch";

struct Held {
    NodeCutSearch search;
    Count n;  // nodes of G
};

void free_node_cuts(PyObject* capsule) { delete static_cast<Held*>(PyCapsule_GetPointer(capsule, NODE_CUTS_CAPSULE)); }

Held* held(PyObject* capsule) { return static_cast<Held*>(PyCapsule_GetPointer(capsule, NODE_CUTS_CAPSULE)); }

PyObject* separates(const CoreGraph& g, const Positions& cut) {
    if (g.directed) return raise(value_error("an undirected graph"));
    std::vector<std::uint8_t> removed(g.n, 0);
    for (Node p : cut) {
        if (p >= g.n) return raise(index_error());
        removed[p] = 1;
    }
    return detached([&] { return !connected_without(g, removed); });
}

PyObject* node_cut_search(const CoreGraph& g, const BytesRef& hashes, bool from37, double k) {
    if (g.directed) return raise(value_error("an undirected graph"));
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, 2 * static_cast<std::size_t>(g.n), hash)) return nullptr;
    std::unique_ptr<Held> state;
    PyObject* done = detached(
        [&]() -> Status {
            state.reset(new Held{NodeCutSearch(g, from37, k, std::move(hash)), g.n});
            return {};
        },
        [] { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    PyObject* capsule = PyCapsule_New(state.get(), NODE_CUTS_CAPSULE, free_node_cuts);
    if (capsule != nullptr) state.release();
    return capsule;
}

PyObject* node_cut_seen(PyObject* capsule, const Positions& cut) {
    Held* state = held(capsule);
    if (state == nullptr) return nullptr;
    for (Node p : cut) {
        if (p >= state->n) return raise(index_error());
    }
    state->search.mark_seen(std::vector<Node>(cut.begin(), cut.end()));
    return Py_NewRef(Py_None);
}

PyObject* node_cut_pair(PyObject* capsule, Node x, Node v) {
    Held* state = held(capsule);
    if (state == nullptr) return nullptr;
    if (x >= state->n || v >= state->n) return raise(index_error());
    if (x == v) return raise(value_error("x and v must differ"));
    return detached([&] { return state->search.start_pair(x, v); });
}

struct Found {
    bool any = false;
    std::vector<Node> tails, heads;
};

PyObject* node_cut_next(PyObject* capsule) {
    Held* state = held(capsule);
    if (state == nullptr) return nullptr;
    return detached(
        [&] {
            Found found;
            found.any = state->search.next_cut(found.tails, found.heads);
            return found;
        },
        [](const Found& found) -> PyObject* {
            if (!found.any) return Py_NewRef(Py_None);
            return Py_BuildValue("(NN)", to_python(found.tails), to_python(found.heads));
        });
}

constexpr auto SEPARATES = method<separates>(
    "separates", "Whether removing the `cut` nodes (positions) leaves G disconnected or\nempty.",
    arg<Positions>("cut"));
constexpr auto NODE_CUT_SEARCH = method<node_cut_search>(
    "node_cut_search",
    "all_node_cuts' search over the node auxiliary digraph, as a capsule for\n_node_cut_pair and _node_cut_next; "
    "`hashes`: hash() of each name of H\n(f\"{i}A\", f\"{i}B\") as int64 bytes; `from37`: NetworkX 3.7's algorithm;"
    "\n`k`: the connectivity the flows and cuts are compared with.",
    arg<BytesRef>("hashes"), arg<bool>("from37"), arg<double>("k"));
constexpr auto NODE_CUT_SEEN = function<node_cut_seen>(
    "_node_cut_seen", "Adds a cut (positions of G) to the search's cuts already handed out.", arg<PyObject*>("state"),
    arg<Positions>("cut"));
constexpr auto NODE_CUT_PAIR = function<node_cut_pair>(
    "_node_cut_pair",
    "Runs the flow from xB to vA over the search's residual network; True when\nits value is k (_node_cut_next "
    "then hands out the pair's cuts).",
    arg<PyObject*>("state"), arg<Node>("x"), arg<Node>("v"));
constexpr auto NODE_CUT_NEXT = function<node_cut_next>(
    "_node_cut_next",
    "The pair's next new cut as `(tails, heads)`: the edges of H (positions)\nin the order NetworkX inserts them "
    "into its cutset; None once the pair is\ndone (its edges then added to H and R).",
    arg<PyObject*>("state"));

}  // namespace

std::vector<PyMethodDef> kcutsets_methods() { return {row<SEPARATES>(), row<NODE_CUT_SEARCH>()}; }

std::vector<PyMethodDef> kcutsets_functions() {
    return {row<NODE_CUT_SEEN>(), row<NODE_CUT_PAIR>(), row<NODE_CUT_NEXT>()};
}

}  // namespace fennel::py
