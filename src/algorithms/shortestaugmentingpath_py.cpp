// Binding of the shortest augmenting path flow: one call builds R, runs
// the algorithm and hands back what the caller asks for, with the node
// attributes the algorithm leaves on R.
#include "algorithms/augmenting_py.hpp"
#include "algorithms/shortestaugmentingpath.hpp"

namespace fennel::py {

namespace {

PyObject* shortest_augmenting_path_run(const CoreGraph& g, const BytesRef& codes, const BytesRef& values, double inf,
                                       bool inf_float, Node s, Node t, double cutoff, bool two_phase,
                                       std::uint64_t want, PyObject* nodes, PyObject* objects, PyObject* inf_object, PyObject* network) {
    HeightLabels labels;
    return serve_flow(
        g, codes, values, inf, inf_float, s, t, want, nodes, objects, inf_object, network,
        [&](const Residual& r, std::vector<FlowNumber>& flow) {
            const FlowRun run = shortest_augmenting_path(r, flow, s, t, two_phase, cutoff,
                                                         want == FLOW_RESIDUAL ? &labels : nullptr);
            return FlowOutcome{run.value, run.unbounded ? FLOW_UNBOUNDED : FLOW_DONE};
        },
        [&]() -> PyObject* {
            if (!labels.labelled) Py_RETURN_NONE;
            return tuple_from(
                [&] {
                    return list_from(labels.height.size(),
                                     [&](std::size_t u) { return PyLong_FromLongLong(labels.height[u]); });
                },
                [&] { return to_python(labels.current); });
        });
}

constexpr auto SHORTEST_AUGMENTING_PATH = method<shortest_augmenting_path_run>(
    "shortest_augmenting_path",
    "shortest_augmenting_path over NetworkX's residual network of G.edges with\n"
    "`codes` and `values` (as for max_flow). Returns (flow_value, status, rest,\n"
    "labels): status 0 done, 1 unbounded; rest None unless done, else for want\n"
    "0 None, 1 (succ offsets, succ targets, flow per succ slot), 2 the positions\n"
    "reaching t, 3 R's (succ rows, pred rows) keyed by `nodes`; labels (for want\n"
    "3 once heights were set) (heights, current edge's place in each succ row).",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"), arg<Node>("s"),
    arg<Node>("t"), arg<double>("cutoff"), arg<bool>("two_phase"), arg<std::uint64_t>("want"),
    arg<PyObject*>("nodes"), arg<PyObject*>("objects"), arg<PyObject*>("inf_object"), kwarg<PyObject*>("network", none));

}  // namespace

std::vector<PyMethodDef> shortestaugmentingpath_methods() { return {row<SHORTEST_AUGMENTING_PATH>()}; }

}  // namespace fennel::py
