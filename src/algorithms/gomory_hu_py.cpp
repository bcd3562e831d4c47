// Binding of the Gomory–Hu tree: the capacities read in Python (as for
// max_flow) go in; each non-root node's parent and label come back.
#include "algorithms/gomory_hu.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>

namespace fennel::py {

namespace {

template <class T>
bool read_per_edge(const BytesRef& bytes, std::size_t count, std::vector<T>& out) {
    const Py_ssize_t size = PyBytes_GET_SIZE(bytes.obj);
    if (size != static_cast<Py_ssize_t>(count * sizeof(T))) {
        raise(value_error("codes and values must hold one entry per edge"));
        return false;
    }
    out.resize(count);
    if (count > 0) std::memcpy(out.data(), PyBytes_AS_STRING(bytes.obj), static_cast<std::size_t>(size));
    return true;
}

PyObject* number(FlowNumber x) {
    return x.is_float ? PyFloat_FromDouble(x.value) : PyLong_FromLongLong(static_cast<long long>(x.value));
}

PyObject* gomory_hu_tree(const CoreGraph& g, const BytesRef& codes_bytes, const BytesRef& values_bytes, double inf,
                         bool inf_float, std::uint64_t algorithm, bool spare) {
    if (algorithm != static_cast<std::uint64_t>(FlowAlgorithm::EdmondsKarp)) {
        return raise(value_error("unknown flow algorithm"));
    }
    EdgeList edges = edges_in_order(g);
    std::vector<std::uint8_t> codes;
    std::vector<double> values;
    if (!read_per_edge(codes_bytes, edges.us.size(), codes)) return nullptr;
    if (!read_per_edge(values_bytes, edges.us.size(), values)) return nullptr;
    if (2 * edges.us.size() >= MAX_CONVERTED_NODES) return raise(not_implemented("too many edges for R"));
    return detached(
        [&] {
            Residual r = build_residual(g.n, g.directed, edges.us, edges.vs, codes, values, {inf, inf_float});
            return gomory_hu(r, static_cast<FlowAlgorithm>(algorithm), spare);
        },
        [&](const GomoryHuTree& tree) -> PyObject* {
            if (tree.unbounded) return Py_BuildValue("(OOO)", Py_True, Py_None, Py_None);
            if (tree.missing_from >= 0) {
                return Py_BuildValue("(O(LL)O)", Py_False, static_cast<long long>(tree.missing_from),
                                     static_cast<long long>(tree.missing_to), Py_None);
            }
            PyObject* labels = list_from(tree.label.size(), [&](std::size_t i) { return number(tree.label[i]); });
            if (labels == nullptr) return nullptr;
            return Py_BuildValue("(ONN)", Py_False, to_python(tree.parent), labels);
        });
}

constexpr auto GOMORY_HU = method<gomory_hu_tree>(
    "gomory_hu",
    "gomory_hu_tree's cuts over the residual network of G.edges with `codes`\n"
    "and `values` (as max_flow takes them), each cut run by `algorithm` (0:\n"
    "Edmonds–Karp; `spare`: NetworkX 3.7's minimum_cut, which keeps R's rows\n"
    "and takes the sink side over edges with flow below capacity). Returns (unbounded, parents, labels): the parent and label\n"
    "of each node after the first; (False, (u, v), None) when labels lack (u, v).",
    arg<BytesRef>("codes"), arg<BytesRef>("values"), arg<double>("inf"), arg<bool>("inf_float"),
    arg<std::uint64_t>("algorithm"), kwarg<bool>("spare", false));

}  // namespace

std::vector<PyMethodDef> gomory_hu_methods() { return {row<GOMORY_HU>()}; }

}  // namespace fennel::py
