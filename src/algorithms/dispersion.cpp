// Dispersion counts. Per pair (u, v): O(|ST|^2 + sum of the common
// neighbours' degrees) with ST the common neighbours; sources run on the
// worker pool, each row's counts placed at its own offset.
#include "algorithms/dispersion.hpp"

#include "algorithms/set_table.hpp"
#include "lib/pool.hpp"

namespace fennel {

namespace {

struct Scratch {
    std::vector<std::uint64_t> near_u;  // stamp: w in set(G[u])
    std::vector<std::uint64_t> near_s;  // stamp: w in nbrs_s
    std::uint64_t pair = 0;
    std::uint64_t probe = 0;
    std::vector<Node> common;
};

DispersionCount count_pair(const Csr& rows, std::span<const std::int64_t> hashes, bool ordered, Scratch& k, Node u,
                           Node v) {
    const std::uint64_t mark = ++k.pair;
    for (Node w : rows.row(u)) k.near_u[w] = mark;
    // ST = {n for n in G[v] if n in u_nbrs}: adds in G[v]'s order.
    k.common.clear();
    for (Node w : rows.row(v)) {
        if (k.near_u[w] == mark) k.common.push_back(w);
    }
    if (ordered && k.common.size() >= 2) {
        // Which of s and t comes first decides the test, unless it is
        // symmetric: on undirected rows without self-loops t is not in
        // nbrs_s exactly when s is not in nbrs_t, and the disjointness reads
        // both alike.
        SetTable st;
        for (Node w : k.common) st.add(w, hashes[w]);
        k.common.clear();
        st.each([&](Node w) { k.common.push_back(w); });
    }
    DispersionCount out;
    out.embeddedness = k.common.size();
    for (std::size_t i = 0; i + 1 < k.common.size(); ++i) {
        const Node s = k.common[i];
        // nbrs_s = u_nbrs & set(G[s]) - {u, v}
        const std::uint64_t probe = ++k.probe;
        bool any = false;
        for (Node w : rows.row(s)) {
            if (k.near_u[w] == mark && w != u && w != v) {
                k.near_s[w] = probe;
                any = true;
            }
        }
        for (std::size_t j = i + 1; j < k.common.size(); ++j) {
            const Node t = k.common[j];
            if (k.near_s[t] == probe) continue;
            bool disjoint = true;
            if (any) {
                for (Node w : rows.row(t)) {
                    if (k.near_s[w] == probe) {
                        disjoint = false;
                        break;
                    }
                }
            }
            if (disjoint) ++out.total;
        }
    }
    return out;
}

Scratch fresh(Count n) { return {std::vector<std::uint64_t>(n, 0), std::vector<std::uint64_t>(n, 0), 0, 0, {}}; }

}  // namespace

DispersionCount dispersion_pair(const Csr& rows, std::span<const std::int64_t> hashes, bool ordered, Node u, Node v) {
    Scratch k = fresh(rows.node_count());
    return count_pair(rows, hashes, ordered, k, u, v);
}

Result<std::vector<DispersionCount>> dispersion_counts(const Csr& rows, std::span<const std::int64_t> hashes,
                                                        bool ordered, std::span<const Node> sources) {
    const Count n = rows.node_count();
    std::vector<std::size_t> offset(sources.size() + 1, 0);
    for (std::size_t i = 0; i < sources.size(); ++i) offset[i + 1] = offset[i] + rows.row(sources[i]).size();
    std::vector<DispersionCount> out(offset.back());
    const Pieces pieces = split(sources.size());
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        Scratch k = fresh(n);
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            const Node u = sources[i];
            std::size_t at = offset[i];
            for (Node v : rows.row(u)) out[at++] = count_pair(rows, hashes, ordered, k, u, v);
        }
    });
    if (!st.ok()) return st.error();
    return out;
}

}  // namespace fennel
