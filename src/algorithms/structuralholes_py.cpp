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

// The values of `v` as bytes, in memory order.
template <class T>
PyObject* bytes_of(const std::vector<T>& v) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()), static_cast<Py_ssize_t>(v.size() * sizeof(T)));
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
    return tuple_from([&] { return bytes_of(rows.indptr); }, [&] { return bytes_of(rows.indices); },
                      [&] { return bytes_of(rows.data); });
}

// The bytes of `bytes` as values of T; false with ValueError set unless
// they hold whole values.
template <class T>
bool read_values(const BytesRef& bytes, std::vector<T>& out) {
    const auto size = static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.obj));
    if (size % sizeof(T) != 0) {
        PyErr_SetString(PyExc_ValueError, "the bytes must hold whole 8-byte values");
        return false;
    }
    out.resize(size / sizeof(T));
    if (size > 0) std::memcpy(out.data(), PyBytes_AS_STRING(bytes.obj), size);
    return true;
}

PyObject* constraint_rows(const BytesRef& indptr_bytes, const BytesRef& indices_bytes, const BytesRef& data_bytes) {
    std::vector<std::int64_t> indptr, indices;
    std::vector<double> data;
    if (!read_values(indptr_bytes, indptr) || !read_values(indices_bytes, indices) || !read_values(data_bytes, data)) {
        return nullptr;
    }
    // A square matrix in canonical form: every row's columns strictly
    // ascending and in range.
    if (indptr.empty() || indptr.front() != 0 || indices.size() != data.size() ||
        indptr.back() != static_cast<std::int64_t>(indices.size())) {
        return raise(value_error("indptr must run from 0 to the number of entries, one entry per value"));
    }
    const auto n = static_cast<std::int64_t>(indptr.size() - 1);
    for (std::size_t i = 0; i + 1 < indptr.size(); ++i) {
        if (indptr[i + 1] < indptr[i]) return raise(value_error("indptr must not decrease"));
        for (std::int64_t s = indptr[i]; s < indptr[i + 1]; ++s) {
            if (indices[s] < 0 || indices[s] >= n || (s > indptr[i] && indices[s] <= indices[s - 1])) {
                return raise(value_error("each row's columns must ascend strictly within the square matrix"));
            }
        }
    }
    return detached([&] { return fennel::constraint_rows(indptr, indices, data); },
                    [](const std::vector<double>& out) { return bytes_of(out); });
}

constexpr auto CONSTRAINT_ROWS = function<constraint_rows>(
    "_constraint_rows",
    "((M > 0) * (M + M @ M) ** 2).sum(axis=1) as scipy forms it, for M in\ncanonical CSR (int64 `indptr` and "
    "`indices`, float64 `data`, as bytes;\nfinite values whose products cannot overflow): float64 bytes, one "
    "value\nper row.",
    arg<BytesRef>("indptr"), arg<BytesRef>("indices"), arg<BytesRef>("data"));
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
std::vector<PyMethodDef> structuralholes_functions() { return {row<CONSTRAINT_ROWS>()}; }

}  // namespace fennel::py
