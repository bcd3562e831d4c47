// Current-flow betweenness and closeness, NetworkX's loops over the rows of
// the inverse Laplacian.
//
// NetworkX relabels G by reverse_cuthill_mckee_ordering: a pseudo-peripheral
// start (breadth-first searches from the first node, each moving to the
// farthest node of least degree, first in search order, until the depth stops
// growing), then a breadth-first order in which each parent's unvisited
// neighbours, as the set `set(G[parent]) - visited` iterates (CPython's table
// order, replayed by SetTable from the nodes' hashes), are sorted by degree
// (a stable sort); the labels are that order reversed.
//
// flow_matrix_row then takes the edges as sorted (u, v) label pairs, u < v,
// and forms row = B @ C with B = c at u and -c at v: c * R[u] - c * R[v]
// (a self-loop's B holds -c alone: -c * R[u]),
// where R[r] is the inverse Laplacian's row r (first entry 0). Fennel serves
// weights that are powers of two only, whose products are exact, so the one
// rounding of each entry is the subtraction's whatever order or fused
// multiply-add the BLAS kernel uses; an exact zero comes out +0.0, as from a
// sum started at +0.0. NetworkX then ranks the row by numpy's argsort,
// reversed, and adds (i - pos[i]) * row[i] term by term. Entries of equal
// value share a range of ranks: which of them takes which rank changes the
// terms only when their value is not zero, so a row with equal non-zero
// entries is ranked by numpy's own argsort (the caller's callback, once per
// batch of rows), any other by a sort here.
//
// Cost: O(m n log n) for the betweenness (one sort per edge), O(n^2) for the
// closeness; rows are sorted in parallel, each result placed by index.
#include "algorithms/current_flow.hpp"

#include "algorithms/set_table.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <utility>

