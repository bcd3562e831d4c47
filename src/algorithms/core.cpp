// NetworkX's core_number: each node's core number, which the graph alone
// fixes, found by peeling level by level over flat 32-bit arrays (fewer
// random reads than the bucket algorithm's moves). Onion layers and
// k-trusses follow NetworkX's own steps.
//
// Cost: O(n + m).
#include "algorithms/core.hpp"

#include <algorithm>

namespace fennel {

namespace {

bool has_self_loop(const Csr& rows) {
    for (Node u = 0; u < rows.node_count(); ++u) {
        for (Node w : rows.row(u)) {
            if (w == u) return true;
        }
    }
    return false;
}

}  // namespace

namespace {

// The peel level by level, with degrees of type Degree; false at a
// self-loop. At level k every node left has at least k neighbours left;
// those with exactly k have core number k. Removing one takes one from each
// neighbour above k, and a neighbour that falls to k is removed at this
// level too. `left` holds the nodes not yet removed, in position order; a
// node stays in it for levels 0 to its core number, so the scans cost at
// most n + (the degree sum), and the whole peel O(n + m), as the bucket
// algorithm NetworkX runs, whose numbers these are (a node's core number is
// the graph's, whatever order the peel takes).
// `degree` ends holding each node's core number.
template <class Degree>
bool peel(const Csr& out, const Csr* back, std::vector<Degree>& degree) {
    const Count n = out.node_count();
    degree.resize(n);
    for (Node v = 0; v < n; ++v) {
        degree[v] = static_cast<Degree>((out.end(v) - out.begin(v)) + (back ? back->end(v) - back->begin(v) : 0));
    }
    std::vector<std::uint8_t> removed(n, 0);
    std::vector<Node> left(n), next, stack;
    for (Node v = 0; v < n; ++v) left[v] = v;
    bool loop = false;
    auto remove = [&](Node v, Degree k) {
        auto visit = [&](Node u) {
            loop |= u == v;
            if (degree[u] > k && --degree[u] == k) {
                removed[u] = 1;
                stack.push_back(u);
            }
        };
        for (Node u : out.row(v)) visit(u);
        if (back) {
            for (Node u : back->row(v)) visit(u);
        }
    };
    for (Degree k = 0; !left.empty(); ++k) {
        next.clear();
        for (Node v : left) {
            if (removed[v]) continue;
            if (degree[v] > k) {
                next.push_back(v);
                continue;
            }
            removed[v] = 1;
            remove(v, k);
            while (!stack.empty()) {
                const Node u = stack.back();
                stack.pop_back();
                remove(u, k);
            }
            if (loop) return false;
        }
        left.swap(next);
    }
    return true;
}

}  // namespace

std::optional<CoreNumbers> core_numbers(const Csr& out, const Csr* back) {
    CoreNumbers found;
    const Count slots = out.slot_count() + (back ? back->slot_count() : 0);
    const bool ok = slots < 0xFFFFFFFFu ? peel(out, back, found.narrow) : peel(out, back, found.wide);
    if (!ok) return std::nullopt;
    return found;
}

std::optional<OnionLayers> onion_peel(const Csr& adj) {
    const Count n = adj.node_count();
    if (has_self_loop(adj)) return std::nullopt;
    enum : std::uint8_t { WAITING, SCHEDULED, DONE };
    std::vector<Count> degree(n);
    std::vector<std::uint8_t> state(n, WAITING);
    // bucket[d]: nodes whose degree fell to d (entries go stale as degrees
    // fall further or nodes leave); only read to find the smallest degree.
    std::vector<std::vector<Node>> bucket;
    OnionLayers result;
    result.order.reserve(n);
    result.layer.reserve(n);
    Count core = 1, layer = 1, left = n;
    for (Node v = 0; v < n; ++v) degree[v] = adj.end(v) - adj.begin(v);
    for (Node v = 0; v < n; ++v) {
        if (degree[v] == 0) {
            result.order.push_back(v);
            result.layer.push_back(layer);
            state[v] = DONE;
            --left;
        }
    }
    if (left < n) layer = 2;
    // The remaining nodes of degree at most `core` make the next layer.
    std::vector<Node> next;
    for (Node v = 0; v < n; ++v) {
        if (state[v] == DONE) continue;
        if (degree[v] >= bucket.size()) bucket.resize(degree[v] + 1);
        bucket[degree[v]].push_back(v);
        if (degree[v] <= core) {
            next.push_back(v);
            state[v] = SCHEDULED;
        }
    }
    Count low = core + 1;  // no waiting node has a smaller degree
    std::vector<Node> this_layer;
    while (left > 0) {
        if (next.empty()) {
            // Every remaining degree exceeds the core: the smallest is the
            // new core, and its nodes the layer (each waiting node has an
            // entry in the bucket of its degree).
            for (; low < bucket.size(); ++low) {
                for (Node v : bucket[low]) {
                    if (state[v] == WAITING && degree[v] == low) {
                        next.push_back(v);
                        state[v] = SCHEDULED;
                    }
                }
                if (!next.empty()) break;
            }
            if (next.empty()) break;  // unreachable: a node is left
            core = low;
        }
        this_layer.swap(next);
        next.clear();
        std::sort(this_layer.begin(), this_layer.end(),
                  [&](Node a, Node b) { return degree[a] != degree[b] ? degree[a] < degree[b] : a < b; });
        for (const Node v : this_layer) {
            result.order.push_back(v);
            result.layer.push_back(layer);
            state[v] = DONE;
            --left;
            for (const Node w : adj.row(v)) {
                if (state[w] == DONE) continue;
                --degree[w];
                if (state[w] == WAITING) {
                    if (degree[w] <= core) {
                        next.push_back(w);
                        state[w] = SCHEDULED;
                    } else {
                        bucket[degree[w]].push_back(w);
                    }
                }
            }
        }
        ++layer;
        low = core + 1;
    }
    return result;
}

std::optional<std::vector<std::uint8_t>> truss_edges(const Csr& adj, double need) {
    const Count n = adj.node_count();
    if (has_self_loop(adj)) return std::nullopt;
    std::vector<std::uint8_t> kept(adj.slot_count(), 1), keep_next;
    constexpr Node UNMARKED = 0xFFFFFFFFu;
    std::vector<Node> mark(n, UNMARKED);
    bool dropped = true;
    while (dropped) {
        dropped = false;
        keep_next = kept;
        // Every edge is judged on the graph as the round found it; an edge's
        // two slots count the same common neighbours.
        for (Node u = 0; u < n; ++u) {
            for (Slot s = adj.begin(u); s < adj.end(u); ++s) {
                if (kept[s]) mark[adj.targets[s]] = u;
            }
            for (Slot s = adj.begin(u); s < adj.end(u); ++s) {
                if (!kept[s]) continue;
                const Node v = adj.targets[s];
                Count common = 0;
                for (Slot t = adj.begin(v); t < adj.end(v); ++t) {
                    if (kept[t] && mark[adj.targets[t]] == u) ++common;
                }
                if (static_cast<double>(common) < need) {
                    keep_next[s] = 0;
                    dropped = true;
                }
            }
        }
        kept.swap(keep_next);
    }
    return kept;
}

}  // namespace fennel
