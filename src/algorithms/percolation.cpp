// Percolation centrality. The searches are betweenness's (NetworkX's own
// percolation module imports them from its betweenness module); only the
// accumulation differs: each dependency is weighted by the source's share
// of the states before it is added.
//
// Sources run on the worker pool in batches; each records its
// contributions (node, value) in its pop order, and the batch's records are
// then added into the totals source by source, in parallel over disjoint
// ranges of nodes: every total sees NetworkX's order of additions.
// Cost: O(m + n) per unweighted source, O(m log n) per weighted one.
#include "algorithms/percolation.hpp"

#include "algorithms/search.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>

namespace fennel {

namespace {

struct Contribution {
    Node node;
    double value;
};

// One piece's scratch: the search and the dependencies of its last source.
struct State {
    std::vector<double> sigma;
    std::vector<double> delta;
    std::optional<BfsState> bfs;
    std::optional<DijkstraState> dijkstra;
    std::vector<Node> order;               // weighted: settle order
    std::vector<std::vector<Node>> preds;  // weighted: in discovery order
    const Node* stack = nullptr;
    std::size_t settled = 0;

    State(Count n, bool weighted) : sigma(n, 0.0), delta(n, 0.0) {
        if (weighted) {
            dijkstra.emplace(n);
            order.resize(n);
            preds.resize(n);
        } else {
            bfs.emplace(n, 2 * sizeof(double));
        }
    }

    // _single_source_dijkstra_path_basic: an edge into a settled node at
    // its own distance still counts its paths, and the source's sigma is
    // doubled at its settling, as NetworkX's are.
    struct Policy {
        static constexpr bool SKIP_HIDDEN = false;
        State& st;
        bool within(double) const { return true; }
        void settle(Node v, double, Node pred) {
            st.sigma[v] += st.sigma[pred];
            st.order[st.settled++] = v;
        }
        Status settled_edge(Node v, Node w, double d, Slot, double dw) {
            if (d == dw) tie(v, w);
            return {};
        }
        void improve(Node v, Node w, Slot) {
            st.sigma[w] = 0.0;
            st.preds[w].assign(1, v);
        }
        void tie(Node v, Node w, Slot = 0) {
            st.sigma[w] += st.sigma[v];
            st.preds[w].push_back(v);
        }
    };

    void search(const GraphView& g, Node s) {
        for (std::size_t i = 0; i < settled; ++i) {
            sigma[stack[i]] = 0.0;
            if (dijkstra) preds[stack[i]].clear();
        }
        sigma[s] = 1.0;
        if (dijkstra) {
            settled = 0;
            Policy policy{*this};
            (void)dijkstra->run(g, s, policy);
            stack = order.data();
            return;
        }
        // _single_source_shortest_path_basic: sigma[w] += sigma[v] along
        // every edge one level down.
        bfs->run<false>(
            *g.out, s, BfsState::UNREACHED, [&](Node v) { return sigma[v]; },
            [&](double sigma_v, Node w, bool shortest) {
                if (shortest) sigma[w] += sigma_v;
            });
        stack = bfs->queue.data();
        settled = bfs->reached;
    }

    // _accumulate_percolation, its additions to the totals handed to `sink`
    // in NetworkX's order (zeros, which change no total, left out).
    template <class Sink>
    void accumulate(const GraphView& g, std::span<const double> states, double total, Node s, Sink&& sink) {
        const Csr& in_rows = *g.in;
        for (std::size_t i = 0; i < settled; ++i) delta[stack[i]] = 0.0;
        for (std::size_t i = settled; i-- > 0;) {
            const Node w = stack[i];
            const double coeff = (1.0 + delta[w]) / sigma[w];
            if (dijkstra) {
                for (Node v : preds[w]) delta[v] += sigma[v] * coeff;
            } else if (w != s) {
                const auto& level = bfs->level;
                const std::uint32_t want = level[w] - 1;
                for (Node v : in_rows.row(w)) {
                    if (level[v] == want) delta[v] += sigma[v] * coeff;
                }
            }
            if (w != s) {
                const double c = delta[w] * (states[s] / (total - states[w]));
                if (c != 0.0) sink(w, c);
            }
        }
    }
};

constexpr std::size_t BATCH_BUDGET = std::size_t{1} << 26;  // bytes of recorded contributions
constexpr std::size_t BUCKETS = 256;

}  // namespace

Result<std::vector<double>> percolation(const GraphView& g, std::span<const double> states, double total) {
    const Count n = g.n();
    std::vector<double> totals(n, 0.0);
    if (n == 0) return totals;
    const bool weighted = g.weights != nullptr;
    std::vector<Node> sources(n);
    for (Node v = 0; v < n; ++v) sources[v] = v;
    if (pool_size() < 2) {
        Status st = parallel_for(1, [&](std::size_t) {
            State state(n, weighted);
            for (Node s = 0; s < n && !stop_requested(); ++s) {
                state.search(g, s);
                state.accumulate(g, states, total, s, [&](Node w, double c) { totals[w] += c; });
                add_progress(1);
            }
        });
        if (!st.ok()) return st.error();
        return totals;
    }
    const std::size_t batch =
        std::clamp<std::size_t>(BATCH_BUDGET / (sizeof(Contribution) * n), 1, std::max<std::size_t>(64 * pool_size(), 1));
    const std::size_t buckets = std::min<std::size_t>(BUCKETS, n);
    const std::size_t width = (n + buckets - 1) / buckets;
    // recorded[i]: source i's contributions, grouped by bucket (stable).
    std::vector<std::vector<Contribution>> recorded(batch);
    std::vector<std::vector<std::uint32_t>> starts(batch);
    for (std::size_t first = 0; first < n; first += batch) {
        const std::size_t count = std::min<std::size_t>(batch, n - first);
        const Pieces pieces = split(count);
        Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
            State state(n, weighted);
            std::vector<Contribution> flat;
            for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
                const Node s = static_cast<Node>(first + i);
                state.search(g, s);
                flat.clear();
                state.accumulate(g, states, total, s, [&](Node w, double c) { flat.push_back({w, c}); });
                auto& start = starts[i];
                start.assign(buckets + 1, 0);
                for (const Contribution& c : flat) ++start[c.node / width + 1];
                for (std::size_t b = 0; b < buckets; ++b) start[b + 1] += start[b];
                std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
                recorded[i].resize(flat.size());
                for (const Contribution& c : flat) recorded[i][next[c.node / width]++] = c;
                add_progress(1);
            }
        });
        if (!st.ok()) return st.error();
        st = parallel_for(buckets, [&](std::size_t b) {
            for (std::size_t i = 0; i < count; ++i) {
                for (std::uint32_t k = starts[i][b]; k < starts[i][b + 1]; ++k) {
                    totals[recorded[i][k].node] += recorded[i][k].value;
                }
            }
        });
        if (!st.ok()) return st.error();
    }
    return totals;
}

}  // namespace fennel
