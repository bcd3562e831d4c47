// Gusfield's algorithm as NetworkX runs it. Costs: n - 1 maximum flows over
// one residual network, plus O(n + m) per cut to find its sides and reorder
// R's rows.
#include "algorithms/gomory_hu.hpp"

#include <limits>
#include <unordered_map>

namespace fennel {

FlowRun run_flow(FlowAlgorithm algorithm, const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t,
                 double cutoff) {
    switch (algorithm) {
        case FlowAlgorithm::EdmondsKarp:
            break;
    }
    return edmonds_karp(r, flow, s, t, cutoff);
}

void requeue_saturated(Residual& r, const std::vector<FlowNumber>& flow) {
    auto saturated = [&](Node e) { return flow[e].value == r.capacity[e].value; };
    // cutset, in R.edges order: tails in node order, each succ row in order.
    std::vector<Node> cutset;
    for (Node u = 0; u < r.n; ++u) {
        for (Node e : r.succ.row(u)) {
            if (saturated(e)) cutset.push_back(e);
        }
    }
    // Each row keeps its other edges in order; the fill pointer is where the
    // removed ones come back.
    auto keep_unsaturated = [&](Csr& rows, std::vector<Slot>& fill) {
        fill.resize(r.n);
        for (Node x = 0; x < r.n; ++x) {
            Slot kept = rows.offsets[x];
            for (Slot i = rows.offsets[x]; i < rows.offsets[x + 1]; ++i) {
                const Node e = rows.targets[i];
                if (!saturated(e)) rows.targets[kept++] = e;
            }
            fill[x] = kept;
        }
    };
    std::vector<Slot> fill;
    keep_unsaturated(r.succ, fill);
    for (Node e : cutset) r.succ.targets[fill[r.tail[e]]++] = e;
    keep_unsaturated(r.pred, fill);
    for (Node e : cutset) r.pred.targets[fill[r.head[e]]++] = e;
}

GomoryHuTree gomory_hu(Residual& r, FlowAlgorithm algorithm, bool spare) {
    const Count n = r.n;
    GomoryHuTree out;
    // tree: the star around the first node; labels keyed by (u, v).
    std::vector<Node> tree(n, 0);
    std::unordered_map<std::uint64_t, FlowNumber> labels;
    auto key = [](Node u, Node v) { return (static_cast<std::uint64_t>(u) << 32) | v; };
    std::vector<FlowNumber> flow;
    std::vector<std::uint8_t> sink_side(n, 0);
    constexpr double NO_CUTOFF = std::numeric_limits<double>::infinity();
    for (Node source = 1; source < n; ++source) {
        const Node target = tree[source];
        // minimum_cut(G, source, target, residual=R): the flows reset to 0.
        flow.assign(r.tail.size(), FlowNumber{});
        const FlowRun run = run_flow(algorithm, r, flow, source, target, NO_CUTOFF);
        if (run.unbounded) {
            out.unbounded = true;
            return out;
        }
        const FlowNumber cut_value = run.value;
        const std::vector<Node> reaching = reaching_target(r, flow, target, spare);
        for (Node x : reaching) sink_side[x] = 1;
        if (!spare) requeue_saturated(r, flow);

        labels[key(source, target)] = cut_value;
        // The nodes on source's side that hung from target move to source
        // (in any order: each move reads only its own label).
        for (Node x = 1; x < n; ++x) {
            if (sink_side[x] || x == source || tree[x] != target) continue;
            tree[x] = source;
            auto found = labels.find(key(x, target));
            labels[key(x, source)] = found == labels.end() ? cut_value : found->second;
        }
        if (target != 0 && !sink_side[tree[target]]) {
            auto found = labels.find(key(target, tree[target]));
            if (found == labels.end()) {
                out.missing_from = target;
                out.missing_to = tree[target];
                return out;
            }
            const FlowNumber moved = found->second;
            labels[key(source, tree[target])] = moved;
            labels[key(target, source)] = cut_value;
            tree[source] = tree[target];
            tree[target] = source;
        }
        for (Node x : reaching) sink_side[x] = 0;
    }
    out.parent.reserve(n ? n - 1 : 0);
    out.label.reserve(n ? n - 1 : 0);
    for (Node u = 1; u < n; ++u) {
        auto found = labels.find(key(u, tree[u]));
        if (found == labels.end()) {
            out.missing_from = u;
            out.missing_to = tree[u];
            return out;
        }
        out.parent.push_back(tree[u]);
        out.label.push_back(found->second);
    }
    return out;
}

}  // namespace fennel
