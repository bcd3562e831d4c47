// Load centrality (NetworkX's load.py).
//
// _node_betweenness, per source: the search gives pred lists and lengths
// (nx.predecessor, or dijkstra_predecessor_and_distance with a weight);
// every reached node starts at between = 1.0; the nodes at a positive
// length are popped in descending (length, node) order, Python's tuple
// order (`rank` replays the nodes' comparison), and each shares
// between[v] / len(pred[v]) out to its predecessors, stopping at the
// source: `for x in pred[v]: if x == source: break`. Every reached node then
// adds between - 1 into its total. A node's predecessors are distinct, so
// their order inside pred[v] changes no sum, except that the source, when
// it is one, comes first (it is settled first): no share leaves v then.
//
// _edge_betweenness, per source (unweighted): every ordered pair of an edge
// starts at 1.0; nodes are popped in reverse discovery order (sorted() by
// length is stable), and for each predecessor w of v and each predecessor x
// of w, (w, x) takes between[(v, w)] / len(pred[w]) and (x, w) takes
// between[(w, v)] / len(pred[w]). Every pair adds its value to its total.
//
// Totals take the sources' terms in source order (source_sums.hpp).
#include "algorithms/load.hpp"

#include "algorithms/search.hpp"
#include "algorithms/source_sums.hpp"

#include <algorithm>
#include <atomic>
#include <unordered_map>

namespace fennel {

namespace {

constexpr std::uint32_t NO_KEY = 0xFFFFFFFFu;

// Per-thread scratch of _node_betweenness.
struct LoadSearch {
    std::optional<BfsState> bfs;
    std::optional<DijkstraState> dijkstra;
    std::vector<double> between;
    std::vector<Node> settled;                 // Dijkstra: settle order
    std::vector<double> dist;                  // Dijkstra: by node
    std::vector<std::vector<Node>> preds;      // Dijkstra: discovery order
    std::vector<Node> onodes;                  // nodes at a positive length, ascending (length, node)
    std::vector<std::uint32_t> level_start;    // BFS: counting sort by level
    bool contradiction = false;

    LoadSearch(Count n, bool weighted) : between(n, 0.0) {
        if (weighted) {
            dijkstra.emplace(n);
            dist.resize(n);
            preds.resize(n);
        } else {
            bfs.emplace(n);
        }
    }

    // dijkstra_predecessor_and_distance's search: hidden (None) edges
    // skipped, edges past the cutoff dropped before anything else, an equal
    // path into a settled node recorded as a predecessor, a shorter one a
    // contradiction.
    struct Policy {
        static constexpr bool SKIP_HIDDEN = true;
        LoadSearch& st;
        std::optional<double> cutoff;
        bool within(double d) const { return !(cutoff && d > *cutoff); }
        void settle(Node v, double d, Node) {
            st.dist[v] = d;
            st.settled.push_back(v);
        }
        Status settled_edge(Node v, Node w, double d, Slot, double dw) {
            if (d < dw) return value_error("Contradictory paths found: negative weights?");
            if (d == dw) st.preds[w].push_back(v);
            return {};
        }
        void improve(Node v, Node w, Slot) { st.preds[w].assign(1, v); }
        void tie(Node v, Node w, Slot) { st.preds[w].push_back(v); }
    };

