// Binding of PageRank (`walk_ranks`).
#include "algorithms/link_analysis.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* walk_ranks(const CoreGraph& g, double alpha, std::optional<Reals> personalization, std::uint64_t max_iter,
                     double tol, std::optional<Reals> nstart, const AttrName& weight, std::optional<Reals> dangling,
                     bool numpy_dangling) {
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
    return detached([&] { return fennel::walk_ranks(g, column.value(), in_column.value(), in); });
}

constexpr auto PAGERANK = method<walk_ranks>(
    "walk_ranks", "PageRank scores in node order, or `None` if it didn't converge.", arg<double>("alpha"),
    arg<std::optional<Reals>>("personalization"), arg<std::uint64_t>("max_iter"), arg<double>("tol"),
    arg<std::optional<Reals>>("nstart"), arg<AttrName>("weight"), arg<std::optional<Reals>>("dangling"),
    kwarg<bool>("numpy_dangling", false));

}  // namespace

std::vector<PyMethodDef> link_analysis_methods() { return {row<PAGERANK>()}; }

}  // namespace fennel::py
