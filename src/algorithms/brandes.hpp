// Brandes' single-source searches as NetworkX's betweenness module runs
// them (_single_source_shortest_path_basic and
// _single_source_dijkstra_path_basic), with per-thread scratch that only
// resets what the previous search reached. The accumulations that read
// them live with their callers (subset betweenness, group betweenness).
#pragma once

#include "algorithms/search.hpp"
#include "graph/core_graph.hpp"

#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fennel {

// `value` when `keep`, else +0.0, without a branch: the mask works on the
// bit pattern, so even an infinite value is dropped exactly.
inline double keep_or_zero(bool keep, double value) {
    const std::uint64_t mask = std::uint64_t{0} - static_cast<std::uint64_t>(keep);
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(value) & mask);
}

// Brandes' backward step over the in-row of w on a breadth-first search:
// delta[v] += sigma[v] * coeff for each v one level above w (`want`). While
// the scratch stays in the caches the loop is branch-free: the other nodes
// receive +0.0, which leaves their (non-negative) delta exactly as it was.
// Past them (`sparse`, see BfsState::run) only the predecessors' scratch is
// touched.
inline void add_to_predecessors(std::span<const Node> in_row, const std::vector<std::uint32_t>& level,
                                std::uint32_t want, const std::vector<double>& sigma, std::vector<double>& delta,
                                double coeff, bool sparse) {
    if (sparse) {
        for (Node v : in_row) {
            if (level[v] == want) delta[v] += sigma[v] * coeff;
        }
    } else {
        for (Node v : in_row) delta[v] += keep_or_zero(level[v] == want, sigma[v] * coeff);
    }
}

// Per-thread scratch of the searches; only the previous search's entries are
// reset, so a search costs what it reaches.
struct BrandesSearch {
    std::vector<double> sigma;
    std::vector<double> delta;
    const Node* stack = nullptr;  // settle order of the last search
    std::size_t settled = 0;
    std::optional<BfsState> bfs;
    std::optional<DijkstraState> dijkstra;
    std::vector<Node> order;
    std::vector<std::vector<Node>> preds;       // discovery order
    std::vector<std::vector<Slot>> pred_slots;  // succ slot of each predecessor edge

    BrandesSearch(Count n, bool weighted) : sigma(n, 0.0), delta(n, 0.0) {
        if (weighted) {
            dijkstra.emplace(n);
            order.resize(n);
            preds.resize(n);
            pred_slots.resize(n);
        } else {
            bfs.emplace(n, 2 * sizeof(double));
        }
    }

    void bfs_search(const Csr& succ, Node s) {
        for (std::size_t i = 0; i < settled; ++i) sigma[stack[i]] = 0.0;
        sigma[s] = 1.0;
        bfs->run<false>(
            succ, s, BfsState::UNREACHED, [&](Node v) { return sigma[v]; },
            [&](double sigma_v, Node w, bool shortest) { sigma[w] += keep_or_zero(shortest, sigma_v); });
        stack = bfs->queue.data();
        settled = bfs->reached;
    }

    // NetworkX's Dijkstra of betweenness: weights used as they stand, an
    // edge into a settled node at its own distance still counts its paths,
    // and settling adds the pushing node's sigma (doubling the source's).
    struct Policy {
        static constexpr bool SKIP_HIDDEN = false;
        BrandesSearch& st;
        bool within(double) const { return true; }
        void settle(Node v, double, Node pred) {
            st.sigma[v] += st.sigma[pred];
            st.order[st.settled++] = v;
        }
        Status settled_edge(Node v, Node w, double d, Slot p, double dw) {
            if (d == dw) tie(v, w, p);
            return {};
        }
        void improve(Node v, Node w, Slot p) {
            st.sigma[w] = 0.0;
            st.preds[w].assign(1, v);
            st.pred_slots[w].assign(1, p);
        }
        void tie(Node v, Node w, Slot p) {
            st.sigma[w] += st.sigma[v];
            st.preds[w].push_back(v);
            st.pred_slots[w].push_back(p);
        }
    };

    void dijkstra_search(const GraphView& g, Node s) {
        for (std::size_t i = 0; i < settled; ++i) {
            const Node v = order[i];
            sigma[v] = 0.0;
            preds[v].clear();
            pred_slots[v].clear();
        }
        settled = 0;
        sigma[s] = 1.0;
        Policy policy{*this};
        (void)dijkstra->run(g, s, policy);  // the policy never fails
        stack = order.data();
    }

    void search(const GraphView& g, Node s) {
        if (g.weights != nullptr) {
            dijkstra_search(g, s);
        } else {
            bfs_search(*g.out, s);
        }
        for (std::size_t i = 0; i < settled; ++i) delta[stack[i]] = 0.0;
    }

    // f(v, slot) for each predecessor v of w: the in-row slot (unweighted)
    // or succ slot (weighted) of the edge v -> w.
    template <class F>
    void for_each_pred(const Csr& in_rows, Node w, F&& f) const {
        if (dijkstra) {
            const auto& ps = preds[w];
            const auto& slots = pred_slots[w];
            for (std::size_t i = 0; i < ps.size(); ++i) f(ps[i], slots[i]);
        } else if (const auto& level = bfs->level; level[w] != 0) {
            const std::uint32_t want = level[w] - 1;
            for (Slot q = in_rows.begin(w); q < in_rows.end(w); ++q) {
                if (level[in_rows.targets[q]] == want) f(in_rows.targets[q], q);
            }
        }
    }
};

}  // namespace fennel
