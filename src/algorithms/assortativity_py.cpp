// Bindings of the assortativity measures.
#include "algorithms/assortativity.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* int64_list(const std::vector<std::int64_t>& values) {
    return list_from(values.size(), [&](std::size_t i) { return PyLong_FromLongLong(values[i]); });
}

PyObject* int64_bytes(const std::vector<std::int64_t>& values) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(values.data()),
                                     static_cast<Py_ssize_t>(values.size() * sizeof(std::int64_t)));
}

Result<Side> side_of(std::int64_t side) {
    if (side < 0 || side > 2) return value_error("side must be 0 (out), 1 (in) or 2 (in+out)");
    return static_cast<Side>(side);
}

Result<std::vector<Node>> checked(const CoreGraph& g, const Positions& nodes) {
    for (Node v : nodes) {
        if (v >= g.n) return index_error();
    }
    return nodes;
}

// The keys per succ slot of a multigraph, checked against the rows.
Result<Mult> keys_of(const CoreGraph& g, const std::optional<Positions>& keys) {
    if (!keys) return Mult{nullptr};
    if (keys->size() != g.succ.slot_count()) return value_error("keys must hold one count per row slot");
    return Mult{&*keys};
}

PyObject* side_degree_list(const CoreGraph& g, std::int64_t side, const std::optional<Positions>& keys) {
    auto s = side_of(side);
    auto mult = keys_of(g, keys);
    if (!s.ok()) return raise(s.error());
    if (!mult.ok()) return raise(mult.error());
    return detached([&] { return side_degrees(g, s.value(), mult.value()); }, int64_list);
}

PyObject* neighbor_degree_averages(const CoreGraph& g, std::int64_t source, std::int64_t target,
                                   const Positions& nodes, const std::optional<Positions>& keys) {
    auto s = side_of(source);
    auto t = side_of(target);
    auto list = checked(g, nodes);
    auto mult = keys_of(g, keys);
    if (!s.ok() || !t.ok()) return raise((s.ok() ? t : s).error());
    if (!list.ok()) return raise(list.error());
    if (!mult.ok()) return raise(mult.error());
    return detached([&] { return average_neighbor_degrees(g, s.value(), t.value(), list.value(), mult.value()); });
}

PyObject* connectivity_tally(const CoreGraph& g, std::int64_t source, std::int64_t target, const Positions& nodes,
                             const std::optional<Positions>& keys) {
    auto s = side_of(source);
    auto t = side_of(target);
    auto list = checked(g, nodes);
    auto mult = keys_of(g, keys);
    if (!s.ok() || !t.ok()) return raise((s.ok() ? t : s).error());
    if (!list.ok()) return raise(list.error());
    if (!mult.ok()) return raise(mult.error());
    return detached([&] { return degree_connectivity(g, s.value(), t.value(), list.value(), mult.value()); },
                    [](const ConnectivityTally& tally) {
                        return tuple_from([&] { return int64_list(tally.k); }, [&] { return int64_list(tally.dsum); },
                                          [&] { return int64_list(tally.dnorm); });
                    });
}

PyObject* make_pairs(const Pairs& pairs, bool counted) {
    if (!counted) {
        return tuple_from([&] { return int64_bytes(pairs.x); }, [&] { return int64_bytes(pairs.y); });
    }
    const std::vector<MixingRow> rows = mixing_counts(pairs);
    return list_from(rows.size(), [&](std::size_t i) {
        return tuple_from([&] { return PyLong_FromLongLong(rows[i].key); },
                          [&] { return int64_list(rows[i].inner); }, [&] { return int64_list(rows[i].count); });
    });
}

PyObject* degree_xy(const CoreGraph& g, std::int64_t x, std::int64_t y, const Positions& order, const Flags& member,
                    const std::optional<Positions>& keys, bool counted) {
    auto sx = side_of(x);
    auto sy = side_of(y);
    auto list = checked(g, order);
    auto mult = keys_of(g, keys);
    if (!sx.ok() || !sy.ok()) return raise((sx.ok() ? sy : sx).error());
    if (!list.ok()) return raise(list.error());
    if (!mult.ok()) return raise(mult.error());
    if (member.size() != g.n) return raise(value_error("member must hold one flag per node"));
    return detached([&] { return degree_pairs(g, sx.value(), sy.value(), list.value(), member, mult.value()); },
                    [&](const Pairs& pairs) { return make_pairs(pairs, counted); });
}

PyObject* attribute_xy(const CoreGraph& g, const BytesRef& codes, const Flags& member,
                       const std::optional<Positions>& keys, bool counted) {
    std::vector<std::int64_t> code;
    if (!read_int64s(codes, g.n, code)) return nullptr;
    auto mult = keys_of(g, keys);
    if (!mult.ok()) return raise(mult.error());
    if (member.size() != g.n) return raise(value_error("member must hold one flag per node"));
    return detached([&] { return attribute_pairs(g, code, member, mult.value()); },
                    [&](const Pairs& pairs) { return make_pairs(pairs, counted); });
}

constexpr auto SIDE_DEGREES = method<side_degree_list>(
    "side_degrees",
    "Every node's degree: 0 out, 1 in, 2 in+out (undirected: G.degree);\n`keys`: a multigraph's keys per row slot.",
    arg<std::int64_t>("side"), arg<std::optional<Positions>>("keys", none));
constexpr auto NEIGHBOR_DEGREE_AVERAGES = method<neighbor_degree_averages>(
    "neighbor_degree_averages",
    "average_neighbor_degree's values for `nodes`, in their order; sides\n0 out, 1 in, 2 in+out.",
    arg<std::int64_t>("source"), arg<std::int64_t>("target"), arg<Positions>("nodes"), arg<std::optional<Positions>>("keys", none));
constexpr auto CONNECTIVITY_TALLY = method<connectivity_tally>(
    "connectivity_tally",
    "average_degree_connectivity's `(degrees, dsum, dnorm)` for `nodes`, the\ndegrees in first-met order.",
    arg<std::int64_t>("source"), arg<std::int64_t>("target"), arg<Positions>("nodes"), arg<std::optional<Positions>>("keys", none));
constexpr auto DEGREE_XY = method<degree_xy>(
    "degree_xy",
    "node_degree_xy's pairs over the nodes of `order` (flagged in `member`):\n`(x, y)` as int64 bytes, or with "
    "`counted` mixing_dict's rows\n`[(key, inner keys, counts)]` in its key order.",
    arg<std::int64_t>("x"), arg<std::int64_t>("y"), arg<Positions>("order"), arg<Flags>("member"),
    arg<std::optional<Positions>>("keys", none), kwarg<bool>("counted", false));
constexpr auto ATTRIBUTE_XY = method<attribute_xy>(
    "attribute_xy",
    "node_attribute_xy's pairs of node codes (int64 bytes `codes`) from the\nflagged nodes, as `degree_xy` returns "
    "them.",
    arg<BytesRef>("codes"), arg<Flags>("member"), arg<std::optional<Positions>>("keys", none), kwarg<bool>("counted", false));

}  // namespace

std::vector<PyMethodDef> assortativity_methods() {
    return {row<SIDE_DEGREES>(), row<NEIGHBOR_DEGREE_AVERAGES>(), row<CONNECTIVITY_TALLY>(), row<DEGREE_XY>(),
            row<ATTRIBUTE_XY>()};
}

}  // namespace fennel::py
