// Binding of VoteRank.
#include "algorithms/voterank.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* voterank_nodes(const CoreGraph& g, std::uint64_t limit) {
    return detached([&] { return fennel::voterank(g, limit); });
}

constexpr auto VOTERANK = method<voterank_nodes>(
    "voterank", "voterank's nodes (positions) in the order NetworkX picks them, at most\n`limit` of them.",
    arg<std::uint64_t>("limit"));

}  // namespace

std::vector<PyMethodDef> voterank_methods() { return {row<VOTERANK>()}; }

}  // namespace fennel::py
