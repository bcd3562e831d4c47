// Kanevsky's minimum node cuts over NetworkX's reused residual network.
// Costs per pair: Edmonds–Karp's O(k m) over R (k augmenting paths of
// capacity 1); for a pair whose flow is k, O(n + m) for the components,
// the condensation and its closure (O(c^2) for c components), then per
// antichain O(n + m) to find its closed set and check its cut. A cut handed
// out costs O(|S| n) more for the set orders NetworkX's insertions give S.
#include "algorithms/kcutsets.hpp"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace fennel {

namespace {

Csr rows_of(const std::vector<std::vector<Node>>& rows) {
    Csr csr;
    csr.offsets.assign(rows.size() + 1, 0);
    for (std::size_t x = 0; x < rows.size(); ++x) csr.offsets[x + 1] = csr.offsets[x] + rows[x].size();
    csr.targets.reserve(csr.offsets.back());
    for (const auto& row : rows) csr.targets.insert(csr.targets.end(), row.begin(), row.end());
    return csr;
}

// list(nx.topological_sort(L)): topological_generations flattened, Kahn's
// generations from the nodes of in-degree 0 in node order, each node's
// children in row order.
std::vector<Node> topological_order(const Csr& succ) {
    const Count c = succ.node_count();
    std::vector<Count> indegree(c, 0);
    for (Node child : succ.targets) ++indegree[child];
    std::vector<Node> order;
    order.reserve(c);
    for (Node u = 0; u < c; ++u) {
        if (indegree[u] == 0) order.push_back(u);
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        for (Node child : succ.row(order[i])) {
            if (--indegree[child] == 0) order.push_back(child);
        }
    }
    return order;
}

}  // namespace

bool connected_without(const CoreGraph& g, const std::vector<std::uint8_t>& removed) {
    std::vector<std::uint8_t> seen(removed);
    Count left = 0;
    Node start = 0;
    for (Node u = 0; u < g.n; ++u) {
        if (!removed[u]) {
            if (left++ == 0) start = u;
        }
    }
    if (left == 0) return false;
    std::vector<Node> queue{start};
    seen[start] = 1;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        for (Node w : g.succ.row(queue[i])) {
            if (!seen[w]) {
                seen[w] = 1;
                queue.push_back(w);
            }
        }
    }
    return queue.size() == left;
}

NodeCutSearch::NodeCutSearch(const CoreGraph& g, bool from37, double k, std::vector<std::int64_t> hash)
    : from37_(from37), k_(k), hash_(std::move(hash)) {
    const AuxiliaryGraph h = auxiliary_graph(g, Auxiliary::Nodes);
    n_ = h.n;
    h_succ_.resize(n_);
    h_pred_.resize(n_);
    for (std::size_t e = 0; e < h.us.size(); ++e) {
        h_succ_[h.us[e]].push_back(h.vs[e]);
        // Pred rows by tail order, not H's insertion order: a cut handed out
        // crosses only edges inside a node of G, and a node of H has one
        // predecessor inside its node at most, so their order never shows.
        h_pred_[h.vs[e]].push_back(h.us[e]);
    }
    if (!from37_) {
        r_ = unit_residual(h);
    } else {
        // Capacity 1 inside a node of G (iA -> iB, and iB -> iA from a
        // self-loop), float('inf') between nodes: R holds R.graph['inf'],
        // three times the finite capacities' sum.
        std::vector<std::uint8_t> codes(h.us.size());
        double finite = 0;
        for (std::size_t e = 0; e < h.us.size(); ++e) {
            const bool inside = h.us[e] / 2 == h.vs[e] / 2;
            codes[e] = inside ? CAP_INT : CAP_INFINITE;
            finite += inside;
        }
        const std::vector<double> ones(h.us.size(), 1.0);
        r_ = build_residual(n_, true, h.us, h.vs, codes, ones, FlowNumber{finite > 0 ? 3 * finite : 1.0, false});
    }
    r_pairs_.reserve(r_.tail.size() + 4 * n_);
    for (Slot e = 0; e < r_.tail.size(); ++e) r_pairs_.insert(PairIndex::key(r_.tail[e], r_.head[e]), e);
    r_succ_.resize(n_);
    r_pred_.resize(n_);
    for (Node u = 0; u < n_; ++u) {
        r_succ_[u].assign(r_.succ.row(u).begin(), r_.succ.row(u).end());
        r_pred_[u].assign(r_.pred.row(u).begin(), r_.pred.row(u).end());
    }
    in_s_.assign(n_, 0);
}

void NodeCutSearch::mark_seen(std::vector<Node> cut) {
    std::sort(cut.begin(), cut.end());
    seen_.insert(std::move(cut));
}

