// Stoer–Wagner as NetworkX runs it. Costs: O(n (m + n) log n), as in
// NetworkX; the contracted graph's rows keep Python's dict order through
// tombstones, compacted when half dead.
#include "algorithms/stoerwagner.hpp"

#include <cstdint>
#include <limits>

namespace fennel {

namespace {

constexpr Node NONE = std::numeric_limits<Node>::max();
constexpr std::uint32_t DEAD = std::numeric_limits<std::uint32_t>::max();

// Python's arithmetic on ints and floats; an int result never holds -0.0,
// as a Python int 0 turns into the float +0.0.
FlowNumber canonical(double value, bool is_float) { return {is_float ? value : value + 0.0, is_float}; }
FlowNumber sub(FlowNumber a, FlowNumber b) { return canonical(a.value - b.value, a.is_float || b.is_float); }
FlowNumber add(FlowNumber a, FlowNumber b) { return canonical(a.value + b.value, a.is_float || b.is_float); }
FlowNumber neg(FlowNumber a) { return canonical(-a.value, a.is_float); }

// The working copy nx.Graph(...): each row lists edge ids in its dict's key
// order; a deleted key leaves DEAD behind.
struct Contracted {
    std::vector<std::uint32_t> a, b;       // the ends of each edge
    std::vector<std::uint32_t> at_a, at_b; // its position in the rows of a and b
    std::vector<FlowNumber> weight;        // the data dict both rows share
    std::vector<std::vector<std::uint32_t>> rows;
    std::vector<std::uint32_t> dead;

    std::uint32_t other(std::uint32_t e, std::uint32_t x) const { return a[e] == x ? b[e] : a[e]; }

    void add_edge(std::uint32_t u, std::uint32_t v, FlowNumber w) {
        const auto e = static_cast<std::uint32_t>(a.size());
        a.push_back(u);
        b.push_back(v);
        at_a.push_back(static_cast<std::uint32_t>(rows[u].size()));
        at_b.push_back(static_cast<std::uint32_t>(rows[v].size()));
        weight.push_back(w);
        rows[u].push_back(e);
        rows[v].push_back(e);
    }

    // Edge e's end `from` becomes `to`: e leaves its place in the other
    // end's row for the end of it, and joins the end of to's row (from's
    // row is left as it is, to be dropped).
    void move_end(std::uint32_t e, std::uint32_t from, std::uint32_t to) {
        const std::uint32_t x = other(e, from);
        unlink(e, x);
        const bool at_first = a[e] == from;
        (at_first ? a[e] : b[e]) = to;
        (at_first ? at_a[e] : at_b[e]) = static_cast<std::uint32_t>(rows[to].size());
        rows[to].push_back(e);
        (at_first ? at_b[e] : at_a[e]) = static_cast<std::uint32_t>(rows[x].size());
        rows[x].push_back(e);
    }

    // Deletes e from x's row, keeping the order of the other keys.
    void unlink(std::uint32_t e, std::uint32_t x) {
        rows[x][a[e] == x ? at_a[e] : at_b[e]] = DEAD;
        if (++dead[x] * 2 > rows[x].size()) compact(x);
    }

    void compact(std::uint32_t x) {
        auto& row = rows[x];
        std::uint32_t kept = 0;
        for (std::uint32_t e : row) {
            if (e == DEAD) continue;
            (a[e] == x ? at_a[e] : at_b[e]) = kept;
            row[kept++] = e;
        }
        row.resize(kept);
        dead[x] = 0;
    }
};

// BinaryHeap's order: the smallest value first, the earlier insertion among
// equal values. NetworkX pushes a new pair when a key's value drops and
// skips the stale ones; the pair it pops is the key's latest, so an indexed
// heap whose keys move up with their new (value, count) pops the same keys.
class PhaseHeap {
public:
    explicit PhaseHeap(std::uint32_t n) : pos_(n), value_(n), count_(n) {}

    void clear() {
        heap_.clear();
        counter_ = 0;
    }
    bool empty() const { return heap_.empty(); }
    std::uint32_t top() const { return heap_.front(); }

    // A key not held, or a held key's value that drops: (value, next count).
    void push(std::uint32_t key, double value, bool held) {
        value_[key] = value;
        count_[key] = counter_++;
        if (!held) {
            pos_[key] = static_cast<std::uint32_t>(heap_.size());
            heap_.push_back(key);
        }
        up(pos_[key]);
    }

    std::uint32_t pop() {
        const std::uint32_t key = heap_.front();
        heap_.front() = heap_.back();
        pos_[heap_.front()] = 0;
        heap_.pop_back();
        if (!heap_.empty()) down(0);
        return key;
    }

private:
    bool before(std::uint32_t a, std::uint32_t b) const {
        return value_[a] < value_[b] || (value_[a] == value_[b] && count_[a] < count_[b]);
    }
    void place(std::size_t i, std::uint32_t key) {
        heap_[i] = key;
        pos_[key] = static_cast<std::uint32_t>(i);
    }
    void up(std::size_t i) {
        const std::uint32_t key = heap_[i];
        while (i > 0) {
            const std::size_t parent = (i - 1) / 2;
            if (!before(key, heap_[parent])) break;
            place(i, heap_[parent]);
            i = parent;
        }
        place(i, key);
    }
    void down(std::size_t i) {
        const std::uint32_t key = heap_[i];
        const std::size_t n = heap_.size();
        for (;;) {
            std::size_t child = 2 * i + 1;
            if (child >= n) break;
            if (child + 1 < n && before(heap_[child + 1], heap_[child])) ++child;
            if (!before(heap_[child], key)) break;
            place(i, heap_[child]);
            i = child;
        }
        place(i, key);
    }

