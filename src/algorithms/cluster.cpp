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
    // Distinct neighbours, self-loops and repeated slots left out.
    std::vector<Node> stamp(n, NONE);
    for (Node v = 0; v < n; ++v) {
        for (Node w : rows.row(v)) {
            if (w == v || stamp[w] == v) continue;
            stamp[w] = v;
            ++counts[v].d;
        }
    }
    auto higher = [&](Node v, Node w) { return counts[v].d < counts[w].d || (counts[v].d == counts[w].d && v < w); };
    Csr up;
    up.offsets.assign(static_cast<std::size_t>(n) + 1, 0);
    std::fill(stamp.begin(), stamp.end(), NONE);
    for (Node v = 0; v < n; ++v) {
        for (Node w : rows.row(v)) {
            if (w == v || stamp[w] == v || !higher(v, w)) continue;
            stamp[w] = v;
            ++up.offsets[v + 1];
        }
    }
    for (Count v = 0; v < n; ++v) up.offsets[v + 1] += up.offsets[v];
    up.targets.resize(up.offsets.back());
    std::fill(stamp.begin(), stamp.end(), NONE);
    for (Node v = 0; v < n; ++v) {
        Slot at = up.offsets[v];
        for (Node w : rows.row(v)) {
            if (w == v || stamp[w] == v || !higher(v, w)) continue;
            stamp[w] = v;
            up.targets[at++] = w;
        }
    }
    std::vector<Count> triangles(n, 0);
    const Pieces pieces = split(n);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        std::vector<Node> mark(n, NONE);
        for (std::size_t v = pieces.begin(piece); v < pieces.end(piece) && !stop_requested(); ++v) {
            const auto lowest = static_cast<Node>(v);
            for (Node u : up.row(lowest)) mark[u] = lowest;
            for (Node u : up.row(lowest)) {
                for (Node w : up.row(u)) {
                    if (mark[w] != lowest) continue;
                    for (Node corner : {lowest, u, w}) {
                        std::atomic_ref<Count>(triangles[corner]).fetch_add(1, std::memory_order_relaxed);
                    }
                }
            }
        }
    });
    if (!st.ok()) return st.error();
    // NetworkX counts each triangle from both of its other corners.
    for (Count v = 0; v < n; ++v) counts[v].t = 2 * triangles[v];
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
