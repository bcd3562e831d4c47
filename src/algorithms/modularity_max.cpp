// NetworkX's greedy_modularity_communities (Clauset-Newman-Moore) and
// naive_greedy_modularity_communities, merge for merge.
//
// CNM. NetworkX keeps dq for every pair of adjacent communities in both
// orientations, a MappedQueue per row and a queue H of the row maxima, and
// pops H's least (-dq, row, column). The two orientations of a pair always
// hold the same value (set together, and the initial terms are commutative
// sums and products), each queue's least element is unique under that
// order, and H always holds exactly the row maxima, so the merge NetworkX
// makes is the pair {u, v} with the largest dq, ties going to the least
// (rank u, rank v) with u before v by rank; u merges into v. This kernel
// keeps each row's best entry and a lazy heap of them (RowMaxima), whose
// entries may promise more than a row now holds: such an entry, popped, is
// replaced by the row's true best. Every float is formed by NetworkX's
// expression, operands in its order; degrees and the weight total are
// sum()s in G's row order (summation.hpp).
//
// Cost: one merge walks the rows of both communities and touches the row
// of each neighbour; a row is rescanned only when its best got worse and
// its bound reached the top of the heap.
//
// Naive. Every round tries each pair i < j of non-empty entries of the
// community list and keeps the first strictly best modularity. Modularity
// is sum() over the list's communities of L/m - resolution * D * D * norm;
// with integer weights L and D are exact, so a community's term depends on
// the community alone and a trial only replaces two terms. Empty entries
// add 0.0, which changes no sum, and are skipped.
#include "algorithms/modularity_max.hpp"

#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace fennel {

namespace {

using Entry = std::pair<Node, double>;  // (neighbour community, dq)
using Row = std::vector<Entry>;         // by neighbour rank

// A value with its Python kind.
struct Typed {
    double value;
    std::uint8_t kind;
};

Typed row_sum(const Csr& rows, const KindColumn& column, Node u, bool self_loop_twice) {
    if (column.values == nullptr) {
        const Slot b = rows.begin(u), e = rows.end(u);
        double d = static_cast<double>(e - b);
        if (self_loop_twice && std::find(rows.targets.begin() + static_cast<std::ptrdiff_t>(b),
                                         rows.targets.begin() + static_cast<std::ptrdiff_t>(e), u) !=
                                   rows.targets.begin() + static_cast<std::ptrdiff_t>(e)) {
            d += 1.0;
        }
        return {d, PY_INT};
    }
    KindSum sum(false);
    std::optional<Slot> loop;
    for (Slot s = rows.begin(u); s < rows.end(u); ++s) {
        sum.add(column.value(s), column.kind(s));
        if (rows.targets[s] == u) loop = s;
    }
    Typed t{sum.value(), sum.kind()};
    // NetworkX's undirected degree adds the self-loop's weight once more.
    if (self_loop_twice && loop) {
        t.value = t.value + column.value(*loop);
        t.kind = static_cast<std::uint8_t>(t.kind | column.kind(*loop));
    }
    return t;
}

// Row w after u merged into v: no entry for u, `value` for v.
void repoint(Row& row, Node u, Node v, double value) {
    auto at = [&](Node x) {
        return std::lower_bound(row.begin(), row.end(), x, [](const Entry& e, Node y) { return e.first < y; });
    };
    auto iu = at(u);
    if (iu != row.end() && iu->first == u) row.erase(iu);
    auto iv = at(v);
    if (iv != row.end() && iv->first == v) {
        iv->second = value;
    } else {
        row.insert(iv, {v, value});
    }
}

// A row's best entry: the largest dq, ties to the least column. A dirty
// row's best is a bound: its true best is no better.
struct RowBest {
    double dq = 0.0;
    Node col = 0;
    std::uint32_t stamp = 0;
    bool dirty = false;
};

bool better(double dq, Node col, const RowBest& b) { return dq > b.dq || (dq == b.dq && col < b.col); }

struct HeapItem {
    double negdq;
    Node row;
    Node col;
    std::uint32_t stamp;  // the row's stamp when pushed: older entries are void
};

// std heap functions keep the greatest on top: "greater" puts the least
// (-dq, row, column) there, H's order.
bool after(const HeapItem& x, const HeapItem& y) {
    if (x.negdq != y.negdq) return x.negdq > y.negdq;
    if (x.row != y.row) return x.row > y.row;
    return x.col > y.col;
}

// The row maxima of NetworkX's H, kept lazily: every live non-empty row has
// a current entry in the heap whose key is no worse than the row's best, so
// the least entry, when exact, is H's least.
class RowMaxima {
public:
    explicit RowMaxima(Node n) : best_(n) {}

    // Sets row r's best exactly from its entries.
    void rescan(Node r, const Row& row) {
        RowBest& b = best_[r];
        b.dirty = false;
        ++b.stamp;
        if (row.empty()) return;
        b.dq = row[0].second;
        b.col = row[0].first;
        for (const Entry& e : row) {
            if (better(e.second, e.first, b)) {
                b.dq = e.second;
                b.col = e.first;
            }
        }
        push(r);
    }

