#include "rx/rx_graph.hpp"

#include "graph/assemble.hpp"

namespace fennel {

namespace {

struct Entry {
    Node row;
    Node target;
    Slot edge;
};

// Stable counting placement: each row lists its entries in list order.
Csr place(Count n, const std::vector<Entry>& entries, std::vector<Slot>& edge_of) {
    Csr rows;
    rows.offsets.assign(static_cast<std::size_t>(n) + 1, 0);
    for (const Entry& e : entries) ++rows.offsets[e.row + 1];
    for (Count x = 0; x < n; ++x) rows.offsets[x + 1] += rows.offsets[x];
    rows.targets.resize(entries.size());
    edge_of.resize(entries.size());
    std::vector<Slot> cursor(rows.offsets.begin(), rows.offsets.end() - 1);
    for (const Entry& e : entries) {
        const Slot s = cursor[e.row]++;
        rows.targets[s] = e.target;
        edge_of[s] = e.edge;
    }
    return rows;
}

// petgraph's depth-first finishing order over `rows`, from every undiscovered
// node in ascending order: a node stays on the stack while its undiscovered
// neighbours are pushed (in row order) and is finished when met again.
// nullopt when `self_loop_is_cycle` and a discovered node lists itself.
std::optional<std::vector<Node>> finish_order(const Csr& rows, bool self_loop_is_cycle) {
    const Count n = rows.node_count();
    std::vector<std::uint8_t> discovered(n, 0);
    std::vector<std::uint8_t> finished(n, 0);
    std::vector<Node> finish;
    std::vector<Node> stack;
    finish.reserve(n);
    for (Node i = 0; i < n; ++i) {
        if (discovered[i]) continue;
        stack.assign(1, i);
        while (!stack.empty()) {
            const Node x = stack.back();
            if (!discovered[x]) {
                discovered[x] = 1;
                for (Node w : rows.row(x)) {
                    if (self_loop_is_cycle && w == x) return std::nullopt;
                    if (!discovered[w]) stack.push_back(w);
                }
            } else {
                stack.pop_back();
                if (!finished[x]) {
                    finished[x] = 1;
                    finish.push_back(x);
                }
            }
        }
    }
    return finish;
}

}  // namespace

Result<std::unique_ptr<CoreGraph>> build_rx(Count n, bool directed, const std::vector<Node>& src,
                                            const std::vector<Node>& dst, const std::optional<std::vector<double>>& costs) {
    const std::size_t m = src.size();
    if (dst.size() != m || (costs && costs->size() != m)) return value_error("edge arrays differ in length");
    for (const auto* ends : {&src, &dst}) {
        for (Node v : *ends) {
            if (v >= n) return value_error("edge endpoint out of range");
        }
    }
    if (n > MAX_CONVERTED_NODES) return value_error("too many nodes");
    // Most recent edge first: the lists run from the last edge down.
    std::vector<Entry> out;
    std::vector<Entry> in;
    out.reserve(m);
    in.reserve(m);
    for (std::size_t k = m; k-- > 0;) {
        out.push_back({src[k], dst[k], k});
        if (directed || src[k] != dst[k]) in.push_back({dst[k], src[k], k});
    }
    auto g = std::make_unique<CoreGraph>();
    g->n = n;
    g->directed = directed;
    g->pred_exact = true;
    std::vector<Slot> succ_edges;
    std::vector<Slot> perm;
    if (directed) {
        g->succ = place(n, out, succ_edges);
        std::vector<Slot> pred_edges;
        g->pred = place(n, in, pred_edges);
        std::vector<Slot> slot_of(m);
        for (Slot s = 0; s < succ_edges.size(); ++s) slot_of[succ_edges[s]] = s;
        perm.resize(pred_edges.size());
        for (Slot p = 0; p < pred_edges.size(); ++p) perm[p] = slot_of[pred_edges[p]];
    } else {
        out.insert(out.end(), in.begin(), in.end());
        g->succ = place(n, out, succ_edges);
    }
    std::vector<std::pair<std::string, Weights>> columns;
    if (costs) {
        Weights w;
        w.all_int = false;
        w.values.resize(succ_edges.size());
        for (Slot s = 0; s < succ_edges.size(); ++s) w.values[s] = (*costs)[succ_edges[s]];
        columns.emplace_back(RX_COST, std::move(w));
    }
    if (Status st = assemble(*g, std::move(columns), std::move(perm)); !st.ok()) return st.error();
    return g;
}

std::vector<std::vector<Node>> rx_scc(const GraphView& g) {
    const Count n = g.n();
    const Csr& out = *g.out;
    // Finishing order on the reversed graph (in-rows), then components in
    // decreasing finish order over the out-rows.
    const std::vector<Node> finish = *finish_order(*g.in, false);
    std::vector<std::vector<Node>> components;
    std::vector<std::uint8_t> seen(n, 0);
    std::vector<Node> stack;
    for (auto it = finish.rbegin(); it != finish.rend(); ++it) {
        if (seen[*it]) continue;
        std::vector<Node> component;
        stack.assign(1, *it);
        while (!stack.empty()) {
            const Node x = stack.back();
            stack.pop_back();
            if (seen[x]) continue;
            seen[x] = 1;
            for (Node w : out.row(x)) {
                if (!seen[w]) stack.push_back(w);
            }
            component.push_back(x);
        }
        components.push_back(std::move(component));
    }
    return components;
}

std::optional<std::vector<Node>> rx_toposort(const GraphView& g) {
    const Count n = g.n();
    const Csr& in = *g.in;
    auto finish = finish_order(*g.out, true);
    if (!finish) return std::nullopt;
    std::vector<Node> order(finish->rbegin(), finish->rend());
    // Cycle check: a depth-first walk over in-rows from each node in order
    // must reach nothing new beyond the node itself.
    std::vector<std::uint8_t> seen(n, 0);
    std::vector<Node> stack;
    for (Node i : order) {
        stack.assign(1, i);
        int yielded = 0;
        while (!stack.empty()) {
            const Node x = stack.back();
            stack.pop_back();
            if (seen[x]) continue;
            seen[x] = 1;
            for (Node w : in.row(x)) {
                if (!seen[w]) stack.push_back(w);
            }
            if (++yielded == 2) return std::nullopt;
        }
    }
    return order;
}

}  // namespace fennel
