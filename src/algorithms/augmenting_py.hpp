// What the bindings of the augmenting-path flows (shortest augmenting path,
// Dinitz) do around their algorithm: read the capacities, build R, run the
// algorithm detached and hand back what the caller asks for.
#pragma once

#include "algorithms/flow.hpp"
#include "algorithms/flow_py.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstdint>
#include <vector>

namespace fennel::py {

// What a run hands back besides the flow value: nothing, build_flow_dict's
// flows per succ slot of G, the positions reaching t once the saturated
// edges are gone (minimum_cut) or over the edges with flow below capacity
// (NetworkX 3.7's minimum_cut), or R's rows as NetworkX's dicts. The codes
// are the flow room's WANT_* codes.
enum FlowWant : std::uint64_t { FLOW_VALUE = 0, FLOW_DICT = 1, FLOW_CUT = 2, FLOW_SPARE_CUT = 3, FLOW_RESIDUAL = 4 };

// How a run ended: with its flow, at an infinite capacity path, or where
// NetworkX's own code raises KeyError (the source as a missing key) or
// IndexError (an empty deque popped).
enum FlowStatus : std::uint64_t { FLOW_DONE = 0, FLOW_UNBOUNDED = 1, FLOW_KEY_ERROR = 2, FLOW_INDEX_ERROR = 3 };

struct FlowOutcome {
    FlowNumber value;
    FlowStatus status = FLOW_DONE;
};

// `run(R, flows)` -> FlowOutcome runs the algorithm detached; `extra()`
// (attached, a new reference) makes the fourth item of the answer
// (value, status, rest, extra); rest is None unless the run is done.
template <class Run, class Extra>
PyObject* serve_flow(const CoreGraph& g, const BytesRef& codes_bytes, const BytesRef& values_bytes, double inf,
                     bool inf_float, Node s, Node t, std::uint64_t want, PyObject* nodes, PyObject* objects,
                     PyObject* inf_object, PyObject* network, Run&& run, Extra&& extra) {
    if (s >= g.n || t >= g.n || s == t) return raise(index_error());
    if (want > FLOW_RESIDUAL) return raise(value_error("want must be 0, 1, 2, 3 or 4"));
    EdgeList edges;
    std::vector<std::uint8_t> codes;
    std::vector<double> values;
    if (!read_flow_input(g, codes_bytes, values_bytes, edges, codes, values)) return nullptr;
    if (want == FLOW_RESIDUAL) {
        if (!PyTuple_Check(nodes) || static_cast<Count>(PyTuple_GET_SIZE(nodes)) != g.n) {
            return raise(value_error("nodes must be a tuple of one node per position"));
        }
        if (!PyList_Check(objects) || static_cast<std::size_t>(PyList_GET_SIZE(objects)) != edges.us.size()) {
            return raise(value_error("objects must be a list of one capacity per edge"));
        }
    }
    const Residual* kept = nullptr;
    if (!kept_network(network, g, edges.us.size(), kept)) return nullptr;
    struct Found {
        Residual r;  // built for this call unless a kept one is given
        std::vector<FlowNumber> flow;
        FlowOutcome outcome;
        std::vector<FlowNumber> slot_flows;
        std::vector<Node> reaching;
    };
    return detached(
        [&] {
            Found found;
            if (kept == nullptr) found.r = build_residual(g.n, g.directed, edges.us, edges.vs, codes, values, {inf, inf_float});
            const Residual& r = kept ? *kept : found.r;
            found.flow.assign(r.tail.size(), FlowNumber{});
            found.outcome = run(r, found.flow);
            if (found.outcome.status != FLOW_DONE) return found;
            if (want == FLOW_DICT) {
                // build_flow_dict: 0 for every edge of G[u], then R's flows above 0.
                found.slot_flows = flows_by_slot(g, r, found.flow);
            } else if (want == FLOW_CUT || want == FLOW_SPARE_CUT) {
                found.reaching = reaching_target(r, found.flow, t, want == FLOW_SPARE_CUT);
            }
            return found;
        },
        [&](const Found& found) -> PyObject* {
            PyObject* rest = Py_None;
            if (found.outcome.status != FLOW_DONE || want == FLOW_VALUE) {
                Py_INCREF(rest);
            } else if (want == FLOW_DICT) {
                rest = tuple_from([&] { return to_python(g.succ.offsets); }, [&] { return to_python(g.succ.targets); },
                                  [&] {
                                      return list_from(found.slot_flows.size(),
                                                       [&](std::size_t i) { return number(found.slot_flows[i]); });
                                  });
            } else if (want == FLOW_CUT || want == FLOW_SPARE_CUT) {
                rest = to_python(found.reaching);
            } else {
                rest = residual_dicts(kept ? *kept : found.r, found.flow, codes, nodes, objects, inf_object);
            }
            if (rest == nullptr) return nullptr;
            PyObject* more = extra();
            if (more == nullptr) {
                Py_DECREF(rest);
                return nullptr;
            }
            return Py_BuildValue("(NKNN)", number(found.outcome.value),
                                 static_cast<unsigned long long>(found.outcome.status), rest, more);
        });
}

}  // namespace fennel::py
