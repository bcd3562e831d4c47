// Bindings of the search trees and traversal orders.
#include "algorithms/traversal.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

namespace fennel::py {

namespace {

PyObject* pair_of(const std::vector<Node>& first, const std::vector<Node>& second) {
    PyRef a = PyRef::steal(to_list(first));
    PyRef b = PyRef::steal(to_list(second));
    if (!a || !b) return nullptr;
    return PyTuple_Pack(2, a.get(), b.get());
}

// The rows a search from `source` follows: out-edges, or in-edges in
// NetworkX's predecessor order.
const Csr* search_rows(const CoreGraph& g, Node source, bool reverse) {
    if (source >= g.n) {
        raise(index_error());
        return nullptr;
    }
    auto view = g.path_adj(std::nullopt, reverse);
    if (!view.ok()) {
        raise(view.error());
        return nullptr;
    }
    return view.value().adj;
}

PyObject* bfs_tree(PyObject* self, Args& a) {
    Node source;
    double cutoff;
    bool reverse = false;
    if (!a.position(0, source) || !a.real(1, cutoff) || !a.flag(2, reverse)) return nullptr;
    const CoreGraph& g = graph_of(self);
    const Csr* rows = search_rows(g, source, reverse);
    if (rows == nullptr) return nullptr;
    EdgePairs tree;
    {
        Detached detached;
        BfsState state(g.n);
        tree = fennel::bfs_tree(state, *rows, source, cutoff);
    }
    return pair_of(tree.children, tree.parents);
}

PyObject* bfs_edges(PyObject* self, Args& a) {
    Node source;
    std::int64_t depth_limit;
    bool reverse = false;
    if (!a.position(0, source) || !a.integer(1, depth_limit) || !a.flag(2, reverse)) return nullptr;
    const CoreGraph& g = graph_of(self);
    const Csr* rows = search_rows(g, source, reverse);
    if (rows == nullptr) return nullptr;
    EdgePairs edges;
    {
        Detached detached;
        BfsState state(g.n);
        edges = fennel::bfs_edges(state, *rows, source, depth_limit);
    }
    return pair_of(edges.parents, edges.children);
}

PyObject* dfs_forward(PyObject* self, Args& a) {
    std::optional<std::vector<Node>> starts;
    std::int64_t depth_limit;
    if (!a.optional_positions(0, starts) || !a.integer(1, depth_limit)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(starts);
    if (!list.ok()) return raise(list.error());
    EdgePairs edges;
    {
        Detached detached;
        edges = fennel::dfs_forward(g.succ, list.value(), depth_limit);
    }
    return pair_of(edges.parents, edges.children);
}

constexpr auto BFS_TREE = method("bfs_tree", bfs_tree,
                                 "BFS discovery order and each node's discoverer (`NO_PARENT` for the\n"
                                 "source). `reverse` searches the reversed graph in exact order.",
                                 "source", "cutoff", "reverse=False");
constexpr auto BFS_EDGES = method("bfs_edges", bfs_edges,
                                  "`generic_bfs_edges` tree edges as `(parents, children)`. `reverse`\n"
                                  "follows in-edges in exact order (directed graphs).",
                                  "source", "depth_limit", "reverse=False");
constexpr auto DFS_FORWARD = method("dfs_forward", dfs_forward,
                                    "DFS forward edges from `starts` (all nodes if `None`), with\n"
                                    "`(start, start)` marking each new start.",
                                    "starts", "depth_limit");

}  // namespace

std::vector<PyMethodDef> traversal_methods() { return {row<BFS_TREE>(), row<BFS_EDGES>(), row<DFS_FORWARD>()}; }

}  // namespace fennel::py
