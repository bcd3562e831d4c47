// Binding of Dinitz's flow: one call builds R, runs the algorithm and hands
// back what the caller asks for.
#include "algorithms/augmenting_py.hpp"
#include "algorithms/dinitz_alg.hpp"

namespace fennel::py {

namespace {

PyObject* dinitz_run(const CoreGraph& g, const BytesRef& codes, const BytesRef& values, double inf, bool inf_float,
                     Node s, Node t, double cutoff, std::uint64_t want, PyObject* nodes, PyObject* objects,
                     PyObject* inf_object, PyObject* network) {
    return serve_flow(
        g, codes, values, inf, inf_float, s, t, want, nodes, objects, inf_object, network,
        [&](const Residual& r, std::vector<FlowNumber>& flow) {
            const DinitzRun run = dinitz(r, flow, s, t, cutoff);
            return FlowOutcome{run.run.value, run.key_error       ? FLOW_KEY_ERROR
                                              : run.index_error ? FLOW_INDEX_ERROR
                                              : run.run.unbounded ? FLOW_UNBOUNDED
                                                                  : FLOW_DONE};
        },
        []() -> PyObject* { Py_RETURN_NONE; });
}

constexpr auto DINITZ = method<dinitz_run>(
    "dinitz",
    "dinitz over NetworkX's residual network of G.edges with `codes` and\n"
    "`values` (as for max_flow); `cutoff`: R.graph['inf'] for None. Returns\n"
    "(flow_value, status, rest, None) as shortest_augmenting_path does; status\n"
    "2: NetworkX raises KeyError(s); 3: NetworkX pops an empty deque (IndexError).",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"), arg<Node>("s"),
    arg<Node>("t"), arg<double>("cutoff"), arg<std::uint64_t>("want"), arg<PyObject*>("nodes"),
    arg<PyObject*>("objects"), arg<PyObject*>("inf_object"), kwarg<PyObject*>("network", none));

}  // namespace

std::vector<PyMethodDef> dinitz_alg_methods() { return {row<DINITZ>()}; }

}  // namespace fennel::py
