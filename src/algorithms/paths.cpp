#include "algorithms/paths.hpp"

namespace fennel {

namespace {

// Records the settle order and refuses contradictory paths.
struct LengthPolicy {
    static constexpr bool SKIP_HIDDEN = true;
    std::optional<double> cutoff;
    DijkstraLengths& out;

    bool within(double d) const { return !cutoff || !(d > *cutoff); }
    void settle(Node v, double d, Node) {
        out.order.push_back(v);
        out.dist.push_back(d);
    }
    Status settled_edge(Node, Node, double d, Slot, double settled) const {
        if (d < settled) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
        return {};
    }
    void improve(Node, Node, Slot) {}
    void tie(Node, Node, Slot) {}
};

}  // namespace

BfsLengths bfs_lengths(const Csr& rows, Node source, double cutoff) {
    BfsState state(rows.node_count());
    state.discover<true>(rows, source, BfsState::below_cutoff(cutoff));
    BfsLengths out;
    const auto order = state.order();
    out.order.assign(order.begin(), order.end());
    out.levels.reserve(order.size());
    for (Node v : order) out.levels.push_back(state.level[v]);
    return out;
}

Result<DijkstraLengths> dijkstra_lengths(const PathAdj& view, Count n, Node source, std::optional<double> cutoff) {
    DijkstraLengths out;
    DijkstraState state(n);
    LengthPolicy policy{cutoff, out};
    if (Status st = state.run(view, source, policy); !st.ok()) return st.error();
    return out;
}

}  // namespace fennel
