// Binding of closeness vitality's removals.
#include "algorithms/vitality.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* wiener_without(const CoreGraph& g, const std::optional<std::string>& weight, const Positions& removed,
                         bool compensated_sum) {
    if (g.n < 2) return raise(value_error("two nodes or more"));
    for (Node r : removed) {
        if (r >= g.n) return raise(index_error());
    }
    const std::vector<double>* column = nullptr;
    bool int_weights = true;
    if (weight) {
        auto found = g.weight_slice(*weight, false);
        if (!found.ok()) return raise(found.error());
        column = found.value();
        int_weights = g.all_int(*weight);
    }
    return detached([&] { return fennel::wiener_without(g, column, int_weights, compensated_sum, removed); },
                    [&](const std::vector<WienerWithout>& found) {
                        return list_from(found.size(), [&](std::size_t i) -> PyObject* {
                            const WienerWithout& w = found[i];
                            if (!w.connected) return Py_NewRef(Py_False);
                            if (!w.valid) return Py_NewRef(Py_None);
                            // sum() stays an int until it meets a float.
                            if (column == nullptr || int_weights || !w.any_float) return to_python(w.int_total);
                            return to_python(w.float_total);
                        });
                    });
}

constexpr auto WIENER_WITHOUT = method<wiener_without>(
    "wiener_without",
    "For each removed node: NetworkX's sum of the distances between every pair\nof the other nodes (before "
    "wiener_index halves it), False when they are not\n(strongly) connected, None on a negative cycle.",
    arg<std::optional<std::string>>("weight"), arg<Positions>("removed"), kwarg<bool>("compensated_sum", false));

}  // namespace

std::vector<PyMethodDef> vitality_methods() { return {row<WIENER_WITHOUT>()}; }

}  // namespace fennel::py