bool NodeCutSearch::start_pair(Node x, Node v) {
    x_ = x;
    v_ = v;
    const Count edges = r_.tail.size();
    // edmonds_karp(H, xB, vA, residual=R): every flow reset to 0 first.
    flow_.assign(edges, FlowNumber{});
    const FlowRun run = edmonds_karp(r_, flow_, 2 * x + 1, 2 * v, std::numeric_limits<double>::infinity());
    // 3.7 skips a pair joined by a path of infinite capacity; before, every
    // capacity is 1 and no flow is unbounded.
    if (run.unbounded || run.value.value != k_) return false;

    // The saturated edges in R.edges order: flow == capacity, and before
    // 3.7 every reverse edge (capacity 0) too. Before 3.7 the components
    // holding an end of an edge with flow are noted (VE1).
    gone_.assign(edges, 0);
    saturated_.clear();
    std::vector<std::uint8_t> flowed(from37_ ? 0 : n_, 0);
    for (Node u = 0; u < n_; ++u) {
        for (Node e : r_succ_[u]) {
            const bool closed = flow_[e].value == r_.capacity[e].value || (!from37_ && r_.capacity[e].value == 0);
            if (closed) {
                gone_[e] = 1;
                saturated_.push_back(e);
            }
            if (!from37_ && flow_[e].value != 0) flowed[r_.tail[e]] = flowed[r_.head[e]] = 1;
        }
    }
    // R.remove_edges_from(saturated_edges): the rows keep their other edges in order.
    std::vector<std::vector<Node>> succ(n_), pred(n_);
    for (Node u = 0; u < n_; ++u) {
        std::erase_if(r_succ_[u], [&](Node e) { return gone_[e] != 0; });
        std::erase_if(r_pred_[u], [&](Node e) { return gone_[e] != 0; });
        for (Node e : r_succ_[u]) succ[u].push_back(r_.head[e]);
        for (Node e : r_pred_[u]) pred[u].push_back(r_.tail[e]);
    }
    rest_succ_ = rows_of(succ);
    rest_pred_ = rows_of(pred);

    // L = nx.condensation(R): components numbered in the order Tarjan's
    // search yields them; L's rows in the order R.edges first meets each
    // edge between two components.
    parts_ = strong_components(rest_succ_, from37_);
    const Count c = parts_.size();
    part_of_.assign(n_, 0);
    for (Node i = 0; i < c; ++i) {
        for (Node u : parts_[i]) part_of_[u] = i;
    }
    std::vector<std::vector<Node>> l_succ(c), l_pred(c);
    std::unordered_set<std::uint64_t> joined;
    for (Node u = 0; u < n_; ++u) {
        for (Node w : rest_succ_.row(u)) {
            const Node a = part_of_[u], b = part_of_[w];
            if (a == b || !joined.insert((static_cast<std::uint64_t>(a) << 32) | b).second) continue;
            l_succ[a].push_back(b);
            l_pred[b].push_back(a);
        }
    }
    l_succ_ = rows_of(l_succ);
    l_pred_ = rows_of(l_pred);
    topo_ = topological_order(l_succ_);
    touched_.assign(from37_ ? 0 : c, 0);
    for (Node u = 0; u < n_ && !from37_; ++u) {
        if (flowed[u]) touched_[part_of_[u]] = 1;
    }
    // Components that put vA into every closed set holding them: before
    // 3.7 those vA's component reaches, from 3.7 those reaching it. An
    // antichain with one of them is skipped, as is every antichain with a
    // component the flow leaves untouched before 3.7: the search leaves
    // them out with all the antichains that grow from them.
    std::vector<std::uint8_t> allowed = from37_ ? std::vector<std::uint8_t>(c, 1) : touched_;
    std::vector<std::uint8_t> met(c, 0);
    std::vector<Node> queue{part_of_[2 * v]};
    met[queue[0]] = 1;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        allowed[queue[i]] = 0;
        for (Node b : (from37_ ? l_pred_ : l_succ_).row(queue[i])) {
            if (!met[b]) {
                met[b] = 1;
                queue.push_back(b);
            }
        }
    }
    part_stamp_.assign(c, 0);
    antichains_ = std::make_unique<Antichains>(l_succ_, topo_, allowed);
    batch_ = {};
    batch_at_ = 0;
    open_ = true;
    return true;
}

