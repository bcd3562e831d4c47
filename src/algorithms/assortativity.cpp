// Assortativity. Costs: O(n + m) for each function; the per-node averages
// run on the worker pool, each node's value at its own index.
#include "algorithms/assortativity.hpp"

#include "algorithms/set_table.hpp"
#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace fennel {

namespace {

// The rows NetworkX walks for a side: G.succ (or G.adj) for Out and Both,
// G.pred for In.
const Csr& rows_of(const CoreGraph& g, Side side) { return side == Side::In ? g.in_rows() : g.succ; }

}  // namespace

std::vector<std::int64_t> side_degrees(const CoreGraph& g, Side side, Mult mult) {
    const Count n = g.n;
    if (!mult) {
        // One key per pair: a degree is the length of a row (or of both), an
        // undirected self-loop counted twice. Rows are read in order, with
        // no scattered counts.
        std::vector<std::int64_t> deg(n, 0);
        const bool out_rows = !g.directed || side != Side::In;
        const bool in_rows = g.directed && side != Side::Out;
        const bool loops = g.undirected_self_loops();
        for (Node u = 0; u < n; ++u) {
            std::int64_t d = 0;
            if (out_rows) d += static_cast<std::int64_t>(g.succ.end(u) - g.succ.begin(u));
            if (in_rows) d += static_cast<std::int64_t>(g.in_rows().end(u) - g.in_rows().begin(u));
            if (loops) {
                // A row holds u at most once: counting it is the branch-free
                // test for a self-loop.
                const auto row = g.succ.row(u);
                d += std::count(row.begin(), row.end(), u);
            }
            deg[u] = d;
        }
        return deg;
    }
    auto keys = [&](Slot s) -> std::int64_t { return (*mult)[s]; };
    std::vector<std::int64_t> out(n, 0), in(n, 0), loops(n, 0);
    for (Node u = 0; u < n; ++u) {
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            const Node v = g.succ.targets[s];
            out[u] += keys(s);
            in[v] += keys(s);
            if (v == u) loops[u] = keys(s);
        }
    }
    // An undirected row counts its self-loop's keys twice (NetworkX adds
    // them again); a directed degree is out, in or their sum.
    if (!g.directed) {
        for (Node u = 0; u < n; ++u) out[u] += loops[u];
        return out;
    }
    if (side == Side::In) return in;
    if (side == Side::Both) {
        for (Node u = 0; u < n; ++u) out[u] += in[u];
    }
    return out;
}

Result<std::vector<double>> average_neighbor_degrees(const CoreGraph& g, Side source, Side target,
                                                     const std::vector<Node>& sources, Mult mult) {
    const std::vector<std::int64_t> sdeg = side_degrees(g, source, mult);
    const std::vector<std::int64_t> tdeg = target == source ? sdeg : side_degrees(g, target, mult);
    // NetworkX sums over G_S (successors, or the undirected adjacency) and
    // then G_P (predecessors), each neighbour once however many keys join
    // it; the one it does not need is empty. Integer sums, so the order of
    // the terms cannot matter.
    const bool succ = !g.directed || source != Side::In;
    const bool pred = g.directed && source != Side::Out;
    std::vector<double> avg(sources.size());
    const Pieces pieces = split(sources.size());
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        // A node's step is a few reads: the stop is asked once every 1,024.
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && (i % 1024 != 0 || !stop_requested()); ++i) {
            const Node u = sources[i];
            const std::int64_t deg = sdeg[u];
            if (deg == 0) {
                avg[i] = 0.0;
                continue;
            }
            std::int64_t s = 0;
            if (succ) {
                for (Node w : g.succ.row(u)) s += tdeg[w];
            }
            if (pred) {
                for (Node w : g.in_rows().row(u)) s += tdeg[w];
            }
            // Python's int / int, correctly rounded: both are below 2**53.
            avg[i] = static_cast<double>(s) / static_cast<double>(deg);
        }
    });
    if (!st.ok()) return st.error();
    return avg;
}

