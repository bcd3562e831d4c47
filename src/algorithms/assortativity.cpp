// Assortativity. Costs: O(n + m) for each function; the per-node averages
// run on the worker pool, each node's value at its own index.
#include "algorithms/assortativity.hpp"

#include "algorithms/set_table.hpp"
#include "lib/pool.hpp"

#include <algorithm>
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
        for (Node u = 0; u < n; ++u) {
            std::int64_t d = 0;
            if (out_rows) d += static_cast<std::int64_t>(g.succ.end(u) - g.succ.begin(u));
            if (in_rows) d += static_cast<std::int64_t>(g.in_rows().end(u) - g.in_rows().begin(u));
            if (!g.directed) {
                const auto row = g.succ.row(u);
                d += std::find(row.begin(), row.end(), u) != row.end() ? 1 : 0;
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
    const std::size_t k = mapping.size();
    std::vector<std::int64_t> counts(k * k, 0);
    std::vector<std::uint8_t> every(g.n, 1);
    std::vector<Node> order(g.n);
    for (Node u = 0; u < g.n; ++u) order[u] = u;
    walk_degree_pairs(g, xdeg, ydeg, order, every, mult, [&](std::int64_t a, std::int64_t b, std::uint32_t keys) {
        const std::int64_t i = index[static_cast<std::size_t>(a)];
        const std::int64_t j = index[static_cast<std::size_t>(b)];
        if (i >= 0 && j >= 0) counts[static_cast<std::size_t>(i) * k + static_cast<std::size_t>(j)] += keys;
    });
    return {counts.begin(), counts.end()};
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
