// Group centralities (NetworkX's group.py).
//
// group_degree_centrality builds Python sets only to count them: the size
// of the union of the group's neighbourhoods without the group is the same
// whatever the sets' orders, so marks suffice.
//
// group_closeness_centrality adds the distances from the group (a
// multi-source search) over V - S, a set's order; the callers serve only
// integer distances whose total stays exact, so any order gives NetworkX's
// value, and a distance's source does not matter either.
#include "algorithms/group.hpp"

#include "algorithms/brandes.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>
#include <utility>

namespace fennel {

std::size_t group_degree(const Csr& rows, std::span<const Node> group) {
    std::vector<std::uint8_t> mark(rows.node_count(), 0);  // 1: a neighbour, 2: in the group
    for (Node v : group) mark[v] = 2;
    std::size_t count = 0;
    for (Node v : group) {
        for (Node w : rows.row(v)) {
            if (mark[w] == 0) {
                mark[w] = 1;
                ++count;
            }
        }
    }
    return count;
}

__int128 group_distance_total(const GraphView& view, std::span<const Node> group) {
    const Csr& rows = *view.out;
    const Count n = rows.node_count();
    std::vector<std::uint8_t> in_group(n, 0);
    for (Node v : group) in_group[v] = 1;
    __int128 total = 0;
    if (view.weights == nullptr) {
        std::vector<std::uint32_t> level(n, std::numeric_limits<std::uint32_t>::max());
        std::vector<Node> queue;
        queue.reserve(n);
        for (Node v : group) {
            if (level[v] != 0) {
                level[v] = 0;
                queue.push_back(v);
            }
        }
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const Node v = queue[head];
            for (Node w : rows.row(v)) {
                if (level[w] == std::numeric_limits<std::uint32_t>::max()) {
                    level[w] = level[v] + 1;
                    queue.push_back(w);
                    total += level[w];
                }
            }
        }
        return total;
    }
    // Weighted: the multi-source distances, added as exact integers (any order).
    const std::vector<double> dist = group_distances(view, group);
    for (Count v = 0; v < n; ++v) {
        if (!in_group[v] && !std::isnan(dist[v])) total += static_cast<__int128>(dist[v]);
    }
    return total;
}


std::vector<double> group_distances(const GraphView& view, std::span<const Node> group) {
    // Every node's distance is the least sum dist[v] + w over its settled
    // in-neighbours v, whatever order equal distances leave the heap in.
    const Csr& rows = *view.out;
    const Count n = rows.node_count();
    std::vector<double> dist(n, std::numeric_limits<double>::infinity());
    std::vector<std::uint8_t> done(n, 0);
    using Entry = std::pair<double, Node>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> heap;
    for (Node v : group) {
        dist[v] = 0.0;
        heap.push({0.0, v});
    }
    while (!heap.empty()) {
        const auto [d, v] = heap.top();
        heap.pop();
        if (done[v]) continue;
        done[v] = 1;
        for (Slot p = rows.begin(v); p < rows.end(v); ++p) {
            const double w = view.weights != nullptr ? (*view.weights)[p] : 1.0;
            if (std::isnan(w)) continue;  // hidden edge
            const Node t = rows.targets[p];
            if (d + w < dist[t]) {
                dist[t] = d + w;
                heap.push({d + w, t});
            }
        }
    }
    for (Count v = 0; v < n; ++v) {
        if (!done[v]) dist[v] = std::numeric_limits<double>::quiet_NaN();
    }
    return dist;
}

// group_betweenness_centrality. NetworkX keeps every source's sigma, D and
// delta for all nodes; the PB sums and the group steps read only the
// columns of the group's nodes, so each source keeps k values of each.

namespace {

constexpr double UNREACHED = std::numeric_limits<double>::quiet_NaN();

}  // namespace

