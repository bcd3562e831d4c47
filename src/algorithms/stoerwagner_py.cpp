// Binding of Stoer–Wagner: the weights read in Python (one per edge of
// G.edges, with a flag for each float among them) go in; the cut value and
// the node orders the partition is built from come back.
#include "algorithms/stoerwagner.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* stoer_wagner_cut(const CoreGraph& g, const Reals& values, const Flags& floats) {
    if (g.directed) return raise(value_error("an undirected graph"));
    EdgeList edges = edges_in_order(g);
    if (values.size() != edges.us.size() || floats.size() != edges.us.size()) {
        return raise(value_error("values and floats must hold one entry per edge"));
    }
    if (g.n < 2) return raise(value_error("a connected graph of two nodes or more"));
    return detached(
        [&] {
            std::vector<FlowNumber> weights(values.size());
            for (std::size_t i = 0; i < values.size(); ++i) weights[i] = {values[i], floats[i] != 0};
            return stoer_wagner(g.n, edges.us, edges.vs, weights);
        },
        [&](const StoerWagnerCut& cut) -> PyObject* {
            PyObject* value = cut.value.is_float ? PyFloat_FromDouble(cut.value.value)
                                                 : PyLong_FromLongLong(static_cast<long long>(cut.value.value));
            if (value == nullptr) return nullptr;
            return Py_BuildValue("(NNN)", value, to_python(cut.nodes), to_python(cut.reachable));
        });
}

constexpr auto STOER_WAGNER = method<stoer_wagner_cut>(
    "stoer_wagner",
    "stoer_wagner's phases over the weights of G.edges (`values`, with `floats`\n"
    "flagging the Python floats); G connected, weights at least 0. Returns\n"
    "(cut_value, the working copy's node order, the positions reaching the\n"
    "best phase's last node, in breadth-first order).",
    arg<Reals>("values"), arg<Flags>("floats"));

}  // namespace

std::vector<PyMethodDef> stoerwagner_methods() { return {row<STOER_WAGNER>()}; }

}  // namespace fennel::py
