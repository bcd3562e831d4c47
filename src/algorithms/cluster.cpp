// Triangle counts as NetworkX's _triangles_and_degree_iter and
// _directed_triangles_and_degree_iter form them: a node's neighbours are
// marked once (self-loops and repeats ignored), then each neighbour's rows
// are walked against the marks. Exact integers throughout, so the parallel
// split cannot change a result.
//
// Cost: per node, the sum of its neighbours' row lengths. Every node of an
// undirected graph at once costs less (undirected_counts_all).
#include "algorithms/cluster.hpp"

#include "algorithms/set_table.hpp"
#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <span>

namespace fennel {

namespace {

constexpr std::uint8_t IN = 1;
constexpr std::uint8_t OUT = 2;

// Per worker: one mark byte per node (zero between nodes) and the marked list.
struct TriangleScratch {
    std::vector<std::uint8_t> mark;
    std::vector<Node> touched;

    void mark_row(const Csr& rows, Node v, std::uint8_t bit) {
        for (Node w : rows.row(v)) {
            if (w == v) continue;
            if (mark[w] == 0) touched.push_back(w);
            mark[w] |= bit;
        }
    }
    void reset() {
        for (Node w : touched) mark[w] = 0;
        touched.clear();
    }
    // How many of `bits` are set for x: 0, 1 or 2.
    Count weight(Node x) const { return (mark[x] & IN ? 1 : 0) + (mark[x] & OUT ? 1 : 0); }
};

TriangleCount undirected_count(const Csr& out, TriangleScratch& s, Node v) {
    TriangleCount c;
    s.mark_row(out, v, OUT);
    c.d = s.touched.size();
    for (Node w : s.touched) {
        for (Node x : out.row(w)) c.t += x != w && s.mark[x] != 0;
    }
    s.reset();
    return c;
}

TriangleCount directed_count(const Csr& out, const Csr& in, TriangleScratch& s, Node v) {
    TriangleCount c;
    s.mark_row(in, v, IN);
    s.mark_row(out, v, OUT);
    for (Node w : s.touched) {
        const Count cw = s.weight(w);
        c.db += cw == 2;
        c.d += cw;
        Count around = 0;
        for (Node x : in.row(w)) around += x != w ? s.weight(x) : 0;
        for (Node x : out.row(w)) around += x != w ? s.weight(x) : 0;
        c.t += cw * around;
    }
    s.reset();
    return c;
}

// Every node's undirected counts at once, each triangle found once: edges
// are oriented from the lower to the higher node in (distinct degree,
// position) order, so no node has more than about sqrt(2m) higher
// neighbours, and a triangle is the one wedge v -> u -> w of its lowest
// corner v whose far end w is also one of v's higher neighbours. Each find
// credits its three corners; the counts are integers, so the order in which
// workers add them cannot matter.
//
// Cost: the sum over oriented edges u -> w of w's higher degree, at most
// O(m sqrt(m)), against the sum of squared degrees of the per-node count.
Result<std::vector<TriangleCount>> undirected_counts_all(const Csr& rows) {
    const Count n = rows.node_count();
    constexpr Node NONE = 0xFFFFFFFFu;
    std::vector<TriangleCount> counts(n);
    const Pieces pieces = split(n);
    // Runs `row_step(v, stamp)` for every node, in parallel; `stamp` is the
    // piece's own marker array, where stamp[w] == v marks w as seen from v.
    // (An interruption is looked for every few hundred rows: the look reads
    // the clock.)
    auto each_row = [&](auto&& row_step) {
        return parallel_for(pieces.pieces, [&](std::size_t piece) {
            std::vector<Node> stamp(n, NONE);
            for (std::size_t v = pieces.begin(piece); v < pieces.end(piece); ++v) {
                if (v % 256 == 0 && stop_requested()) return;
                row_step(static_cast<Node>(v), stamp);
            }
        });
    };
    // Distinct neighbours, self-loops and repeated slots left out.
    Status st = each_row([&](Node v, std::vector<Node>& stamp) {
        Count d = 0;
        for (Node w : rows.row(v)) {
            if (w == v || stamp[w] == v) continue;
            stamp[w] = v;
            ++d;
        }
        counts[v].d = d;
    });
    if (!st.ok()) return st.error();
    // Each row's higher neighbours, first kept in place of the row's own
    // slots (row v of `up` spans [rows.begin(v), up_at[v + 1])), then packed
    // together so that the wedge walk below reads one dense array.
    // The order's key, degree then position, packed in one integer; written
    // without branches, as about half the neighbours rank higher at random.
    std::vector<std::uint64_t> rank(n);
    for (Count v = 0; v < n; ++v) rank[v] = counts[v].d << 32 | v;
    std::vector<Node> up(rows.targets.size());
    std::vector<Slot> up_at(n + 1);
    st = each_row([&](Node v, std::vector<Node>& stamp) {
        Slot at = rows.begin(v);
        const std::uint64_t own = rank[v];
        for (Node w : rows.row(v)) {
            const bool keep = rank[w] > own && stamp[w] != v;  // a self-loop ranks equal: left out
            stamp[w] = keep ? v : stamp[w];
            up[at] = w;
            at += keep;
        }
        up_at[v + 1] = at;
    });
    if (!st.ok()) return st.error();
    // Rows only move toward the front, so the packing can run in place.
    up_at[0] = 0;
    for (Node v = 0; v < n; ++v) {
        const Slot from = rows.begin(v);
        const Slot length = up_at[v + 1] - from;
        if (up_at[v] != from) {
            std::copy(up.begin() + static_cast<std::ptrdiff_t>(from),
                      up.begin() + static_cast<std::ptrdiff_t>(from + length),
                      up.begin() + static_cast<std::ptrdiff_t>(up_at[v]));
        }
        up_at[v + 1] = up_at[v] + length;
    }
    auto up_row = [&](Node v) { return std::span<const Node>(up.data() + up_at[v], up.data() + up_at[v + 1]); };
    std::vector<Count> per_corner(n, 0);
    // One thread needs no atomic additions.
    const bool shared = pool_size() > 1;
    st = each_row([&](Node lowest, std::vector<Node>& mark) {
        for (Node u : up_row(lowest)) mark[u] = lowest;
        for (Node u : up_row(lowest)) {
            for (Node w : up_row(u)) {
                if (mark[w] != lowest) continue;
                for (Node corner : {lowest, u, w}) {
                    if (shared) {
                        std::atomic_ref<Count>(per_corner[corner]).fetch_add(1, std::memory_order_relaxed);
                    } else {
                        ++per_corner[corner];
                    }
                }
            }
        }
    });
    if (!st.ok()) return st.error();
    // NetworkX counts each triangle from both of its other corners.
    for (Count v = 0; v < n; ++v) counts[v].t = 2 * per_corner[v];
    return counts;
}

}  // namespace

Result<std::vector<TriangleCount>> triangle_counts(const Csr& out, const Csr* in, const std::vector<Node>& nodes,
                                                   bool symmetric) {
    const Count n = out.node_count();
    if (symmetric && in == nullptr && nodes.size() == n && n > 0 && nodes.front() == 0 && nodes.back() == n - 1) {
        bool every_node_in_order = true;
        for (Count i = 0; i < n && every_node_in_order; ++i) every_node_in_order = nodes[i] == i;
        if (every_node_in_order) return undirected_counts_all(out);
    }
    return map_with_scratch(
        nodes.size(), [&] { return TriangleScratch{std::vector<std::uint8_t>(n, 0), {}}; },
        [&](TriangleScratch& s, std::size_t i) {
            return in ? directed_count(out, *in, s, nodes[i]) : undirected_count(out, s, nodes[i]);
        });
}


namespace {

// Every node's undirected counts, for the kernels below that skip the nodes
// on no triangle.
Result<std::vector<TriangleCount>> every_node_triangles(const Csr& out) {
    const Count n = out.node_count();
    std::vector<Node> all(n);
    for (Count v = 0; v < n; ++v) all[v] = static_cast<Node>(v);
    return triangle_counts(out, nullptr, all, true);
}

}  // namespace

// NetworkX's square_clustering, per node v with neighbour set S (self-loops
// left out, as its cached sets discard them): every node x other than v near
// v gets c(x) = |S & N(x)|, and NetworkX's squares add c(x) * (c(x) - 1) over
// S and the two-hop nodes; its triangles are c(u) summed over u in S, and
// its uw_degrees |N(u)| * (|S| - 1) over u in S. Undirected rows are
// symmetric, so c(x) is how many u in S have x in their rows: one pass over
// S's rows. Directed rows are not, so there c(x) is counted from x's own
// row against the marks of S. All integers: the split cannot change them.
namespace {

struct SquareScratch {
    std::vector<Node> stamp;  // stamp[x] == v: x in S (x's own search: see below)
    std::vector<Count> common;
    std::vector<Node> touched;
    std::vector<Node> seen;   // a second stamp, for distinct rows
    Node round = 0;           // seen[x] == round: x met in the current row
};

constexpr Node NO_NODE = 0xFFFFFFFFu;

// The distinct neighbours of v other than v, through `visit`.
template <class Visit>
void distinct_row(const Csr& out, Node v, SquareScratch& s, Visit&& visit) {
    ++s.round;
    if (s.round == NO_NODE) {
        std::fill(s.seen.begin(), s.seen.end(), NO_NODE);
        s.round = 0;
    }
    for (Node w : out.row(v)) {
        if (w == v || s.seen[w] == s.round) continue;
        s.seen[w] = s.round;
        visit(w);
    }
}

SquareCount square_count(const Csr& out, const std::vector<Count>& degree, SquareScratch& s, Node v,
                         bool symmetric) {
    SquareCount c;
    std::vector<Node> S;
    distinct_row(out, v, s, [&](Node u) { S.push_back(u); });
    const auto d = static_cast<std::int64_t>(S.size());
    if (d - 1 <= 0) {
        c.short_row = true;
        return c;
    }
    for (Node u : S) s.stamp[u] = v;
    std::int64_t uw_degrees = 0;
    std::int64_t triangles = 0;
    std::int64_t squares = 0;
    if (symmetric) {
        for (Node u : S) {
            uw_degrees += static_cast<std::int64_t>(degree[u]) * (d - 1);
            distinct_row(out, u, s, [&](Node x) {
                if (x == v) return;
                if (s.common[x]++ == 0) s.touched.push_back(x);
            });
        }
        for (Node u : S) triangles += static_cast<std::int64_t>(s.common[u]);
    } else {
        // The nodes whose c(x) counts: S, then the two-hop nodes, each once.
        for (Node u : S) s.touched.push_back(u), s.common[u] = 1;
        for (Node u : S) {
            uw_degrees += static_cast<std::int64_t>(degree[u]) * (d - 1);
            distinct_row(out, u, s, [&](Node x) {
                if (x == v || s.common[x] != 0) return;
                s.common[x] = 1;
                s.touched.push_back(x);
            });
        }
        for (Node x : s.touched) {
            Count p2 = 0;
            distinct_row(out, x, s, [&](Node z) { p2 += s.stamp[z] == v; });
            s.common[x] = p2 + 1;  // kept one above c(x), so that a zero still marks x
        }
        for (Node x : s.touched) --s.common[x];
        for (Node u : S) triangles += static_cast<std::int64_t>(s.common[u]);
    }
    for (Node x : s.touched) {
        const auto p2 = static_cast<std::int64_t>(s.common[x]);
        squares += p2 * (p2 - 1);
        s.common[x] = 0;
    }
    s.touched.clear();
    for (Node u : S) s.stamp[u] = NO_NODE;
    squares /= 2;
    c.squares = squares;
    c.potential = uw_degrees - d * (d - 1) - triangles - squares;
    return c;
}

}  // namespace

Result<std::vector<SquareCount>> square_counts(const Csr& out, const std::vector<Node>& nodes, bool symmetric) {
    const Count n = out.node_count();
    auto fresh = [&] {
        return SquareScratch{std::vector<Node>(n, NO_NODE), std::vector<Count>(n, 0), {},
                             std::vector<Node>(n, NO_NODE), 0};
    };
    // |N(u)| without self-loops or repeats, for every node at once.
    auto degree = map_with_scratch(n, fresh, [&](SquareScratch& s, std::size_t u) {
        Count d = 0;
        distinct_row(out, static_cast<Node>(u), s, [&](Node) { ++d; });
        return d;
    });
    if (!degree.ok()) return degree.error();
    return map_with_scratch(nodes.size(), fresh, [&](SquareScratch& s, std::size_t i) {
        return square_count(out, degree.value(), s, nodes[i], symmetric);
    });
}

// generalized_degree: vs = set(G[v]) - {v} replayed as NetworkX forms it
// (set(G[v]) adds the row's keys one by one; the difference with {v} then
// copies or rebuilds it as CPython's set_difference does), and for each w
// of vs in table order, |vs & (set(G[w]) - {w})| goes into the Counter,
// whose keys keep their first appearance.
Result<DegreeCounts> generalized_degrees(const Csr& out, const std::vector<Node>& nodes,
                                         const std::vector<std::int64_t>& hash) {
    const Count n = out.node_count();
    using Pairs = std::vector<std::pair<Count, Count>>;
    auto triangles = every_node_triangles(out);
    if (!triangles.ok()) return triangles.error();
    auto per_node = map_with_scratch(
        nodes.size(),
        [&] {
            return SquareScratch{std::vector<Node>(n, NO_NODE), std::vector<Count>(), {},
                                 std::vector<Node>(n, NO_NODE), 0};
        },
        [&](SquareScratch& s, std::size_t i) {
            const Node v = nodes[i];
            // A node on no triangle: every neighbour counts 0.
            const TriangleCount& c = triangles.value()[v];
            if (c.t == 0) return c.d == 0 ? Pairs{} : Pairs{{0, c.d}};
            SetTable row;
            for (Node w : out.row(v)) row.add(w, hash[w]);
            auto hash_of = [&](Node x) { return hash[x]; };
            const SetTable vs = SetTable::difference(row, 1, [&](Node x) { return x == v; }, hash_of);
            vs.each([&](Node w) { s.stamp[w] = v; });
            Pairs pairs;
            vs.each([&](Node w) {
                Count k = 0;
                distinct_row(out, w, s, [&](Node x) { k += s.stamp[x] == v; });
                auto at = std::find_if(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == k; });
                if (at == pairs.end()) {
                    pairs.emplace_back(k, 1);
                } else {
                    ++at->second;
                }
            });
            vs.each([&](Node w) { s.stamp[w] = NO_NODE; });
            return pairs;
        });
    if (!per_node.ok()) return per_node.error();
    DegreeCounts result;
    result.bounds.push_back(0);
    for (const Pairs& pairs : per_node.value()) {
        for (const auto& [k, c] : pairs) {
            result.keys.push_back(k);
            result.counts.push_back(c);
        }
        result.bounds.push_back(result.keys.size());
    }
    return result;
}


