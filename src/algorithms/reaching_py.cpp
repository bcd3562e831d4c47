// Binding of the unweighted reaching centralities.
#include "algorithms/reaching.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* local_reaching(const CoreGraph& g, const std::optional<Positions>& sources, bool compensated) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    if (g.n < 2) return raise(value_error("reaching centrality needs two nodes or more"));
    return detached([&] { return fennel::local_reaching(g.succ, list.value(), g.directed, compensated); });
}

constexpr auto LOCAL_REACHING = method<local_reaching>(
    "local_reaching",
    "local_reaching_centrality without weights of each of `sources` (None: every\nnode); `compensated`: sum() "
    "is CPython 3.12's.",
    arg<std::optional<Positions>>("sources"), arg<bool>("compensated"));

}  // namespace

std::vector<PyMethodDef> reaching_methods() { return {row<LOCAL_REACHING>()}; }

}  // namespace fennel::py