namespace fennel {

namespace {

// G.degree: a self-loop counts twice.
std::size_t degree(const Csr& rows, Node v) {
    std::size_t d = rows.row(v).size();
    for (Node w : rows.row(v)) d += w == v;
    return d;
}

// Breadth-first order from s over `rows` and each node's depth.
void search(const Csr& rows, Node s, std::vector<Node>& order, std::vector<std::uint32_t>& depth) {
    constexpr std::uint32_t UNSEEN = 0xFFFFFFFFu;
    depth.assign(rows.node_count(), UNSEEN);
    order.clear();
    order.push_back(s);
    depth[s] = 0;
    for (std::size_t head = 0; head < order.size(); ++head) {
        const Node v = order[head];
        for (Node w : rows.row(v)) {
            if (depth[w] == UNSEEN) {
                depth[w] = depth[v] + 1;
                order.push_back(w);
            }
        }
    }
}

// NetworkX's pseudo_peripheral_node, from the first node; nullopt when the
// search does not reach every node.
std::optional<Node> pseudo_peripheral(const Csr& rows) {
    std::vector<Node> order;
    std::vector<std::uint32_t> depth;
    Node v = 0;
    std::uint32_t lp = 0;
    for (bool first = true;; first = false) {
        search(rows, v, order, depth);
        if (first && order.size() != rows.node_count()) return std::nullopt;
        const std::uint32_t l = depth[order.back()];  // the last found is the deepest
        if (l <= lp) break;
        lp = l;
        // min(G.degree(farthest)): the first of least degree, in search order.
        std::optional<Node> best;
        for (Node w : order) {
            if (depth[w] != l) continue;
            if (!best || degree(rows, w) < degree(rows, *best)) best = w;
        }
        v = *best;
    }
    return v;
}

// A row minus another, times c: exact products, one rounding, +0.0 for zero.
void flow_row(const InverseRows& inv, const LabelledEdge& e, std::vector<double>& row) {
    const double* ru = inv.row(e.u);
    const double* rv = inv.row(e.v);
    const double c = e.c;
    if (e.u == e.v) {
        for (std::size_t j = 0; j < inv.n; ++j) row[j] = -c * ru[j] + 0.0;
        return;
    }
    for (std::size_t j = 0; j < inv.n; ++j) row[j] = (c * ru[j] - c * rv[j]) + 0.0;
}

// pos[i] = n - 1 - rank of entry i in ascending order (NetworkX's
// argsort()[::-1] positions). False when equal non-zero entries make the
// ranks numpy's to decide.
// Whether two entries of the row are equal and not zero: an open-addressing
// table of the non-zero values' bits.
bool has_nonzero_ties(const std::vector<double>& row, std::vector<std::uint64_t>& table) {
    std::size_t size = 16;
    while (size < 2 * row.size()) size *= 2;
    table.assign(size, 0);  // 0: empty (the bits of +0.0, never stored)
    const std::size_t mask = size - 1;
    for (double x : row) {
        if (x == 0.0) continue;
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
        std::size_t at = static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> 32) & mask;
        while (table[at] != 0) {
            if (table[at] == bits) return true;
            at = (at + 1) & mask;
        }
        table[at] = bits;
    }
    return false;
}

bool rank_row(const std::vector<double>& row, std::vector<std::pair<double, Node>>& scratch,
              std::vector<std::uint64_t>& table, std::uint32_t* pos) {
    if (has_nonzero_ties(row, table)) return false;
    const std::size_t n = row.size();
    scratch.resize(n);
    for (std::size_t i = 0; i < n; ++i) scratch[i] = {row[i], static_cast<Node>(i)};
    std::sort(scratch.begin(), scratch.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t k = 0; k < n; ++k) pos[scratch[k].second] = static_cast<std::uint32_t>(n - 1 - k);
    return true;
}

// Edges per batch: rows and ranks of a batch stay within about 96 MB.
std::size_t batch_size(Count n) { return std::max<std::size_t>(1, (std::size_t{8} << 20) / std::max<Count>(n, 1)); }

// Runs rank_batch over the edges batch by batch: each batch's rows are
// formed and ranked in parallel, rows with equal non-zero entries then
// ranked by numpy in edge order, and `use(k, row, pos)` called for each edge
// of the batch in order.
template <class Use>
Status over_ranked_rows(const InverseRows& inv, const std::vector<LabelledEdge>& edges,
                        const NumpyArgsort& argsort, Use&& use) {
    const std::size_t n = inv.n;
    const std::size_t step = batch_size(n);
    std::vector<double> rows;
    std::vector<std::uint32_t> pos;
    std::vector<std::uint8_t> ranked;
    for (std::size_t lo = 0; lo < edges.size(); lo += step) {
        if (poll_interrupt()) return interrupted();
        const std::size_t k = std::min(step, edges.size() - lo);
        rows.resize(k * n);
        pos.resize(k * n);
        ranked.assign(k, 0);
        const Pieces pieces = split(k);
        Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
            std::vector<double> row(n);
            std::vector<std::pair<double, Node>> scratch;
            std::vector<std::uint64_t> table;
            for (std::size_t i = pieces.begin(piece); i < pieces.end(piece); ++i) {
                flow_row(inv, edges[lo + i], row);
                std::copy(row.begin(), row.end(), rows.begin() + static_cast<std::ptrdiff_t>(i * n));
                ranked[i] = rank_row(row, scratch, table, pos.data() + i * n);
            }
        });
        if (!st.ok()) return st;
        // The rows with equal non-zero entries, ranked by numpy in one call.
        std::vector<std::size_t> tied;
        for (std::size_t i = 0; i < k; ++i) {
            if (!ranked[i]) tied.push_back(i);
        }
        if (!tied.empty()) {
            std::vector<double> block(tied.size() * n);
            for (std::size_t t = 0; t < tied.size(); ++t) {
                std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(tied[t] * n), n,
                            block.begin() + static_cast<std::ptrdiff_t>(t * n));
            }
            std::vector<std::int64_t> orders;
            if (Status r = argsort(block, n, orders); !r.ok()) return r;
            for (std::size_t t = 0; t < tied.size(); ++t) {
                std::uint32_t* p = pos.data() + tied[t] * n;
                for (std::size_t r = 0; r < n; ++r) p[orders[t * n + r]] = static_cast<std::uint32_t>(n - 1 - r);
            }
        }
        if (Status u = use(lo, k, rows.data(), pos.data()); !u.ok()) return u;
        add_progress(k);
    }
    return {};
}

}  // namespace

