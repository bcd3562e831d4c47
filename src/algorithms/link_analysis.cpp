// PageRank as NetworkX's scipy implementation computes it.
//
// PageRank: NetworkX builds the adjacency matrix A (rows sorted by column),
// takes the row sums S with np.add.reduceat, forms Q = diag(1/S) (zero sums
// kept zero), multiplies Q @ A (scipy drops entries that come out zero) and
// iterates x <- alpha * (x @ QA + dsum * d) + (1 - alpha) * p, where x @ QA
// is a transposed sparse mat-vec: each entry adds its terms by ascending
// source position, starting from +0.0. Vector sums are numpy's (pairwise);
// the dangling mass is a numpy sum from NetworkX 3.7 on and a left-to-right
// sum before. The stochastic matrix is built once in pull form, so each new
// entry is one independent dot product: large graphs update in parallel and
// the result does not depend on the thread count.
//
// Cost: O(n + m) to build, O(n + m) per iteration.
#include "algorithms/link_analysis.hpp"

#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cmath>
#include <memory>
#include <utility>

namespace fennel {

namespace {

// x @ (Q @ A) in pull form: column v lists the sources u (ascending) of its
// entries inverse[u] * w(u -> v) that are not zero. Dangling nodes are listed
// apart, ascending.
// Its arrays are left unwritten when made, so that their pages are first
// touched (and zeroed by the system) by the threads that fill them.
struct Stochastic {
    std::vector<Slot> offsets;                // column v: [offsets[v], offsets[v + 1])
    std::unique_ptr<Node[]> sources;          // u, ascending within a column
    std::unique_ptr<double[]> values;         // inverse[u] * w(u -> v)
    std::vector<Node> dangling;
};

bool row_sorted(const Csr& rows, Node u) {
    for (Slot s = rows.begin(u) + 1; s < rows.end(u); ++s) {
        if (rows.targets[s - 1] >= rows.targets[s]) return false;
    }
    return true;
}

// Row u's sum as np.add.reduceat takes it over the row sorted by target
// (+0.0 for an empty row). Unit weights sum to the degree in any order.
double row_sum(const Csr& succ, const std::vector<double>* weights, Node u,
               std::vector<std::pair<Node, double>>& scratch) {
    const Slot b = succ.begin(u), e = succ.end(u);
    if (b == e) return 0.0;
    if (weights == nullptr) return static_cast<double>(e - b);
    const std::vector<double>& w = *weights;
    if (row_sorted(succ, u)) return numpy_segment_sum([&](std::size_t k) { return w[k]; }, b, e - b);
    scratch.clear();
    for (Slot s = b; s < e; ++s) scratch.emplace_back(succ.targets[s], w[s]);
    std::sort(scratch.begin(), scratch.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    return numpy_segment_sum([&](std::size_t k) { return scratch[k].second; }, 0, scratch.size());
}

// Parallel building and updates pay off from this many nodes on.
constexpr Count PARALLEL_NODES = 20000;

// Runs body(lo, hi) over node ranges covering [0, n): on the pool from
// PARALLEL_NODES nodes on, else in one range. Each node's work lands at its
// own index, so the result does not depend on the split.
template <class Body>
Status over_nodes(Count n, Body&& body) {
    if (n < PARALLEL_NODES || pool_size() == 1) {
        body(Node{0}, static_cast<Node>(n));
        return {};
    }
    const Pieces pieces = split(n);
    return parallel_for(pieces.pieces, [&](std::size_t p) {
        body(static_cast<Node>(pieces.begin(p)), static_cast<Node>(pieces.end(p)));
    });
}

// Sorts row u of `rows` by target, stably (a repeated target keeps its slot
// order), into the same slots of `targets` and `values` (w per slot, or 1.0
// for each slot without weights). Each entry is sorted as one 64-bit key,
// its target above its place in the row.
void sort_row(const Csr& rows, const std::vector<double>* weights, Node u, Node* targets, double* values,
              std::vector<std::uint64_t>& keys) {
    const Slot b = rows.begin(u), e = rows.end(u);
    auto value = [&](Slot s) { return weights ? (*weights)[s] : 1.0; };
    if (row_sorted(rows, u)) {
        for (Slot s = b; s < e; ++s) {
            targets[s] = rows.targets[s];
            values[s] = value(s);
        }
        return;
    }
    const std::size_t size = e - b;
    if (size <= 32) {
        // A short row: each entry's place is the count of the targets below
        // its own and of the equal ones before it, counted without a branch.
        const Node* t = rows.targets.data() + b;
        for (std::size_t i = 0; i < size; ++i) {
            const Node x = t[i];
            std::uint32_t place = 0;
            for (std::size_t j = 0; j < size; ++j) place += t[j] < x;
            for (std::size_t j = 0; j < i; ++j) place += t[j] == x;
            targets[b + place] = x;
            values[b + place] = value(b + i);
        }
        return;
    }
    keys.resize(size);
    for (Slot s = b; s < e; ++s) keys[s - b] = std::uint64_t{rows.targets[s]} << 32 | (s - b);
    std::sort(keys.begin(), keys.end());
    for (Slot s = b; s < e; ++s) {
        const std::uint64_t key = keys[s - b];
        targets[s] = static_cast<Node>(key >> 32);
        values[s] = value(b + static_cast<Slot>(key & 0xFFFFFFFFu));
    }
}

// The stochastic matrix from succ (for the row sums) and its transpose,
// made in the arrays of the result: the column view is copied in first (the
// in-rows of a directed graph, sources ascending, `in_weights` aligned with
// them; else a counting sort of a directed graph's succ; an undirected
// graph's own rows sorted by target, as its column v is its row v), then
// each entry becomes inverse[u] * w in place, and entries that come out zero
// leave (rarely any). Row sums, sorting and the products run node by node on
// the pool.
Result<Stochastic> stochastic_matrix(const CoreGraph& g, const std::vector<double>* weights,
                                     const std::vector<double>* in_weights, bool numpy_dangling) {
    const Count n = g.n;
    Stochastic out;
    auto fill = [&](const Csr& cols, auto&& fill_row) -> Status {
        out.offsets = cols.offsets;
        out.sources = std::make_unique_for_overwrite<Node[]>(cols.slot_count());
        out.values = std::make_unique_for_overwrite<double[]>(cols.slot_count());
        return over_nodes(n, [&](Node lo, Node hi) {
            std::vector<std::uint64_t> keys;
            for (Node v = lo; v < hi; ++v) fill_row(v, keys);
        });
    };
    // Copies column v of `cols` with its weights (none: 1.0 each).
    auto copy_of = [&](const Csr& cols, const std::vector<double>* w) {
        return [&cols, w, &out](Node v, std::vector<std::uint64_t>&) {
            for (Slot k = cols.begin(v); k < cols.end(v); ++k) {
                out.sources[k] = cols.targets[k];
                out.values[k] = w ? (*w)[k] : 1.0;
            }
        };
    };
    bool weighted = weights != nullptr;
    Status st;
    if (g.directed && g.pred && !g.pred_exact) {
        weighted = in_weights != nullptr;
        st = fill(*g.pred, copy_of(*g.pred, in_weights));
    } else if (g.directed) {
        std::vector<Slot> perm;
        Result<Csr> t = counting_sort_pred(g.succ, perm);
        if (!t.ok()) return t.error();
        std::vector<double> w;
        if (weights) w = permute_column(*weights, perm);
        st = fill(t.value(), copy_of(t.value(), weights ? &w : nullptr));
    } else {
        st = fill(g.succ, [&](Node u, std::vector<std::uint64_t>& keys) {
            sort_row(g.succ, weights, u, out.sources.get(), out.values.get(), keys);
        });
    }
    if (!st.ok()) return st.error();
    auto begin = [&](Node v) { return out.offsets[v]; };

    // S[u], replaced by 1/S[u] where it is not zero. An undirected graph's
    // weights are summed over its rows sorted by target, as np.add.reduceat
    // reads them.
    const bool own_rows = !g.directed;
    std::vector<double> inverse(n, 0.0);
    std::vector<std::uint8_t> dangling(n, 0);
    st = over_nodes(n, [&](Node lo, Node hi) {
        std::vector<std::pair<Node, double>> scratch;
        for (Node u = lo; u < hi; ++u) {
            double s = 0.0;
            if (own_rows && weights) {
                if (begin(u) != begin(u + 1)) {
                    s = numpy_segment_sum([&](std::size_t k) { return out.values[k]; }, begin(u),
                                          begin(u + 1) - begin(u));
                }
            } else {
                s = row_sum(g.succ, weights, u, scratch);
            }
            inverse[u] = s != 0.0 ? 1.0 / s : s;
            dangling[u] = numpy_dangling ? s == 0.0 : inverse[u] == 0.0;
        }
    });
    if (!st.ok()) return st.error();
    for (Node u = 0; u < n; ++u) {
        if (dangling[u]) out.dangling.push_back(u);
    }

    // Q @ A: a zero inverse leaves no row in Q (its entries become zero
    // here); a product that comes out zero leaves no entry (NaN stays).
    std::atomic<bool> any_zero{false};
    st = over_nodes(n, [&](Node lo, Node hi) {
        bool zero = false;
        for (Slot k = begin(lo); k < begin(hi); ++k) {
            const double inv = inverse[out.sources[k]];
            const double q = inv == 0.0 ? 0.0 : weighted ? inv * out.values[k] : inv;
            out.values[k] = q;
            zero = zero || q == 0.0;
        }
        if (zero) any_zero.store(true, std::memory_order_relaxed);
    });
    if (!st.ok()) return st.error();
    if (any_zero.load()) {
        Slot at = 0;
        for (Node v = 0; v < n; ++v) {
            const Slot b = begin(v), e = begin(v + 1);
            out.offsets[v] = at;
            for (Slot k = b; k < e; ++k) {
                if (out.values[k] == 0.0) continue;
                out.sources[at] = out.sources[k];
                out.values[at++] = out.values[k];
            }
        }
        out.offsets[n] = at;
    }
    return out;
}

// `v` divided by its numpy sum, or n copies of 1/n when absent.
std::vector<double> normalised(const std::optional<std::vector<double>>& v, Count n) {
    if (!v) return std::vector<double>(n, 1.0 / static_cast<double>(n));
    const std::vector<double>& raw = *v;
    const double s = numpy_sum([&](std::size_t i) { return raw[i]; }, raw.size());
    std::vector<double> out(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) out[i] = raw[i] / s;
    return out;
}

}  // namespace

Result<std::optional<std::vector<double>>> walk_ranks(const CoreGraph& g, const std::vector<double>* weights,
                                                      const std::vector<double>* in_weights, const PageRankInput& in) {
    using Scores = std::optional<std::vector<double>>;
    const Count n = g.n;
    if (n == 0) return Scores{std::vector<double>{}};
    if (in.max_iter == 0) return Scores{};
    Result<Stochastic> built = stochastic_matrix(g, weights, in_weights, in.numpy_dangling);
    if (!built.ok()) return built.error();
    const Stochastic& q = built.value();

    std::vector<double> x = normalised(in.nstart, n);
    const std::vector<double> p = normalised(in.personalization, n);
    const std::vector<double> d = in.dangling ? normalised(in.dangling, n) : p;
    std::vector<double> next(n);
    const double alpha = in.alpha;
    const double rest = 1.0 - alpha;
    const double threshold = static_cast<double>(n) * in.tol;

    double dsum = 0.0;
    auto update = [&](std::size_t lo, std::size_t hi) {
        for (std::size_t v = lo; v < hi; ++v) {
            double t = 0.0;
            for (Slot k = q.offsets[v]; k < q.offsets[v + 1]; ++k) {
                t += q.values[k] * x[q.sources[k]];
            }
            next[v] = alpha * (t + dsum * d[v]) + rest * p[v];
        }
    };
    const Pieces pieces = n >= PARALLEL_NODES ? split(n) : Pieces{n, 1};

    for (std::uint64_t iter = 0; iter < in.max_iter; ++iter) {
        if (poll_interrupt()) return interrupted();
        if (in.numpy_dangling) {
            dsum = numpy_sum([&](std::size_t i) { return x[q.dangling[i]]; }, q.dangling.size());
        } else {
            dsum = 0.0;
            for (Node u : q.dangling) dsum += x[u];
        }
        if (pieces.pieces == 1) {
            update(0, n);
        } else if (Status st = parallel_for(pieces.pieces, [&](std::size_t i) { update(pieces.begin(i), pieces.end(i)); });
                   !st.ok()) {
            return st.error();
        }
        const double err = numpy_sum([&](std::size_t i) { return std::fabs(next[i] - x[i]); }, n);
        add_progress(1);
        if (err < threshold) return Scores{std::move(next)};
        std::swap(x, next);
    }
    return Scores{};
}

// HITS (NetworkX 3.7's power iteration). NetworkX builds the canonical
// sparse adjacency matrix and alternates a = h @ A (scipy's transposed
// mat-vec: a[v] starts at +0.0 and adds A[u, v] * h[u] by ascending u) and
// h = A @ a (each row's dot product by ascending column, from +0.0), divides
// h by its maximum and stops once the numpy (pairwise) sum of |h - hlast|
// is below tol. Every entry of a and of h is an independent dot product, so
// large graphs update in parallel and the result does not depend on the
// thread count.
//
// Cost: O(n + m) to build, O(n + m) per iteration.

Result<AdjacencyRows> adjacency_rows(const CoreGraph& g, const std::vector<double>* weights) {
    AdjacencyRows out;
    // Columns: a stable counting sort of succ by target lists each column's
    // rows ascending; sorting those again by row lists each row's columns
    // ascending.
    std::vector<Slot> to_succ;
    Result<Csr> cols = counting_sort_pred(g.succ, to_succ);
    if (!cols.ok()) return cols.error();
    std::vector<Slot> to_col;
    Result<Csr> rows = counting_sort_pred(cols.value(), to_col);
    if (!rows.ok()) return rows.error();
    out.cols = std::move(cols.value());
    out.rows = std::move(rows.value());
    out.col_values.resize(to_succ.size());
    out.row_values.resize(to_col.size());
    for (std::size_t p = 0; p < to_succ.size(); ++p) out.col_values[p] = weights ? (*weights)[to_succ[p]] : 1.0;
    for (std::size_t q = 0; q < to_col.size(); ++q) out.row_values[q] = out.col_values[to_col[q]];
    return out;
}

namespace {

// np.max of a float64 vector (NaN wins).
double numpy_max(const std::vector<double>& v) {
    double m = v[0];
    for (double x : v) {
        if (std::isnan(x)) return x;
        if (x > m) m = x;
    }
    return m;
}

void divide_all(std::vector<double>& v, double by) {
    for (double& x : v) x /= by;
}

// Parallel HITS updates pay off from this many nodes on.
constexpr Count PARALLEL_HITS_NODES = 4000;

}  // namespace

Result<std::optional<HitsScores>> hits_power(const AdjacencyRows& m, std::vector<double> h, std::uint64_t max_iter,
                                             double tol, bool normalized) {
    using Scores = std::optional<HitsScores>;
    const Count n = m.rows.node_count();
    std::vector<double> a(n), hlast(n);
    auto pull_a = [&](std::size_t lo, std::size_t hi) {
        for (std::size_t v = lo; v < hi; ++v) {
            double t = 0.0;
            for (Slot k = m.cols.begin(static_cast<Node>(v)); k < m.cols.end(static_cast<Node>(v)); ++k) {
                t += m.col_values[k] * hlast[m.cols.targets[k]];
            }
            a[v] = t;
        }
    };
    auto pull_h = [&](std::size_t lo, std::size_t hi) {
        for (std::size_t u = lo; u < hi; ++u) {
            double t = 0.0;
            for (Slot k = m.rows.begin(static_cast<Node>(u)); k < m.rows.end(static_cast<Node>(u)); ++k) {
                t += m.row_values[k] * a[m.rows.targets[k]];
            }
            h[u] = t;
        }
    };
    const Pieces pieces = n >= PARALLEL_HITS_NODES ? split(n) : Pieces{n, 1};
    auto run = [&](const auto& step) -> Status {
        if (pieces.pieces == 1) {
            step(0, n);
            return {};
        }
        return parallel_for(pieces.pieces, [&](std::size_t i) { step(pieces.begin(i), pieces.end(i)); });
    };

    bool converged = false;
    for (std::uint64_t iter = 0; iter < max_iter; ++iter) {
        if (poll_interrupt()) return interrupted();
        std::swap(h, hlast);
        if (Status st = run(pull_a); !st.ok()) return st.error();
        if (Status st = run(pull_h); !st.ok()) return st.error();
        divide_all(h, numpy_max(h));
        const double err = numpy_sum([&](std::size_t i) { return std::fabs(h[i] - hlast[i]); }, n);
        add_progress(1);
        if (err < tol) {
            converged = true;
            break;
        }
    }
    if (!converged) return Scores{};
    if (normalized) {
        divide_all(h, numpy_sum([&](std::size_t i) { return h[i]; }, n));
        divide_all(a, numpy_sum([&](std::size_t i) { return a[i]; }, n));
    } else {
        divide_all(a, numpy_max(a));
    }
    return Scores{HitsScores{std::move(h), std::move(a)}};
}

}  // namespace fennel
