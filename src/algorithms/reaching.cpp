// NetworkX's local_reaching_centrality without weights: the paths of
// nx.shortest_path(G, source=v), a breadth-first dict. A directed graph's
// value counts them; an undirected graph's adds _average_weight of each path
// with sum(): the int 0 of the source's own path, then 1 / len for the
// others, in the dict's (breadth-first) order. Paths of one length add the
// same term, so the level counts fix the sum; the sum runs as CPython's
// sum() does (PySum), then NetworkX divides by norm = 1 and by n - 1.
#include "algorithms/reaching.hpp"

#include "algorithms/search.hpp"
#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

namespace fennel {

Result<std::vector<double>> local_reaching(const Csr& rows, const std::vector<Node>& sources, bool directed,
                                           bool compensated) {
    const Count n = rows.node_count();
    const double others = static_cast<double>(n) - 1.0;
    return map_with_scratch(
        sources.size(), [&] { return BfsState(n); },
        [&](BfsState& bfs, std::size_t i) {
            bfs.discover<true>(rows, sources[i], BfsState::UNREACHED);
            if (directed) return static_cast<double>(bfs.reached - 1) / others;
            PySum sum(compensated);
            for (Node w : bfs.order().subspan(1)) sum.add(1.0 / static_cast<double>(bfs.level[w]));
            return sum.result() / others;
        });
}

}  // namespace fennel