Result<ConnectivityTally> degree_connectivity(const CoreGraph& g, Side source, Side target,
                                              const std::vector<Node>& sources, Mult mult) {
    const std::vector<std::int64_t> sdeg = side_degrees(g, source, mult);
    const std::vector<std::int64_t> tdeg = side_degrees(g, target, mult);
    // G.neighbors of a DiGraph is its successors: "in+out" walks those too;
    // each neighbour once, however many keys join it.
    const Csr& rows = g.directed ? rows_of(g, source) : g.succ;
    std::vector<std::int64_t> s(sources.size());
    const Pieces pieces = split(sources.size());
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            std::int64_t total = 0;
            for (Node w : rows.row(sources[i])) total += tdeg[w];
            s[i] = total;
        }
    });
    if (!st.ok()) return st.error();
    // dsum and dnorm are defaultdicts: keys in the order the loop first
    // meets each source degree.
    ConnectivityTally tally;
    std::unordered_map<std::int64_t, std::size_t> at;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::int64_t k = sdeg[sources[i]];
        auto [it, fresh] = at.try_emplace(k, tally.k.size());
        if (fresh) {
            tally.k.push_back(k);
            tally.dsum.push_back(0);
            tally.dnorm.push_back(0);
        }
        tally.dsum[it->second] += s[i];
        tally.dnorm[it->second] += k;
    }
    return tally;
}

namespace {

// node_degree_xy's walk: emit(x degree, y degree, keys) per row slot.
template <class Emit>
void walk_degree_pairs(const CoreGraph& g, const std::vector<std::int64_t>& xdeg,
                       const std::vector<std::int64_t>& ydeg, const std::vector<Node>& order,
                       const std::vector<std::uint8_t>& member, Mult mult, Emit&& emit) {
    // G.edges(u): the successors (or neighbours, a self-loop once) in row
    // order, each key of a multigraph's once.
    for (Node u : order) {
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            const Node v = g.succ.targets[s];
            if (member[v]) emit(xdeg[u], ydeg[v], mult ? (*mult)[s] : 1u);
        }
    }
}

// node_attribute_xy's walk: emit(code of u, code of v, keys) per row slot.
template <class Emit>
void walk_attribute_pairs(const CoreGraph& g, const std::vector<std::int64_t>& code,
                          const std::vector<std::uint8_t>& member, Mult mult, Emit&& emit) {
    // G.adjacency() in node order; every neighbour counts, in the set or
    // not, once per key.
    for (Node u = 0; u < g.n; ++u) {
        if (!member[u]) continue;
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            emit(code[u], code[g.succ.targets[s]], mult ? (*mult)[s] : 1u);
        }
    }
}

// mixing_dict, counted: `if x not in d: d[x] = {}`, the same for y, then
// d[x][y] += 1 per key. Keys below 2048 (degrees, attribute codes) index
// arrays: the row of each key, and per row the slot of each inner key;
// others go through hash maps.
class MixingCounter {
public:
    explicit MixingCounter(std::int64_t hi) : dense_(hi < 2048) {
        if (dense_) {
            width_ = static_cast<std::size_t>(std::max<std::int64_t>(hi, 0)) + 1;
            row_at_.assign(width_, -1);
        }
    }

    void add(std::int64_t x, std::int64_t y, std::uint32_t keys) {
        const std::size_t r = row_of(x);
        row_of(y);
        MixingRow& row = rows_[r];
        std::size_t slot;
        if (dense_) {
            std::int32_t& at = slot_at_[r][static_cast<std::size_t>(y)];
            if (at < 0) at = static_cast<std::int32_t>(fresh_slot(row, y));
            slot = static_cast<std::size_t>(at);
        } else {
            auto [it, fresh] = inner_[r].try_emplace(y, row.inner.size());
            if (fresh) fresh_slot(row, y);
            slot = it->second;
        }
        row.count[slot] += keys;
    }

    std::vector<MixingRow> take() { return std::move(rows_); }

private:
    static std::size_t fresh_slot(MixingRow& row, std::int64_t y) {
        row.inner.push_back(y);
        row.count.push_back(0);
        return row.inner.size() - 1;
    }

    std::size_t row_of(std::int64_t key) {
        if (dense_) {
            std::int32_t& r = row_at_[static_cast<std::size_t>(key)];
            if (r < 0) {
                r = static_cast<std::int32_t>(rows_.size());
                rows_.push_back({key, {}, {}});
                slot_at_.emplace_back(width_, -1);
            }
            return static_cast<std::size_t>(r);
        }
        auto [it, fresh] = outer_.try_emplace(key, rows_.size());
        if (fresh) {
            rows_.push_back({key, {}, {}});
            inner_.emplace_back();
        }
        return it->second;
    }

