// Triangle counts as NetworkX's _triangles_and_degree_iter and
// _directed_triangles_and_degree_iter form them: a node's neighbours are
// marked once (self-loops and repeats ignored), then each neighbour's rows
// are walked against the marks. Exact integers throughout, so the parallel
// split cannot change a result.
//
// Cost: per node, the sum of its neighbours' row lengths. Every node of an
// undirected graph at once costs less (undirected_counts_all).
#include "algorithms/cluster.hpp"

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
    auto each_row = [&](auto&& row_step) {
        return parallel_for(pieces.pieces, [&](std::size_t piece) {
            std::vector<Node> stamp(n, NONE);
            for (std::size_t v = pieces.begin(piece); v < pieces.end(piece) && !stop_requested(); ++v) {
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
    // Each row's higher neighbours, kept in place of the row's own slots:
    // row v of `up` spans [rows.begin(v), up_end[v]).
    // The order's key, degree then position, packed in one integer; written
    // without branches, as about half the neighbours rank higher at random.
    std::vector<std::uint64_t> rank(n);
    for (Count v = 0; v < n; ++v) rank[v] = counts[v].d << 32 | v;
    std::vector<Node> up(rows.targets.size());
    std::vector<Slot> up_end(n);
    st = each_row([&](Node v, std::vector<Node>& stamp) {
        Slot at = rows.begin(v);
        const std::uint64_t own = rank[v];
        for (Node w : rows.row(v)) {
            const bool keep = rank[w] > own && stamp[w] != v;  // a self-loop ranks equal: left out
            stamp[w] = keep ? v : stamp[w];
            up[at] = w;
            at += keep;
        }
        up_end[v] = at;
    });
    if (!st.ok()) return st.error();
    auto up_row = [&](Node v) { return std::span<const Node>(up.data() + rows.begin(v), up.data() + up_end[v]); };
    std::vector<Count> per_corner(n, 0);
    st = each_row([&](Node lowest, std::vector<Node>& mark) {
        for (Node u : up_row(lowest)) mark[u] = lowest;
        for (Node u : up_row(lowest)) {
            for (Node w : up_row(u)) {
                if (mark[w] != lowest) continue;
                for (Node corner : {lowest, u, w}) {
                    std::atomic_ref<Count>(per_corner[corner]).fetch_add(1, std::memory_order_relaxed);
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

}  // namespace fennel
