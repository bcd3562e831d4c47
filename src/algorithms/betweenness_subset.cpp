// Subset betweenness (NetworkX's betweenness_subset.py).
//
// Per source s, the search is NetworkX's _single_source_shortest_path_basic
// (unweighted) or _single_source_dijkstra_path_basic (weighted): shortest
// path counts sigma and the settle order S. The accumulation then pops S
// and pushes each node's dependency to its predecessors, as
// _accumulate_subset and _accumulate_edges_subset do:
//
//   nodes: coeff = (delta[w] + 1.0) / sigma[w] for a target w != s, else
//          delta[w] / sigma[w]; delta[v] += sigma[v] * coeff; then
//          b[w] += delta[w] for w != s;
//   edges: for a target w, c = (sigma[v] / sigma[w]) * (1.0 + delta[w]),
//          else c = delta[w] / len(P[w]) (the predecessor count, not
//          sigma); b[edge] += c, delta[v] += c.
//
// A node's predecessors each receive one term per popped node, so their
// order inside P[w] changes no sum; the pops run in NetworkX's order. The
// totals take the sources' terms in source order (source_sums.hpp).
#include "algorithms/betweenness_subset.hpp"

#include "algorithms/centrality.hpp"
#include "algorithms/search.hpp"
#include "algorithms/source_sums.hpp"
#include "algorithms/brandes.hpp"

#include <bit>
#include <optional>

namespace fennel {

namespace {

// The subset accumulations over NetworkX's Brandes searches.
struct SubsetSearch : BrandesSearch {
    using BrandesSearch::BrandesSearch;

    // _accumulate_subset.
    void accumulate_nodes(const Csr& in_rows, Node s, const std::vector<std::uint8_t>& is_target,
                          SourceTerms& terms) {
        for (std::size_t i = settled; i-- > 0;) {
            const Node w = stack[i];
            const double coeff = (is_target[w] && w != s) ? (delta[w] + 1.0) / sigma[w] : delta[w] / sigma[w];
            if (dijkstra) {
                for_each_pred(in_rows, w, [&](Node v, Slot) { delta[v] += sigma[v] * coeff; });
            } else if (w != s) {
                add_to_predecessors(in_rows.row(w), bfs->level, bfs->level[w] - 1, sigma, delta, coeff, bfs->sparse());
            }
            if (w != s) terms.add(w, delta[w]);
        }
    }

    // _accumulate_edges_subset; `succ_slot` maps in-row slots to succ slots
    // (empty: they are succ slots), `eidx` succ slots to edge indices.
    void accumulate_edges(const Csr& in_rows, const std::vector<Slot>& succ_slot, const std::vector<Slot>& eidx,
                          const std::vector<std::uint8_t>& is_target, SourceTerms& terms) {
        for (std::size_t i = settled; i-- > 0;) {
            const Node w = stack[i];
            const bool target = is_target[w] != 0;
            double count = 0.0;
            if (!target) for_each_pred(in_rows, w, [&](Node, Slot) { count += 1.0; });
            // delta[w] is read at each predecessor: a zero-weight self-loop
            // makes w its own predecessor, and its term lands in delta[w].
            for_each_pred(in_rows, w, [&](Node v, Slot q) {
                const double c = target ? (sigma[v] / sigma[w]) * (1.0 + delta[w]) : delta[w] / count;
                const Slot p = (dijkstra || succ_slot.empty()) ? q : succ_slot[q];
                if (eidx[p] != NO_EDGE) terms.add(static_cast<std::uint32_t>(eidx[p]), c);
                delta[v] += c;
            });
        }
    }
};

}  // namespace

Result<std::vector<double>> betweenness_subset(const GraphView& g, std::span<const Node> sources,
                                               const std::vector<std::uint8_t>& is_target) {
    std::vector<double> totals(g.n(), 0.0);
    const bool weighted = g.weights != nullptr;
    const Csr& in_rows = *g.in;
    Status st = ordered_source_sums(
        sources.size(), totals, [&] { return SubsetSearch(g.n(), weighted); },
        [&](SubsetSearch& search, std::size_t i, SourceTerms& terms) {
            search.search(g, sources[i]);
            search.accumulate_nodes(in_rows, sources[i], is_target, terms);
        });
    if (!st.ok()) return st.error();
    return totals;
}

Result<std::vector<double>> edge_betweenness_subset(const GraphView& g, std::span<const Node> sources,
                                                    const std::vector<std::uint8_t>& is_target) {
    Slot m = 0;
    const std::vector<Slot> eidx = edge_ids(g, m);
    if (m > 0xFFFFFFFFull) return not_implemented("graph has too many edges");
    std::vector<double> totals(m, 0.0);
    const bool weighted = g.weights != nullptr;
    // Unweighted directed searches find predecessors in in-rows of our own
    // counting sort, which tell the succ slot (the edge) of each in-slot.
    Csr own;
    std::vector<Slot> succ_slot;
    const Csr* in_rows = g.out;
    if (g.directed && !weighted) {
        auto sorted = counting_sort_pred(*g.out, succ_slot);
        if (!sorted.ok()) return sorted.error();
        own = std::move(sorted.value());
        in_rows = &own;
    }
    Status st = ordered_source_sums(
        sources.size(), totals, [&] { return SubsetSearch(g.n(), weighted); },
        [&](SubsetSearch& search, std::size_t i, SourceTerms& terms) {
            search.search(g, sources[i]);
            search.accumulate_edges(*in_rows, succ_slot, eidx, is_target, terms);
        });
    if (!st.ok()) return st.error();
    return totals;
}

}  // namespace fennel
