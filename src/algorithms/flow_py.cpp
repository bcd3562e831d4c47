// Binding of the residual network and Edmonds–Karp: one call builds R from
// the capacities read in Python, runs the augmenting paths and hands back
// what the caller asks for (the value, the flow per edge of G, the nodes
// that still reach t, or R itself).
#include "algorithms/flow.hpp"
#include "algorithms/flow_py.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "lib/pyref.hpp"

#include <cstring>
#include <memory>

namespace fennel::py {

namespace {

enum Want : std::uint64_t { WANT_VALUE = 0, WANT_FLOWS = 1, WANT_CUT = 2, WANT_SPARE_CUT = 3 };

struct Found {
    Residual r;  // built for this call unless a kept one is given
    std::vector<FlowNumber> flow;
    FlowRun run;
    std::vector<FlowNumber> slot_flows;  // WANT_FLOWS: per succ slot of G
    std::vector<Node> reaching;          // WANT_CUT, WANT_SPARE_CUT
};

PyObject* max_flow(const CoreGraph& g, const BytesRef& codes_bytes, const BytesRef& values_bytes, double inf,
                   bool inf_float, Node s, Node t, double cutoff, std::uint64_t want, PyObject* network) {
    if (s >= g.n || t >= g.n || s == t) return raise(index_error());
    if (want > WANT_SPARE_CUT) return raise(value_error("want must be 0, 1, 2 or 3"));
    EdgeList edges;
    std::vector<std::uint8_t> codes;
    std::vector<double> values;
    if (!read_flow_input(g, codes_bytes, values_bytes, edges, codes, values)) return nullptr;
    const Residual* kept = nullptr;
    if (!kept_network(network, g, edges.us.size(), kept)) return nullptr;
    return detached(
        [&] {
            Found found;
            if (kept == nullptr) found.r = build_residual(g.n, g.directed, edges.us, edges.vs, codes, values, {inf, inf_float});
            const Residual& r = kept ? *kept : found.r;
            found.flow.assign(r.tail.size(), FlowNumber{});
            found.run = edmonds_karp(r, found.flow, s, t, cutoff);
            if (found.run.unbounded) return found;
            if (want == WANT_FLOWS) {
                // build_flow_dict: 0 for every edge of G[u], then R's flows above 0.
                found.slot_flows = flows_by_slot(g, r, found.flow);
            } else if (want != WANT_VALUE) {
                found.reaching = reaching_target(r, found.flow, t, want == WANT_SPARE_CUT);
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
            } else {
                rest = to_python(found.reaching);
            }
            if (rest == nullptr) return nullptr;
            return Py_BuildValue("(NON)", number(found.run.value), found.run.unbounded ? Py_True : Py_False, rest);
        });
}

}  // namespace

PyObject* residual_dicts(const Residual& r, const std::vector<FlowNumber>& flow, const std::vector<std::uint8_t>& codes,
                         PyObject* nodes, PyObject* objects, PyObject* inf_object) {
    PyRef capacity_key = PyRef::steal(PyUnicode_InternFromString("capacity"));
    PyRef flow_key = PyRef::steal(PyUnicode_InternFromString("flow"));
    if (!capacity_key || !flow_key) return nullptr;
    std::vector<PyRef> datas(r.tail.size());
    for (Slot e = 0; e < r.tail.size(); ++e) {
        PyRef data = PyRef::steal(PyDict_New());
        if (!data) return nullptr;
        const std::int64_t i = r.origin[e];
        PyRef capacity = i < 0                           ? PyRef::steal(PyLong_FromLong(0))
                         : codes[static_cast<std::size_t>(i)] == CAP_INFINITE ? PyRef::new_ref(inf_object)
                                                          : PyRef::new_ref(PyList_GET_ITEM(objects, i));
        PyRef value = PyRef::steal(number(flow[e]));
        if (!capacity || !value || PyDict_SetItem(data.get(), capacity_key.get(), capacity.get()) < 0 ||
            PyDict_SetItem(data.get(), flow_key.get(), value.get()) < 0) {
            return nullptr;
        }
        datas[e] = std::move(data);
    }
    auto dicts = [&](const Csr& rows, const std::vector<Node>& far) {
        return list_from(r.n, [&](std::size_t x) -> PyObject* {
            PyRef row = PyRef::steal(PyDict_New());
            if (!row) return nullptr;
            for (Node e : rows.row(static_cast<Node>(x))) {
                if (PyDict_SetItem(row.get(), PyTuple_GET_ITEM(nodes, far[e]), datas[e].get()) < 0) return nullptr;
            }
            return row.release();
        });
    };
    PyObject* succ = dicts(r.succ, r.head);
    if (succ == nullptr) return nullptr;
    PyObject* pred = dicts(r.pred, r.tail);
    if (pred == nullptr) {
        Py_DECREF(succ);
        return nullptr;
    }
    return Py_BuildValue("(NN)", succ, pred);
}

namespace {

PyObject* residual_network(const CoreGraph& g, const BytesRef& codes_bytes, const BytesRef& values_bytes,
                           double inf, bool inf_float, Node s, Node t, double cutoff, const TupleRef& nodes,
                           const ListRef& objects, PyObject* inf_object, PyObject* network) {
    if (s >= g.n || t >= g.n || s == t) return raise(index_error());
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) != g.n) return raise(value_error("one node per position"));
    EdgeList edges;
    std::vector<std::uint8_t> codes;
    std::vector<double> values;
    if (!read_flow_input(g, codes_bytes, values_bytes, edges, codes, values)) return nullptr;
    if (static_cast<std::size_t>(PyList_GET_SIZE(objects.obj)) != edges.us.size()) {
        return raise(value_error("objects must hold one capacity per edge"));
    }
    const Residual* kept = nullptr;
    if (!kept_network(network, g, edges.us.size(), kept)) return nullptr;
    return detached(
        [&] {
            Found found;
            if (kept == nullptr) found.r = build_residual(g.n, g.directed, edges.us, edges.vs, codes, values, {inf, inf_float});
            const Residual& r = kept ? *kept : found.r;
            found.flow.assign(r.tail.size(), FlowNumber{});
            found.run = edmonds_karp(r, found.flow, s, t, cutoff);
            return found;
        },
        [&](const Found& found) -> PyObject* {
            if (found.run.unbounded) return Py_BuildValue("(NOO)", number(found.run.value), Py_True, Py_None);
            PyObject* rows = residual_dicts(kept ? *kept : found.r, found.flow, codes, nodes.obj, objects.obj, inf_object);
            if (rows == nullptr) return nullptr;
            return Py_BuildValue("(NON)", number(found.run.value), Py_False, rows);
        });
}

