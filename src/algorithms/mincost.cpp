// network_simplex's pivot loop, after NetworkX's _DataEssentialsAndFunctions.
// Each step below mirrors the method of the same name there; the spanning
// tree is kept as NetworkX keeps it (parent, parent edge, subtree size and
// the depth-first thread with its last descendants), so the same entering
// edge, the same cycle and the same leaving edge come out of every pivot,
// and the flow chosen among equally cheap ones is NetworkX's.
// Cost per pivot: one block of reduced costs, the cycle and the subtree
// whose potentials change, as NetworkX's.
#include "algorithms/mincost.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <tuple>

namespace fennel {

namespace {

// -1, 0 or 1 as the exact int `i` is below, equal to or above the float `d`;
// 2 when d is NaN (every comparison false).
int compare_exact(__int128 i, double d) {
    if (std::isnan(d)) return 2;
    constexpr double limit = 170141183460469231731687303715884105728.0;  // 2**127
    if (d >= limit) return -1;
    if (d < -limit) return 1;
    const double whole = std::trunc(d);
    const auto w = static_cast<__int128>(whole);
    if (i != w) return i < w ? -1 : 1;
    const double fraction = d - whole;  // exact
    if (fraction > 0) return -1;
    if (fraction < 0) return 1;
    return 0;
}

}  // namespace

PyNumber operator+(const PyNumber& a, const PyNumber& b) {
    if (!a.is_float && !b.is_float) return PyNumber::of_int(a.i + b.i);
    return PyNumber::of_float(a.as_double() + b.as_double());
}

PyNumber operator-(const PyNumber& a, const PyNumber& b) {
    if (!a.is_float && !b.is_float) return PyNumber::of_int(a.i - b.i);
    return PyNumber::of_float(a.as_double() - b.as_double());
}

PyNumber operator-(const PyNumber& a) { return a.is_float ? PyNumber::of_float(-a.f) : PyNumber::of_int(-a.i); }

bool operator<(const PyNumber& a, const PyNumber& b) {
    if (!a.is_float && !b.is_float) return a.i < b.i;
    if (a.is_float && b.is_float) return a.f < b.f;
    if (!a.is_float) return compare_exact(a.i, b.f) == -1;
    return compare_exact(b.i, a.f) == 1;
}

bool is_zero(const PyNumber& a) { return a.is_float ? a.f == 0.0 : a.i == 0; }

bool non_negative(const PyNumber& a) { return a.is_float ? a.f >= 0.0 : a.i >= 0; }

namespace {

constexpr std::int64_t NONE = -1;  // NetworkX's None in parent and parent_edge

class Simplex {
public:
    explicit Simplex(SimplexProblem& p)
        : p_(p), n_(p.n), root_(p.n), edge_count_(p.m), parent_(n_ + 1, root_), parent_edge_(n_ + 1),
          subtree_size_(n_ + 1, 1), next_(n_ + 1), prev_(n_ + 1), last_(n_ + 1) {
        // initialize_spanning_tree: every node a child of the root by its
        // artificial edge, the thread 0, 1, ..., n - 1 closed by the root.
        parent_[root_] = NONE;
        for (std::int64_t v = 0; v < n_; ++v) {
            parent_edge_[v] = edge_count_ + v;
            next_[v] = v + 1 < n_ ? v + 1 : root_;
            prev_[v] = v == 0 ? root_ : v - 1;
            last_[v] = v;
        }
        parent_edge_[root_] = edge_count_ + n_;  // NetworkX's list runs one past the nodes
        subtree_size_[root_] = n_ + 1;
        next_[root_] = 0;
        prev_[root_] = n_ - 1;
        last_[root_] = n_ - 1;
    }

    Status run() {
        if (edge_count_ == 0) return {};
        // find_entering_edges: blocks of B edges taken cyclically; within a
        // block the first edge of lowest reduced cost (Dantzig), the blocks
        // in turn until M consecutive ones offer none (Bland).
        const auto B = static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(edge_count_))));
        const std::int64_t M = (edge_count_ + B - 1) / B;
        std::int64_t m = 0, f = 0;
        while (m < M) {
            std::int64_t l = f + B;
            std::int64_t i = -1;
            PyNumber best;
            const auto consider = [&](std::int64_t e) {
                PyNumber c = reduced_cost(e);
                if (i < 0 || c < best) {
                    i = e;
                    best = c;
                }
            };
            if (l <= edge_count_) {
                for (std::int64_t e = f; e < l; ++e) consider(e);
            } else {
                l -= edge_count_;
                for (std::int64_t e = f; e < edge_count_; ++e) consider(e);
                for (std::int64_t e = 0; e < l; ++e) consider(e);
            }
            f = l;
            if (non_negative(best)) {
                ++m;
                continue;
            }
            std::int64_t p, q;
            if (is_zero(p_.flow[i])) {
                p = p_.source[i];
                q = p_.target[i];
            } else {
                p = p_.target[i];
                q = p_.source[i];
            }
            pivot(i, p, q);
            m = 0;
            if ((++pivots_ & 0x3FF) == 0 && poll_interrupt()) return interrupted();
        }
        return {};
    }

