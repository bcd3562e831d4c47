// Group centralities (NetworkX's group.py).
//
// group_degree_centrality builds Python sets only to count them: the size
// of the union of the group's neighbourhoods without the group is the same
// whatever the sets' orders, so marks suffice.
//
// group_closeness_centrality adds the distances from the group (a
// multi-source search) over V - S, a set's order; the callers serve only
// integer distances whose total stays exact, so any order gives NetworkX's
// value, and a distance's source does not matter either.
#include "algorithms/group.hpp"

#include <cmath>
#include <functional>
#include <limits>
#include <queue>
#include <utility>

namespace fennel {

std::size_t group_degree(const Csr& rows, std::span<const Node> group) {
    std::vector<std::uint8_t> mark(rows.node_count(), 0);  // 1: a neighbour, 2: in the group
    for (Node v : group) mark[v] = 2;
    std::size_t count = 0;
    for (Node v : group) {
        for (Node w : rows.row(v)) {
            if (mark[w] == 0) {
                mark[w] = 1;
                ++count;
            }
        }
    }
    return count;
}

__int128 group_distance_total(const GraphView& view, std::span<const Node> group) {
    const Csr& rows = *view.out;
    const Count n = rows.node_count();
    std::vector<std::uint8_t> in_group(n, 0);
    for (Node v : group) in_group[v] = 1;
    __int128 total = 0;
    if (view.weights == nullptr) {
        std::vector<std::uint32_t> level(n, std::numeric_limits<std::uint32_t>::max());
        std::vector<Node> queue;
        queue.reserve(n);
        for (Node v : group) {
            if (level[v] != 0) {
                level[v] = 0;
                queue.push_back(v);
            }
        }
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const Node v = queue[head];
            for (Node w : rows.row(v)) {
                if (level[w] == std::numeric_limits<std::uint32_t>::max()) {
                    level[w] = level[v] + 1;
                    queue.push_back(w);
                    total += level[w];
                }
            }
        }
        return total;
    }
    const std::vector<double>& weights = *view.weights;
    std::vector<double> dist(n, std::numeric_limits<double>::infinity());
    std::vector<std::uint8_t> done(n, 0);
    using Entry = std::pair<double, Node>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> heap;
    for (Node v : group) {
        dist[v] = 0.0;
        heap.push({0.0, v});
    }
    while (!heap.empty()) {
        const auto [d, v] = heap.top();
        heap.pop();
        if (done[v]) continue;
        done[v] = 1;
        if (!in_group[v]) total += static_cast<__int128>(d);
        for (Slot p = rows.begin(v); p < rows.end(v); ++p) {
            const double w = weights[p];
            if (std::isnan(w)) continue;  // hidden edge
            const Node t = rows.targets[p];
            if (d + w < dist[t]) {
                dist[t] = d + w;
                heap.push({d + w, t});
            }
        }
    }
    return total;
}

}  // namespace fennel
