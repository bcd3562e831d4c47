// Binding of the Boykov–Kolmogorov flow: one call builds R, runs the
// algorithm and hands back what the caller asks for, with the search trees
// NetworkX leaves in R.graph['trees'].
#include "algorithms/augmenting_py.hpp"
#include "algorithms/boykovkolmogorov.hpp"

namespace fennel::py {

namespace {

PyObject* tree_pairs(const std::vector<std::pair<Node, std::int64_t>>& tree) {
    std::vector<std::int64_t> flat;
    flat.reserve(2 * tree.size());
    for (const auto& [v, p] : tree) {
        flat.push_back(v);
        flat.push_back(p);
    }
    return list_from(flat.size(), [&](std::size_t i) { return PyLong_FromLongLong(flat[i]); });
}

PyObject* boykov_kolmogorov_run(const CoreGraph& g, const BytesRef& codes, const BytesRef& values, double inf,
                                bool inf_float, Node s, Node t, double cutoff, std::uint64_t want, PyObject* nodes,
                                PyObject* objects, PyObject* inf_object, PyObject* network) {
    SearchTrees trees;
    bool kept = false;
    return serve_flow(
        g, codes, values, inf, inf_float, s, t, want, nodes, objects, inf_object, network,
        [&](const Residual& r, std::vector<FlowNumber>& flow) {
            const FlowRun run = boykov_kolmogorov(r, flow, s, t, cutoff, want == FLOW_RESIDUAL ? &trees : nullptr);
            kept = want == FLOW_RESIDUAL && !run.unbounded;
            return FlowOutcome{run.value, run.unbounded ? FLOW_UNBOUNDED : FLOW_DONE};
        },
        [&]() -> PyObject* {
            if (!kept) Py_RETURN_NONE;
            return tuple_from([&] { return tree_pairs(trees.source); }, [&] { return tree_pairs(trees.target); });
        });
}

constexpr auto BOYKOV_KOLMOGOROV = method<boykov_kolmogorov_run>(
    "boykov_kolmogorov",
    "boykov_kolmogorov over NetworkX's residual network of G.edges with `codes`\n"
    "and `values` (as for max_flow); `cutoff`: R.graph['inf'] for None. Returns\n"
    "(flow_value, status, rest, trees) as shortest_augmenting_path does; trees\n"
    "(for want 4) the source and target trees as flat [node, parent or -1, ...].",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"), arg<Node>("s"),
    arg<Node>("t"), arg<double>("cutoff"), arg<std::uint64_t>("want"), arg<PyObject*>("nodes"),
    arg<PyObject*>("objects"), arg<PyObject*>("inf_object"), kwarg<PyObject*>("network", none));

}  // namespace

std::vector<PyMethodDef> boykovkolmogorov_methods() { return {row<BOYKOV_KOLMOGOROV>()}; }

}  // namespace fennel::py