    bool dense_;
    std::size_t width_ = 0;
    std::vector<MixingRow> rows_;
    std::vector<std::int32_t> row_at_;
    std::vector<std::vector<std::int32_t>> slot_at_;
    std::unordered_map<std::int64_t, std::size_t> outer_;
    std::vector<std::unordered_map<std::int64_t, std::size_t>> inner_;
};

std::int64_t largest(const std::vector<std::int64_t>& values) {
    std::int64_t hi = 0;
    for (std::int64_t v : values) hi = std::max(hi, v);
    return hi;
}

}  // namespace

Pairs degree_pairs(const CoreGraph& g, Side x, Side y, const std::vector<Node>& order,
                   const std::vector<std::uint8_t>& member, Mult mult) {
    const std::vector<std::int64_t> xdeg = side_degrees(g, x, mult);
    const std::vector<std::int64_t> ydeg = g.directed ? side_degrees(g, y, mult) : xdeg;
    Pairs pairs;
    walk_degree_pairs(g, xdeg, ydeg, order, member, mult, [&](std::int64_t a, std::int64_t b, std::uint32_t keys) {
        pairs.x.insert(pairs.x.end(), keys, a);
        pairs.y.insert(pairs.y.end(), keys, b);
    });
    return pairs;
}

std::vector<MixingRow> degree_mixing(const CoreGraph& g, Side x, Side y, const std::vector<Node>& order,
                                     const std::vector<std::uint8_t>& member, Mult mult) {
    const std::vector<std::int64_t> xdeg = side_degrees(g, x, mult);
    const std::vector<std::int64_t> ydeg = g.directed ? side_degrees(g, y, mult) : xdeg;
    MixingCounter counter(std::max(largest(xdeg), largest(ydeg)));
    walk_degree_pairs(g, xdeg, ydeg, order, member, mult,
                      [&](std::int64_t a, std::int64_t b, std::uint32_t keys) { counter.add(a, b, keys); });
    return counter.take();
}

std::vector<double> degree_matrix(const CoreGraph& g, Side x, Side y, const std::vector<std::int64_t>& mapping,
                                  Mult mult) {
    const std::vector<std::int64_t> xdeg = side_degrees(g, x, mult);
    const std::vector<std::int64_t> ydeg = g.directed ? side_degrees(g, y, mult) : xdeg;
    const std::int64_t hi = std::max(largest(xdeg), largest(ydeg));
    // Degree -> mapping index; degrees the mapping leaves out keep -1 and
    // their pairs are skipped, as dict_to_numpy_array skips them.
    std::vector<std::int64_t> index(static_cast<std::size_t>(std::max<std::int64_t>(hi, 0)) + 1, -1);
    for (std::size_t i = 0; i < mapping.size(); ++i) {
        if (mapping[i] >= 0 && mapping[i] <= hi) index[static_cast<std::size_t>(mapping[i])] = static_cast<std::int64_t>(i);
    }
    // Each node's row (x) and column (y) once, so the walk reads one index
    // per neighbour.
    std::vector<std::int32_t> row(g.n), column(g.n);
    for (Node u = 0; u < g.n; ++u) {
        row[u] = static_cast<std::int32_t>(index[static_cast<std::size_t>(xdeg[u])]);
        column[u] = static_cast<std::int32_t>(index[static_cast<std::size_t>(ydeg[u])]);
    }
    const std::size_t k = mapping.size();
    std::vector<std::int64_t> counts(k * k, 0);
    // G.edges(u) for every u: the successors (neighbours, a self-loop
    // once) in row order, each key of a multigraph's once.
    for (Node u = 0; u < g.n; ++u) {
        if (row[u] < 0) continue;
        std::int64_t* at = counts.data() + static_cast<std::size_t>(row[u]) * k;
        const Slot end = g.succ.end(u);
        for (Slot s = g.succ.begin(u); s < end; ++s) {
            const std::int32_t j = column[g.succ.targets[s]];
            if (j >= 0) at[j] += mult ? (*mult)[s] : 1u;
        }
    }
    return {counts.begin(), counts.end()};
}

