// Flow-based connectivity. Costs: O(n + m) for an auxiliary digraph and its
// residual network, then Edmonds–Karp's O(n m^2) per pair (at most n + 1
// augmenting paths, as every capacity is 1 and the flow at most n).
#include "algorithms/connectivity.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace fennel {

namespace {

std::uint64_t pair_key(Node u, Node v) { return (static_cast<std::uint64_t>(u) << 32) | v; }

// Reorders each row of `rows` (edge ids) so that the edges `saturated`
// flags come last, each part in the order `before(a, b)` keeps.
template <class Before>
void move_saturated_last(Csr& rows, const std::vector<std::uint8_t>& saturated, Before&& before) {
    std::vector<Node> kept, moved;
    for (Node x = 0; x + 1 < rows.offsets.size(); ++x) {
        kept.clear();
        moved.clear();
        for (Node e : rows.row(x)) (saturated[e] ? moved : kept).push_back(e);
        if (moved.empty()) continue;
        std::stable_sort(moved.begin(), moved.end(), before);
        std::copy(kept.begin(), kept.end(), rows.targets.begin() + static_cast<std::ptrdiff_t>(rows.offsets[x]));
        std::copy(moved.begin(), moved.end(),
                  rows.targets.begin() + static_cast<std::ptrdiff_t>(rows.offsets[x] + kept.size()));
    }
}

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
    if (kind == Auxiliary::Node) {
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

CutChoice smallest_cut(Residual r, Auxiliary kind, const std::vector<Node>& ss, const std::vector<Node>& ts,
                       const std::vector<std::uint8_t>& skip, std::uint64_t initial_size) {
    const bool node_cut = kind == Auxiliary::Node;
    const Count n = node_cut ? r.n / 2 : r.n;
    CutChoice best;
    std::uint64_t best_size = initial_size;
    std::vector<FlowNumber> flow(r.tail.size());
    std::vector<std::uint8_t> beyond(r.n), saturated(r.tail.size()), counted(n);
    std::vector<Node> ends;
    for (std::size_t i = 0; i < ss.size(); ++i) {
        std::vector<Node> reaching;
        std::uint64_t size = 0;
        if (!skip[i]) {
            const Node s = node_cut ? 2 * ss[i] + 1 : ss[i];
            const Node t = node_cut ? 2 * ts[i] : ts[i];
            std::fill(flow.begin(), flow.end(), FlowNumber{});
            edmonds_karp(r, flow, s, t, std::numeric_limits<double>::infinity());
            reaching = reaching_target(r, flow, t);
            // The cut: R's edges from s's side to t's side that are edges of
            // H (capacity 1, not a reverse edge), each once.
            std::fill(beyond.begin(), beyond.end(), 0);
            for (Node x : reaching) beyond[x] = 1;
            ends.clear();
            for (Slot e = 0; e < r.tail.size(); ++e) {
                if (r.origin[e] < 0 || beyond[r.tail[e]] || !beyond[r.head[e]]) continue;
                if (!node_cut) {
                    ++size;
                    continue;
                }
                for (Node x : {r.tail[e] / 2, r.head[e] / 2}) {
                    if (!counted[x] && x != ss[i] && x != ts[i]) {
                        counted[x] = 1;
                        ends.push_back(x);
                    }
                }
            }
            if (node_cut) {
                size = ends.size();
                for (Node x : ends) counted[x] = 0;
            }
            // minimum_cut's removal and re-insertion of the saturated edges.
            for (Slot e = 0; e < r.tail.size(); ++e) {
                saturated[e] = flow[e].value == r.capacity[e].value;
            }
            move_saturated_last(r.succ, saturated, [](Node, Node) { return false; });
            move_saturated_last(r.pred, saturated, [&](Node a, Node b) { return r.tail[a] < r.tail[b]; });
        }
        if (size <= best_size) {
            best_size = size;
            best.chosen = static_cast<std::int64_t>(i);
            best.reaching = std::move(reaching);
        }
    }
    return best;
}

}  // namespace fennel