Result<std::optional<std::vector<Node>>> reverse_cuthill_mckee(const Csr& rows, const std::vector<std::int64_t>& hash) {
    using Out = std::optional<std::vector<Node>>;
    const Count n = rows.node_count();
    if (n == 0) return Out{std::vector<Node>{}};
    const std::optional<Node> start = pseudo_peripheral(rows);
    if (!start) return Out{};
    auto hash_of = [&](Node x) { return hash[x]; };
    std::vector<std::uint8_t> visited(n, 0);
    std::size_t visited_count = 1;
    visited[*start] = 1;
    std::vector<Node> queue{*start};
    queue.reserve(n);
    std::vector<Node> nd;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        if ((head & 0xFFF) == 0 && poll_interrupt()) return interrupted();
        const Node parent = queue[head];
        // sorted(G.degree(set(G[parent]) - visited), key=degree)
        SetTable nbrs;
        for (Node w : rows.row(parent)) nbrs.add(w, hash[w]);
        const SetTable fresh =
            SetTable::difference(nbrs, visited_count, [&](Node x) { return visited[x] != 0; }, hash_of);
        nd.clear();
        fresh.each([&](Node x) { nd.push_back(x); });
        std::stable_sort(nd.begin(), nd.end(), [&](Node a, Node b) { return degree(rows, a) < degree(rows, b); });
        // visited.update(children)
        for (Node w : nd) visited[w] = 1;
        visited_count += nd.size();
        queue.insert(queue.end(), nd.begin(), nd.end());
    }
    std::reverse(queue.begin(), queue.end());
    return Out{std::move(queue)};
}

int flow_graph_problem(const CoreGraph& g, const std::vector<double>* weights) {
    for (Node u = 0; u < g.n; ++u) {
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            if (!weights) continue;
            int exponent = 0;
            const double w = (*weights)[s];
            if (!(w > 0.0) || std::frexp(w, &exponent) != 0.5 || exponent < -19 || exponent > 21) return 2;
        }
    }
    return 0;
}

std::vector<LabelledEdge> labelled_edges(const CoreGraph& g, const std::vector<double>* weights,
                                         const std::vector<Node>& label) {
    std::vector<LabelledEdge> edges;
    for (Node u = 0; u < g.n; ++u) {
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            const Node v = g.succ.targets[s];
            if (v < u) continue;  // listed from its earlier endpoint (a self-loop once)
            const Node a = label[u], b = label[v];
            edges.push_back({std::min(a, b), std::max(a, b), weights ? (*weights)[s] : 1.0, edges.size()});
        }
    }
    std::sort(edges.begin(), edges.end(),
              [](const LabelledEdge& x, const LabelledEdge& y) { return x.u != y.u ? x.u < y.u : x.v < y.v; });
    return edges;
}

LabelledAdjacency labelled_adjacency(const std::vector<LabelledEdge>& edges, Count n) {
    LabelledAdjacency out;
    out.indptr.assign(n + 1, 0);
    for (const LabelledEdge& e : edges) {
        ++out.indptr[e.u + 1];
        if (e.v != e.u) ++out.indptr[e.v + 1];  // a self-loop's w + w - w: one entry
    }
    for (Count r = 0; r < n; ++r) out.indptr[r + 1] += out.indptr[r];
    std::vector<std::int64_t> fill(out.indptr.begin(), out.indptr.end() - 1);
    out.indices.resize(static_cast<std::size_t>(out.indptr[n]));
    out.data.resize(static_cast<std::size_t>(out.indptr[n]));
    // Columns below the row come from edges (col, row), in ascending col order
    // as the edges are sorted by u; those above from edges (row, col).
    for (const LabelledEdge& e : edges) {
        if (e.v == e.u) continue;
        const auto k = fill[e.v]++;
        out.indices[k] = e.u;
        out.data[k] = e.c;
    }
    for (const LabelledEdge& e : edges) {
        const auto k = fill[e.u]++;
        out.indices[k] = e.v;
        out.data[k] = e.c;
    }
    return out;
}

