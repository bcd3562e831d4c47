#include "algorithms/paths.hpp"

#include <algorithm>
#include <cmath>

namespace fennel {

Status DijkstraState::run(const Csr& adj, const std::vector<double>* weights, Node source,
                          std::optional<double> cutoff) {
    for (Node v : touched) {
        done[v] = 0;
        seen[v] = 0;
    }
    touched.clear();
    order.clear();
    heap.clear();

    // Invariant: every flag is clear, the lists are empty.
    std::uint64_t counter = 0;
    seen[source] = 1;
    touched.push_back(source);
    seen_dist[source] = 0.0;
    heap.push(0.0, counter, source);

    while (!heap.empty()) {
        const auto top = heap.pop();
        const Node v = top.payload;
        if (done[v]) continue;  // stale entry: v was finalized at a shorter distance
        const double d = top.distance();
        done[v] = 1;
        dist[v] = d;
        order.push_back(v);

        const Slot end = adj.end(v);
        if (weights == nullptr && cutoff && d + 1.0 > *cutoff) continue;
        for (Slot s = adj.begin(v); s < end; ++s) {
            const Node u = adj.targets[s];
            double vu;
            if (weights != nullptr) {
                const double w = (*weights)[s];
                if (std::isnan(w)) continue;  // hidden edge
                vu = d + w;
                if (cutoff && vu > *cutoff) continue;
            } else {
                vu = d + 1.0;
            }
            if (done[u]) {
                if (vu < dist[u]) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
                continue;
            }
            if (seen[u] && !(vu < seen_dist[u])) continue;
            if (!seen[u]) {
                seen[u] = 1;
                touched.push_back(u);
            }
            seen_dist[u] = vu;
            heap.push(vu, ++counter, u);
        }
    }
    return {};
}

BfsLengths bfs_length_search(const Csr& adj, Count n, Node source, double cutoff) {
    BfsLengths out;
    std::vector<std::uint8_t> visited(n, 0);
    visited[source] = 1;
    out.order.push_back(source);
    out.levels.push_back(0);
    Count count = 1;
    if (!(cutoff > 0.0)) return out;
    std::size_t start = 0;
    std::size_t end = 1;
    std::uint32_t level = 0;
    for (;;) {
        ++level;
        for (std::size_t i = start; i < end; ++i) {
            const Node v = out.order[i];
            for (Node u : adj.row(v)) {
                if (visited[u]) continue;
                visited[u] = 1;
                out.order.push_back(u);
                out.levels.push_back(level);
                ++count;
            }
            if (count == n) return out;  // every node reached
        }
        if (out.order.size() == end) return out;  // nothing new at this level
        if (!(static_cast<double>(level) < cutoff)) return out;
        start = end;
        end = out.order.size();
    }
}

}  // namespace fennel
