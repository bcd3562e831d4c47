// NetworkX's cycle_basis. `used[v]`, the nodes v has been seen from, only
// answers membership: a set of (v, u) pairs holds every node's.
//
// Cost: O(n + m + the cycles' total length) expected.
#include "algorithms/cycles.hpp"
#include "lib/pool.hpp"

#include <unordered_set>

namespace fennel {

Result<CycleLists> paton_cycles(const Csr& adj, std::optional<Node> root) {
    const Count n = adj.node_count();
    constexpr Node NONE = 0xFFFFFFFFu;
    if (root && *root >= n) return index_error();
    std::vector<Node> pred(n, NONE);  // NONE: not reached (not in `used`)
    std::unordered_set<std::uint64_t> used;
    auto pair = [](Node v, Node u) { return std::uint64_t{v} << 32 | u; };
    CycleLists result;
    std::vector<Node> stack;
    // gnodes.popitem(): the last node in node order not yet reached.
    Node last = static_cast<Node>(n);
    Node given = root ? *root : NONE;
    for (;;) {
        Node start;
        if (given != NONE) {
            start = given;
            given = NONE;
        } else {
            while (last > 0 && pred[last - 1] != NONE) --last;
            if (last == 0) break;
            start = --last;
        }
        if (poll_interrupt()) return interrupted();
        pred[start] = start;
        stack.assign(1, start);
        while (!stack.empty()) {
            const Node z = stack.back();
            stack.pop_back();
            for (const Node nbr : adj.row(z)) {
                if (pred[nbr] == NONE) {
                    pred[nbr] = z;
                    stack.push_back(nbr);
                    used.insert(pair(nbr, z));
                } else if (nbr == z) {
                    result.nodes.push_back(z);
                    result.bounds.push_back(static_cast<Node>(result.nodes.size()));
                } else if (!used.contains(pair(z, nbr))) {
                    result.nodes.push_back(nbr);
                    result.nodes.push_back(z);
                    Node p = pred[z];
                    // The walk up the tree meets a node nbr has seen within n steps.
                    for (Count steps = 0; !used.contains(pair(nbr, p)); ++steps) {
                        if (steps == n) return value_error("the spanning tree walk found no end");
                        result.nodes.push_back(p);
                        p = pred[p];
                    }
                    result.nodes.push_back(p);
                    result.bounds.push_back(static_cast<Node>(result.nodes.size()));
                    used.insert(pair(nbr, z));
                }
            }
        }
    }
    return result;
}

}  // namespace fennel
