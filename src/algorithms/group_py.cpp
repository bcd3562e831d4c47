// Bindings of the group centralities.
#include "algorithms/group.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cmath>
#include <utility>

namespace fennel::py {

namespace {

PyObject* group_degree(const CoreGraph& g, const Positions& group, bool reverse) {
    auto list = g.sources_or_all(group);
    if (!list.ok()) return raise(list.error());
    const Csr& rows = reverse ? g.in_rows() : g.succ;
    return detached([&] { return fennel::group_degree(rows, list.value()); });
}

PyObject* group_distance_total(const CoreGraph& g, const Positions& group, const AttrName& weight) {
    // Along the reversed graph for a directed G, as NetworkX's G.reverse().
    auto column = g.weight_slice(weight, g.directed);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(group);
    if (!list.ok()) return raise(list.error());
    const GraphView view{.out = &g.in_rows(), .in = &g.succ, .weights = column.value(), .directed = g.directed};
    return detached([&] { return fennel::group_distance_total(view, list.value()); });
}

PyObject* group_distances(const CoreGraph& g, const Positions& group, const AttrName& weight) {
    auto column = g.weight_slice(weight, g.directed);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(group);
    if (!list.ok()) return raise(list.error());
    const GraphView view{.out = &g.in_rows(), .in = &g.succ, .weights = column.value(), .directed = g.directed};
    return detached([&] { return fennel::group_distances(view, list.value()); });
}

// The groups' steps and, for each group, the count NetworkX subtracts when
// the graph is not connected: over each member a, 1 per other member a
// reaches and 2 per other node it reaches.
PyObject* group_betweenness(const CoreGraph& g, const AttrName& weight, const Positions& members,
                            const Positions& offsets, const Positions& flat) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(members);
    if (!list.ok()) return raise(list.error());
    const std::size_t k = members.size();
    if (offsets.empty() || offsets.back() != flat.size()) return raise(value_error("offsets must end at the entries"));
    std::vector<std::span<const std::uint32_t>> groups;
    for (std::size_t i = 0; i + 1 < offsets.size(); ++i) {
        if (offsets[i] > offsets[i + 1]) return raise(value_error("offsets must not decrease"));
        groups.emplace_back(flat.data() + offsets[i], offsets[i + 1] - offsets[i]);
    }
    for (std::uint32_t i : flat) {
        if (i >= k) return raise(value_error("group entries index the members"));
    }
    using Found = std::pair<std::vector<std::vector<double>>, std::vector<std::uint64_t>>;
    return detached(
        [&]() -> Result<Found> {
            auto paths = fennel::group_paths(g.view(column.value()), list.value());
            if (!paths.ok()) return paths.error();
            const GroupPaths& t = paths.value();
            Found found;
            for (const auto& group : groups) {
                found.first.push_back(group_steps(t, k, group));
                std::uint64_t scale = 0;
                for (std::uint32_t a : group) {
                    std::uint64_t inside = 0;
                    for (std::uint32_t b : group) inside += b != a && !std::isnan(t.dist[a * k + b]);
                    scale += inside + 2 * (t.reached[a] - 1 - inside);
                }
                found.second.push_back(scale);
            }
            return found;
        },
        [](const Found& found) {
            return tuple_from([&] { return to_python(found.first); }, [&] { return to_python(found.second); });
        });
}

// prominent_group's search over the nodes `members` outside C (node order):
// (found, GBC, the group as indices into `members`, the endpoint count of a
// graph that is not connected).
PyObject* prominent_group(const CoreGraph& g, const AttrName& weight, const Positions& members,
                          const Positions& label, const Positions& rank, std::uint64_t k, bool greedy) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(members);
    if (!list.ok()) return raise(list.error());
    const std::size_t m = members.size();
    if (label.size() != m || rank.size() != m) return raise(value_error("label and rank must index the members"));
    for (std::size_t i = 0; i < m; ++i) {
        if (label[i] >= m || rank[i] >= m) return raise(value_error("label and rank must index the members"));
    }
    if (k == 0 || k > m) return raise(value_error("k must be between 1 and the number of members"));
    using Found = std::pair<ProminentGroup, std::uint64_t>;
    return detached(
        [&]() -> Result<Found> {
            auto paths = fennel::group_paths(g.view(column.value()), list.value());
            if (!paths.ok()) return paths.error();
            const GroupPaths& t = paths.value();
            auto found = prominent_search(t, k, label, rank, greedy);
            if (!found.ok()) return found.error();
            std::uint64_t scale = 0;
            for (std::uint32_t a : found.value().group) {
                std::uint64_t inside = 0;
                for (std::uint32_t b : found.value().group) inside += b != a && !std::isnan(t.dist[a * m + b]);
                scale += inside + 2 * (t.reached[a] - 1 - inside);
            }
            return Found{std::move(found.value()), scale};
        },
        [](const Found& found) {
            return tuple_from([&] { return to_python(found.first.found); }, [&] { return to_python(found.first.gbc); },
                              [&] { return to_python(found.first.group); }, [&] { return to_python(found.second); });
        });
}

constexpr auto PROMINENT_GROUP = method<prominent_group>(
    "prominent_group",
    "prominent_group's search over `members` (the nodes outside C, in node\norder): `label[i]` is the member NetworkX pairs with the "
    "i-th diagonal\nentry, `rank[i]` member i's place in sorted order. Returns (found, GBC,\nthe group as member indices, "
    "the endpoint count of a graph that is not\nconnected).",
    arg<AttrName>("weight"), arg<Positions>("members"), arg<Positions>("label"), arg<Positions>("rank"),
    arg<std::uint64_t>("k"), arg<bool>("greedy"));
constexpr auto GROUP_BETWEENNESS = method<group_betweenness>(
    "group_betweenness",
    "group_betweenness_centrality's steps over the group nodes `members`: for\neach group (indices into "
    "`members`, in set(group)'s order; group i is\nflat[offsets[i]:offsets[i + 1]]) the PB_m[v][v]\nit adds in turn, and the endpoint count of a graph that "
    "is not connected.",
    arg<AttrName>("weight"), arg<Positions>("members"), arg<Positions>("offsets"), arg<Positions>("flat"));
constexpr auto GROUP_DISTANCES = method<group_distances>(
    "group_distances",
    "The distance of every node from `group` (towards it on a directed graph),\nNaN where it does not reach it; NaN weights are hidden.",
    arg<Positions>("group"), arg<AttrName>("weight"));
constexpr auto GROUP_DEGREE = method<group_degree>(
    "group_degree",
    "The number of nodes outside `group` adjacent to it: its out-neighbours, or\nin-neighbours with `reverse`.",
    arg<Positions>("group"), arg<bool>("reverse"));
constexpr auto GROUP_DISTANCE_TOTAL = method<group_distance_total>(
    "group_distance_total",
    "The sum of the distances from `group` (towards it on a directed graph) of\nthe nodes outside it that reach "
    "it, as an exact int; NaN weights are hidden.",
    arg<Positions>("group"), arg<AttrName>("weight"));

}  // namespace

std::vector<PyMethodDef> group_methods() { return {row<GROUP_DEGREE>(), row<GROUP_DISTANCE_TOTAL>(), row<GROUP_BETWEENNESS>(),
            row<PROMINENT_GROUP>(), row<GROUP_DISTANCES>()}; }

}  // namespace fennel::py