// NetworkX's _weighted_triangles_and_degree_iter, node i at a time:
//   inbrs = set(G[i]) - {i}; seen = set()
//   for j in inbrs: seen.add(j); jnbrs = set(G[j]) - seen
//       total += np.cbrt([wt(i, j) * wt(j, k) * wt(k, i) for k in inbrs & jnbrs]).sum()
// Every set is replayed on SetTable so that each group's k come in
// NetworkX's order (numpy's pairwise sum depends on it); the products are
// formed left to right in doubles, as Python multiplies floats. The cube
// roots are left to numpy itself (np.cbrt), between the two halves.
namespace {

struct WeightedScratch {
    std::vector<Node> in_i;     // in_i[x] == i: x in inbrs
    std::vector<Node> seen;     // seen[x] == i: x in NetworkX's `seen`
    std::vector<double> w_i;    // weight of (i, x), for x in G[i]
    std::vector<double> w_j;    // weight of (j, x), for x in G[j]
    std::vector<Node> common;   // inbrs & jnbrs in G[j]'s order
};

struct NodeTerms {
    std::vector<double> products;
    std::vector<std::uint64_t> sizes;
    Count degree = 0;
};

NodeTerms node_terms(const Csr& out, const std::vector<double>& weights, double max_weight,
                     const std::vector<std::int64_t>& hash, WeightedScratch& s, Node i) {
    NodeTerms t;
    auto hash_of = [&](Node x) { return hash[x]; };
    SetTable row;
    for (Slot at = out.begin(i); at < out.end(i); ++at) {
        row.add(out.targets[at], hash[out.targets[at]]);
        s.w_i[out.targets[at]] = weights[at];
    }
    const SetTable inbrs = SetTable::difference(row, 1, [&](Node x) { return x == i; }, hash_of);
    inbrs.each([&](Node x) { s.in_i[x] = i; });
    t.degree = inbrs.size();
    std::size_t seen_size = 0;
    inbrs.each([&](Node j) {
        s.seen[j] = i;
        ++seen_size;
        // jnbrs = set(G[j]) - seen: its size, and its members in inbrs (rows hold no repeats).
        std::size_t jsize = 0;
        s.common.clear();
        for (Slot at = out.begin(j); at < out.end(j); ++at) {
            const Node x = out.targets[at];
            s.w_j[x] = weights[at];
            if (s.seen[x] == i) continue;
            ++jsize;
            if (s.in_i[x] == i) s.common.push_back(x);
        }
        const double wij = s.w_i[j] / max_weight;
        auto product = [&](Node k) { t.products.push_back(wij * (s.w_j[k] / max_weight) * (s.w_i[k] / max_weight)); };
        t.sizes.push_back(s.common.size());
        if (s.common.size() < 2) {  // no order to follow
            for (Node k : s.common) product(k);
            return;
        }
        // inbrs & jnbrs: set_intersection walks the smaller set (the argument
        // on a tie) and adds its common keys to a new set, iterated after.
        for (Node x : s.common) s.in_i[x] = NO_NODE - 1;  // marks the common keys for a moment
        auto is_common = [&](Node x) { return s.in_i[x] == NO_NODE - 1; };
        SetTable both;
        if (jsize > inbrs.size()) {
            inbrs.each([&](Node x) {
                if (is_common(x)) both.add(x, hash[x]);
            });
        } else {
            SetTable jrow;
            for (Node x : out.row(j)) jrow.add(x, hash[x]);
            const SetTable jnbrs =
                SetTable::difference(jrow, seen_size, [&](Node x) { return s.seen[x] == i; }, hash_of);
            jnbrs.each([&](Node x) {
                if (is_common(x)) both.add(x, hash[x]);
            });
        }
        for (Node x : s.common) s.in_i[x] = i;
        both.each(product);
    });
    inbrs.each([&](Node j) { s.seen[j] = NO_NODE; s.in_i[j] = NO_NODE; });
    return t;
}

// NetworkX's max(d.get(weight, 1) for u, v, d in G.edges(data=True)): the
// edges in G's order (each once, from its end first in G), a value replacing
// the running one only when greater (so a NaN met first stays).
double largest_weight(const Csr& out, const std::vector<double>& weights, bool directed) {
    const Count n = out.node_count();
    bool any = false;
    double best = 1.0;  // no edge: NetworkX's 1
    for (Node u = 0; u < n; ++u) {
        for (Slot at = out.begin(u); at < out.end(u); ++at) {
            if (!directed && out.targets[at] < u) continue;
            if (!any || weights[at] > best) best = weights[at];
            any = true;
        }
    }
    return best;
}

}  // namespace

