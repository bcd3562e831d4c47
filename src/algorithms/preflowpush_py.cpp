// Binding of preflow-push: one call builds R from the capacities read in
// Python, runs preflow_push_impl and hands back what the caller asks for
// (the value, the flow per edge of G, the nodes that still reach t, or R's
// rows and node attributes).
#include "algorithms/flow_py.hpp"
#include "algorithms/preflowpush.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

enum Want : std::uint64_t { WANT_VALUE = 0, WANT_FLOWS = 1, WANT_CUT = 2, WANT_SPARE_CUT = 3, WANT_RESIDUAL = 4 };
// How a run ended, as its second item.
enum Status : long { DONE = 0, UNBOUNDED = 1, FAILED = 2 };

struct Pushed {
    Residual r;  // built for this call unless a kept one is given
    std::vector<FlowNumber> flow;
    FlowRun run;
    PreflowNodes nodes;
    std::vector<FlowNumber> slot_flows;  // WANT_FLOWS: per succ slot of G
    std::vector<Node> reaching;          // WANT_CUT, WANT_SPARE_CUT
    long status() const { return run.unbounded ? UNBOUNDED : nodes.failed ? FAILED : DONE; }
};

PyObject* node_lists(const Pushed& p) {
    const std::size_t n = p.nodes.excess.size();
    auto excess = [&] { return list_from(n, [&](std::size_t i) { return number(p.nodes.excess[i]); }); };
    if (!p.nodes.labelled) return tuple_from(excess, [] { return Py_NewRef(Py_None); }, [] { return Py_NewRef(Py_None); });
    auto height = [&] {
        return list_from(n, [&](std::size_t i) { return PyLong_FromLongLong(static_cast<long long>(p.nodes.height[i])); });
    };
    return tuple_from(excess, height, [&] { return to_python(p.nodes.current); });
}

PyObject* preflow(const CoreGraph& g, const BytesRef& codes_bytes, const BytesRef& values_bytes, double inf,
                  bool inf_float, Node s, Node t, const BytesRef& hashes, double freq, bool value_only,
                  std::uint64_t want, PyObject* nodes, PyObject* objects, PyObject* inf_object, PyObject* network) {
    if (s >= g.n || t >= g.n || s == t) return raise(index_error());
    if (want > WANT_RESIDUAL) return raise(value_error("want must be 0, 1, 2, 3 or 4"));
    EdgeList edges;
    std::vector<std::uint8_t> codes;
    std::vector<double> values;
    std::vector<std::int64_t> hash;
    if (!read_flow_input(g, codes_bytes, values_bytes, edges, codes, values)) return nullptr;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    if (want == WANT_RESIDUAL) {
        if (!PyTuple_Check(nodes) || static_cast<Count>(PyTuple_GET_SIZE(nodes)) != g.n) {
            return raise(value_error("nodes must be a tuple with one node per position"));
        }
        if (!PyList_Check(objects) || static_cast<std::size_t>(PyList_GET_SIZE(objects)) != edges.us.size()) {
            return raise(value_error("objects must hold one capacity per edge"));
        }
    }
    const Residual* kept = nullptr;
    if (!kept_network(network, g, edges.us.size(), kept)) return nullptr;
    return detached(
        [&] {
            Pushed p;
            if (kept == nullptr) p.r = build_residual(g.n, g.directed, edges.us, edges.vs, codes, values, {inf, inf_float});
            const Residual& r = kept ? *kept : p.r;
            p.flow.assign(r.tail.size(), FlowNumber{});
            p.run = preflow_push(r, p.flow, s, t, hash, freq, value_only, p.nodes);
            if (p.status() != DONE) return p;
            if (want == WANT_FLOWS) {
                // build_flow_dict: 0 for every edge of G[u], then R's flows above 0.
                p.slot_flows = flows_by_slot(g, r, p.flow);
            } else if (want == WANT_CUT || want == WANT_SPARE_CUT) {
                p.reaching = reaching_target(r, p.flow, t, want == WANT_SPARE_CUT);
            }
            return p;
        },
        [&](const Pushed& p) -> PyObject* {
            PyObject* rest = nullptr;
            if (p.status() != DONE || want == WANT_VALUE) {
                rest = Py_NewRef(Py_None);
            } else if (want == WANT_FLOWS) {
                rest = tuple_from([&] { return to_python(g.succ.offsets); }, [&] { return to_python(g.succ.targets); },
                                  [&] {
                                      return list_from(p.slot_flows.size(),
                                                       [&](std::size_t i) { return number(p.slot_flows[i]); });
                                  });
            } else if (want == WANT_CUT || want == WANT_SPARE_CUT) {
                rest = to_python(p.reaching);
            } else {
                rest = tuple_from([&] { return residual_dicts(kept ? *kept : p.r, p.flow, codes, nodes, objects, inf_object); },
                                  [&] { return node_lists(p); });
            }
            if (rest == nullptr) return nullptr;
            return Py_BuildValue("(NlN)", number(p.run.value), p.status(), rest);
        });
}

constexpr auto PREFLOW = method<preflow>(
    "preflow",
    "preflow_push over NetworkX's residual network of G.edges (`codes`, `values`,\n"
    "`inf`, `inf_float` as for max_flow); `hashes`: hash() of each node as int64\n"
    "bytes; `freq`: global_relabel_freq (0 for None). Returns (flow_value, status,\n"
    "rest): status 0 done, 1 unbounded, 2 a step NetworkX fails on; rest None\n"
    "unless done, else for want 1, 2 and 3 as max_flow's, for want 4 ((succ rows,\n"
    "pred rows), (excess, height or None, current edge position or None)) with\n"
    "`nodes`, `objects` and `inf_object` as for residual_network.",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"), arg<Node>("s"),
    arg<Node>("t"), arg<BytesRef>("hashes"), arg<double>("freq"), arg<bool>("value_only"), arg<std::uint64_t>("want"),
    arg<PyObject*>("nodes"), arg<PyObject*>("objects"), arg<PyObject*>("inf_object"), kwarg<PyObject*>("network", none));

}  // namespace

std::vector<PyMethodDef> preflowpush_methods() { return {row<PREFLOW>()}; }

}  // namespace fennel::py
