// Triangle counts as NetworkX's _triangles_and_degree_iter and
// _directed_triangles_and_degree_iter form them: a node's neighbours are
// marked once (self-loops and repeats ignored), then each neighbour's rows
// are walked against the marks. Exact integers throughout, so the parallel
// split cannot change a result.
//
// Cost: per node, the sum of its neighbours' row lengths.
#include "algorithms/cluster.hpp"

#include "lib/pool.hpp"

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

}  // namespace

Result<std::vector<TriangleCount>> triangle_counts(const Csr& out, const Csr* in, const std::vector<Node>& nodes) {
    const Count n = out.node_count();
    return map_with_scratch(
        nodes.size(), [&] { return TriangleScratch{std::vector<std::uint8_t>(n, 0), {}}; },
        [&](TriangleScratch& s, std::size_t i) {
            return in ? directed_count(out, *in, s, nodes[i]) : undirected_count(out, s, nodes[i]);
        });
}

}  // namespace fennel
