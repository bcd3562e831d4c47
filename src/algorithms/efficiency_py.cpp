// Binding of local efficiency.
#include "algorithms/efficiency.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* local_efficiencies(const CoreGraph& g, const BytesRef& hashes, Count filtered) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    return detached([&] { return fennel::local_efficiencies(g.succ, hash, filtered); },
                    [&](const LocalEfficiency& e) -> PyObject* {
                        return list_from(e.value.size(), [&](std::size_t i) {
                            return e.small[i] ? PyLong_FromLong(0) : to_python(e.value[i]);
                        });
                    });
}

constexpr auto LOCAL_EFFICIENCIES = method<local_efficiencies>(
    "local_efficiencies",
    "global_efficiency(G.subgraph(G[v])) for every node v, in G's order (int 0\nbelow two nodes); `hashes`: "
    "hash() of each node as int64 bytes; `filtered`: len() of the node dict\nG.subgraph filters (G's own, or a "
    "subgraph view's underlying graph's).",
    arg<BytesRef>("hashes"), arg<Count>("filtered"));

}  // namespace

std::vector<PyMethodDef> efficiency_methods() { return {row<LOCAL_EFFICIENCIES>()}; }

}  // namespace fennel::py