Result<WeightedTerms> weighted_triangle_terms(const Csr& out, const std::vector<double>& weights,
                                              const std::vector<Node>& nodes, const std::vector<std::int64_t>& hash) {
    const Count n = out.node_count();
    const double max_weight = largest_weight(out, weights, false);
    // A node on no triangle has only empty groups, one per neighbour: its
    // sets need no replay.
    auto triangles = every_node_triangles(out);
    if (!triangles.ok()) return triangles.error();
    auto per_node = map_with_scratch(
        nodes.size(),
        [&] {
            return WeightedScratch{std::vector<Node>(n, NO_NODE), std::vector<Node>(n, NO_NODE),
                                   std::vector<double>(n, 0.0), std::vector<double>(n, 0.0), {}};
        },
        [&](WeightedScratch& s, std::size_t at) {
            const TriangleCount& c = triangles.value()[nodes[at]];
            if (c.t == 0) return NodeTerms{{}, std::vector<std::uint64_t>(c.d, 0), c.d};
            return node_terms(out, weights, max_weight, hash, s, nodes[at]);
        });
    if (!per_node.ok()) return per_node.error();
    WeightedTerms terms;
    for (const NodeTerms& t : per_node.value()) {
        terms.products.insert(terms.products.end(), t.products.begin(), t.products.end());
        terms.group_sizes.insert(terms.group_sizes.end(), t.sizes.begin(), t.sizes.end());
        terms.degree.push_back(t.degree);
    }
    return terms;
}