Result<GroupPaths> group_paths(const GraphView& g, std::span<const Node> members) {
    const Count n = g.n();
    const std::size_t k = members.size();
    const bool weighted = g.weights != nullptr;
    // Per source row, the members' columns.
    std::vector<double> dist(n * k, UNREACHED), sigma(n * k, 0.0), delta(n * k, 0.0);
    std::vector<std::uint64_t> reached_all(n, 0);
    const Csr& in_rows = *g.in;
    const Pieces pieces = split(n);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        BrandesSearch search(n, weighted);
        for (std::size_t s = pieces.begin(piece); s < pieces.end(piece) && !stop_requested(); ++s) {
            const Node source = static_cast<Node>(s);
            search.search(g, source);
            // _accumulate_endpoints' delta (the totals are not needed).
            for (std::size_t i = search.settled; i-- > 0;) {
                const Node w = search.stack[i];
                const double coeff = (1.0 + search.delta[w]) / search.sigma[w];
                search.for_each_pred(in_rows, w, [&](Node v, Slot) { search.delta[v] += search.sigma[v] * coeff; });
            }
            reached_all[s] = search.settled;
            for (std::size_t j = 0; j < k; ++j) {
                const Node m = members[j];
                const bool hit = search.dijkstra ? search.dijkstra->settled(m)
                                                 : search.bfs->level[m] != BfsState::UNREACHED;
                if (!hit) continue;
                dist[s * k + j] = search.dijkstra ? search.dijkstra->dist(m) : static_cast<double>(search.bfs->level[m]);
                sigma[s * k + j] = weighted ? search.sigma[m] / 2 : search.sigma[m];
                delta[s * k + j] = m != source ? search.delta[m] + 1 : search.delta[m];
            }
            add_progress(1);
        }
    });
    if (!st.ok()) return st.error();
    GroupPaths out;
    out.pb.assign(k * k, 0.0);
    out.sigma.resize(k * k);
    out.dist.resize(k * k);
    out.reached.resize(k);
    for (std::size_t a = 0; a < k; ++a) {
        const std::size_t row = static_cast<std::size_t>(members[a]) * k;
        for (std::size_t b = 0; b < k; ++b) {
            out.sigma[a * k + b] = sigma[row + b];
            out.dist[a * k + b] = dist[row + b];
        }
        out.reached[a] = reached_all[members[a]];
    }
    // PB[a][b] += delta[node][b] * sigma[node][a] * sigma[a][b] / sigma[node][b]
    // over the nodes in node order, where node reaches both and a lies on
    // its shortest paths to b.
    const Pieces rows = split(k);
    st = parallel_for(rows.pieces, [&](std::size_t piece) {
        for (std::size_t a = rows.begin(piece); a < rows.end(piece); ++a) {
            for (std::size_t b = 0; b < k; ++b) {
                const double dab = out.dist[a * k + b];
                if (std::isnan(dab)) continue;
                const double sab = out.sigma[a * k + b];
                double total = 0.0;
                for (std::size_t node = 0; node < n; ++node) {
                    const double dnb = dist[node * k + b], dna = dist[node * k + a];
                    if (std::isnan(dnb) || std::isnan(dna)) continue;
                    if (dnb == dna + dab) {
                        total += delta[node * k + b] * sigma[node * k + a] * sab / sigma[node * k + b];
                    }
                }
                out.pb[a * k + b] = total;
            }
        }
    });
    if (!st.ok()) return st.error();
    return out;
}

std::vector<double> group_steps(const GroupPaths& t, std::size_t k, std::span<const std::uint32_t> order) {
    const std::size_t c = order.size();
    // The group's submatrices, indexed by place in `order`.
    auto sub = [&](const std::vector<double>& m) {
        std::vector<double> out(c * c);
        for (std::size_t i = 0; i < c; ++i) {
            for (std::size_t j = 0; j < c; ++j) out[i * c + j] = m[order[i] * k + order[j]];
        }
        return out;
    };
    const std::vector<double> sigma = sub(t.sigma), dist = sub(t.dist);
    std::vector<double> sm = sigma, pbm = sub(t.pb);
    std::vector<double> smv = sm, pbv = pbm;
    std::vector<double> steps;
    steps.reserve(c);
    for (std::size_t v = 0; v < c; ++v) {
        steps.push_back(pbm[v * c + v]);
        for (std::size_t x = 0; x < c; ++x) {
            for (std::size_t y = 0; y < c; ++y) {
                double dxvy = 0.0, dxyv = 0.0, dvxy = 0.0;
                const double sxy = sm[x * c + y], sxv = sm[x * c + v], svy = sm[v * c + y];
                if (!(sxy == 0.0 || sxv == 0.0 || svy == 0.0)) {
                    // The callers make every pair read here reachable.
                    if (dist[x * c + v] == dist[x * c + y] + dist[y * c + v]) dxyv = sxy * sm[y * c + v] / sxv;
                    if (dist[x * c + y] == dist[x * c + v] + dist[v * c + y]) dxvy = sxv * svy / sxy;
                    if (dist[v * c + y] == dist[v * c + x] + dist[x * c + y]) {
                        dvxy = sm[v * c + x] * sigma[x * c + y] / sigma[v * c + y];
                    }
                }
                smv[x * c + y] = sxy * (1 - dxvy);
                double p = pbm[x * c + y] - pbm[x * c + y] * dxvy;
                if (y != v) p -= pbm[x * c + v] * dxyv;
                if (x != v) p -= pbm[v * c + y] * dvxy;
                pbv[x * c + y] = p;
            }
        }
        std::swap(sm, smv);
        std::swap(pbm, pbv);
    }
    return steps;
}

}  // namespace fennel