    std::vector<std::uint32_t> heap_, pos_;
    std::vector<double> value_;
    std::vector<std::uint64_t> count_;
    std::uint64_t counter_ = 0;
};

}  // namespace

StoerWagnerCut stoer_wagner(Count n, const std::vector<Node>& us, const std::vector<Node>& vs,
                            const std::vector<FlowNumber>& weights) {
    StoerWagnerCut cut;
    // nx.Graph((u, v, {...}) for u, v, e in G.edges(data=True) if u != v):
    // nodes in the order the edges first name them.
    std::vector<std::uint32_t> local(n, NONE);
    Contracted g;
    auto local_of = [&](Node x) {
        if (local[x] == NONE) {
            local[x] = static_cast<std::uint32_t>(cut.nodes.size());
            cut.nodes.push_back(x);
            g.rows.emplace_back();
        }
        return local[x];
    };
    for (std::size_t i = 0; i < us.size(); ++i) {
        if (us[i] == vs[i]) continue;
        const std::uint32_t u = local_of(us[i]);
        const std::uint32_t v = local_of(vs[i]);
        g.add_edge(u, v, weights[i]);
    }
    const auto count = static_cast<std::uint32_t>(cut.nodes.size());
    g.dead.assign(count, 0);

    std::vector<std::uint8_t> removed(count, 0);
    std::uint32_t first = 0;  // arbitrary_element(G): the first node left
    std::vector<std::uint32_t> in_a(count, 0), in_heap(count, 0), marked(count, 0);
    std::vector<FlowNumber> held(count);        // BinaryHeap._dict
    std::vector<std::uint32_t> edge_to(count);  // with marked: u's edge to a node
    std::vector<std::pair<std::uint32_t, std::uint32_t>> contractions;
    cut.value = {std::numeric_limits<double>::infinity(), true};
    std::size_t best_phase = 0;
    PhaseHeap heap(count);

    for (std::uint32_t i = 0; i + 1 < count; ++i) {
        const std::uint32_t stamp = i + 1;
        heap.clear();
        while (removed[first]) ++first;
        std::uint32_t u = first;
        in_a[u] = stamp;
        // h.insert(key, value): a key not yet held is pushed; a held one only
        // when its value drops.
        auto insert = [&](std::uint32_t key, FlowNumber value) {
            const bool held_now = in_heap[key] == stamp;
            if (held_now && !(value.value < held[key].value)) return;
            in_heap[key] = stamp;
            held[key] = value;
            heap.push(key, value.value, held_now);
        };
        for (std::uint32_t e : g.rows[u]) {
            if (e != DEAD) insert(g.other(e, u), neg(g.weight[e]));
        }
        for (std::uint32_t j = 0; j + i + 2 < count; ++j) {
            u = heap.pop();
            in_a[u] = stamp;
            for (std::uint32_t e : g.rows[u]) {
                if (e == DEAD) continue;
                const std::uint32_t v = g.other(e, u);
                if (in_a[v] == stamp) continue;
                const FlowNumber before = in_heap[v] == stamp ? held[v] : FlowNumber{};
                insert(v, sub(before, g.weight[e]));
            }
        }
        // The cut of the phase: the node left in the heap and its weight to A.
        const std::uint32_t v = heap.top();
        const FlowNumber w = neg(held[v]);
        if (w.value < cut.value.value) {
            cut.value = w;
            best_phase = i;
        }
        contractions.emplace_back(u, v);
        // Contract v into u: v's neighbours in G[v]'s order, a new key
        // appended to G[u] or the weight added to the shared dict.
        for (std::uint32_t e : g.rows[u]) {
            if (e == DEAD) continue;
            const std::uint32_t x = g.other(e, u);
            marked[x] = stamp;
            edge_to[x] = e;
        }
        for (std::size_t k = 0; k < g.rows[v].size(); ++k) {
            const std::uint32_t e = g.rows[v][k];
            if (e == DEAD) continue;
            const std::uint32_t x = g.other(e, v);
            if (x == u) continue;
            if (marked[x] != stamp) {
                // add_edge(u, x) with v–x's weight, then v's key leaving
                // G[x]: edge e itself becomes u–x, at the end of both rows.
                g.move_end(e, v, u);
            } else {
                FlowNumber& into = g.weight[edge_to[x]];
                into = add(into, g.weight[e]);
            }
        }
        // G.remove_node(v): the edges still at v.
        for (std::uint32_t e : g.rows[v]) {
            if (e != DEAD && (g.a[e] == v || g.b[e] == v)) g.unlink(e, g.other(e, v));
        }
        g.rows[v].clear();
        g.rows[v].shrink_to_fit();
        removed[v] = 1;
    }

    // nx.Graph(islice(contractions, best_phase)) with the best phase's v
    // added, then a breadth-first search from v in its rows' order.
    std::vector<std::vector<std::uint32_t>> forest(count);
    for (std::size_t k = 0; k < best_phase; ++k) {
        auto [a, b] = contractions[k];
        forest[a].push_back(b);
        forest[b].push_back(a);
    }
    std::vector<std::uint8_t> seen(count, 0);
    const std::uint32_t start = contractions[best_phase].second;
    std::vector<std::uint32_t> order{start};
    seen[start] = 1;
    for (std::size_t k = 0; k < order.size(); ++k) {
        for (std::uint32_t x : forest[order[k]]) {
            if (!seen[x]) {
                seen[x] = 1;
                order.push_back(x);
            }
        }
    }
    cut.reachable.reserve(order.size());
    for (std::uint32_t x : order) cut.reachable.push_back(cut.nodes[x]);
    return cut;
}

}  // namespace fennel