constexpr auto MAX_FLOW = method<max_flow>(
    "max_flow",
    "Edmonds–Karp over NetworkX's residual network of G.edges with `codes` (per\n"
    "edge: 0 dropped, 1 int, 2 float, 3 infinite, as uint8 bytes) and `values`\n"
    "(double bytes); `inf`: R.graph['inf']. Returns (flow_value, unbounded, rest),\n"
    "rest None when unbounded or for want 0; for want 1 (succ offsets, succ\n"
    "targets, the flow per succ slot), for want 2 the positions reaching t over\n"
    "unsaturated edges, for want 3 over edges with flow below capacity.",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"), arg<Node>("s"),
    arg<Node>("t"), arg<double>("cutoff"), arg<std::uint64_t>("want"), kwarg<PyObject*>("network", none));

constexpr auto RESIDUAL_NETWORK = method<residual_network>(
    "residual_network",
    "max_flow's run, handing back R's rows as NetworkX's dicts: (flow_value,\n"
    "unbounded, (succ rows, pred rows) or None), a row per position keyed by\n"
    "`nodes`; `objects`: each edge's capacity object, `inf_object`: R.graph['inf'].",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"), arg<Node>("s"),
    arg<Node>("t"), arg<double>("cutoff"), arg<TupleRef>("nodes"), arg<ListRef>("objects"),
    arg<PyObject*>("inf_object"), kwarg<PyObject*>("network", none));

constexpr const char* NETWORK_CAPSULE = "fennel._core.FlowNetwork";

struct KeptNetwork {
    Residual r;
    std::size_t edge_count;  // of G.edges, the codes' length
};

void free_network(PyObject* capsule) { delete static_cast<KeptNetwork*>(PyCapsule_GetPointer(capsule, NETWORK_CAPSULE)); }

PyObject* flow_network(const CoreGraph& g, const BytesRef& codes_bytes, const BytesRef& values_bytes, double inf,
                       bool inf_float) {
    EdgeList edges;
    std::vector<std::uint8_t> codes;
    std::vector<double> values;
    if (!read_flow_input(g, codes_bytes, values_bytes, edges, codes, values)) return nullptr;
    auto kept = std::make_unique<KeptNetwork>();
    kept->edge_count = edges.us.size();
    PyObject* done = detached(
        [&] {
            kept->r = build_residual(g.n, g.directed, edges.us, edges.vs, codes, values, {inf, inf_float});
            kept->r.flow = {};  // each run keeps its own
            return 0;
        },
        [](int) { return Py_NewRef(Py_None); });
    if (done == nullptr) return nullptr;
    Py_DECREF(done);
    PyObject* capsule = PyCapsule_New(kept.get(), NETWORK_CAPSULE, free_network);
    if (capsule != nullptr) kept.release();
    return capsule;
}

constexpr auto FLOW_NETWORK = method<flow_network>(
    "flow_network",
    "NetworkX's residual network of G.edges with `codes` and `values` (as\n"
    "max_flow takes them), built once and handed out in a capsule that the flow\n"
    "functions take as `network` instead of building it again.",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"));

}  // namespace

bool kept_network(PyObject* capsule, const CoreGraph& g, std::size_t edge_count, const Residual*& out) {
    out = nullptr;
    if (capsule == Py_None) return true;
    auto* kept = static_cast<KeptNetwork*>(PyCapsule_GetPointer(capsule, NETWORK_CAPSULE));
    if (kept == nullptr) return false;  // not a network capsule: PyCapsule_GetPointer set the error
    if (kept->r.n != g.n || kept->edge_count != edge_count) {
        raise(value_error("network was built for another graph"));
        return false;
    }
    out = &kept->r;
    return true;
}

std::vector<PyMethodDef> flow_methods() { return {row<MAX_FLOW>(), row<RESIDUAL_NETWORK>(), row<FLOW_NETWORK>()}; }

}  // namespace fennel::py
