// Binding of greedy_color.
#include "algorithms/coloring.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* colour(const CoreGraph& g) {
    const std::vector<Count> degrees = g.degrees();
    return detached([&] { return greedy_colour(g.succ, degrees); }, [](const Colouring& c) {
        return tuple_from([&] { return to_list(c.order); }, [&] { return to_list(c.colours); });
    });
}

constexpr auto GREEDY_COLOR =
    method<colour>("largest_first_colors", "Largest-first greedy colouring: processing order and each node's color.");

}  // namespace

std::vector<PyMethodDef> coloring_methods() { return {row<GREEDY_COLOR>()}; }

}  // namespace fennel::py
