// Bindings of load centrality.
#include "algorithms/load.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* load(const CoreGraph& g, const AttrName& weight, std::uint32_t max_level, std::optional<double> cutoff,
               const Positions& rank) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    if (rank.size() != g.n) return raise(value_error("rank must hold one value per node"));
    std::vector<std::uint8_t> taken(g.n, 0);
    for (std::uint32_t r : rank) {
        if (r >= g.n || taken[r]) return raise(value_error("rank must be a permutation of the positions"));
        taken[r] = 1;
    }
    return detached([&] { return fennel::load(g.view(column.value()), max_level, cutoff, rank); });
}

PyObject* edge_load(const CoreGraph& g, std::uint32_t max_level) {
    return detached(
        [&]() -> Result<std::tuple<std::vector<Node>, std::vector<Node>, std::vector<double>>> {
            auto keys = load_keys(g);
            if (!keys.ok()) return keys.error();
            LoadKeys& k = keys.value();
            auto sums = fennel::edge_load(g, max_level, k.us.size(), k.forward, k.backward);
            if (!sums.ok()) return sums.error();
            return std::tuple{std::move(k.us), std::move(k.vs), std::move(sums.value())};
        },
        [](const auto& found) {
            const auto& [us, vs, sums] = found;
            return tuple_from([&] { return to_list(us); }, [&] { return to_list(vs); }, [&] { return to_list(sums); });
        });
}

constexpr auto LOAD = method<load>(
    "load",
    "Unscaled load sums over every source, one per node position; None when a\nsearch finds a shorter path into "
    "a settled node. Unweighted: levels below\n`max_level` expand; weighted: edges beyond `cutoff` are dropped. "
    "`rank`:\neach node's place in Python's order of the nodes.",
    arg<AttrName>("weight"), arg<std::uint32_t>("max_level"), arg<std::optional<double>>("cutoff"),
    arg<Positions>("rank"));
constexpr auto EDGE_LOAD = method<edge_load>(
    "edge_load",
    "edge_load_centrality's sums: (us, vs, sums), the ordered node pairs in\nNetworkX's key order with their "
    "totals; levels below `max_level` expand.",
    arg<std::uint32_t>("max_level"));

}  // namespace

std::vector<PyMethodDef> load_methods() { return {row<LOAD>(), row<EDGE_LOAD>()}; }

}  // namespace fennel::py
