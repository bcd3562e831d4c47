// Bindings of PageRank (`walk_ranks`) and HITS (`adjacency_csr`, `hits_scores`).
#include "algorithms/link_analysis.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* walk_ranks(const CoreGraph& g, double alpha, std::optional<Reals> personalization, std::uint64_t max_iter,
                     double tol, std::optional<Reals> nstart, const AttrName& weight, std::optional<Reals> dangling,
                     bool numpy_dangling, const std::optional<TupleRef>& objects) {
    if (objects && static_cast<Count>(PyTuple_GET_SIZE(objects->obj)) != g.n) {
        return raise(value_error("objects must hold one key per node"));
    }
    PageRankInput in{alpha, std::move(personalization), std::move(nstart), std::move(dangling), max_iter, tol,
                     numpy_dangling};
    for (const std::optional<Reals>* v : {&in.personalization, &in.nstart, &in.dangling}) {
        if (*v && (*v)->size() != g.n) {
            PyErr_SetString(PyExc_ValueError, "vector length must equal the node count");
            return nullptr;
        }
    }
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    auto in_column = g.weight_slice(weight, true);
    if (!in_column.ok()) return raise(in_column.error());
    return detached([&] { return fennel::walk_ranks(g, column.value(), in_column.value(), in); },
                    [&](const std::optional<std::vector<double>>& scores) -> PyObject* {
                        if (!scores || !objects) return to_python(scores);
                        return dict_from(objects->obj, [&](std::size_t i) { return PyFloat_FromDouble((*scores)[i]); });
                    });
}

constexpr auto PAGERANK = method<walk_ranks>(
    "walk_ranks",
    "PageRank scores in node order, or `None` if it didn't converge. With\n`objects` (one key per node), the dict of "
    "the scores keyed by them.",
    arg<double>("alpha"), arg<std::optional<Reals>>("personalization"), arg<std::uint64_t>("max_iter"),
    arg<double>("tol"), arg<std::optional<Reals>>("nstart"), arg<AttrName>("weight"),
    arg<std::optional<Reals>>("dangling"), kwarg<bool>("numpy_dangling", false),
    kwarg<std::optional<TupleRef>>("objects", none));

template <class T>
PyObject* bytes_of(const T* data, std::size_t count) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(data), static_cast<Py_ssize_t>(count * sizeof(T)));
}

// The canonical CSR arrays of NetworkX's adjacency matrix: (indptr, indices,
// data) as bytes of int64, int64 and float64.
PyObject* adjacency_csr(const CoreGraph& g, const AttrName& weight) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return adjacency_rows(g, column.value()); }, [&](const AdjacencyRows& m) -> PyObject* {
        std::vector<std::int64_t> indptr(m.rows.offsets.begin(), m.rows.offsets.end());
        std::vector<std::int64_t> indices(m.rows.targets.begin(), m.rows.targets.end());
        return tuple_from([&] { return bytes_of(indptr.data(), indptr.size()); },
                          [&] { return bytes_of(indices.data(), indices.size()); },
                          [&] { return bytes_of(m.row_values.data(), m.row_values.size()); });
    });
}

PyObject* hits_scores(const CoreGraph& g, const AttrName& weight, Reals start, std::uint64_t max_iter, double tol,
                      bool normalized) {
    if (start.size() != g.n || g.n == 0) {
        PyErr_SetString(PyExc_ValueError, "the start vector must hold one value per node");
        return nullptr;
    }
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached(
        [&]() -> Result<std::optional<HitsScores>> {
            Result<AdjacencyRows> m = adjacency_rows(g, column.value());
            if (!m.ok()) return m.error();
            return hits_power(m.value(), std::move(start), max_iter, tol, normalized);
        },
        [&](const std::optional<HitsScores>& s) -> PyObject* {
            if (!s) Py_RETURN_NONE;
            return tuple_from([&] { return to_python(s->hubs); }, [&] { return to_python(s->authorities); });
        });
}

constexpr auto ADJACENCY_CSR = method<adjacency_csr>(
    "adjacency_csr",
    "`(indptr, indices, data)`: bytes of int64, int64 and float64 holding\nNetworkX's adjacency matrix in canonical "
    "CSR form.",
    arg<AttrName>("weight"));

constexpr auto HITS = method<hits_scores>(
    "hits_scores",
    "`(hubs, authorities)` by NetworkX 3.7's power iteration from `start`,\nor `None` if it didn't converge.",
    arg<AttrName>("weight"), arg<Reals>("start"), arg<std::uint64_t>("max_iter"), arg<double>("tol"),
    arg<bool>("normalized"));

}  // namespace

std::vector<PyMethodDef> link_analysis_methods() { return {row<PAGERANK>(), row<ADJACENCY_CSR>(), row<HITS>()}; }

}  // namespace fennel::py
