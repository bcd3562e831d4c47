// kernighan_lin_bisection, as NetworkX 3.6's _kernighan_lin_sweep runs it.
//
// Orders that decide the result:
//  - a node's starting cost is sum() over its row in G._adj's order of
//    +w (neighbour in the second block) or -w, from the int 0 (CPython's
//    int and float paths, compensated from 3.12 on); a node of the second
//    block enters heap 1 with that cost, any other heap 0 with its negation;
//  - NetworkX's BinaryHeap is lazy: it pushes (value, count, node) for every
//    changed value (count: the heap's own insertion counter) and pops the
//    least pair whose value equals the node's current one, so a stale pair
//    with the current value pops in its own, earlier, turn. Counts are
//    unique, so any binary heap over (value, count) pops the same sequence;
//  - popping a node adds 2 * (+-w) to each neighbour still in its heap, in
//    row order, pushing only a value that changed;
//  - the running total adds (cost_u + cost_v) after each pair; the first
//    least total wins.
// Blocks stay fixed during a sweep; hidden (None) edges are skipped as
// NetworkX leaves them out of its rows.
//
// Precondition: integer weights keep every total within 2**53 (then doubles
// hold NetworkX's ints exactly and compare as Python compares int and float).
// Cost: O(m log m) per sweep, at most max_iter sweeps.
#include "algorithms/kernighan_lin.hpp"

#include "algorithms/summation.hpp"

#include <algorithm>
#include <cmath>

namespace fennel {

namespace {

struct HeapEntry {
    double value;
    std::uint64_t count;
    Node key;
};

// heapq's order on (value, count, key) tuples, reversed for std::push_heap.
struct Later {
    bool operator()(const HeapEntry& a, const HeapEntry& b) const {
        return b.value < a.value || (b.value == a.value && b.count < a.count);
    }
};

class LazyHeap {
public:
    void clear() {
        entries_.clear();
        next_ = 0;
        live_ = 0;
    }
    void push(double value, Node key) {
        entries_.push_back({value, next_++, key});
        std::push_heap(entries_.begin(), entries_.end(), Later{});
    }
    HeapEntry pop_entry() {
        std::pop_heap(entries_.begin(), entries_.end(), Later{});
        HeapEntry top = entries_.back();
        entries_.pop_back();
        return top;
    }
    Count live_ = 0;  // nodes in the heap's dict

private:
    std::vector<HeapEntry> entries_;
    std::uint64_t next_ = 0;
};

class Sweep {
public:
    Sweep(const KlRows& rows, const std::vector<std::uint8_t>& side, bool compensated)
        : rows_(rows), side_(side), compensated_(compensated) {
        const std::size_t n = side.size();
        present_.assign(n, 0);
        value_.assign(n, 0.0);
    }

    // The running totals after each popped pair, and the pairs.
    void run(std::vector<double>& totals, std::vector<Node>& pairs) {
        totals.clear();
        pairs.clear();
        heaps_[0].clear();
        heaps_[1].clear();
        const Csr& adj = *rows_.adj;
        const Node n = static_cast<Node>(side_.size());
        for (Node u = 0; u < n; ++u) {
            KindSum sum(compensated_);
            for (Slot s = adj.begin(u); s < adj.end(u); ++s) {
                const double w = rows_.weights[s];
                if (std::isnan(w)) continue;
                sum.add(side_[adj.targets[s]] ? w : -w, rows_.kinds[s]);
            }
            const double cost = sum.value();
            insert(side_[u], u, side_[u] ? cost : -cost);
        }
        double total = 0.0;
        while (heaps_[0].live_ > 0 && heaps_[1].live_ > 0) {
            const Node u = pop(0);
            const double cost_u = value_[u];
            update(u);
            const Node v = pop(1);
            const double cost_v = value_[v];
            update(v);
            total += cost_u + cost_v;
            totals.push_back(total);
            pairs.push_back(u);
            pairs.push_back(v);
        }
    }

private:
    void insert(std::uint8_t h, Node key, double value) {
        present_[key] = 1;
        value_[key] = value;
        heaps_[h].push(value, key);
        ++heaps_[h].live_;
    }

    Node pop(std::uint8_t h) {
        LazyHeap& heap = heaps_[h];
        for (;;) {
            const HeapEntry top = heap.pop_entry();
            if (present_[top.key] && top.value == value_[top.key]) {
                present_[top.key] = 0;
                --heap.live_;
                return top.key;
            }
        }
    }

    // _update_heap_values(node): neighbours still in a heap move by 2 * w,
    // against a neighbour on the node's own side.
    void update(Node node) {
        const Csr& adj = *rows_.adj;
        const std::uint8_t own = side_[node];
        for (Slot s = adj.begin(node); s < adj.end(node); ++s) {
            double w = rows_.weights[s];
            if (std::isnan(w)) continue;
            const Node nbr = adj.targets[s];
            if (!present_[nbr]) continue;
            if (side_[nbr] == own) w = -w;
            const double cost = value_[nbr] + 2.0 * w;
            // BinaryHeap.insert with allow_increase: an unchanged value pushes nothing.
            if (cost < value_[nbr] || cost > value_[nbr]) {
                value_[nbr] = cost;
                heaps_[side_[nbr]].push(cost, nbr);
            }
        }
    }

    const KlRows& rows_;
    const std::vector<std::uint8_t>& side_;
    bool compensated_;
    LazyHeap heaps_[2];
    std::vector<std::uint8_t> present_;
    std::vector<double> value_;
};

}  // namespace

Result<KlBisection> kernighan_lin(const KlRows& rows, std::vector<std::uint8_t> side, std::uint64_t max_iter,
                                  bool compensated) {
    KlBisection out;
    Sweep sweep(rows, side, compensated);
    std::vector<double> totals;
    std::vector<Node> pairs;
    for (std::uint64_t i = 0; i < max_iter; ++i) {
        sweep.run(totals, pairs);
        if (totals.empty()) {
            out.empty_sweep = true;
            break;
        }
        std::size_t best = 0;
        for (std::size_t k = 1; k < totals.size(); ++k) {
            if (totals[k] < totals[best]) best = k;
        }
        if (totals[best] >= 0) break;
        for (std::size_t k = 0; k <= best; ++k) {
            side[pairs[2 * k]] = 1;
            side[pairs[2 * k + 1]] = 0;
        }
    }
    out.side = std::move(side);
    return out;
}

}  // namespace fennel
