#include "rx/rx_graph.hpp"

#include "algorithms/search.hpp"
#include "graph/assemble.hpp"

#include <cmath>
#include <limits>
#include <utility>

namespace fennel {

namespace {

// Rows whose slots are filled one entry at a time, each row in the order
// its entries arrive: `count` each entry's row first, then `start`, then
// `place` every entry in order.
struct RowPlacer {
    Csr rows;
    std::vector<Slot> cursor;

    explicit RowPlacer(Count n) { rows.offsets.assign(static_cast<std::size_t>(n) + 1, 0); }

    void count(Node row) { ++rows.offsets[row + 1]; }

    void start() {
        const std::size_t n = rows.offsets.size() - 1;
        for (std::size_t x = 0; x < n; ++x) rows.offsets[x + 1] += rows.offsets[x];
        rows.targets.resize(rows.offsets.back());
        cursor.assign(rows.offsets.begin(), rows.offsets.end() - 1);
    }

    Slot place(Node row, Node target) {
        const Slot s = cursor[row]++;
        rows.targets[s] = target;
        return s;
    }
};

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

// petgraph's dijkstra on the Dijkstra engine: its heap (RustOrder, stale
// entries kept), its distances recorded as nodes leave the heap (NaN for the
// rest), and its checks. It passes over a visited neighbour before reading
// the cost, and marks a node visited only after relaxing it, so a self-loop's
// cost is checked like any other.
struct RxPolicy {
    static constexpr bool SKIP_HIDDEN = false;
    std::optional<Node> goal;
    std::vector<double>& dist;

    void settle(Node v, double d, Node) { dist[v] = d; }
    bool stop_after(Node v) const { return goal && v == *goal; }
    Status admit(Node v, Node w, double cost, bool settled) const {
        if (settled && w != v) return {};
        if (std::signbit(cost)) return value_error("Negative weights not supported.");
        if (std::isnan(cost)) return value_error("NaN weights not supported.");
        return {};
    }
    bool within(double) const { return true; }
    Status settled_edge(Node, Node, double, Slot, double) const { return {}; }
    void improve(Node, Node, Slot) {}
    void tie(Node, Node, Slot) {}
};

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
    auto g = std::make_unique<CoreGraph>();
    g->n = n;
    g->directed = directed;
    g->pred_exact = true;
    // Every row lists the most recent edge first: edges are placed from the
    // last down. An undirected row lists its out-edges, then its in-edges
    // (self-loops once), so its in-part starts after all its out-edges.
    RowPlacer succ(n);
    for (Node v : src) succ.count(v);
    if (!directed) {
        for (std::size_t k = 0; k < m; ++k) {
            if (src[k] != dst[k]) succ.count(dst[k]);
        }
    }
    succ.start();
    std::vector<Slot> slot_of(directed ? m : 0);  // the succ slot of each edge
    Weights cost;
    cost.all_int = false;
    cost.slot_kinds = 1u << PY_FLOAT;
    if (costs) cost.values.resize(succ.rows.targets.size());
    for (std::size_t k = m; k-- > 0;) {
        const Slot s = succ.place(src[k], dst[k]);
        if (directed) slot_of[k] = s;
        if (costs) cost.values[s] = (*costs)[k];
    }
    std::vector<Slot> perm;
    if (directed) {
        RowPlacer pred(n);
        for (Node v : dst) pred.count(v);
        pred.start();
        perm.resize(m);
        for (std::size_t k = m; k-- > 0;) perm[pred.place(dst[k], src[k])] = slot_of[k];
        g->pred = std::move(pred.rows);
    } else {
        for (std::size_t k = m; k-- > 0;) {
            if (src[k] != dst[k]) {
                const Slot s = succ.place(dst[k], src[k]);
                if (costs) cost.values[s] = (*costs)[k];
            }
        }
    }
    g->succ = std::move(succ.rows);
    std::vector<std::pair<std::string, Weights>> columns;
    if (costs) columns.emplace_back(RX_COST, std::move(cost));
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


Result<std::vector<double>> rx_dijkstra(const GraphView& view, Node source, std::optional<Node> goal) {
    const Count n = view.out->node_count();
    if (source >= n) return index_error();
    std::vector<double> dist(n, std::numeric_limits<double>::quiet_NaN());
    DijkstraSearch<RustOrder, true> search(n);
    RxPolicy policy{goal, dist};
    if (Status st = search.run(view, source, policy); !st.ok()) return st.error();
    return dist;
}

}  // namespace fennel