// prominent_group. NetworkX grows a depth-first tree whose nodes hold a
// candidate list CL, the contributions `cont`, the group so far GM, its GBC
// and the heuristic `heu`, and a deep copy of the betweenness DataFrame and
// the sigma dict. A plus child adds CL[0] and rewrites both tables; a minus
// child drops CL[0] and keeps its parent's tables. Here a branch holds the
// lists and numbers only, and a plus child's tables are rewritten when the
// search enters it (its CL, cont and heu read only the new diagonal).

namespace fennel {

namespace {

struct Tables {
    std::vector<double> pb;     // pb[x * m + y]: the DataFrame's betweenness[x][y]
    std::vector<double> sigma;  // sigma[x][y]
};

struct Branch {
    std::vector<std::uint32_t> cl;
    std::vector<double> cont;  // by row; the minus child's popped entry is never read again
    std::vector<std::uint32_t> gm;
    double gbc = 0.0;
    double heu = 0.0;
};

class ProminentSearch {
public:
    ProminentSearch(const GroupPaths& t, std::size_t k, std::span<const std::uint32_t> label,
                    std::span<const std::uint32_t> rank, bool greedy)
        : m_(label.size()), k_(k), dist_(t.dist), label_(label), rank_(rank), greedy_(greedy) {}

    Result<ProminentGroup> run(const GroupPaths& t) {
        const Tables root{t.pb, t.sigma};
        Branch b;
        std::vector<double> diag(m_);
        for (std::size_t i = 0; i < m_; ++i) diag[i] = root.pb[i * m_ + i];
        take_diagonal(b, diag);
        if (!settled(b)) expand(b, root);
        if (!status_.ok()) return status_.error();
        return best_;
    }

private:
    // One entry of the plus child's tables after adding v: _heuristic's
    // update of betweenness[x][y] and sigma[x][y], read from the parent's.
    void entry(const Tables& r, std::size_t v, std::size_t x, std::size_t y, double& pb, double& sigma) const {
        const std::size_t m = m_;
        const std::vector<double>& s = r.sigma;
        const std::vector<double>& d = dist_;
        double dxvy = 0.0, dxyv = 0.0, dvxy = 0.0;
        const double sxy = s[x * m + y], sxv = s[x * m + v], svy = s[v * m + y];
        if (!(sxy == 0.0 || sxv == 0.0 || svy == 0.0)) {
            // The callers make every pair read here reachable.
            if (d[x * m + v] == d[x * m + y] + d[y * m + v]) dxyv = sxy * s[y * m + v] / sxv;
            if (d[x * m + y] == d[x * m + v] + d[v * m + y]) dxvy = sxv * svy / sxy;
            if (d[v * m + y] == d[v * m + x] + d[x * m + y]) dvxy = s[v * m + x] * sxy / svy;
        }
        sigma = sxy * (1 - dxvy);
        const double b = r.pb[x * m + y];
        double p = b - b * dxvy;
        if (y != v) p -= r.pb[x * m + v] * dxyv;
        if (x != v) p -= r.pb[v * m + y] * dvxy;
        pb = p;
    }

