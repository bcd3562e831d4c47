// NetworkX's triadic_census (Batagelj and Mrvar): nodes are numbered with
// the census's nodes first, each connected triad is found once from the
// lowest-numbered of its nodes v, through a neighbour u numbered above v and
// a third node w chosen by NetworkX's rule, and the dyads with a node apart
// ("012", "102") are counted from each pair (v, u) in bulk. NetworkX numbers
// the census's nodes in the iteration order of a set; the count of each type
// does not depend on the numbering, so here they are numbered in G's order.
// Away from the census's nodes, NetworkX's corrections for the edges outside
// are repeated term for term, sets of predecessors and successors included
// (a self-loop puts a node in its own "both ways" set).
//
// Counts are integers, summed per piece and then added: the split cannot
// change them.
#include "algorithms/triads.hpp"

#include "lib/pool.hpp"

#include <mutex>

namespace fennel {

namespace {

constexpr std::uint8_t TO = 1;    // the centre has an edge to the node
constexpr std::uint8_t FROM = 2;  // the node has an edge to the centre

enum Name { T003 = 0, T012 = 1, T102 = 2 };

// Marks of one centre's neighbours: TO and FROM bits, and the list marked.
struct Neighbours {
    std::vector<std::uint8_t> mark;
    std::vector<Node> list;

    void fill(const Csr& out, const Csr& in, Node v) {
        for (Node w : out.row(v)) {
            if (mark[w] == 0) list.push_back(w);
            mark[w] |= TO;
        }
        for (Node w : in.row(v)) {
            if (mark[w] == 0) list.push_back(w);
            mark[w] |= FROM;
        }
    }
    void clear() {
        for (Node w : list) mark[w] = 0;
        list.clear();
    }
};

}  // namespace

Result<TriadCensus> triadic_census(const Csr& out, const Csr& in, const std::vector<std::uint8_t>& tricodes,
                                   const std::vector<std::uint8_t>& in_nodeset) {
    const Count n = out.node_count();
    // m: the census's nodes first, then the others, each in G's order.
    std::vector<Node> census_nodes;
    std::vector<std::uint64_t> m(n);
    for (Count v = 0; v < n; ++v) {
        if (in_nodeset[v]) {
            m[v] = census_nodes.size();
            census_nodes.push_back(static_cast<Node>(v));
        }
    }
    const Count inside = census_nodes.size();
    const bool partial = inside < n;
    {
        Count next = inside;
        for (Count v = 0; v < n; ++v) {
            if (!in_nodeset[v]) m[v] = next++;
        }
    }
    // NetworkX's sgl_edges_outside and dbl_edges_outside: the one-way and
    // two-way neighbours outside the census of the nodes outside, halved.
    std::int64_t sgl_outside = 0;
    std::int64_t dbl_outside = 0;
    if (partial) {
        Neighbours nb{std::vector<std::uint8_t>(n, 0), {}};
        std::int64_t sgl = 0;
        std::int64_t dbl = 0;
        for (Count x = 0; x < n; ++x) {
            if (in_nodeset[x]) continue;
            nb.fill(out, in, static_cast<Node>(x));
            for (Node y : nb.list) {
                if (in_nodeset[y]) continue;
                sgl += nb.mark[y] == TO || nb.mark[y] == FROM;
                dbl += nb.mark[y] == (TO | FROM);
            }
            nb.clear();
        }
        sgl_outside = sgl / 2;
        dbl_outside = dbl / 2;
    }

    const auto N = static_cast<std::int64_t>(n);
    TriadCensus census{};
    std::mutex merge;
    const Pieces pieces = split(inside);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        TriadCensus local{};
        Neighbours vn{std::vector<std::uint8_t>(n, 0), {}};
        Neighbours un{std::vector<std::uint8_t>(n, 0), {}};
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            const Node v = census_nodes[i];
            vn.fill(out, in, v);
            std::int64_t sgl_bdy = 0, sgl_out = 0, dbl_bdy = 0, dbl_out = 0;
            for (Node u : vn.list) {
                if (m[u] <= m[v]) continue;
                un.fill(out, in, u);
                // neighbors = (vnbrs | unbrs) - {u, v}, each w met once.
                std::int64_t size = 0;
                auto consider = [&](Node w) {
                    ++size;
                    if (m[u] < m[w] || (m[v] < m[w] && m[w] < m[u] && vn.mark[w] == 0)) {
                        const unsigned code = (vn.mark[u] & TO ? 1 : 0) | (vn.mark[u] & FROM ? 2 : 0) |
                                              (vn.mark[w] & TO ? 4 : 0) | (vn.mark[w] & FROM ? 8 : 0) |
                                              (un.mark[w] & TO ? 16 : 0) | (un.mark[w] & FROM ? 32 : 0);
                        ++local[tricodes[code] - 1];
                    }
                };
                for (Node w : vn.list) {
                    if (w != u && w != v) consider(w);
                }
                for (Node w : un.list) {
                    if (vn.mark[w] == 0 && w != u && w != v) consider(w);
                }
                local[vn.mark[u] == (TO | FROM) ? T102 : T012] += N - size - 2;
                if (partial && !in_nodeset[u]) {
                    // u's one-way and two-way neighbours outside the census,
                    // on v's boundary (also v's neighbours) or beyond it.
                    for (Node x : un.list) {
                        if (in_nodeset[x]) continue;
                        const bool bdy = vn.mark[x] != 0;
                        if (un.mark[x] == (TO | FROM)) {
                            (bdy ? dbl_bdy : dbl_out) += 1;
                        } else {
                            (bdy ? sgl_bdy : sgl_out) += 1;
                        }
                    }
                }
                un.clear();
            }
            if (partial) {
                local[T012] += sgl_outside - (sgl_out + sgl_bdy / 2);
                local[T102] += dbl_outside - (dbl_out + dbl_bdy / 2);
            }
            vn.clear();
        }
        std::lock_guard<std::mutex> hold(merge);
        for (std::size_t t = 0; t < local.size(); ++t) census[t] += local[t];
    });
    if (!st.ok()) return st.error();
    census[T003] = 0;
    return census;
}

}  // namespace fennel
