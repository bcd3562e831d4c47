// Stoer–Wagner as NetworkX runs it. Costs: O(n (m + n) log n) with the
// binary heap's lazy deletions, as in NetworkX; the contracted graph's rows
// keep Python's dict order through tombstones compacted when half dead.
#include "algorithms/stoerwagner.hpp"

#include <cstdint>
#include <functional>
#include <limits>
#include <queue>
#include <tuple>

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

// BinaryHeap's pairs (value, count, key): popped smallest value first, the
// earlier insertion among equal values.
struct Entry {
    double value;
    std::uint64_t count;
    std::uint32_t key;
    bool operator>(const Entry& o) const { return std::tie(value, count) > std::tie(o.value, o.count); }
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
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap;

    for (std::uint32_t i = 0; i + 1 < count; ++i) {
        const std::uint32_t stamp = i + 1;
        std::uint64_t counter = 0;
        heap = {};
        while (removed[first]) ++first;
        std::uint32_t u = first;
        in_a[u] = stamp;
        // h.insert(key, value): a key not yet held is pushed; a held one only
        // when its value drops.
        auto insert = [&](std::uint32_t key, FlowNumber value) {
            if (in_heap[key] == stamp) {
                if (!(value.value < held[key].value)) return;
            }
            in_heap[key] = stamp;
            held[key] = value;
            heap.push({value.value, counter++, key});
        };
        // Pairs whose key was popped or whose value is no longer held are stale.
        auto drop_stale = [&] {
            for (;;) {
                const Entry& top = heap.top();
                if (in_a[top.key] != stamp && top.value == held[top.key].value) return;
                heap.pop();
            }
        };
        for (std::uint32_t e : g.rows[u]) {
            if (e != DEAD) insert(g.other(e, u), neg(g.weight[e]));
        }
        for (std::uint32_t j = 0; j + i + 2 < count; ++j) {
            drop_stale();
            u = heap.top().key;
            heap.pop();
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
        drop_stale();
        const std::uint32_t v = heap.top().key;
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
                g.add_edge(u, x, g.weight[e]);
            } else {
                FlowNumber& into = g.weight[edge_to[x]];
                into = add(into, g.weight[e]);
            }
        }
        // G.remove_node(v).
        for (std::uint32_t e : g.rows[v]) {
            if (e != DEAD) g.unlink(e, g.other(e, v));
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
