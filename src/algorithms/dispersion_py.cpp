// Binding of the dispersion counts.
#include "algorithms/dispersion.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

bool ordered(const CoreGraph& g) {
    if (g.directed) return true;
    for (Node v = 0; v < g.n; ++v) {
        for (Node w : g.succ.row(v)) {
            if (w == v) return true;
        }
    }
    return false;
}

PyObject* dispersion_counts(const CoreGraph& g, const BytesRef& hashes, const std::optional<Positions>& sources) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    const std::vector<Node>& rows = list.value();
    return detached([&] { return fennel::dispersion_counts(g.succ, hash, ordered(g), rows); },
                    [&](const std::vector<DispersionCount>& counts) {
                        std::vector<std::uint64_t> ends;
                        std::vector<Node> targets;
                        targets.reserve(counts.size());
                        for (Node u : rows) {
                            for (Node w : g.succ.row(u)) targets.push_back(w);
                            ends.push_back(targets.size());
                        }
                        return tuple_from(
                            [&] { return to_python(ends); }, [&] { return to_python(targets); },
                            [&] { return list_from(counts.size(), [&](std::size_t i) { return to_python(counts[i].total); }); },
                            [&] {
                                return list_from(counts.size(),
                                                 [&](std::size_t i) { return to_python(counts[i].embeddedness); });
                            });
                    });
}

PyObject* dispersion_pair(const CoreGraph& g, const BytesRef& hashes, Node u, Node v) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    if (u >= g.n || v >= g.n) return raise(index_error());
    const DispersionCount c = fennel::dispersion_pair(g.succ, hash, ordered(g), u, v);
    return tuple_from([&] { return to_python(c.total); }, [&] { return to_python(c.embeddedness); });
}

constexpr auto DISPERSION_COUNTS = method<dispersion_counts>(
    "dispersion_counts",
    "`(ends, targets, totals, embeddedness)`: _dispersion's two counts for\n(u, v), v along u's row, for each u of "
    "`sources` (every node when None),\nrows one after another; `ends[i]` closes source i's row in the lists.\n"
    "`hashes`: hash() of each node as int64 bytes.",
    arg<BytesRef>("hashes"), arg<std::optional<Positions>>("sources", none));
constexpr auto DISPERSION_PAIR = method<dispersion_pair>(
    "dispersion_pair", "`(total, embeddedness)`: _dispersion's two counts for the pair (u, v).",
    arg<BytesRef>("hashes"), arg<Node>("u"), arg<Node>("v"));

}  // namespace

std::vector<PyMethodDef> dispersion_methods() { return {row<DISPERSION_COUNTS>(), row<DISPERSION_PAIR>()}; }

}  // namespace fennel::py
