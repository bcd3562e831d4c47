// Binding of the residual network and Edmonds–Karp: one call builds R from
// the capacities read in Python, runs the augmenting paths and hands back
// what the caller asks for (the value, the flow per edge of G, the nodes
// that still reach t, or R itself).
#include "algorithms/flow.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>

namespace fennel::py {

namespace {

// A number of the flow arithmetic as the Python int or float it stands for.
PyObject* number(FlowNumber x) {
    return x.is_float ? PyFloat_FromDouble(x.value) : PyLong_FromLongLong(static_cast<long long>(x.value));
}

template <class T>
bool read_array(const BytesRef& bytes, std::size_t count, std::vector<T>& out, const char* what) {
    const Py_ssize_t size = PyBytes_GET_SIZE(bytes.obj);
    if (size != static_cast<Py_ssize_t>(count * sizeof(T))) {
        raise(value_error(std::string(what) + " must hold one entry per edge"));
        return false;
    }
    out.resize(count);
    if (count > 0) std::memcpy(out.data(), PyBytes_AS_STRING(bytes.obj), static_cast<std::size_t>(size));
    return true;
}

enum Want : std::uint64_t { WANT_VALUE = 0, WANT_FLOWS = 1, WANT_CUT = 2, WANT_RESIDUAL = 3 };

struct Found {
    Residual r;
    FlowRun run;
    std::vector<FlowNumber> slot_flows;  // WANT_FLOWS: per succ slot of G
    std::vector<Node> reaching;          // WANT_CUT
};

PyObject* residual_lists(const Residual& r) {
    auto numbers = [&](const std::vector<FlowNumber>& xs) {
        return list_from(xs.size(), [&](std::size_t e) { return number(xs[e]); });
    };
    return tuple_from([&] { return to_python(r.tail); }, [&] { return to_python(r.head); },
                      [&] { return list_from(r.origin.size(), [&](std::size_t e) { return PyLong_FromLongLong(r.origin[e]); }); }, [&] { return numbers(r.flow); },
                      [&] { return to_python(r.succ.offsets); }, [&] { return to_python(r.succ.targets); },
                      [&] { return to_python(r.pred.offsets); }, [&] { return to_python(r.pred.targets); });
}

PyObject* max_flow(const CoreGraph& g, const BytesRef& codes_bytes, const BytesRef& values_bytes, double inf,
                   bool inf_float, Node s, Node t, double cutoff, std::uint64_t want) {
    if (s >= g.n || t >= g.n || s == t) return raise(index_error());
    if (want > WANT_RESIDUAL) return raise(value_error("want must be 0, 1, 2 or 3"));
    EdgeList edges = edges_in_order(g);
    std::vector<std::uint8_t> codes;
    std::vector<double> values;
    if (!read_array(codes_bytes, edges.us.size(), codes, "codes")) return nullptr;
    if (!read_array(values_bytes, edges.us.size(), values, "values")) return nullptr;
    if (2 * edges.us.size() >= MAX_CONVERTED_NODES) return raise(not_implemented("too many edges for R"));
    return detached(
        [&] {
            Found found;
            found.r = build_residual(g.n, g.directed, edges.us, edges.vs, codes, values, {inf, inf_float});
            found.run = edmonds_karp(found.r, found.r.flow, s, t, cutoff);
            if (found.run.unbounded) return found;
            if (want == WANT_FLOWS) {
                // build_flow_dict: 0 for every edge of G[u], then R's flows above 0.
                found.slot_flows.assign(g.succ.slot_count(), FlowNumber{});
                for (Node u = 0; u < g.n; ++u) {
                    for (Slot slot = g.succ.begin(u); slot < g.succ.end(u); ++slot) {
                        const std::int64_t e = residual_edge(found.r, u, g.succ.targets[slot]);
                        if (e >= 0 && found.r.flow[e].value > 0) found.slot_flows[slot] = found.r.flow[e];
                    }
                }
            } else if (want == WANT_CUT) {
                found.reaching = reaching_target(found.r, found.r.flow, t);
            }
            return found;
        },
        [&](const Found& found) -> PyObject* {
            PyObject* rest = Py_None;
            if (found.run.unbounded || want == WANT_VALUE) {
                Py_INCREF(rest);
            } else if (want == WANT_FLOWS) {
                rest = tuple_from([&] { return to_python(g.succ.offsets); }, [&] { return to_python(g.succ.targets); },
                                  [&] {
                                      return list_from(found.slot_flows.size(),
                                                       [&](std::size_t i) { return number(found.slot_flows[i]); });
                                  });
            } else if (want == WANT_CUT) {
                rest = to_python(found.reaching);
            } else {
                rest = residual_lists(found.r);
            }
            if (rest == nullptr) return nullptr;
            return Py_BuildValue("(NON)", number(found.run.value), found.run.unbounded ? Py_True : Py_False, rest);
        });
}

constexpr auto MAX_FLOW = method<max_flow>(
    "max_flow",
    "Edmonds–Karp over NetworkX's residual network of G.edges with `codes` (per\n"
    "edge: 0 dropped, 1 int, 2 float, 3 infinite, as uint8 bytes) and `values`\n"
    "(double bytes); `inf`: R.graph['inf']. Returns (flow_value, unbounded, rest),\n"
    "rest None when unbounded or for want 0; 1 (succ offsets, succ targets, the\n"
    "flow per succ slot), 2 the positions reaching t\n"
    "over unsaturated edges, 3 R's lists (tails, heads, origins, flows, succ\n"
    "offsets, succ edge ids, pred offsets, pred edge ids).",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"), arg<Node>("s"),
    arg<Node>("t"), arg<double>("cutoff"), arg<std::uint64_t>("want"));

}  // namespace

std::vector<PyMethodDef> flow_methods() { return {row<MAX_FLOW>()}; }

}  // namespace fennel::py