    // Entry (r, col) now holds dq.
    void set(Node r, Node col, double dq) {
        RowBest& b = best_[r];
        if (better(dq, col, b)) {
            b.dq = dq;
            b.col = col;
            b.dirty = false;
            ++b.stamp;
            push(r);
        } else if (col == b.col) {
            b.dirty = true;  // the best got worse: its entry stays as a bound
        }
    }

    // Entry (r, col) is gone.
    void erase(Node r, Node col) {
        if (best_[r].col == col) best_[r].dirty = true;
    }

    // H's least (row, column, dq) over the rows `alive`, or nothing.
    template <class Rows>
    std::optional<HeapItem> pop(const Rows& rows, const std::vector<std::uint8_t>& alive) {
        while (!heap_.empty()) {
            std::pop_heap(heap_.begin(), heap_.end(), after);
            const HeapItem top = heap_.back();
            heap_.pop_back();
            if (!alive[top.row] || top.stamp != best_[top.row].stamp) continue;
            if (best_[top.row].dirty) {
                rescan(top.row, rows[top.row]);
                continue;
            }
            return top;
        }
        return std::nullopt;
    }

private:
    void push(Node r) {
        const RowBest& b = best_[r];
        heap_.push_back({-b.dq, r, b.col, b.stamp});
        std::push_heap(heap_.begin(), heap_.end(), after);
    }

    std::vector<RowBest> best_;
    std::vector<HeapItem> heap_;
};

}  // namespace

Result<CnmMerges> cnm_merges(const CnmInput& in) {
    const Csr& succ = *in.succ;
    const Node n = static_cast<Node>(succ.node_count());
    CnmMerges out;
    // Degrees in node order, then G.size(weight): sum() over them, halved.
    std::vector<Typed> deg_out(n), deg_in;
    KindSum total(in.compensated_sum);
    for (Node u = 0; u < n; ++u) {
        deg_out[u] = row_sum(succ, in.out, u, !in.directed);
        Typed d = deg_out[u];
        if (in.directed) {
            deg_in.push_back(row_sum(*in.pred, in.in, u, false));
            d = {d.value + deg_in[u].value, static_cast<std::uint8_t>(d.kind | deg_in[u].kind)};
        }
        total.add(d.value, d.kind);
    }
    const double m = total.value() / 2;
    if (m == 0.0) {
        out.zero_total = true;
        return out;
    }
    const double q0 = 1 / m;
    // a and b by rank; undirected graphs share one vector, as NetworkX's a is b.
    std::vector<double> a(n), b_own(in.directed ? n : 0);
    double* const b = in.directed ? b_own.data() : a.data();
    for (Node u = 0; u < n; ++u) {
        if (in.directed) {
            a[in.rank[u]] = deg_out[u].value * q0;
            b[in.rank[u]] = deg_in[u].value * q0;
        } else {
            a[in.rank[u]] = deg_out[u].value * q0 * 0.5;
        }
    }
    // Edge weights per pair, as dq_dict collects them (a directed pair adds
    // its two edges, in an order that cannot change their sum).
    std::vector<Row> rows(n);
    for (Node u = 0; u < n; ++u) {
        for (Slot s = succ.begin(u); s < succ.end(u); ++s) {
            const Node v = succ.targets[s];
            if (v == u) continue;
            const double w = in.out.value(s);
            rows[in.rank[u]].push_back({in.rank[v], w});
            if (in.directed) rows[in.rank[v]].push_back({in.rank[u], w});
        }
    }
    RowMaxima maxima(n);
    for (Node u = 0; u < n; ++u) {
        Row& row = rows[u];
        std::sort(row.begin(), row.end(), [](const Entry& x, const Entry& y) { return x.first < y.first; });
        std::size_t k = 0;
        for (std::size_t i = 0; i < row.size(); ++i) {
            double wt = 0.0 + row[i].second;
            const Node v = row[i].first;
            if (i + 1 < row.size() && row[i + 1].first == v) wt += row[++i].second;
            row[k++] = {v, q0 * wt - in.resolution * (a[u] * b[v] + b[u] * a[v])};
        }
        row.resize(k);
        maxima.rescan(u, row);
    }

    std::vector<Node> position(n);
    for (Node u = 0; u < n; ++u) position[in.rank[u]] = u;
    std::vector<std::uint8_t> alive(n, 1);
    Count communities = n;
    Row merged;
    while (static_cast<double>(communities) > in.cutoff) {
        const std::optional<HeapItem> best = maxima.pop(rows, alive);
        if (!best) {
            out.exhausted = true;
            break;
        }
        const double dq = -best->negdq;
        if (dq < 0 && static_cast<double>(communities) <= in.best_n) break;
        const Node u = best->row, v = best->col;
        const Row& ru = rows[u];
        const Row& rv = rows[v];
        merged.clear();
        std::size_t i = 0, j = 0;
        while (i < ru.size() || j < rv.size()) {
            const Node wu = i < ru.size() ? ru[i].first : n;
            const Node wv = j < rv.size() ? rv[j].first : n;
            Node w;
            double dq_vw;
            if (wu == wv) {
                w = wu;
                dq_vw = rv[j++].second + ru[i++].second;
            } else if (wv < wu) {
                w = wv;
                dq_vw = rv[j++].second - in.resolution * (a[u] * b[w] + a[w] * b[u]);
            } else {
                w = wu;
                dq_vw = ru[i++].second - in.resolution * (a[v] * b[w] + a[w] * b[v]);
            }
            if (w == u || w == v) continue;
            merged.push_back({w, dq_vw});
            repoint(rows[w], u, v, dq_vw);
            maxima.erase(w, u);
            maxima.set(w, v, dq_vw);
        }
        rows[v].swap(merged);
        Row().swap(rows[u]);
        alive[u] = 0;
        maxima.rescan(v, rows[v]);
        a[v] += a[u];
        a[u] = 0;
        if (in.directed) {
            b[v] += b[u];
            b[u] = 0;
        }
        out.merged.push_back(position[u]);
        out.merged.push_back(position[v]);
        --communities;
        if ((communities & 1023) == 0 && poll_interrupt()) return interrupted();
    }
    return out;
}