std::vector<double> weighted_triangle_totals(const std::vector<double>& roots,
                                             const std::vector<std::uint64_t>& group_sizes,
                                             const std::vector<Count>& degree, Count groups_per_degree, bool doubled) {
    std::vector<double> totals;
    totals.reserve(degree.size());
    std::size_t group = 0;
    std::size_t at = 0;
    for (Count d : degree) {
        double total = 0.0;  // NetworkX's int 0: adding a float64 to it gives that float64
        for (Count g = 0; g < d * groups_per_degree; ++g, ++group) {
            const std::size_t size = group_sizes[group];
            total += numpy_sum([&](std::size_t x) { return roots[at + x]; }, size);
            at += size;
        }
        totals.push_back(doubled ? 2.0 * total : total);
    }
    return totals;
}

// The directed form, node i at a time, as the undirected one: the sets of
// i's and of j's predecessors and successors (self-loops left out) replayed
// only where a group has two terms or more, the only groups whose sum
// depends on their order.
namespace {

constexpr std::uint8_t PRED_OF_I = 1;
constexpr std::uint8_t SUCC_OF_I = 2;

struct DirectedScratch {
    std::vector<std::uint8_t> of_i;   // PRED_OF_I, SUCC_OF_I bits
    std::vector<double> wp_i, ws_i;   // w(x -> i), w(i -> x)
    std::vector<double> wp_j, ws_j;   // w(x -> j), w(j -> x)
    std::vector<Node> mark;           // common keys of the group in hand
    Node round = 0;
};

// set(row) - {v}, as NetworkX forms it from a row of G._pred or G._succ: a
// dict, for which set() sizes its table once before taking the keys.
SetTable row_set(const Csr& rows, Node v, const std::vector<std::int64_t>& hash) {
    SetTable row;
    row.reserve_update(rows.row(v).size());
    for (Node x : rows.row(v)) row.add(x, hash[x]);
    return SetTable::difference(row, 1, [&](Node x) { return x == v; }, [&](Node x) { return hash[x]; });
}

NodeTerms directed_node_terms(const Csr& out, const std::vector<double>& weights, const Csr& pred,
                              const std::vector<double>& pred_weights, double max_weight,
                              const std::vector<std::int64_t>& hash, DirectedScratch& s, Node i, Count& db) {
    NodeTerms t;
    const SetTable ipreds = row_set(pred, i, hash);
    const SetTable isuccs = row_set(out, i, hash);
    for (Slot at = pred.begin(i); at < pred.end(i); ++at) {
        const Node x = pred.targets[at];
        if (x == i) continue;
        s.of_i[x] |= PRED_OF_I;
        s.wp_i[x] = pred_weights[at];
    }
    for (Slot at = out.begin(i); at < out.end(i); ++at) {
        const Node x = out.targets[at];
        if (x == i) continue;
        s.of_i[x] |= SUCC_OF_I;
        s.ws_i[x] = weights[at];
    }
    db = 0;
    ipreds.each([&](Node x) { db += (s.of_i[x] & SUCC_OF_I) != 0; });
    t.degree = ipreds.size() + isuccs.size();
    auto w = [&](double v) { return v / max_weight; };
    // One j: its four groups.
    auto groups = [&](Node j, bool j_pred) {
        std::size_t npj = 0, nsj = 0;
        for (Slot at = pred.begin(j); at < pred.end(j); ++at) {
            const Node x = pred.targets[at];
            if (x == j) continue;
            s.wp_j[x] = pred_weights[at];
            ++npj;
        }
        for (Slot at = out.begin(j); at < out.end(j); ++at) {
            const Node x = out.targets[at];
            if (x == j) continue;
            s.ws_j[x] = weights[at];
            ++nsj;
        }
        const double first = w(j_pred ? s.wp_i[j] : s.ws_i[j]);  // wt(j, i) or wt(i, j)
        for (int g = 0; g < 4; ++g) {
            const bool k_pred_of_i = g < 2;      // ipreds, else isuccs
            const bool k_pred_of_j = g % 2 == 0;  // jpreds, else jsuccs
            const SetTable& A = k_pred_of_i ? ipreds : isuccs;
            const std::size_t b_size = k_pred_of_j ? npj : nsj;
            auto term = [&](Node k) {
                const double ik = w(k_pred_of_i ? s.wp_i[k] : s.ws_i[k]);  // wt(k, i) or wt(i, k)
                const double jk = w(k_pred_of_j ? s.wp_j[k] : s.ws_j[k]);  // wt(k, j) or wt(j, k)
                t.products.push_back(first * ik * jk);
            };
            // A & B walks the smaller set (B on a tie) and adds its common keys to a new set.
            const std::uint8_t bit = k_pred_of_i ? PRED_OF_I : SUCC_OF_I;
            std::vector<Node> common;
            const Csr& b_rows = k_pred_of_j ? pred : out;
            for (Node x : b_rows.row(j)) {
                if (x != j && (s.of_i[x] & bit)) common.push_back(x);
            }
            t.sizes.push_back(common.size());
            if (common.size() < 2) {
                for (Node k : common) term(k);
                continue;
            }
            ++s.round;
            for (Node k : common) s.mark[k] = s.round;
            SetTable both;
            auto keep = [&](Node x) {
                if (s.mark[x] == s.round) both.add(x, hash[x]);
            };
            if (b_size > A.size()) {
                A.each(keep);
            } else {
                row_set(b_rows, j, hash).each(keep);
            }
            both.each(term);
        }
    };
    ipreds.each([&](Node j) { groups(j, true); });
    isuccs.each([&](Node j) { groups(j, false); });
    for (Node x : pred.row(i)) s.of_i[x] = 0;
    for (Node x : out.row(i)) s.of_i[x] = 0;
    return t;
}

}  // namespace

