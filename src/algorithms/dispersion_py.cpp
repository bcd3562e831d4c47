// Binding of the dispersion counts.
#include "algorithms/dispersion.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "lib/pyref.hpp"

#include <map>

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

PyObject* dispersion_pair(const CoreGraph& g, const BytesRef& hashes, Node u, Node v) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    if (u >= g.n || v >= g.n) return raise(index_error());
    const DispersionCount c = fennel::dispersion_pair(g.succ, hash, ordered(g), u, v);
    return tuple_from([&] { return to_python(c.total); }, [&] { return to_python(c.embeddedness); });
}

// The results as NetworkX's dicts: `value(total, embeddedness)` is called
// once per distinct pair of counts, in the order the pairs first appear (so
// an exception comes where NetworkX's would), its answers shared.
PyObject* dispersion_dicts(const CoreGraph& g, const BytesRef& hashes, const std::optional<Positions>& sources,
                           const TupleRef& nodes, PyObject* value) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) != g.n) return raise(value_error("one node per position"));
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    const std::vector<Node>& rows = list.value();
    return detached([&] { return fennel::dispersion_counts(g.succ, hash, ordered(g), rows); },
                    [&](const std::vector<DispersionCount>& counts) -> PyObject* {
                        std::map<std::pair<std::uint64_t, std::uint64_t>, PyRef> known;
                        std::size_t at = 0;
                        auto row_dict = [&](Node u) -> PyObject* {
                            PyRef d = PyRef::steal(PyDict_New());
                            if (!d) return nullptr;
                            for (Node w : g.succ.row(u)) {
                                const DispersionCount& c = counts[at++];
                                auto [it, fresh] = known.try_emplace({c.total, c.embeddedness});
                                if (fresh) {
                                    it->second = PyRef::steal(
                                        PyObject_CallFunction(value, "KK", static_cast<unsigned long long>(c.total),
                                                              static_cast<unsigned long long>(c.embeddedness)));
                                    if (!it->second) return nullptr;
                                }
                                if (PyDict_SetItem(d.get(), PyTuple_GET_ITEM(nodes.obj, w), it->second.get()) < 0) {
                                    return nullptr;
                                }
                            }
                            return d.release();
                        };
                        if (sources) return rows.size() == 1 ? row_dict(rows[0]) : raise(value_error("one source"));
                        PyRef out = PyRef::steal(PyDict_New());
                        if (!out) return nullptr;
                        for (Node u : rows) {
                            PyRef row = PyRef::steal(row_dict(u));
                            if (!row || PyDict_SetItem(out.get(), PyTuple_GET_ITEM(nodes.obj, u), row.get()) < 0) {
                                return nullptr;
                            }
                        }
                        return out.release();
                    });
}

constexpr auto DISPERSION_DICTS = method<dispersion_dicts>(
    "dispersion_dicts",
    "dispersion's dicts: {node: {neighbour: value}} over every node, or one\nsource's {neighbour: value}; "
    "`value(total, embeddedness)` gives the value\nof a pair of counts. `nodes`: the node objects by position.",
    arg<BytesRef>("hashes"), arg<std::optional<Positions>>("sources"), arg<TupleRef>("nodes"),
    arg<PyObject*>("value"));
constexpr auto DISPERSION_PAIR = method<dispersion_pair>(
    "dispersion_pair", "`(total, embeddedness)`: _dispersion's two counts for the pair (u, v).",
    arg<BytesRef>("hashes"), arg<Node>("u"), arg<Node>("v"));

}  // namespace

std::vector<PyMethodDef> dispersion_methods() { return {row<DISPERSION_DICTS>(), row<DISPERSION_PAIR>()}; }

}  // namespace fennel::py
