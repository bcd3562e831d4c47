// NetworkX's kruskal_mst_edges: a stable sort of the edges by weight, then a
// union-find that keeps the edges joining two trees.
//
// Cost: O(m log m) for the sort, near-linear for the joins (path halving).
#include "algorithms/tree.hpp"

#include <algorithm>
#include <cmath>

namespace fennel {

Result<KeptEdges> kruskal(const GraphView& view, bool maximum) {
    const Csr& out = *view.out;
    const Count n = view.n();
    struct Record {
        Node u, v;
        double w;
    };
    std::vector<Record> records;
    for (Node u = 0; u < n; ++u) {
        for (Slot s = out.begin(u); s < out.end(u); ++s) {
            const Node v = out.targets[s];
            if (!view.directed && v < u) continue;
            const double w = view.weights ? (*view.weights)[s] : 1.0;
            // NaN has no place in the order: the sort below would be undefined.
            if (std::isnan(w)) return value_error("no NaN weights");
            records.push_back({u, v, w});
        }
    }
    std::stable_sort(records.begin(), records.end(), [&](const Record& a, const Record& b) {
        return maximum ? a.w > b.w : a.w < b.w;
    });
    std::vector<Node> parent(n);
    for (Node x = 0; x < n; ++x) parent[x] = x;
    auto find = [&](Node x) {
        while (parent[x] != x) {
            parent[x] = parent[parent[x]];
            x = parent[x];
        }
        return x;
    };
    KeptEdges kept;
    for (const Record& r : records) {
        const Node ru = find(r.u), rv = find(r.v);
        if (ru == rv) continue;
        parent[ru] = rv;
        kept.us.push_back(r.u);
        kept.vs.push_back(r.v);
        if (kept.us.size() + 1 == n) break;  // a spanning tree: nothing more can join
    }
    return kept;
}

}  // namespace fennel