Result<WeightedTerms> directed_weighted_triangle_terms(const Csr& out, const std::vector<double>& weights,
                                                       const Csr& pred, const std::vector<double>& pred_weights,
                                                       const std::vector<Node>& nodes,
                                                       const std::vector<std::int64_t>& hash) {
    const Count n = out.node_count();
    const double max_weight = largest_weight(out, weights, true);
    std::vector<Count> db(nodes.size(), 0);
    auto per_node = map_with_scratch(
        nodes.size(),
        [&] {
            return DirectedScratch{std::vector<std::uint8_t>(n, 0), std::vector<double>(n, 0.0),
                                   std::vector<double>(n, 0.0), std::vector<double>(n, 0.0),
                                   std::vector<double>(n, 0.0), std::vector<Node>(n, 0), 0};
        },
        [&](DirectedScratch& s, std::size_t at) {
            return directed_node_terms(out, weights, pred, pred_weights, max_weight, hash, s, nodes[at], db[at]);
        });
    if (!per_node.ok()) return per_node.error();
    WeightedTerms terms;
    for (const NodeTerms& t : per_node.value()) {
        terms.products.insert(terms.products.end(), t.products.begin(), t.products.end());
        terms.group_sizes.insert(terms.group_sizes.end(), t.sizes.begin(), t.sizes.end());
        terms.degree.push_back(t.degree);
    }
    terms.bidirectional = std::move(db);
    return terms;
}

}  // namespace fennel