Result<NaiveMerges> naive_greedy_merges(const NaiveInput& in) {
    const Csr& adj = *in.adj;
    const Node n = static_cast<Node>(adj.node_count());
    NaiveMerges out;
    auto weight = [&](Slot s) { return in.weights ? static_cast<std::int64_t>((*in.weights)[s]) : 1; };
    // Per list entry: internal weight L (each edge once), degree sum D, and
    // the weight to each other entry.
    std::vector<std::int64_t> internal(n, 0), degree(n, 0);
    std::vector<std::unordered_map<Node, std::int64_t>> between(n);
    std::int64_t deg_sum = 0;
    for (Node u = 0; u < n; ++u) {
        for (Slot s = adj.begin(u); s < adj.end(u); ++s) {
            const Node v = adj.targets[s];
            const std::int64_t w = weight(s);
            degree[u] += v == u ? 2 * w : w;
            if (v == u) {
                internal[u] += w;
            } else {
                between[u][v] += w;
            }
        }
        deg_sum += degree[u];
    }
    if (deg_sum == 0) {
        out.zero_total = true;
        return out;
    }
    const double m = static_cast<double>(deg_sum) / 2;
    const double norm = 1 / static_cast<double>(static_cast<__int128>(deg_sum) * deg_sum);
    auto term = [&](std::int64_t l, std::int64_t d) {
        double expected;
        if (in.int_resolution) {
            const auto product = static_cast<__int128>(static_cast<std::int64_t>(in.resolution)) * d * d;
            expected = static_cast<double>(product) * norm;
        } else {
            expected = in.resolution * static_cast<double>(d) * static_cast<double>(d) * norm;
        }
        return static_cast<double>(l) / m - expected;
    };
    std::vector<double> contribution(n);
    std::vector<std::uint8_t> live(n, 1);
    PySum start(in.compensated_sum);
    for (Node u = 0; u < n; ++u) {
        contribution[u] = term(internal[u], degree[u]);
        start.add(contribution[u]);
    }
    double new_q = start.result();
    double old_q = 0.0;
    bool first = true;
    std::vector<Node> listed;  // the non-empty entries, in list order
    while (first || new_q > old_q) {
        first = false;
        old_q = new_q;
        listed.clear();
        for (Node k = 0; k < n; ++k) {
            if (live[k]) listed.push_back(k);
        }
        std::optional<std::pair<Node, Node>> to_merge;
        double to_merge_contribution = 0.0;
        for (std::size_t x = 0; x < listed.size(); ++x) {
            if (poll_interrupt()) return interrupted();
            const Node i = listed[x];
            for (std::size_t y = x + 1; y < listed.size(); ++y) {
                const Node j = listed[y];
                auto found = between[i].find(j);
                const std::int64_t link = found == between[i].end() ? 0 : found->second;
                const double joined = term(internal[i] + internal[j] + link, degree[i] + degree[j]);
                PySum trial(in.compensated_sum);
                for (Node k : listed) {
                    if (k != i) trial.add(k == j ? joined : contribution[k]);
                }
                const double q = trial.result();
                if (q >= new_q) {
                    if (q > new_q || (to_merge && i < to_merge->first)) {
                        new_q = q;
                        to_merge = {i, j};
                        to_merge_contribution = joined;
                    }
                }
            }
        }
        if (!to_merge) continue;
        const auto [i, j] = *to_merge;
        out.merged.push_back(i);
        out.merged.push_back(j);
        auto found = between[i].find(j);
        internal[j] += internal[i] + (found == between[i].end() ? 0 : found->second);
        degree[j] += degree[i];
        contribution[j] = to_merge_contribution;
        live[i] = 0;
        for (const auto& [k, w] : between[i]) {
            if (k == j) continue;
            between[j][k] += w;
            between[k][j] += w;
            between[k].erase(i);
        }
        between[j].erase(i);
        between[i].clear();
    }
    return out;
}

}  // namespace fennel