private:
    // The pivot loop's body for the entering edge i, oriented p -> q.
    void pivot(std::int64_t i, std::int64_t p, std::int64_t q) {
        find_cycle(i, p, q);
        auto [j, s, t] = find_leaving_edge();
        augment_flow(residual_capacity(j, s));
        if (i == j) return;  // the entering edge leaves again: the tree stays
        if (parent_[t] != s) std::swap(s, t);  // s the parent of t
        const auto at = [&](std::int64_t e) { return std::find(We_.begin(), We_.end(), e) - We_.begin(); };
        if (at(i) > at(j)) std::swap(p, q);  // q in the subtree rooted at t
        remove_edge(s, t);
        make_root(q);
        add_edge(i, p, q);
        update_potentials(i, p, q);
    }

    // The root's potential is read as NetworkX reads node_potentials[-1]:
    // that of the last node (its list has no entry for the root).
    const PyNumber& potential(std::int64_t v) const { return p_.potential[v == root_ ? n_ - 1 : v]; }

    PyNumber reduced_cost(std::int64_t i) const {
        PyNumber c = p_.weight[i] - potential(p_.source[i]) + potential(p_.target[i]);
        return is_zero(p_.flow[i]) ? c : -c;
    }

    PyNumber residual_capacity(std::int64_t i, std::int64_t p) const {
        return p_.source[i] == p ? p_.capacity[i] - p_.flow[i] : p_.flow[i];
    }

    // find_apex: climb from the endpoint of the smaller subtree until the
    // two walks meet.
    std::int64_t find_apex(std::int64_t p, std::int64_t q) const {
        std::int64_t size_p = subtree_size_[p], size_q = subtree_size_[q];
        while (true) {
            while (size_p < size_q) {
                p = parent_[p];
                size_p = subtree_size_[p];
            }
            while (size_p > size_q) {
                q = parent_[q];
                size_q = subtree_size_[q];
            }
            if (size_p == size_q) {
                if (p == q) return p;
                p = parent_[p];
                size_p = subtree_size_[p];
                q = parent_[q];
                size_q = subtree_size_[q];
            }
        }
    }

    void trace_path(std::int64_t p, std::int64_t w, std::vector<std::int64_t>& nodes,
                    std::vector<std::int64_t>& edges) const {
        nodes.assign(1, p);
        edges.clear();
        while (p != w) {
            edges.push_back(parent_edge_[p]);
            p = parent_[p];
            nodes.push_back(p);
        }
    }

    // find_cycle: Wn and We from p up to the apex reversed, the entering
    // edge (unless the path is that edge alone), then from q up to the apex
    // without the apex.
    void find_cycle(std::int64_t i, std::int64_t p, std::int64_t q) {
        const std::int64_t w = find_apex(p, q);
        trace_path(p, w, Wn_, We_);
        std::reverse(Wn_.begin(), Wn_.end());
        std::reverse(We_.begin(), We_.end());
        if (!(We_.size() == 1 && We_[0] == i)) We_.push_back(i);
        trace_path(q, w, WnR_, WeR_);
        WnR_.pop_back();
        Wn_.insert(Wn_.end(), WnR_.begin(), WnR_.end());
        We_.insert(We_.end(), WeR_.begin(), WeR_.end());
    }

    // find_leaving_edge: min over zip(reversed(We), reversed(Wn)) by
    // residual capacity, the first smallest in that order.
    std::tuple<std::int64_t, std::int64_t, std::int64_t> find_leaving_edge() const {
        const std::size_t k = std::min(We_.size(), Wn_.size());
        std::int64_t j = We_[We_.size() - 1], s = Wn_[Wn_.size() - 1];
        PyNumber best = residual_capacity(j, s);
        for (std::size_t a = 1; a < k; ++a) {
            const std::int64_t e = We_[We_.size() - 1 - a], v = Wn_[Wn_.size() - 1 - a];
            PyNumber r = residual_capacity(e, v);
            if (r < best) {
                j = e;
                s = v;
                best = r;
            }
        }
        const std::int64_t t = p_.source[j] == s ? p_.target[j] : p_.source[j];
        return {j, s, t};
    }

    // augment_flow over zip(We, Wn).
    void augment_flow(const PyNumber& f) {
        const std::size_t k = std::min(We_.size(), Wn_.size());
        for (std::size_t a = 0; a < k; ++a) {
            const std::int64_t i = We_[a];
            PyNumber& x = p_.flow[i];
            x = p_.source[i] == Wn_[a] ? x + f : x - f;
        }
    }

    void remove_edge(std::int64_t s, std::int64_t t) {
        const std::int64_t size_t_ = subtree_size_[t], prev_t = prev_[t], last_t = last_[t];
        const std::int64_t next_last_t = next_[last_t];
        parent_[t] = NONE;
        parent_edge_[t] = NONE;
        next_[prev_t] = next_last_t;
        prev_[next_last_t] = prev_t;
        next_[last_t] = t;
        prev_[t] = last_t;
        while (s != NONE) {
            subtree_size_[s] -= size_t_;
            if (last_[s] == last_t) last_[s] = prev_t;
            s = parent_[s];
        }
    }

    // make_root: reverse the parent links from q up to its subtree's root,
    // moving each former ancestor's remaining thread after q's.
    void make_root(std::int64_t q) {
        ancestors_.clear();
        while (q != NONE) {
            ancestors_.push_back(q);
            q = parent_[q];
        }
        std::reverse(ancestors_.begin(), ancestors_.end());
        for (std::size_t a = 0; a + 1 < ancestors_.size(); ++a) {
            const std::int64_t p = ancestors_[a];
            q = ancestors_[a + 1];
            const std::int64_t size_p = subtree_size_[p];
            std::int64_t last_p = last_[p];
            const std::int64_t prev_q = prev_[q], last_q = last_[q];
            const std::int64_t next_last_q = next_[last_q];
            parent_[p] = q;
            parent_[q] = NONE;
            parent_edge_[p] = parent_edge_[q];
            parent_edge_[q] = NONE;
            subtree_size_[p] = size_p - subtree_size_[q];
            subtree_size_[q] = size_p;
            next_[prev_q] = next_last_q;
            prev_[next_last_q] = prev_q;
            next_[last_q] = q;
            prev_[q] = last_q;
            if (last_p == last_q) {
                last_[p] = prev_q;
                last_p = prev_q;
            }
            prev_[p] = last_q;
            next_[last_q] = p;
            next_[last_p] = q;
            prev_[q] = last_p;
            last_[q] = last_p;
        }
    }

    void add_edge(std::int64_t i, std::int64_t p, std::int64_t q) {
        const std::int64_t last_p = last_[p];
        const std::int64_t next_last_p = next_[last_p];
        const std::int64_t size_q = subtree_size_[q], last_q = last_[q];
        parent_[q] = p;
        parent_edge_[q] = i;
        next_[last_p] = q;
        prev_[q] = last_p;
        prev_[next_last_p] = last_q;
        next_[last_q] = next_last_p;
        while (p != NONE) {
            subtree_size_[p] += size_q;
            if (last_[p] == last_p) last_[p] = last_q;
            p = parent_[p];
        }
    }

    // update_potentials: one difference d, computed as NetworkX groups it,
    // added to every node of q's subtree in thread order.
    void update_potentials(std::int64_t i, std::int64_t p, std::int64_t q) {
        const PyNumber d = q == p_.target[i] ? potential(p) - p_.weight[i] - potential(q)
                                             : potential(p) + p_.weight[i] - potential(q);
        const std::int64_t l = last_[q];
        std::int64_t v = q;
        while (true) {
            PyNumber& x = p_.potential[v == root_ ? n_ - 1 : v];
            x = x + d;
            if (v == l) break;
            v = next_[v];
        }
    }

    SimplexProblem& p_;
    std::int64_t n_, root_, edge_count_;
    std::vector<std::int64_t> parent_, parent_edge_, subtree_size_, next_, prev_, last_;
    std::vector<std::int64_t> Wn_, We_, WnR_, WeR_, ancestors_;
    std::uint64_t pivots_ = 0;
};

}  // namespace

Status run_network_simplex(SimplexProblem& p) {
    if (p.n == 0) return {};
    return Simplex(p).run();
}

}  // namespace fennel
