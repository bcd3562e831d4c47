// Dominating sets. Costs: O(n + m) set operations for the greedy set (the
// pops scan dummies as CPython's do), O((n + m) log n) for the connected
// one, O(n + m) for the check.
#include "algorithms/dominating.hpp"

#include "algorithms/set_table.hpp"

#include <queue>
#include <tuple>

namespace fennel {

std::vector<Node> greedy_dominating_set(const Csr& rows, const std::vector<std::int64_t>& hashes,
                                        std::int64_t start) {
    const Count n = rows.node_count();
    const auto hash_of = [&](Node v) { return hashes[v]; };
    SetTable all;
    for (Node v = 0; v < n; ++v) all.add(v, hashes[v]);
    Node first = 0;
    if (start >= 0) {
        first = static_cast<Node>(start);
    } else {
        all.each([&, seen = false](Node v) mutable {
            if (!seen) first = v;
            seen = true;
        });
    }
    std::vector<Node> chosen{first};
    std::vector<std::uint8_t> in_chosen(n, 0), around(n, 0);
    in_chosen[first] = 1;
    // set(G[start]): its size and members are all the differences read.
    std::size_t dominated = 0;
    for (Node v : rows.row(first)) {
        if (!around[v]) ++dominated;
        around[v] = 1;
    }
    SetTable remaining = SetTable::difference(
        SetTable::difference(all, dominated, [&](Node v) { return around[v] != 0; }, hash_of), 1,
        [&](Node v) { return v == first; }, hash_of);
    std::vector<Node> undominated;
    while (remaining.size() > 0) {
        const Node v = remaining.pop();
        // set(G[v]) - dominating_set, taken before v joins it.
        undominated.clear();
        for (Node w : rows.row(v)) {
            if (!in_chosen[w]) undominated.push_back(w);
        }
        in_chosen[v] = 1;
        chosen.push_back(v);
        remaining.difference_update(undominated, hash_of);
    }
    return chosen;
}

bool dominates(const Csr& rows, const std::vector<std::uint8_t>& chosen) {
    const Count n = rows.node_count();
    std::vector<std::uint8_t> covered(chosen);
    for (Node v = 0; v < n; ++v) {
        if (!chosen[v]) continue;
        for (Node w : rows.row(v)) covered[w] = 1;
    }
    for (Node v = 0; v < n; ++v) {
        if (!covered[v]) return false;
    }
    return true;
}

std::vector<Node> greedy_connected_dominating_set(const Csr& rows, std::vector<std::int64_t> unseen_degree) {
    const Count n = rows.node_count();
    // max() over dict(G.degree).items() keeps the first of equal degrees.
    Node top = 0;
    for (Node v = 1; v < n; ++v) {
        if (unseen_degree[v] > unseen_degree[top]) top = v;
    }
    const std::int64_t top_degree = unseen_degree[top];
    for (Node w : rows.row(top)) --unseen_degree[w];
    std::vector<std::uint8_t> unseen(n, 1);
    unseen[top] = 0;
    std::size_t unseen_count = n - 1;
    // (-degree, count, node): counts are distinct, so any heap pops in one order.
    using Entry = std::tuple<std::int64_t, std::uint64_t, Node>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> seen;
    std::uint64_t count = 0;
    seen.emplace(-top_degree, count++, top);
    std::vector<Node> chosen;
    while (unseen_count > 0) {
        const auto [neg_degree, order, u] = seen.top();
        seen.pop();
        if (-neg_degree > unseen_degree[u]) {
            seen.emplace(-unseen_degree[u], order, u);
            continue;
        }
        for (Node v : rows.row(u)) {
            if (!unseen[v]) continue;
            unseen[v] = 0;
            --unseen_count;
            for (Node w : rows.row(v)) --unseen_degree[w];
            seen.emplace(-unseen_degree[v], count++, v);
        }
        chosen.push_back(u);
    }
    return chosen;
}

}  // namespace fennel
