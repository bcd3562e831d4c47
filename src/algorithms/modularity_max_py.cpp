// Binding of the greedy modularity merges.
#include "algorithms/modularity_max.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* merges(const CnmMerges& found) {
    return tuple_from([&] { return to_python(found.merged); }, [&] { return to_python(found.exhausted); },
                      [&] { return to_python(found.zero_total); });
}

PyObject* cnm(const CoreGraph& g, const AttrName& weight, const Positions& rank, double resolution, double cutoff,
              double best_n, bool compensated_sum) {
    if (rank.size() != g.n) return raise(value_error("rank must hold one entry per node"));
    std::vector<std::uint8_t> seen(rank.size(), 0);
    for (Node r : rank) {
        if (r >= g.n || seen[r]++) return raise(value_error("rank must be a permutation of the positions"));
    }
    CnmInput in{&g.succ, nullptr, {}, {}, g.directed, weight.has_value(), rank, resolution, cutoff, best_n,
                compensated_sum};
    if (weight) {
        auto column = g.weight_slice(weight, false);
        if (!column.ok()) return raise(column.error());
        const Weights* w = g.find_weights(*weight);
        in.out = {column.value(), w, PY_INT};
    }
    if (g.directed && !weight) {
        in.pred = &g.in_rows();  // in-degrees are counts: any row order
    } else if (g.directed) {
        auto back = g.search_view(weight, true);
        if (!back.ok()) return raise(back.error());
        in.pred = back.value().out;
        {
            const Weights* w = g.find_weights(*weight);
            const int kind = w != nullptr ? w->uniform_kind() : PY_INT;
            if (kind < 0) return raise(not_implemented("in-degree sums over weights of several kinds"));
            in.in = {back.value().weights, nullptr, static_cast<std::uint8_t>(kind)};
        }
    }
    return detached([&] { return cnm_merges(in); }, merges);
}

constexpr auto CNM = method<cnm>(
    "cnm_merges", "greedy_modularity_communities' merges as (merged, exhausted, zero_total).", arg<AttrName>("weight"),
    arg<Positions>("rank"), arg<double>("resolution"), arg<double>("cutoff"), arg<double>("best_n"),
    arg<bool>("compensated_sum"));

PyObject* naive(const CoreGraph& g, const AttrName& weight, double resolution, bool int_resolution,
                bool compensated_sum) {
    if (g.directed) return raise(not_implemented("naive greedy modularity needs an undirected graph"));
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    NaiveInput in{&g.succ, column.value(), resolution, int_resolution, compensated_sum};
    return detached([&] { return naive_greedy_merges(in); },
                    [](const NaiveMerges& found) {
                        return tuple_from([&] { return to_python(found.merged); },
                                          [&] { return to_python(found.zero_total); });
                    });
}

constexpr auto NAIVE = method<naive>(
    "naive_greedy_merges", "naive_greedy_modularity_communities' merges as (merged, zero_total); integer weights.",
    arg<AttrName>("weight"), arg<double>("resolution"), arg<bool>("int_resolution"), arg<bool>("compensated_sum"));

}  // namespace

std::vector<PyMethodDef> modularity_max_methods() { return {row<CNM>(), row<NAIVE>()}; }

}  // namespace fennel::py
