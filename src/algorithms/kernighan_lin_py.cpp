// Binding of the Kernighan–Lin bisection.
#include "algorithms/kernighan_lin.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* bisect(const CoreGraph& g, const AttrName& weight, const std::vector<std::uint8_t>& side,
                 std::uint64_t max_iter, bool compensated, const std::vector<double>& sums, const Positions& kinds) {
    if (g.directed) return raise(not_implemented("Kernighan-Lin needs an undirected graph"));
    if (side.size() != g.n) return raise(value_error("side must hold one entry per node"));
    const Slot slots = g.succ.slot_count();
    KlRows rows{&g.succ, {}, {}};
    if (!sums.empty() || !kinds.empty()) {
        if (sums.size() != slots || kinds.size() != slots) {
            return raise(value_error("sums and kinds must hold one entry per slot"));
        }
        rows.weights = sums;
        rows.kinds.assign(kinds.begin(), kinds.end());
        for (std::uint8_t k : rows.kinds) {
            if (k != PY_INT && k != PY_FLOAT) return raise(value_error("kinds must be PY_INT or PY_FLOAT"));
        }
    } else {
        auto column = g.weight_slice(weight, false);
        if (!column.ok()) return raise(column.error());
        const Weights* facts = weight ? g.find_weights(*weight) : nullptr;
        if (facts && !facts->kinds_known()) return raise(not_implemented("the kind of every weight was not kept"));
        rows.weights = column.value() ? *column.value() : std::vector<double>(slots, 1.0);
        rows.kinds.resize(slots);
        for (Slot s = 0; s < slots; ++s) {
            const std::uint8_t k = facts ? facts->kind(s) : std::uint8_t{PY_INT};
            if (k != PY_INT && k != PY_FLOAT) return raise(not_implemented("numpy weights"));
            rows.kinds[s] = k;
        }
    }
    return detached([&] { return kernighan_lin(rows, side, max_iter, compensated); },
                    [](const KlBisection& r) {
                        return tuple_from([&] { return to_python(r.side); },
                                          [&] { return to_python(r.empty_sweep); });
                    });
}

constexpr auto KERNIGHAN_LIN = method<bisect>(
    "kernighan_lin",
    "kernighan_lin_bisection's blocks from `side` (1: the second block) as\n(side, empty_sweep); `sums` and `kinds`, "
    "when given, hold each slot's weight\nand its kind in place of the column's (multigraphs' sums over keys).",
    arg<AttrName>("weight"), arg<std::vector<std::uint8_t>>("side"), arg<std::uint64_t>("max_iter"),
    arg<bool>("compensated"), arg<std::vector<double>>("sums"), arg<Positions>("kinds"));

}  // namespace

std::vector<PyMethodDef> kernighan_lin_methods() { return {row<KERNIGHAN_LIN>()}; }

}  // namespace fennel::py