Result<std::vector<double>> flow_betweenness_sums(const InverseRows& inv, const std::vector<LabelledEdge>& edges,
                                                  const NumpyArgsort& argsort) {
    const std::size_t n = inv.n;
    std::vector<double> b(n, 0.0);
    Status st = over_ranked_rows(inv, edges, argsort, [&](std::size_t lo, std::size_t k, const double* rows,
                                                          const std::uint32_t* pos) -> Status {
        // betweenness[s] += (i - pos[i]) * row[i]; betweenness[t] += (n - i - 1 - pos[i]) * row[i]
        for (std::size_t e = 0; e < k; ++e) {
            const double* row = rows + e * n;
            const std::uint32_t* p = pos + e * n;
            double& bs = b[edges[lo + e].u];
            double& bt = b[edges[lo + e].v];
            for (std::size_t i = 0; i < n; ++i) {
                const auto pi = static_cast<std::int64_t>(p[i]);
                const auto ii = static_cast<std::int64_t>(i);
                bs += static_cast<double>(ii - pi) * row[i];
                bt += static_cast<double>(static_cast<std::int64_t>(n) - ii - 1 - pi) * row[i];
            }
        }
        return {};
    });
    if (!st.ok()) return st.error();
    return b;
}

Result<std::vector<double>> edge_flow_betweenness(const InverseRows& inv, const std::vector<LabelledEdge>& edges,
                                                  double nb, const NumpyArgsort& argsort) {
    const std::size_t n = inv.n;
    std::vector<double> out(edges.size(), 0.0);
    Status st = over_ranked_rows(inv, edges, argsort, [&](std::size_t lo, std::size_t k, const double* rows,
                                                          const std::uint32_t* pos) -> Status {
        const Pieces pieces = split(k);
        return parallel_for(pieces.pieces, [&](std::size_t piece) {
            for (std::size_t e = pieces.begin(piece); e < pieces.end(piece); ++e) {
                const double* row = rows + e * n;
                const std::uint32_t* p = pos + e * n;
                // positions from 1: pos1 = pos + 1
                double b = 0.0;
                for (std::size_t i = 0; i < n; ++i) {
                    const auto p1 = static_cast<std::int64_t>(p[i]) + 1;
                    const auto ii = static_cast<std::int64_t>(i);
                    b += static_cast<double>(ii + 1 - p1) * row[i];
                    b += static_cast<double>(static_cast<std::int64_t>(n) - ii - p1) * row[i];
                }
                out[lo + e] = b / nb;
            }
        });
    });
    if (!st.ok()) return st.error();
    return out;
}

Result<std::vector<double>> flow_closeness_sums(const InverseRows& inv, const std::vector<Node>& order) {
    const std::size_t n = inv.n;
    std::vector<double> b(n, 0.0);
    // NetworkX: for v (in G's order): for w: b[v] += R[v][v] - 2 R[v][w];
    // b[w] += R[v][v]. Node x sees, in v's order, R[v][v] once for each
    // other v, and its own row's terms (its R[x][x] right after the term of
    // w = x) when v = x.
    const Pieces pieces = split(n);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        for (std::size_t xi = pieces.begin(piece); xi < pieces.end(piece) && !stop_requested(); ++xi) {
            const Node x = static_cast<Node>(xi);
            const double* rx = inv.row(x);
            const double cxx = rx[x];
            double s = 0.0;
            for (Node v : order) {
                if (v != x) {
                    s += inv.row(v)[v];
                    continue;
                }
                for (Node w : order) {
                    s += cxx - 2 * rx[w];
                    if (w == x) s += cxx;
                }
            }
            b[x] = s;
        }
    });
    if (!st.ok()) return st.error();
    return b;
}

}  // namespace fennel
