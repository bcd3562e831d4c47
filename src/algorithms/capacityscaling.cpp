// capacity_scaling's loop, after NetworkX's capacityscaling.py. Each phase
// below mirrors the block of the same comment there; the numbers are
// PyNumbers with Python's int/float arithmetic, so flows, excesses,
// distances and potentials are NetworkX's own values, and every tie (the
// first s of the set S, the heap's equal distances, the lightest of several
// parallel arcs) falls as it falls there.
#include "algorithms/capacityscaling.hpp"

#include "algorithms/set_table.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fennel {

namespace {

bool is_nan(const PyNumber& a) { return a.is_float && std::isnan(a.f); }

// Python's ==, <= and >= between ints and floats (false beside a NaN).
bool eq(const PyNumber& a, const PyNumber& b) { return !is_nan(a) && !is_nan(b) && !(a < b) && !(b < a); }
bool le(const PyNumber& a, const PyNumber& b) { return a < b || eq(a, b); }
bool ge(const PyNumber& a, const PyNumber& b) { return b < a || eq(a, b); }

// BinaryHeap's entries (value, count, key): the smallest value first, equal
// values in insertion order.
struct HeapEntry {
    PyNumber value;
    std::uint64_t count;
    Node key;
};

bool after(const HeapEntry& a, const HeapEntry& b) {
    if (b.value < a.value) return true;
    if (a.value < b.value) return false;
    return b.count < a.count;
}

class Scaling {
public:
    explicit Scaling(ScalingProblem& p)
        : p_(p), n_(p.n), in_d_(n_, 0), in_heap_(n_, 0), dist_(n_), heap_value_(n_), pred_arc_(n_), in_t_(n_, 0) {}

    Status run() {
        const PyNumber zero = PyNumber::of_int(0);
        for (std::int64_t delta = p_.delta; delta >= 1; delta /= 2) {
            const PyNumber d = PyNumber::of_int(delta);
            const PyNumber minus_d = PyNumber::of_int(-delta);
            // Saturate Δ-residual edges with negative reduced costs.
            for (Node u = 0; u < n_; ++u) {
                const PyNumber p_u = p_.potential[u];
                for_each_group(u, [&](Node v, std::uint32_t lo, std::uint32_t hi) {
                    for (std::uint32_t k = lo; k < hi; ++k) {
                        const std::uint32_t a = p_.arcs[k];
                        if (p_.weight[a] - p_u + p_.potential[v] < zero) {
                            const PyNumber flow = p_.capacity[a] - p_.flow[a];
                            if (ge(flow, d)) {
                                p_.flow[a] = p_.flow[a] + flow;
                                p_.flow[a ^ 1U] = p_.flow[a ^ 1U] - flow;
                                p_.excess[u] = p_.excess[u] - flow;
                                p_.excess[v] = p_.excess[v] + flow;
                            }
                        }
                    }
                });
            }
            // The Δ-active nodes: S in CPython's set order, T by membership only.
            SetTable S;
            std::size_t t_size = 0;
            for (Node u = 0; u < n_; ++u) {
                if (ge(p_.excess[u], d)) {
                    S.add(u, p_.hashes[u]);
                } else if (le(p_.excess[u], minus_d)) {
                    in_t_[u] = 1;
                    ++t_size;
                }
            }
            // Augment along shortest paths until Δ-feasibility.
            while (S.size() > 0 && t_size > 0) {
                if ((++searches_ & 0x3FF) == 0 && poll_interrupt()) return interrupted();
                const Node s = S.first();
                const std::int64_t t = search(s, d);
                if (t >= 0) {
                    for (Node v = static_cast<Node>(t); v != s;) {
                        const std::uint32_t a = pred_arc_[v];
                        p_.flow[a] = p_.flow[a] + d;
                        p_.flow[a ^ 1U] = p_.flow[a ^ 1U] - d;
                        v = p_.head[a ^ 1U];
                    }
                    const auto tn = static_cast<Node>(t);
                    p_.excess[s] = p_.excess[s] - d;
                    p_.excess[tn] = p_.excess[tn] + d;
                    if (p_.excess[s] < d) S.discard(s, p_.hashes[s]);
                    if (minus_d < p_.excess[tn]) {
                        in_t_[tn] = 0;
                        --t_size;
                    }
                    // Update node potentials, in the order of the dict d.
                    const PyNumber d_t = dist_[tn];
                    for (Node u : order_) p_.potential[u] = p_.potential[u] - (dist_[u] - d_t);
                } else {
                    S.discard(s, p_.hashes[s]);
                }
            }
            std::fill(in_t_.begin(), in_t_.end(), 0);
        }
        return {};
    }

private:
    template <class F>
    void for_each_group(Node u, F&& f) const {
        for (std::uint32_t g = p_.group_offsets[u]; g < p_.group_offsets[u + 1]; ++g) {
            f(p_.group_heads[g], p_.arc_offsets[g], p_.arc_offsets[g + 1]);
        }
    }