bool NodeCutSearch::next_cut(std::vector<Node>& tails, std::vector<Node>& heads) {
    if (!open_) return false;
    std::vector<Node> antichain;
    for (;;) {
        if (batch_at_ + 1 >= batch_.bounds.size()) {
            batch_ = antichains_->next(256);
            batch_at_ = 0;
            if (batch_.bounds.size() <= 1) {
                finish_pair();
                return false;
            }
        }
        antichain.clear();
        for (std::size_t i = batch_.bounds[batch_at_]; i < batch_.bounds[batch_at_ + 1]; ++i) {
            antichain.push_back(topo_[batch_.items[i]]);
        }
        ++batch_at_;
        if (from37_) {
            if (antichain.empty()) continue;
        } else if (!std::all_of(antichain.begin(), antichain.end(), [&](Node a) { return touched_[a] != 0; })) {
            // Only antichains of components the flow touches (Lemma 8).
            continue;
        }
        if (!closed_set(antichain)) continue;
        tails.clear();
        heads.clear();
        ordered_cutset(antichain, tails, heads);
        return true;
    }
}

// Marks the closed set S of the antichain in in_s_ and decides whether
// NetworkX hands out its cut: S holds xB and not vA; before 3.7 every edge
// of H into S from outside is internal to a node, k nodes that miss x and v;
// from 3.7 some edge of H leaves S. The cut must not be in `seen`, which
// then takes it.
bool NodeCutSearch::closed_set(const std::vector<Node>& antichain) {
    if (++stamp_ == 0) {
        std::fill(in_s_.begin(), in_s_.end(), 0);
        std::fill(part_stamp_.begin(), part_stamp_.end(), 0);
        stamp_ = 1;
    }
    // Components L reaches from the antichain, backwards (before 3.7: R's
    // predecessors of its members) or forwards (3.7: L's successors).
    const Csr& way = from37_ ? l_succ_ : l_pred_;
    std::vector<Node>& queue = queue_;
    queue.clear();
    for (Node a : antichain) {
        if (part_stamp_[a] != stamp_) {
            part_stamp_[a] = stamp_;
            queue.push_back(a);
        }
    }
    for (std::size_t i = 0; i < queue.size(); ++i) {
        for (Node b : way.row(queue[i])) {
            if (part_stamp_[b] != stamp_) {
                part_stamp_[b] = stamp_;
                queue.push_back(b);
            }
        }
    }
    for (Node a : queue) {
        for (Node u : parts_[a]) in_s_[u] = stamp_;
    }
    if (in_s_[2 * x_ + 1] != stamp_ || in_s_[2 * v_] == stamp_) return false;
    std::vector<Node>& cut = cut_;
    cut.clear();
    bool crossing = false;
    for (Node a : queue) {
        for (Node u : parts_[a]) {
            for (Node w : from37_ ? h_succ_[u] : h_pred_[u]) {
                if (in_s_[w] == stamp_) continue;
                if (!from37_ && u / 2 != w / 2) return false;
                crossing = true;
                cut.push_back(u / 2);
            }
        }
    }
    std::sort(cut.begin(), cut.end());
    cut.erase(std::unique(cut.begin(), cut.end()), cut.end());
    if (from37_) {
        if (!crossing) return false;
    } else if (static_cast<double>(cut.size()) != k_ || std::binary_search(cut.begin(), cut.end(), x_) ||
               std::binary_search(cut.begin(), cut.end(), v_)) {
        return false;
    }
    return seen_.insert(cut).second;
}

// A component's set, as NetworkX's search built it: its iteration order.
std::vector<Node> NodeCutSearch::component_order(Node c) const {
    SetTable set;
    for (Node u : parts_[c]) set.add(u, hash_[u]);
    std::vector<Node> order;
    set.each([&](Node u) { order.push_back(u); });
    return order;
}

// R_closure._pred[n] for transitive_closure(R) (reflexive=False): n's
// predecessors in R as R.copy() inserts them (node order), then the
// other nodes with a path to n (n itself on a cycle) in node order, as the
// loop over R's nodes adds them.
std::vector<Node> NodeCutSearch::closure_pred(Node n, std::vector<std::vector<Node>>& strict_cache) const {
    const Node c = part_of_[n];
    if (strict_cache[c].empty()) {
        // The members of the components strictly before c in L, sorted;
        // a sentinel past every node marks a computed empty list.
        std::vector<std::uint8_t> reached(parts_.size(), 0);
        std::vector<Node> queue{c}, members;
        reached[c] = 1;
        for (std::size_t i = 0; i < queue.size(); ++i) {
            for (Node b : l_pred_.row(queue[i])) {
                if (!reached[b]) {
                    reached[b] = 1;
                    queue.push_back(b);
                    members.insert(members.end(), parts_[b].begin(), parts_[b].end());
                }
            }
        }
        std::sort(members.begin(), members.end());
        members.push_back(static_cast<Node>(n_));
        strict_cache[c] = std::move(members);
    }
    std::vector<Node> all(strict_cache[c].begin(), strict_cache[c].end() - 1);
    if (parts_[c].size() > 1) {
        all.insert(all.end(), parts_[c].begin(), parts_[c].end());
        std::sort(all.begin(), all.end());
    }
    std::vector<Node> out(rest_pred_.row(n).begin(), rest_pred_.row(n).end());
    std::sort(out.begin(), out.end());
    const std::size_t direct = out.size();
    for (Node p : all) {
        if (!std::binary_search(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(direct), p)) out.push_back(p);
    }
    return out;
}

