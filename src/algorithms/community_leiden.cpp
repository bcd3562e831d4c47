// NetworkX 3.7's Leiden levels (leiden.py), for integer weights.
//
// Every number NetworkX compares is a sum of integer weights or node sizes,
// exact in a double whatever its order, or one expression of such sums and
// the resolution, formed here operand by operand as delta_func and the
// quality functions write it. Orders come from SetTable: the queue of
// _move_nodes_fast takes the nodes to revisit as `u_nbrs - P[best_com]`
// iterates, the refinement enumerates each community as its set iterates,
// and the refined sets' orders become the next level's node order.
//
// Where NetworkX sums a community per delta, the core keeps the community's
// totals as nodes join and leave, and its weight to the rest of its
// community as refined sets merge: a level costs O(n + m) besides the draws
// and the sort of each node's candidate communities.
#include "algorithms/community_leiden.hpp"

#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <numeric>

namespace fennel {

Leiden::Leiden(WeightedRows level, std::vector<std::int64_t> hashes, LeidenMetric metric, double resolution,
               bool int_resolution, bool compensated)
    : g_(std::move(level)),
      hashes_(std::move(hashes)),
      metric_(metric),
      resolution_(resolution),
      int_resolution_(int_resolution),
      compensated_(compensated) {
    const Count n = g_.n();
    const bool directed = g_.directed;
    if (metric_ == LeidenMetric::CPM) {
        size1_.assign(n, 1.0);
        gamma_ = directed ? 2 * resolution_ : resolution_;
    } else {
        // G.degree(weight="weight") counts an undirected self-loop twice;
        // directed graphs keep out- and in-degrees.
        size1_.assign(n, 0.0);
        if (directed) size2_.assign(n, 0.0);
        double total = 0.0;
        for (Node u = 0; u < n; ++u) {
            for (Slot s = g_.out.begin(u); s < g_.out.end(u); ++s) {
                size1_[u] += g_.out_w[s];
                if (!directed && g_.out.targets[s] == u) size1_[u] += g_.out_w[s];
            }
            if (directed) {
                for (Slot s = g_.in.begin(u); s < g_.in.end(u); ++s) size2_[u] += g_.in_w[s];
            }
            total += size1_[u];
        }
        gamma_ = resolution_ / total;
    }
    node2com_.resize(n);
    std::iota(node2com_.begin(), node2com_.end(), Node{0});
    build_edge_weights();
}

void Leiden::build_edge_weights() {
    const Count n = g_.n();
    const bool directed = g_.directed;
    nbrs_.offsets.assign(n + 1, 0);
    nbrs_.targets.clear();
    nbr_w_.clear();
    std::vector<Slot> at(directed ? n : 0, 0);
    for (Node u = 0; u < n; ++u) {
        const Slot start = nbrs_.targets.size();
        auto add = [&](Node v, double w) {
            if (v == u) return;
            if (!directed) {
                nbrs_.targets.push_back(v);
                nbr_w_.push_back(w);
                return;
            }
            if (at[v] == 0) {
                nbrs_.targets.push_back(v);
                nbr_w_.push_back(0.0);
                at[v] = nbrs_.targets.size();
            }
            nbr_w_[at[v] - 1] += w;
        };
        for (Slot s = g_.out.begin(u); s < g_.out.end(u); ++s) add(g_.out.targets[s], g_.out_w[s]);
        if (directed) {
            for (Slot s = g_.in.begin(u); s < g_.in.end(u); ++s) add(g_.in.targets[s], g_.in_w[s]);
            for (Slot s = start; s < nbrs_.targets.size(); ++s) at[nbrs_.targets[s]] = 0;
        }
        nbrs_.offsets[u + 1] = nbrs_.targets.size();
    }
}

double Leiden::delta(double e, double a1, double a2, double c1, double c2) const {
    // delta_func's return expressions; a: the nodes to add, c: the community.
    switch (metric_) {
        case LeidenMetric::CPM:
            return e - gamma_ * c1 * a1;
        case LeidenMetric::MODULARITY:
            if (g_.directed) return e - gamma_ * (a2 * c1 + a1 * c2);
            return e - gamma_ * a1 * c1;
    }
    return 0.0;
}

Result<double> Leiden::quality(const std::vector<Node>& members, const std::vector<Node>& bounds) const {
    if (metric_ == LeidenMetric::MODULARITY) {
        auto q = modularity_value(g_, members, bounds, resolution_, compensated_);
        if (!q.ok()) return q.error();
        // The caller keeps the weights' total positive: no zero division.
        if (q.value().degenerate) return value_error("the weights' total is zero");
        return q.value().value;
    }
    // constant_potts_model: E_c over G.edges(comm) (an undirected edge
    // once, self-loops included), n_c the community's node weight.
    const bool directed = g_.directed;
    std::vector<Node> com_of(g_.n());
    for (std::size_t c = 0; c + 1 < bounds.size(); ++c) {
        for (Node i = bounds[c]; i < bounds[c + 1]; ++i) com_of[members[i]] = static_cast<Node>(c);
    }
    KindSum q(compensated_);
    for (std::size_t c = 0; c + 1 < bounds.size(); ++c) {
        double e = 0.0, size = 0.0;
        for (Node i = bounds[c]; i < bounds[c + 1]; ++i) {
            const Node u = members[i];
            size += size1_[u];
            for (Slot s = g_.out.begin(u); s < g_.out.end(u); ++s) {
                const Node v = g_.out.targets[s];
                if (com_of[v] == c && (directed || v >= u)) e += g_.out_w[s];
            }
        }
        if (directed) {
            q.add(e - resolution_ * (size * size), int_resolution_ ? PY_INT : PY_FLOAT);
        } else {
            q.add(e - resolution_ * (size * size) / 2, PY_FLOAT);
        }
    }
    return q.value();
}

Status Leiden::start() {
    const Count n = g_.n();
    std::vector<Node> members(n), bounds(n + 1);
    std::iota(members.begin(), members.end(), Node{0});
    std::iota(bounds.begin(), bounds.end(), Node{0});
    auto q = quality(members, bounds);
    if (!q.ok()) return q.error();
    q_ = q.value();
    return {};
}

Status Leiden::move_nodes(const std::vector<Node>& order) {
    const Count n = g_.n();
    if (order.size() != n) return value_error("order must list every node once");
    std::vector<std::uint8_t> queued(n, 0);
    for (Node v : order) {
        if (v >= n) return index_error();
        if (queued[v]) return value_error("order must list every node once");
        queued[v] = 1;
    }
    const bool directed = g_.directed;
    auto hash = [&](Node x) { return hash_of(x); };
    // P = [set() for _ in node2com], filled in node order.
    std::vector<SetTable> sets(n);
    std::vector<double> t1(n, 0.0), t2(directed ? n : 0, 0.0);
    for (Node u = 0; u < n; ++u) {
        const Node c = node2com_[u];
        sets[c].add(u, hash(u));
        t1[c] += size1_[u];
        if (!size2_.empty()) t2[c] += size2_[u];
    }
    auto s2 = [&](Node u) { return size2_.empty() ? 0.0 : size2_[u]; };
    auto c2 = [&](Node c) { return t2.empty() ? 0.0 : t2[c]; };
    std::deque<Node> queue(order.begin(), order.end());
    std::vector<double> acc(n, 0.0);
    std::vector<std::uint8_t> met_flag(n, 0);
    std::vector<Node> met;
    Count steps = 0;
    while (!queue.empty()) {
        if ((++steps & 0xFFFF) == 0 && poll_interrupt()) return interrupted();
        const Node u = queue.front();
        queue.pop_front();
        queued[u] = 0;
        const Node old = node2com_[u];
        for (Slot s = nbrs_.begin(u); s < nbrs_.end(u); ++s) {
            const Node c = node2com_[nbrs_.targets[s]];
            if (!met_flag[c]) {
                met_flag[c] = 1;
                met.push_back(c);
            }
            acc[c] += nbr_w_[s];
        }
        // max((delta_func(u, P[c]), c) for c in nbr_coms): a tie in delta
        // goes to the larger community index.
        bool found = false;
        double best_add = 0.0;
        Node best = old;
        for (Node c : met) {
            if (c == old) continue;
            const double d = delta(acc[c], size1_[u], s2(u), t1[c], c2(c));
            if (!found || d > best_add || (d == best_add && c > best)) {
                found = true;
                best_add = d;
                best = c;
            }
        }
        const double own = met_flag[old] ? acc[old] : 0.0;
        for (Node c : met) {
            acc[c] = 0.0;
            met_flag[c] = 0;
        }
        met.clear();
        if (!found) continue;
        const double stay = sets[old].size() > 1
                                ? delta(own, size1_[u], s2(u), t1[old] - size1_[u], c2(old) - s2(u))
                                : 0.0;
        if (!(best_add > stay)) continue;
        node2com_[u] = best;
        sets[old].discard(u, hash(u));
        sets[best].add(u, hash(u));
        t1[old] -= size1_[u];
        t1[best] += size1_[u];
        if (directed && !t2.empty()) {
            t2[old] -= s2(u);
            t2[best] += s2(u);
        }
        // set(nx.all_neighbors(G, u)): predecessors then successors when
        // directed, u itself on a self-loop.
        SetTable around;
        if (directed) {
            for (Slot s = g_.in.begin(u); s < g_.in.end(u); ++s) around.add(g_.in.targets[s], hash(g_.in.targets[s]));
        }
        for (Slot s = g_.out.begin(u); s < g_.out.end(u); ++s) around.add(g_.out.targets[s], hash(g_.out.targets[s]));
        const SetTable revisit = SetTable::difference(
            around, sets[best].size(), [&](Node x) { return node2com_[x] == best; }, hash);
        revisit.each([&](Node x) {
            if (!queued[x]) {
                queued[x] = 1;
                queue.push_back(x);
            }
        });
    }
    parts_.clear();
    parts_com_.clear();
    for (Node c = 0; c < n; ++c) {
        if (sets[c].size() == 0) continue;
        parts_.emplace_back();
        parts_.back().reserve(sets[c].size());
        sets[c].each([&](Node x) { parts_.back().push_back(x); });
        parts_com_.push_back(c);
    }
    part_ = 0;
    in_part_ = false;
    refined_out_.clear();
    refined_part_.clear();
    return {};
}

void Leiden::start_community() {
    const std::vector<Node>& members = parts_[part_];
    const Node com = parts_com_[part_];
    const std::size_t k = members.size();
    const Count n = g_.n();
    if (local_.size() != n) {
        local_.assign(n, 0);
        refined_of_.assign(n, 0);
    }
    c1_ = c2_ = 0.0;
    for (std::size_t i = 0; i < k; ++i) {
        local_[members[i]] = static_cast<Node>(i);
        refined_of_[members[i]] = static_cast<Node>(i);
        c1_ += size1_[members[i]];
        if (!size2_.empty()) c2_ += size2_[members[i]];
    }
    w_in_.assign(k, 0.0);
    t_.assign(k, 0.0);
    r_.clear();
    refined_.assign(k, SetTable{});
    rsize1_.resize(k);
    rsize2_.resize(k);
    rext_.resize(k);
    for (std::size_t i = 0; i < k; ++i) {
        const Node u = members[i];
        for (Slot s = nbrs_.begin(u); s < nbrs_.end(u); ++s) {
            if (node2com_[nbrs_.targets[s]] == com) w_in_[i] += nbr_w_[s];
        }
        const double u2 = size2_.empty() ? 0.0 : size2_[u];
        // T: delta_func(u, C - {u}), 0 for a community of one.
        t_[i] = k > 1 ? delta(w_in_[i], size1_[u], u2, c1_ - size1_[u], c2_ - u2) : 0.0;
        if (t_[i] > 0) r_.push_back(static_cast<Node>(i));
        refined_[i].add(u, hash_of(u));
        rsize1_[i] = size1_[u];
        rsize2_[i] = u2;
        rext_[i] = w_in_[i];
    }
    if (scratch_w_.size() < k) scratch_w_.resize(k, 0.0);
    if (scratch_at_.size() < k) scratch_at_.resize(k, 0);
    next_r_ = 0;
}

void Leiden::merge(Node u, std::size_t pick) {
    const Node i = local_[u];
    const Node j = draw_.candidates[pick];
    refined_[i].discard(u, hash_of(u));
    t_[i] = 0.0;
    refined_[j].add(u, hash_of(u));
    refined_of_[u] = j;
    const double u2 = size2_.empty() ? 0.0 : size2_[u];
    // The weight from the grown set to the rest of C: u's edges into j
    // turn inner, u's other edges into C join.
    rext_[j] = rext_[j] + w_in_[i] - 2 * draw_weights_[pick];
    rsize1_[j] += size1_[u];
    rsize2_[j] += u2;
    const bool rest = refined_[j].size() < parts_[part_].size();
    t_[j] = rest ? delta(rext_[j], rsize1_[j], rsize2_[j], c1_ - rsize1_[j], c2_ - rsize2_[j]) : 0.0;
}

Result<LeidenDraw> Leiden::refine(const Node* pick) {
    if (pending_) {
        if (pick == nullptr) return value_error("a draw is pending");
        auto at = std::find(draw_.candidates.begin(), draw_.candidates.end(), *pick);
        if (at == draw_.candidates.end()) return value_error("the pick is not a candidate");
        merge(pending_node_, static_cast<std::size_t>(at - draw_.candidates.begin()));
        pending_ = false;
    } else if (pick != nullptr) {
        return value_error("no draw is pending");
    }
    while (part_ < parts_.size()) {
        if (!in_part_) {
            start_community();
            in_part_ = true;
        }
        const std::vector<Node>& members = parts_[part_];
        const Node com = parts_com_[part_];
        while (next_r_ < r_.size()) {
            const Node i = r_[next_r_++];
            if (refined_[i].size() != 1) continue;
            const Node u = members[i];
            // The refined sets holding a neighbour of u, in index order
            // (enumerate(C_refined)), with u's weight into each.
            std::vector<Node> met;
            for (Slot s = nbrs_.begin(u); s < nbrs_.end(u); ++s) {
                const Node v = nbrs_.targets[s];
                if (node2com_[v] != com) continue;
                const Node j = refined_of_[v];
                if (scratch_at_[j] == 0) {
                    met.push_back(j);
                    scratch_at_[j] = 1;
                }
                scratch_w_[j] += nbr_w_[s];
            }
            std::sort(met.begin(), met.end());
            draw_.candidates.clear();
            draw_.deltas.clear();
            draw_weights_.clear();
            const double u2 = size2_.empty() ? 0.0 : size2_[u];
            for (Node j : met) {
                const double w = scratch_w_[j];
                scratch_w_[j] = 0.0;
                scratch_at_[j] = 0;
                if (j == i || t_[j] <= 0) continue;
                const double d = delta(w, size1_[u], u2, rsize1_[j], rsize2_[j]);
                if (d > 0) {
                    draw_.candidates.push_back(j);
                    draw_.deltas.push_back(d);
                    draw_weights_.push_back(w);
                }
            }
            if (!draw_.candidates.empty()) {
                pending_ = true;
                pending_node_ = u;
                return draw_;
            }
        }
        for (const SetTable& r : refined_) {
            if (r.size() == 0) continue;
            refined_out_.emplace_back();
            refined_out_.back().reserve(r.size());
            r.each([&](Node x) { refined_out_.back().push_back(x); });
            refined_part_.push_back(static_cast<Node>(part_));
        }
        in_part_ = false;
        ++part_;
    }
    return LeidenDraw{};
}

Result<LeidenLevel> Leiden::aggregate() {
    if (pending_ || in_part_ || part_ != parts_.size() || parts_.empty()) {
        return value_error("the level's refinement is not finished");
    }
    const Count n = g_.n();
    LeidenLevel level;
    level.bounds.push_back(0);
    for (const std::vector<Node>& r : refined_out_) {
        level.members.insert(level.members.end(), r.begin(), r.end());
        level.bounds.push_back(static_cast<Node>(level.members.size()));
    }
    auto q = quality(level.members, level.bounds);
    if (!q.ok()) return q.error();
    level.improved = (q.value() - q_) > 0.0000001;
    q_ = q.value();

    // The aggregated graph: refined sets in order become nodes, sizes summed
    // over their members, G.edges(data="weight") mapped and added in order.
    const Count k = refined_out_.size();
    std::vector<Node> rank(n);
    std::vector<double> size1(k, 0.0), size2(size2_.empty() ? 0 : k, 0.0);
    for (Node h = 0; h < k; ++h) {
        for (Node x : refined_out_[h]) {
            rank[x] = h;
            size1[h] += size1_[x];
            if (!size2.empty()) size2[h] += size2_[x];
        }
    }
    EdgeSeq edges;
    for (Node u = 0; u < n; ++u) {
        for (Slot s = g_.out.begin(u); s < g_.out.end(u); ++s) {
            const Node v = g_.out.targets[s];
            if (!g_.directed && v < u) continue;
            edges.us.push_back(rank[u]);
            edges.vs.push_back(rank[v]);
            edges.w.push_back(g_.out_w[s]);
            edges.k.push_back(g_.out_k[s]);
        }
    }
    auto next = rows_from_edges(k, g_.directed, edges, false);
    if (!next.ok()) return next.error();
    g_ = std::move(next.value());
    size1_ = std::move(size1);
    size2_ = std::move(size2);
    node2com_ = refined_part_;
    hashes_.clear();
    local_.clear();
    refined_of_.clear();
    parts_.clear();
    build_edge_weights();
    return level;
}

}  // namespace fennel
