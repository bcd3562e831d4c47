// NetworkX's core_number: the Batagelj-Zaversnik bucket algorithm, with
// NetworkX's stable sort by degree and its swaps, over rows in NetworkX's
// order. (The core numbers are the graph's own, whatever the order: the
// order only keeps the steps NetworkX's.)
//
// Cost: O(n + m), flat 32-bit per-node arrays.
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

// One node's place in the peel, kept together so that a neighbour's check
// and its move read one cache line: its current core guess (its degree at
// first) and its position in `vert`.
template <class Degree>
struct Peel {
    Degree core;
    std::uint32_t pos;
};

// The bucket algorithm with degrees of type Degree; false at a self-loop.
// Positions fit 32 bits (a graph has fewer than 2**32 nodes), degrees do
// when the graph has fewer than 2**32 slots.
template <class Degree>
bool peel(const Csr& out, const Csr* back, std::vector<Degree>& core_out) {
    const Count n = out.node_count();
    std::vector<Peel<Degree>> at(n);
    Degree top = 0;
    for (Node v = 0; v < n; ++v) {
        const Degree d = static_cast<Degree>((out.end(v) - out.begin(v)) + (back ? back->end(v) - back->begin(v) : 0));
        at[v].core = d;
        top = std::max(top, d);
    }
    // bin[d]: the first place of degree d's bucket in the stable sort by
    // degree (NetworkX's sorted(degrees, key=degrees.get)).
    std::vector<std::uint32_t> bin(static_cast<std::size_t>(top) + 2, 0);
    for (Node v = 0; v < n; ++v) ++bin[at[v].core + 1];
    for (std::size_t d = 1; d < bin.size(); ++d) bin[d] += bin[d - 1];
    std::vector<Node> vert(n);
    for (Node v = 0; v < n; ++v) {
        const std::uint32_t p = bin[at[v].core]++;
        at[v].pos = p;
        vert[p] = v;
    }
    // The fill moved each bucket's start to the next one's: shift back.
    for (std::size_t d = bin.size() - 1; d > 0; --d) bin[d] = bin[d - 1];
    bin[0] = 0;
    // Every node comes once, so every slot is read once: the self-loop
    // check rides along (NetworkX raises before it starts).
    for (Count i = 0; i < n; ++i) {
        const Node v = vert[i];
        const Degree cv = at[v].core;
        bool loop = false;
        auto visit = [&](Node u) {
            loop |= u == v;
            Peel<Degree>& pu = at[u];
            if (pu.core <= cv) return;
            // Move u to the front of its bucket, then out of it.
            const Degree d = pu.core;
            const std::uint32_t p = bin[d];
            const Node w = vert[p];
            if (u != w) {
                vert[pu.pos] = w;
                vert[p] = u;
                at[w].pos = pu.pos;
                pu.pos = p;
            }
            bin[d] = p + 1;
            pu.core = d - 1;
        };
        for (Node u : out.row(v)) visit(u);
        if (back) {
            for (Node u : back->row(v)) visit(u);
        }
        if (loop) return false;
    }
    core_out.resize(n);
    for (Node v = 0; v < n; ++v) core_out[v] = at[v].core;
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