// The cutset's edges in the order NetworkX inserts them: S built by its
// insertions (set tables replayed from the names' hashes), then each u of
// S in S's order with its row's edges leaving S.
void NodeCutSearch::ordered_cutset(const std::vector<Node>& antichain, std::vector<Node>& tails,
                                   std::vector<Node>& heads) {
    SetTable s;
    if (!from37_) {
        // S from the antichain's components, each as list(component);
        // S_ancestors from each R_closure._pred[n] dict (one resize up
        // front for the dict's size), merged into S.
        for (Node a : antichain) {
            for (Node u : component_order(a)) s.add(u, hash_[u]);
        }
        std::vector<Node> order;
        s.each([&](Node u) { order.push_back(u); });
        std::vector<std::vector<Node>> strict_cache(parts_.size());
        SetTable ancestors;
        for (Node u : order) {
            const std::vector<Node> pred = closure_pred(u, strict_cache);
            ancestors.reserve_update(pred.size());
            for (Node p : pred) ancestors.add(p, hash_[p]);
        }
        s.merge(ancestors);
    } else {
        // S_L = set(antichain), updated by each L_closure row (L's
        // breadth-first descendants: its row, then edge_bfs's new heads);
        // S from list(component) of each component in S_L's order.
        SetTable closed;
        for (Node a : antichain) closed.add(a, a);
        std::vector<std::uint8_t> reached(parts_.size(), 0);
        std::vector<Node> queue;
        for (Node a : antichain) {
            std::fill(reached.begin(), reached.end(), 0);
            queue.assign(1, a);
            reached[a] = 1;
            for (std::size_t i = 0; i < queue.size(); ++i) {
                for (Node b : l_succ_.row(queue[i])) {
                    if (reached[b]) continue;
                    reached[b] = 1;
                    queue.push_back(b);
                    closed.add(b, b);
                }
            }
        }
        closed.each([&](Node a) {
            for (Node u : component_order(a)) s.add(u, hash_[u]);
        });
    }
    s.each([&](Node u) {
        for (Node w : from37_ ? h_succ_[u] : h_pred_[u]) {
            if (in_s_[w] == stamp_) continue;
            tails.push_back(u);
            heads.push_back(w);
        }
    });
}

// After the antichains: H and R take the edges xB -> vA and vB -> xA (R
// with their reverse edges of capacity 0), then the saturated edges come
// back, each at the ends of its rows unless add_edge already put it back.
void NodeCutSearch::finish_pair() {
    open_ = false;
    antichains_.reset();
    const Node xa = 2 * x_, xb = 2 * x_ + 1, va = 2 * v_, vb = 2 * v_ + 1;
    const FlowNumber cap = from37_ ? r_.inf : FlowNumber{1.0, false};
    auto put_back = [&](Node e) {
        if (!gone_[e]) return;
        gone_[e] = 0;
        r_succ_[r_.tail[e]].push_back(e);
        r_pred_[r_.head[e]].push_back(e);
    };
    auto add = [&](Node a, Node b, FlowNumber capacity) -> Node {
        const Slot found = r_pairs_.find(PairIndex::key(a, b));
        if (found != PairIndex::NONE) {
            put_back(static_cast<Node>(found));
            return static_cast<Node>(found);
        }
        const auto e = static_cast<Node>(r_.tail.size());
        r_.tail.push_back(a);
        r_.head.push_back(b);
        r_.capacity.push_back(capacity);
        r_.origin.push_back(-1);
        r_.reverse.push_back(e);
        r_pairs_.insert(PairIndex::key(a, b), e);
        gone_.push_back(0);
        r_succ_[a].push_back(e);
        r_pred_[b].push_back(e);
        return e;
    };
    auto h_add = [&](Node a, Node b) {
        if (std::find(h_succ_[a].begin(), h_succ_[a].end(), b) != h_succ_[a].end()) return;
        h_succ_[a].push_back(b);
        h_pred_[b].push_back(a);
    };
    h_add(xb, va);
    h_add(vb, xa);
    const Node e1 = add(xb, va, cap), e2 = add(va, xb, FlowNumber{});
    const Node e3 = add(vb, xa, cap), e4 = add(xa, vb, FlowNumber{});
    r_.reverse[e1] = e2;
    r_.reverse[e2] = e1;
    r_.reverse[e3] = e4;
    r_.reverse[e4] = e3;
    for (Node e : saturated_) put_back(e);
    r_.succ = rows_of(r_succ_);
    r_.pred = rows_of(r_pred_);
}

}  // namespace fennel