    // The terms of one source; false on a contradiction.
    bool run(const GraphView& g, Node s, std::uint32_t max_level, std::optional<double> cutoff,
             const std::vector<std::uint32_t>& rank, const std::vector<Node>& by_rank, SourceTerms& terms) {
        onodes.clear();
        if (dijkstra) {
            for (Node v : settled) preds[v].clear();
            settled.clear();
            Policy policy{*this, cutoff};
            if (!dijkstra->run(g, s, policy).ok()) return false;
            for (Node v : settled) {
                between[v] = 1.0;
                if (dist[v] > 0.0) onodes.push_back(v);
            }
            std::sort(onodes.begin(), onodes.end(), [&](Node a, Node b) {
                return dist[a] != dist[b] ? dist[a] < dist[b] : rank[a] < rank[b];
            });
            for (std::size_t i = onodes.size(); i-- > 0;) {
                const Node v = onodes[i];
                const auto& ps = preds[v];
                const double count = static_cast<double>(ps.size());
                // between[v] is read at each share: a zero-weight self-loop
                // makes v its own predecessor.
                for (Node x : ps) {
                    if (x == s) break;
                    between[x] += between[v] / count;
                }
            }
            for (Node v : settled) terms.add(v, between[v] - 1.0);
            return true;
        }
        bfs->discover<false>(*g.out, s, max_level);
        const auto reached = bfs->order();
        const auto& level = bfs->level;
        // (level, rank) order by a counting sort of the nodes in rank order.
        const std::uint32_t deepest = level[reached.back()];
        level_start.assign(deepest + 2, 0);
        for (Node v : reached) ++level_start[level[v] + 1];
        for (std::uint32_t l = 0; l <= deepest; ++l) level_start[l + 1] += level_start[l];
        onodes.resize(reached.size());
        for (Node v : by_rank) {
            if (level[v] != BfsState::UNREACHED) onodes[level_start[level[v]]++] = v;
        }
        for (Node v : reached) between[v] = 1.0;
        const Csr& in_rows = *g.in;
        // onodes[0] is the source, the only node at length 0.
        for (std::size_t i = onodes.size(); i-- > 1;) {
            const Node v = onodes[i];
            const std::uint32_t want = level[v] - 1;
            if (want == 0) continue;  // pred[v] == [source]
            std::size_t count = 0;
            for (Node x : in_rows.row(v)) count += level[x] == want;
            const double share = between[v] / static_cast<double>(count);
            for (Node x : in_rows.row(v)) {
                if (level[x] == want) between[x] += share;
            }
        }
        for (Node v : reached) terms.add(v, between[v] - 1.0);
        return true;
    }
};

}  // namespace

Result<std::optional<std::vector<double>>> load(const GraphView& g, std::uint32_t max_level,
                                                std::optional<double> cutoff, const std::vector<std::uint32_t>& rank) {
    const Count n = g.n();
    std::vector<double> totals(n, 0.0);
    std::vector<Node> by_rank(n);
    for (Node v = 0; v < n; ++v) by_rank[rank[v]] = v;
    const bool weighted = g.weights != nullptr;
    std::atomic<bool> contradiction{false};
    Status st = ordered_source_sums(
        n, totals, [&] { return LoadSearch(n, weighted); },
        [&](LoadSearch& search, std::size_t i, SourceTerms& terms) {
            if (contradiction.load(std::memory_order_relaxed)) return;
            if (!search.run(g, static_cast<Node>(i), max_level, cutoff, rank, by_rank, terms)) {
                contradiction.store(true, std::memory_order_relaxed);
            }
        });
    if (!st.ok()) return st.error();
    if (contradiction.load()) return std::optional<std::vector<double>>{};
    return std::optional<std::vector<double>>{std::move(totals)};
}

Result<LoadKeys> load_keys(const CoreGraph& g) {
    const Count n = g.n;
    LoadKeys out;
    std::unordered_map<std::uint64_t, std::uint32_t> id;
    id.reserve(2 * g.succ.slot_count() + 1);
    auto key = [&](Node u, Node v) -> std::uint32_t {
        const auto [it, fresh] = id.try_emplace(std::uint64_t{u} * n + v, static_cast<std::uint32_t>(out.us.size()));
        if (fresh) {
            out.us.push_back(u);
            out.vs.push_back(v);
        }
        return it->second;
    };
    const EdgeList edges = edges_in_order(g);
    if (2 * edges.us.size() >= NO_KEY) return not_implemented("graph has too many edges");
    for (std::size_t i = 0; i < edges.us.size(); ++i) {
        key(edges.us[i], edges.vs[i]);
        key(edges.vs[i], edges.us[i]);
    }
    const Csr& succ = g.succ;
    out.forward.assign(succ.slot_count(), NO_KEY);
    out.backward.assign(succ.slot_count(), NO_KEY);
    for (Node u = 0; u < n; ++u) {
        for (Slot p = succ.begin(u); p < succ.end(u); ++p) {
            out.forward[p] = key(u, succ.targets[p]);
            out.backward[p] = key(succ.targets[p], u);
        }
    }
    return out;
}

Result<std::vector<double>> edge_load(const CoreGraph& g, std::uint32_t max_level, std::size_t keys,
                                      const std::vector<std::uint32_t>& forward,
                                      const std::vector<std::uint32_t>& backward) {
    const Count n = g.n;
    std::vector<double> totals(keys, 0.0);
    // In-rows and, per in-slot q of node y towards x (the edge x -> y), the
    // keys of (x, y) and (y, x).
    Csr own;
    const Csr* in_rows = &g.succ;
    std::vector<Slot> perm;
    if (g.directed) {
        auto sorted = counting_sort_pred(g.succ, perm);
        if (!sorted.ok()) return sorted.error();
        own = std::move(sorted.value());
        in_rows = &own;
    }
    std::vector<std::uint32_t> key_in(in_rows->slot_count()), key_out(in_rows->slot_count());
    for (Slot q = 0; q < in_rows->slot_count(); ++q) {
        if (g.directed) {
            key_in[q] = forward[perm[q]];
            key_out[q] = backward[perm[q]];
        } else {
            key_in[q] = backward[q];
            key_out[q] = forward[q];
        }
    }
    struct Scratch {
        BfsState bfs;
        std::vector<std::uint32_t> pred_start;  // by node: its pred in-slots in `pred_slots`
        std::vector<std::uint32_t> pred_end;
        std::vector<Slot> pred_slots;
    };
    Status st = ordered_source_sums(
        n, totals, [&] { return Scratch{BfsState(n), std::vector<std::uint32_t>(n), std::vector<std::uint32_t>(n), {}}; },
        [&](Scratch& sc, std::size_t i, SourceTerms& terms) {
            sc.bfs.discover<false>(g.succ, static_cast<Node>(i), max_level);
            const auto reached = sc.bfs.order();
            const auto& level = sc.bfs.level;
            sc.pred_slots.clear();
            for (Node w : reached) {
                sc.pred_start[w] = static_cast<std::uint32_t>(sc.pred_slots.size());
                if (level[w] != 0) {
                    for (Slot q = in_rows->begin(w); q < in_rows->end(w); ++q) {
                        if (level[in_rows->targets[q]] == level[w] - 1) sc.pred_slots.push_back(q);
                    }
                }
                sc.pred_end[w] = static_cast<std::uint32_t>(sc.pred_slots.size());
            }
            std::vector<double>& between = terms.dense;
            std::fill(between.begin(), between.end(), 1.0);
            for (std::size_t k = reached.size(); k-- > 0;) {
                const Node v = reached[k];
                for (std::uint32_t a = sc.pred_start[v]; a < sc.pred_end[v]; ++a) {
                    const Slot q = sc.pred_slots[a];
                    const Node w = in_rows->targets[q];
                    const double num = static_cast<double>(sc.pred_end[w] - sc.pred_start[w]);
                    const double down = between[key_out[q]] / num;  // between[(v, w)] / len(pred[w])
                    const double up = between[key_in[q]] / num;     // between[(w, v)] / len(pred[w])
                    for (std::uint32_t b = sc.pred_start[w]; b < sc.pred_end[w]; ++b) {
                        const Slot r = sc.pred_slots[b];
                        between[key_out[r]] += down;  // (w, x)
                        between[key_in[r]] += up;     // (x, w)
                    }
                }
            }
        });
    if (!st.ok()) return st.error();
    return totals;
}

}  // namespace fennel
