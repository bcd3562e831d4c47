// Flow-based connectivity. Costs: O(n + m) for an auxiliary digraph and its
// residual network, then Edmonds–Karp's O(n m^2) per pair (at most n + 1
// augmenting paths, as every capacity is 1 and the flow at most n).
#include "algorithms/connectivity.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <utility>
#include <limits>
#include <unordered_set>

namespace fennel {

namespace {

std::uint64_t pair_key(Node u, Node v) { return (static_cast<std::uint64_t>(u) << 32) | v; }

}  // namespace

AuxiliaryGraph auxiliary_graph(const CoreGraph& g, Auxiliary kind) {
    // The insertions NetworkX makes, in its order; H.edges then lists each
    // tail's row in insertion order, a pair inserted again keeping its place.
    std::vector<Node> ins_u, ins_v;
    const EdgeList edges = edges_in_order(g);
    Count n = g.n;
    auto insert = [&](Node u, Node v) {
        ins_u.push_back(u);
        ins_v.push_back(v);
    };
    if (kind == Auxiliary::Nodes) {
        n = 2 * g.n;
        for (Node i = 0; i < g.n; ++i) insert(2 * i, 2 * i + 1);
        for (std::size_t k = 0; k < edges.us.size(); ++k) {
            insert(2 * edges.us[k] + 1, 2 * edges.vs[k]);
            if (!g.directed) insert(2 * edges.vs[k] + 1, 2 * edges.us[k]);
        }
    } else {
        for (std::size_t k = 0; k < edges.us.size(); ++k) {
            insert(edges.us[k], edges.vs[k]);
            if (!g.directed) insert(edges.vs[k], edges.us[k]);
        }
    }
    AuxiliaryGraph h;
    h.n = n;
    std::unordered_set<std::uint64_t> seen;
    seen.reserve(ins_u.size());
    std::vector<Node> tails, heads;
    for (std::size_t k = 0; k < ins_u.size(); ++k) {
        if (!seen.insert(pair_key(ins_u[k], ins_v[k])).second) continue;
        tails.push_back(ins_u[k]);
        heads.push_back(ins_v[k]);
    }
    // Rows by a stable counting sort on the tails: H.edges order.
    h.rows.offsets.assign(n + 1, 0);
    for (Node u : tails) ++h.rows.offsets[u + 1];
    for (Count x = 0; x < n; ++x) h.rows.offsets[x + 1] += h.rows.offsets[x];
    h.rows.targets.resize(tails.size());
    h.us.resize(tails.size());
    std::vector<Slot> next(h.rows.offsets.begin(), h.rows.offsets.end() - 1);
    for (std::size_t k = 0; k < tails.size(); ++k) {
        const Slot at = next[tails[k]]++;
        h.rows.targets[at] = heads[k];
        h.us[at] = tails[k];
    }
    h.vs = h.rows.targets;
    return h;
}

Residual unit_residual(const AuxiliaryGraph& h) {
    std::vector<std::uint8_t> codes(h.us.size());
    std::int64_t kept = 0;
    for (std::size_t k = 0; k < h.us.size(); ++k) {
        codes[k] = h.us[k] == h.vs[k] ? CAP_DROPPED : CAP_INT;
        kept += codes[k] == CAP_INT;
    }
    const std::vector<double> ones(h.us.size(), 1.0);
    const FlowNumber inf{kept > 0 ? 3.0 * static_cast<double>(kept) : 1.0, false};
    return build_residual(h.n, true, h.us, h.vs, codes, ones, inf);
}

Result<std::vector<std::int64_t>> pair_flows(const Residual& r, const std::vector<Node>& ss,
                                             const std::vector<Node>& ts, double cutoff) {
    return map_with_scratch(
        ss.size(), [&] { return std::vector<FlowNumber>(r.tail.size()); },
        [&](std::vector<FlowNumber>& flow, std::size_t i) {
            std::fill(flow.begin(), flow.end(), FlowNumber{});  // edmonds_karp_impl's reset
            const FlowRun run = edmonds_karp(r, flow, ss[i], ts[i], cutoff);
            add_progress(1);
            return static_cast<std::int64_t>(run.value.value);
        });
}

std::vector<Node> cut_reaching(const Residual& r, Node s, Node t) {
    std::vector<FlowNumber> flow(r.tail.size());
    edmonds_karp(r, flow, s, t, std::numeric_limits<double>::infinity());
    return reaching_target(r, flow, t);
}

Result<CutChoice> smallest_cut(const Residual& r, Auxiliary kind, const std::vector<Node>& ss,
                               const std::vector<Node>& ts, const std::vector<std::uint8_t>& skip,
                               std::uint64_t initial_size) {
    const bool node_cut = kind == Auxiliary::Nodes;
    const Count n = node_cut ? r.n / 2 : r.n;
    auto h_ends = [&](std::size_t i) {
        return node_cut ? std::pair<Node, Node>{2 * ss[i] + 1, 2 * ts[i]} : std::pair<Node, Node>{ss[i], ts[i]};
    };
    struct Scratch {
        std::vector<FlowNumber> flow;
        std::vector<std::uint8_t> beyond, counted;
        std::vector<Node> ends;
    };
    auto sizes = map_with_scratch(
        ss.size(),
        [&] {
            return Scratch{std::vector<FlowNumber>(r.tail.size()), std::vector<std::uint8_t>(r.n),
                           std::vector<std::uint8_t>(n), {}};
        },
        [&](Scratch& w, std::size_t i) -> std::uint64_t {
            if (skip[i]) return 0;
            const auto [s, t] = h_ends(i);
            std::fill(w.flow.begin(), w.flow.end(), FlowNumber{});
            edmonds_karp(r, w.flow, s, t, std::numeric_limits<double>::infinity());
            const std::vector<Node> reaching = reaching_target(r, w.flow, t);
            add_progress(1);
            // The cut: R's edges from s's side to t's side that are edges
            // of H (not a reverse edge of R), each once.
            for (Node x : reaching) w.beyond[x] = 1;
            std::uint64_t size = 0;
            w.ends.clear();
            for (Slot e = 0; e < r.tail.size(); ++e) {
                if (r.origin[e] < 0 || w.beyond[r.tail[e]] || !w.beyond[r.head[e]]) continue;
                if (!node_cut) {
                    ++size;
                    continue;
                }
                for (Node x : {r.tail[e] / 2, r.head[e] / 2}) {
                    if (!w.counted[x] && x != ss[i] && x != ts[i]) {
                        w.counted[x] = 1;
                        w.ends.push_back(x);
                    }
                }
            }
            if (node_cut) size = w.ends.size();
            for (Node x : w.ends) w.counted[x] = 0;
            for (Node x : reaching) w.beyond[x] = 0;
            return size;
        });
    if (!sizes.ok()) return sizes.error();
    CutChoice best;
    std::uint64_t best_size = initial_size;
    for (std::size_t i = 0; i < ss.size(); ++i) {
        if (sizes.value()[i] <= best_size) {
            best_size = sizes.value()[i];
            best.chosen = static_cast<std::int64_t>(i);
        }
    }
    if (best.chosen >= 0 && !skip[static_cast<std::size_t>(best.chosen)]) {
        const auto [s, t] = h_ends(static_cast<std::size_t>(best.chosen));
        best.reaching = cut_reaching(r, s, t);
    }
    return best;
}

}  // namespace fennel
