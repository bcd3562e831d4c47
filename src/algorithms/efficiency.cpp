// NetworkX's local_efficiency: for each node v, global_efficiency of the
// subgraph view induced by v's neighbours S (v among them when it has a
// self-loop). global_efficiency adds 1 / d over every pair at distance d > 0
// with `g_eff += 1 / distance`, source by source in the view's node order and
// target by target in breadth-first order. Targets at one level add the same
// term, so within a source only the count of each level matters; the order
// of the sources does matter, and the view lists them as its filter does:
// the set of S's nodes in table order when S is under half of the node dict
// it filters, else G's order. That dict is G's own, or for a subgraph view G
// the one under G (G.subgraph filters the graph G views): `filtered` is its
// length.
#include "algorithms/efficiency.hpp"

#include "algorithms/set_table.hpp"
#include "lib/pool.hpp"

namespace fennel {

namespace {

constexpr Node NONE = 0xFFFFFFFFu;

struct Scratch {
    std::vector<Node> local;  // local[x]: x's index in the subgraph, or NONE
    std::vector<Node> members;
    std::vector<std::size_t> offsets;
    std::vector<Node> targets;
    std::vector<std::uint32_t> level;
    std::vector<Node> queue;
};

// The term of v, as NetworkX forms it.
double local_value(const Csr& rows, const std::vector<std::int64_t>& hash, Count filtered, Scratch& s, Node v,
                   bool& small) {
    // S in the view's order.
    s.members.clear();
    SetTable set;
    for (Node w : rows.row(v)) {
        if (s.local[w] != NONE) continue;
        s.local[w] = 0;
        s.members.push_back(w);
        set.add(w, hash[w]);
    }
    const std::size_t k = s.members.size();
    if (2 * k < filtered) {
        s.members.clear();
        set.each([&](Node w) { s.members.push_back(w); });
    } else {
        std::sort(s.members.begin(), s.members.end());
    }
    for (std::size_t i = 0; i < k; ++i) s.local[s.members[i]] = static_cast<Node>(i);
    small = k < 2;
    double total = 0.0;
    if (!small) {
        // The subgraph's rows (their order does not change the levels).
        s.offsets.assign(1, 0);
        s.targets.clear();
        for (Node x : s.members) {
            for (Node y : rows.row(x)) {
                if (s.local[y] != NONE) s.targets.push_back(s.local[y]);
            }
            s.offsets.push_back(s.targets.size());
        }
        s.level.assign(k, NONE);
        s.queue.resize(k);
        for (std::size_t source = 0; source < k; ++source) {
            std::size_t head = 0, tail = 0;
            s.queue[tail++] = static_cast<Node>(source);
            s.level[source] = 0;
            while (head < tail) {
                const Node x = s.queue[head++];
                if (s.level[x] > 0) total += 1.0 / static_cast<double>(s.level[x]);
                for (std::size_t at = s.offsets[x]; at < s.offsets[x + 1]; ++at) {
                    const Node y = s.targets[at];
                    if (s.level[y] != NONE) continue;
                    s.level[y] = s.level[x] + 1;
                    s.queue[tail++] = y;
                }
            }
            for (std::size_t i = 0; i < tail; ++i) s.level[s.queue[i]] = NONE;
        }
        total /= static_cast<double>(k * (k - 1));
    }
    for (Node x : s.members) s.local[x] = NONE;
    return total;
}

}  // namespace

Result<LocalEfficiency> local_efficiencies(const Csr& rows, const std::vector<std::int64_t>& hash, Count filtered) {
    const Count n = rows.node_count();
    LocalEfficiency result{std::vector<double>(n, 0.0), std::vector<std::uint8_t>(n, 0)};
    const Pieces pieces = split(n);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        Scratch s{std::vector<Node>(n, NONE), {}, {}, {}, {}, {}};
        for (std::size_t v = pieces.begin(piece); v < pieces.end(piece) && !stop_requested(); ++v) {
            bool small = false;
            result.value[v] = local_value(rows, hash, filtered, s, static_cast<Node>(v), small);
            result.small[v] = small;
        }
    });
    if (!st.ok()) return st.error();
    return result;
}

}  // namespace fennel
