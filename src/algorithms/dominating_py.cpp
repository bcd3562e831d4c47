// Bindings of the dominating sets.
#include "algorithms/dominating.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* greedy_dominating(const CoreGraph& g, const BytesRef& hashes, std::int64_t start) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    if (g.n == 0 || start >= static_cast<std::int64_t>(g.n)) return raise(index_error());
    return detached([&] { return greedy_dominating_set(g.succ, hash, start); });
}

PyObject* dominated_by(const CoreGraph& g, const Flags& chosen) {
    if (chosen.size() != g.n) return raise(value_error("chosen must hold one flag per node"));
    return detached([&] { return dominates(g.succ, chosen); });
}

PyObject* connected_dominating(const CoreGraph& g, const BytesRef& degrees) {
    std::vector<std::int64_t> degree;
    if (!read_int64s(degrees, g.n, degree)) return nullptr;
    if (g.directed || g.n < 2) return raise(value_error("a connected undirected graph of two nodes or more"));
    return detached([&] { return greedy_connected_dominating_set(g.succ, std::move(degree)); });
}

constexpr auto GREEDY_DOMINATING = method<greedy_dominating>(
    "greedy_dominating",
    "dominating_set's nodes in the order NetworkX adds them, from `start` (a\nposition; -1: the first of set(G)); "
    "`hashes`: hash() of each node as int64\nbytes.",
    arg<BytesRef>("hashes"), arg<std::int64_t>("start"));
constexpr auto DOMINATED_BY = method<dominated_by>(
    "dominated_by", "Whether the flagged nodes and their neighbours are every node.", arg<Flags>("chosen"));
constexpr auto CONNECTED_DOMINATING = method<connected_dominating>(
    "connected_dominating",
    "connected_dominating_set's nodes in the order NetworkX adds them; `degrees`:\nG.degree's values as int64 bytes.",
    arg<BytesRef>("degrees"));

}  // namespace

std::vector<PyMethodDef> dominating_methods() {
    return {row<GREEDY_DOMINATING>(), row<DOMINATED_BY>(), row<CONNECTED_DOMINATING>()};
}

}  // namespace fennel::py
