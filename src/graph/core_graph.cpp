#include "graph/core_graph.hpp"

#include <algorithm>

namespace fennel {

namespace {

Error not_converted(const std::string& name) {
    return not_implemented("edge attribute " + debug_quoted(name) + " was not converted");
}

}  // namespace

const Weights* CoreGraph::find_weights(const std::string& name) const {
    auto it = weights.find(name);
    return it == weights.end() ? nullptr : &it->second;
}

Result<const std::vector<double>*> CoreGraph::weight_slice(const std::optional<std::string>& name,
                                                           bool reverse) const {
    if (!name) return static_cast<const std::vector<double>*>(nullptr);
    const Weights* w = find_weights(*name);
    if (w == nullptr) {
        if (!native) return not_converted(*name);
        const std::vector<double>* ones = unit_weights.get();
        if (ones == nullptr) {
            ones = unit_weights.set(std::make_unique<std::vector<double>>(succ.slot_count(), 1.0));
        }
        return ones;
    }
    if (reverse && directed && w->pred_values) return &*w->pred_values;
    return &w->values;
}

Result<PathAdj> CoreGraph::path_adj(const std::optional<std::string>& name, bool reverse) const {
    if (!reverse || !directed || pred_exact) {
        auto column = weight_slice(name, reverse);
        if (!column.ok()) return column.error();
        const Csr* adj = (reverse && pred) ? &*pred : &succ;
        return PathAdj{adj, column.value()};
    }
    const ExactPred* exact = exact_pred.get();
    if (exact == nullptr) return not_implemented("exact predecessor order not loaded");
    if (!name) return PathAdj{&exact->csr, nullptr};
    auto it = exact->weights.find(*name);
    if (it == exact->weights.end()) return not_converted(*name);
    return PathAdj{&exact->csr, &it->second};
}

Result<std::vector<Node>> CoreGraph::sources_or_all(const std::optional<std::vector<Node>>& sources) const {
    if (sources) {
        for (Node s : *sources) {
            if (s >= n) return index_error();
        }
        return *sources;
    }
    std::vector<Node> all(static_cast<std::size_t>(n));
    for (Count i = 0; i < n; ++i) all[i] = static_cast<Node>(i);
    return all;
}

std::vector<Count> CoreGraph::degrees() const {
    std::vector<Count> deg(static_cast<std::size_t>(n), 0);
    for (Node u = 0; u < n; ++u) {
        Count d = succ.end(u) - succ.begin(u);
        if (directed) {
            if (pred) d += pred->end(u) - pred->begin(u);
        } else {
            for (Node v : succ.row(u)) d += (v == u);
        }
        deg[u] = d;
    }
    return deg;
}

Count CoreGraph::number_of_edges() const {
    if (directed) return succ.slot_count();
    Count loops = 0;
    for (Node u = 0; u < n; ++u) {
        auto row = succ.row(u);
        loops += std::find(row.begin(), row.end(), u) != row.end();
    }
    return (succ.slot_count() + loops) / 2;
}

bool CoreGraph::has_edge(Node u, Node v) const {
    auto row = succ.row(u);
    return std::find(row.begin(), row.end(), v) != row.end();
}

std::vector<std::string> CoreGraph::attribute_names() const {
    std::vector<std::string> names;
    names.reserve(weights.size());
    for (const auto& entry : weights) names.push_back(entry.first);  // map order is byte-wise
    return names;
}

EdgeList edges_in_order(const CoreGraph& g) {
    EdgeList out;
    if (g.native) out.ids.emplace();
    for (Node u = 0; u < g.n; ++u) {
        for (Slot s = g.succ.begin(u); s < g.succ.end(u); ++s) {
            Node v = g.succ.targets[s];
            if (!g.directed && v < u) continue;
            out.us.push_back(u);
            out.vs.push_back(v);
            if (out.ids) out.ids->push_back(g.native->ids[s]);
        }
    }
    return out;
}

Csr counting_sort_pred(const Csr& succ, std::vector<Slot>& perm) {
    const Count n = succ.node_count();
    Csr pred;
    pred.offsets.assign(n + 1, 0);
    for (Node t : succ.targets) ++pred.offsets[t + 1];
    for (Count i = 0; i < n; ++i) pred.offsets[i + 1] += pred.offsets[i];
    pred.targets.resize(succ.slot_count());
    perm.resize(succ.slot_count());
    std::vector<Slot> next(pred.offsets.begin(), pred.offsets.end() - 1);
    for (Node u = 0; u < n; ++u) {
        for (Slot s = succ.begin(u); s < succ.end(u); ++s) {
            Slot p = next[succ.targets[s]]++;
            pred.targets[p] = u;
            perm[p] = s;
        }
    }
    return pred;
}

std::vector<double> permute_column(const std::vector<double>& values, const std::vector<Slot>& perm) {
    std::vector<double> out(perm.size());
    for (std::size_t p = 0; p < perm.size(); ++p) out[p] = values[perm[p]];
    return out;
}

}  // namespace fennel
