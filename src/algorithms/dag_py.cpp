// Bindings of topological_generations, the in-degrees it leaves, dag_longest_path,
// is_aperiodic's divisor and the edges transitive closures and reductions add.
#include "algorithms/dag.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>

namespace fennel::py {

namespace {

PyObject* generations(const CoreGraph& g) {
    return detached([&] { return fennel::generations(g.succ, g.in_rows()); },
                    [](const Generations& found) {
                        return tuple_from([&] { return to_python(found.generations); },
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
    return detached([&] { return closure_edges(g.succ, hash, k); }, added_edges);
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

constexpr auto GENERATIONS = method<generations>("generations", "`(generations, has_cycle)`");
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

}  // namespace

std::vector<PyMethodDef> dag_methods() {
    return {row<GENERATIONS>(), row<INDEGREES>(), row<LONGEST_PATH>(), row<PERIOD>(),
            row<CLOSURE>(),     row<CLOSURE_DAG>(), row<REDUCTION>()};
}

}  // namespace fennel::py
