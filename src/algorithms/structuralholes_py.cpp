// Bindings of the structural holes measures.
#include "algorithms/structuralholes.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* holes_value(const HolesValue& x) {
    if (x.is_int) return PyLong_FromLongLong(static_cast<long long>(x.value));
    return PyFloat_FromDouble(x.value);
}

// The input over G._adj's rows and, for a digraph, G._pred's own (loaded by
// the caller), with the weight column of each.
bool holes_input(const CoreGraph& g, const AttrName& weight, const BytesRef& hashes, std::vector<std::int64_t>& hash,
                 HolesInput& in) {
    if (!read_int64s(hashes, g.n, hash)) return false;
    in.succ = &g.succ;
    in.hashes = hash;
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) {
        raise(column.error());
        return false;
    }
    in.succ_weights = column.value();
    in.int_weights = !weight || in.succ_weights == nullptr || g.all_int(*weight);
    if (g.directed) {
        if (!g.has_exact_pred()) {
            PyErr_SetString(PyExc_ValueError, "load G._pred's order first");
            return false;
        }
        auto view = g.search_view(weight, true);
        if (!view.ok()) {
            raise(view.error());
            return false;
        }
        in.pred = view.value().out;
        in.pred_weights = view.value().weights;
    }
    return true;
}

PyObject* structural_holes(const CoreGraph& g, const AttrName& weight, const BytesRef& hashes, const Positions& nodes,
                           std::uint64_t measure, bool compensated, bool loops_isolate) {
    std::vector<std::int64_t> hash;
    HolesInput in;
    if (!holes_input(g, weight, hashes, hash, in)) return nullptr;
    for (Node v : nodes) {
        if (v >= g.n) return raise(index_error());
    }
    if (measure > 2) return raise(value_error("measure: 0 constraint, 1 effective size, 2 Borgatti's"));
    if (measure == 2 && g.directed) return raise(value_error("Borgatti's effective size is for undirected graphs"));
    return detached(
        [&] {
            return fennel::structural_holes(in, static_cast<HolesMeasure>(measure), nodes, compensated, loops_isolate);
        },
        [](const std::vector<HolesValue>& found) {
            return list_from(found.size(), [&](std::size_t i) { return holes_value(found[i]); });
        });
}

PyObject* local_constraint(const CoreGraph& g, const AttrName& weight, const BytesRef& hashes, Node u, Node v,
                           bool compensated) {
    std::vector<std::int64_t> hash;
    HolesInput in;
    if (!holes_input(g, weight, hashes, hash, in)) return nullptr;
    if (u >= g.n || v >= g.n) return raise(index_error());
    return detached([&] { return fennel::local_constraint(in, u, v, compensated); },
                    [](const HolesValue& x) { return holes_value(x); });
}

PyObject* adjacency_rows(const CoreGraph& g, const AttrName& weight) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    const SortedRows rows = sorted_rows(g.succ, column.value());
    auto bytes = [](const auto& v) {
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()),
                                         static_cast<Py_ssize_t>(v.size() * sizeof(v[0])));
    };
    return tuple_from([&] { return bytes(rows.indptr); }, [&] { return bytes(rows.indices); },
                      [&] { return bytes(rows.data); });
}

constexpr auto ADJACENCY_ROWS = method<adjacency_rows>(
    "adjacency_rows",
    "`(indptr, indices, data)` as int64, int64 and float64 bytes: the canonical\nCSR of nx.adjacency_matrix(G, "
    "weight=weight) (each row's targets ascending).",
    arg<AttrName>("weight"));
constexpr auto STRUCTURAL_HOLES = method<structural_holes>(
    "structural_holes",
    "NetworkX's node-by-node loops of the structural holes measures for\n`nodes`: `measure` 0 constraint, 1 "
    "effective size, 2 effective size by\nBorgatti's formula; `loops_isolate`: a node with only a self-loop has "
    "no\neffective size. `hashes`: hash() of each node as int64 bytes.",
    arg<AttrName>("weight"), arg<BytesRef>("hashes"), arg<Positions>("nodes"), arg<std::uint64_t>("measure"),
    kwarg<bool>("compensated", false), kwarg<bool>("loops_isolate", true));
constexpr auto LOCAL_CONSTRAINT = method<local_constraint>(
    "local_constraint", "local_constraint(G, u, v) as NetworkX computes it.", arg<AttrName>("weight"),
    arg<BytesRef>("hashes"), arg<Node>("u"), arg<Node>("v"), kwarg<bool>("compensated", false));

}  // namespace

std::vector<PyMethodDef> structuralholes_methods() { return {row<STRUCTURAL_HOLES>(), row<LOCAL_CONSTRAINT>(), row<ADJACENCY_ROWS>()}; }

}  // namespace fennel::py