    // CL = the rows' labels sorted by (diagonal, node), largest first, GM
    // left out: sorted(zip(np.diag(betweenness), nodes), reverse=True);
    // cont = dict(zip(nodes, np.diag(betweenness))); heu = the sum of the
    // first k - |GM| contributions along CL.
    void take_diagonal(Branch& b, const std::vector<double>& diag) const {
        std::vector<std::uint32_t> order(m_);
        for (std::uint32_t i = 0; i < m_; ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t c) {
            if (diag[a] != diag[c]) return diag[a] > diag[c];
            return rank_[label_[a]] > rank_[label_[c]];
        });
        std::vector<std::uint8_t> in_gm(m_, 0);
        for (std::uint32_t g : b.gm) in_gm[g] = 1;
        b.cl.clear();
        b.cl.reserve(m_);
        for (std::uint32_t i : order) {
            if (!in_gm[label_[i]]) b.cl.push_back(label_[i]);
        }
        b.cont.assign(m_, 0.0);
        for (std::size_t i = 0; i < m_; ++i) b.cont[label_[i]] = diag[i];
        b.heu = heuristic(b);
    }

    double heuristic(const Branch& b) const {
        double heu = 0.0;
        for (std::size_t i = 0; i + b.gm.size() < k_; ++i) heu += b.cont[b.cl[i]];
        return heu;
    }

    // _dfbnb's stopping conditions; true when the branch goes no further.
    bool settled(const Branch& b) {
        if (b.gm.size() == k_ && b.gbc > best_.gbc) {
            best_.found = true;
            best_.gbc = b.gbc;
            best_.group = b.gm;
            return true;
        }
        return !status_.ok() || b.gm.size() == k_ || b.cl.size() <= k_ - b.gm.size() || b.gbc + b.heu <= best_.gbc;
    }

    // _heuristic's two children, then _dfbnb's order of visiting them.
    void expand(const Branch& b, const Tables& tables) {
        const std::uint32_t added = b.cl.front();
        Branch plus;
        plus.gm = b.gm;
        plus.gm.push_back(added);
        plus.gbc = b.gbc + b.cont[added];
        std::vector<double> diag(m_);
        double unused = 0.0;
        for (std::size_t x = 0; x < m_; ++x) entry(tables, added, x, x, diag[x], unused);
        take_diagonal(plus, diag);
        if (greedy_) {
            descend_plus(plus, tables, added);
            return;
        }
        Branch minus;
        minus.cl.assign(b.cl.begin() + 1, b.cl.end());
        minus.cont = b.cont;
        minus.gm = b.gm;
        minus.gbc = b.gbc;
        minus.heu = heuristic(minus);
        if (plus.gbc + plus.heu > minus.gbc + minus.heu) {
            descend_plus(plus, tables, added);
            if (!settled(minus)) expand(minus, tables);
        } else {
            if (!settled(minus)) expand(minus, tables);
            descend_plus(plus, tables, added);
        }
    }

    // The plus child's tables are rewritten only once the search enters it.
    void descend_plus(const Branch& plus, const Tables& parent, std::uint32_t added) {
        if (settled(plus)) return;
        const std::size_t m = m_;
        Tables tables{std::vector<double>(m * m), std::vector<double>(m * m)};
        const Pieces rows = split(m);
        Status st = parallel_for(rows.pieces, [&](std::size_t piece) {
            for (std::size_t x = rows.begin(piece); x < rows.end(piece); ++x) {
                for (std::size_t y = 0; y < m; ++y) entry(parent, added, x, y, tables.pb[x * m + y], tables.sigma[x * m + y]);
            }
        });
        if (!st.ok()) {
            status_ = std::move(st);
            return;
        }
        expand(plus, tables);
    }

    std::size_t m_;
    std::size_t k_;
    const std::vector<double>& dist_;
    std::span<const std::uint32_t> label_;
    std::span<const std::uint32_t> rank_;
    bool greedy_;
    ProminentGroup best_;
    Status status_;
};

}  // namespace

Result<ProminentGroup> prominent_search(const GroupPaths& t, std::size_t k, std::span<const std::uint32_t> label,
                                        std::span<const std::uint32_t> rank, bool greedy) {
    ProminentSearch search(t, k, label, rank, greedy);
    return search.run(t);
}

}  // namespace fennel