std::optional<double> degree_coefficient(const CoreGraph& g, Side x, Side y, const std::vector<std::int64_t>& mapping,
                                         Mult mult) {
    const std::size_t k = mapping.size();
    std::vector<double> M = degree_matrix(g, x, y, mapping, mult);
    auto sum_of = [](const std::vector<double>& v) { return numpy_sum([&](std::size_t i) { return v[i]; }, v.size()); };
    // degree_mixing_matrix's `a / a.sum()`, then _numeric_ac's
    // `if M.sum() != 1.0: M = M / M.sum()`.
    const double total = sum_of(M);
    if (!(total > 0.0)) return std::nullopt;  // no pairs: numpy divides 0 by 0
    for (double& v : M) v /= total;
    const double again = sum_of(M);
    if (again != 1.0) {
        for (double& v : M) v /= again;
    }
    // a = M.sum(axis=0) adds the rows one after another; b = M.sum(axis=1)
    // sums each row pairwise.
    std::vector<double> a(k, -0.0), b(k);
    for (std::size_t i = 0; i < k; ++i) {
        for (std::size_t j = 0; j < k; ++j) a[j] += M[i * k + j];
    }
    for (std::size_t i = 0; i < k; ++i) b[i] = numpy_sum([&](std::size_t j) { return M[i * k + j]; }, k);
    // x holds the degrees as int64: x**2 and the outer product x * y are
    // integer products, cast to float64 where they meet a float.
    auto degree = [&](std::size_t i) { return static_cast<double>(mapping[i]); };
    auto square = [&](std::size_t i) { return static_cast<double>(mapping[i] * mapping[i]); };
    auto variance = [&](const std::vector<double>& p) {
        const double second = numpy_sum([&](std::size_t i) { return p[i] * square(i); }, k);
        const double first = numpy_sum([&](std::size_t i) { return p[i] * degree(i); }, k);
        return second - libm_pow(first, 2.0);
    };
    const double vara = variance(a);
    const double varb = variance(b);
    // (xy * (M - ab)).sum(), xy = outer(x, x) and ab = outer(a, b).
    std::vector<double> terms(k * k);
    for (std::size_t i = 0; i < k; ++i) {
        for (std::size_t j = 0; j < k; ++j) {
            terms[i * k + j] = static_cast<double>(mapping[i] * mapping[j]) * (M[i * k + j] - a[i] * b[j]);
        }
    }
    const double covariance = sum_of(terms);
    // numpy warns where the root is of a negative or zero product and where
    // the quotient is not finite: those calls stay with numpy.
    const double product = vara * varb;
    if (!(product > 0.0) || !std::isfinite(product)) return std::nullopt;
    const double r = covariance / std::sqrt(product);
    if (!std::isfinite(r)) return std::nullopt;
    return r;
}

std::vector<std::int64_t> first_occurrences(const std::vector<std::int64_t>& values) {
    std::vector<std::uint8_t> seen(static_cast<std::size_t>(std::max<std::int64_t>(largest(values), 0)) + 1, 0);
    std::vector<std::int64_t> firsts;
    for (std::int64_t v : values) {
        if (!seen[static_cast<std::size_t>(v)]) {
            seen[static_cast<std::size_t>(v)] = 1;
            firsts.push_back(v);
        }
    }
    return firsts;
}

std::vector<MixingRow> attribute_mixing(const CoreGraph& g, const std::vector<std::int64_t>& code,
                                        const std::vector<std::uint8_t>& member, Mult mult) {
    MixingCounter counter(largest(code));
    walk_attribute_pairs(g, code, member, mult,
                         [&](std::int64_t a, std::int64_t b, std::uint32_t keys) { counter.add(a, b, keys); });
    return counter.take();
}

std::vector<Node> set_order(const std::vector<std::int64_t>& hashes) {
    SetTable table;
    for (Node v = 0; v < hashes.size(); ++v) table.add(v, hashes[v]);
    std::vector<Node> order;
    order.reserve(hashes.size());
    table.each([&](Node v) { order.push_back(v); });
    return order;
}

}  // namespace fennel