    // The Dijkstra search from s over Δ-residual arcs by reduced costs, up
    // to the first node of T popped: that node, or -1. Leaves d's entries
    // in order_ (dict insertion order) with their distances in dist_, and
    // the arc reaching each labelled node in pred_arc_.
    std::int64_t search(Node s, const PyNumber& delta) {
        ++stamp_;
        order_.clear();
        heap_.clear();
        heap_size_ = 0;
        insert(s, PyNumber::of_int(0));
        const PyNumber inf = PyNumber::of_float(std::numeric_limits<double>::infinity());
        while (heap_size_ > 0) {
            // BinaryHeap.pop: stale entries (a key since lowered) skipped.
            Node u = 0;
            PyNumber d_u;
            for (;;) {
                std::pop_heap(heap_.begin(), heap_.end(), after);
                const HeapEntry top = heap_.back();
                heap_.pop_back();
                if (in_heap_[top.key] == stamp_ && eq(top.value, heap_value_[top.key])) {
                    u = top.key;
                    d_u = top.value;
                    break;
                }
            }
            in_heap_[u] = 0;
            --heap_size_;
            in_d_[u] = stamp_;
            dist_[u] = d_u;
            order_.push_back(u);
            if (in_t_[u] != 0) return u;
            const PyNumber p_u = p_.potential[u];
            for_each_group(u, [&](Node v, std::uint32_t lo, std::uint32_t hi) {
                if (in_d_[v] == stamp_) return;
                // The lightest Δ-residual (u, v) arc, the first of equal weights.
                PyNumber wmin = inf;
                std::uint32_t amin = 0;
                for (std::uint32_t k = lo; k < hi; ++k) {
                    const std::uint32_t a = p_.arcs[k];
                    if (ge(p_.capacity[a] - p_.flow[a], delta)) {
                        if (p_.weight[a] < wmin) {
                            wmin = p_.weight[a];
                            amin = a;
                        }
                    }
                }
                if (eq(wmin, inf)) return;
                const PyNumber d_v = d_u + wmin - p_u + p_.potential[v];
                if (insert(v, d_v)) pred_arc_[v] = amin;
            });
        }
        return -1;
    }

    // BinaryHeap.insert without allow_increase: whether v's value was set or lowered.
    bool insert(Node v, const PyNumber& value) {
        if (in_heap_[v] == stamp_) {
            if (!(value < heap_value_[v])) return false;
        } else {
            in_heap_[v] = stamp_;
            ++heap_size_;
        }
        heap_value_[v] = value;
        heap_.push_back({value, count_++, v});
        std::push_heap(heap_.begin(), heap_.end(), after);
        return true;
    }

    ScalingProblem& p_;
    Count n_;
    std::uint64_t stamp_ = 0, count_ = 0, searches_ = 0;
    std::vector<std::uint64_t> in_d_, in_heap_;
    std::vector<PyNumber> dist_, heap_value_;
    std::vector<std::uint32_t> pred_arc_;
    std::vector<std::uint8_t> in_t_;
    std::vector<Node> order_;
    std::vector<HeapEntry> heap_;
    std::size_t heap_size_ = 0;
};

}  // namespace

Status run_capacity_scaling(ScalingProblem& p) {
    if (p.n == 0) return {};
    return Scaling(p).run();
}

}  // namespace fennel
