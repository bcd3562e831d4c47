// NetworkX's connected components (_plain_bfs), bipartiteness (two-colouring)
// and core_number (the Batagelj-Zaversnik bucket algorithm, with NetworkX's
// stable sort by degree and its swaps), over rows in NetworkX's order.
//
// Cost: O(n + m) each, flat per-node arrays, no recursion.
#include "algorithms/structure.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace fennel {

namespace {

// Rows of v: out's, then back's (when given).
template <class Visit>
void each_neighbour(const Csr& out, const Csr* back, Node v, Visit&& visit) {
    for (Node w : out.row(v)) visit(w);
    if (back) {
        for (Node w : back->row(v)) visit(w);
    }
}

}  // namespace

Components connected_components(const Csr& out, const Csr* back) {
    const Count n = out.node_count();
    std::vector<std::uint8_t> seen(n, 0);
    Components result;
    for (Node s = 0; s < n; ++s) {
        if (seen[s]) continue;
        seen[s] = 1;
        std::vector<Node> c{s};
        // c doubles as the queue: its read position walks the levels in order.
        for (std::size_t read = 0; read < c.size(); ++read) {
            each_neighbour(out, back, c[read], [&](Node w) {
                if (!seen[w]) {
                    seen[w] = 1;
                    c.push_back(w);
                }
            });
        }
        result.push_back(std::move(c));
    }
    return result;
}

bool is_bipartite(const Csr& out, const Csr* back) {
    const Count n = out.node_count();
    constexpr std::uint8_t NONE = 2;
    std::vector<std::uint8_t> colour(n, NONE);
    std::vector<Node> stack;
    for (Node s = 0; s < n; ++s) {
        if (colour[s] != NONE) continue;
        colour[s] = 1;
        stack.push_back(s);
        while (!stack.empty()) {
            const Node x = stack.back();
            stack.pop_back();
            bool clash = false;
            each_neighbour(out, back, x, [&](Node w) {
                if (colour[w] == NONE) {
                    colour[w] = static_cast<std::uint8_t>(1 - colour[x]);
                    stack.push_back(w);
                } else if (colour[w] == colour[x]) {
                    clash = true;
                }
            });
            if (clash) return false;
        }
    }
    return true;
}

std::optional<std::vector<Count>> core_number(const Csr& out, const Csr* back) {
    const Count n = out.node_count();
    for (Node u = 0; u < n; ++u) {
        for (Node w : out.row(u)) {
            if (w == u) return std::nullopt;
        }
    }
    std::vector<Count> core(n);
    Count top = 0;
    for (Node v = 0; v < n; ++v) {
        core[v] = (out.end(v) - out.begin(v)) + (back ? back->end(v) - back->begin(v) : 0);
        top = std::max(top, core[v]);
    }
    // bin[d]: the first place of degree d's bucket in the stable sort by degree.
    std::vector<Count> bin(top + 2, 0);
    for (Node v = 0; v < n; ++v) ++bin[core[v] + 1];
    for (Count d = 1; d < bin.size(); ++d) bin[d] += bin[d - 1];
    std::vector<Node> vert(n);
    std::vector<Count> pos(n);
    {
        std::vector<Count> next(bin.begin(), bin.end() - 1);
        for (Node v = 0; v < n; ++v) {
            pos[v] = next[core[v]]++;
            vert[pos[v]] = v;
        }
    }
    for (Count i = 0; i < n; ++i) {
        const Node v = vert[i];
        each_neighbour(out, back, v, [&](Node u) {
            if (core[u] <= core[v]) return;
            // Move u to the front of its bucket, then out of it.
            const Count d = core[u];
            const Count p = bin[d];
            const Node w = vert[p];
            if (u != w) {
                std::swap(vert[pos[u]], vert[p]);
                pos[w] = pos[u];
                pos[u] = p;
            }
            bin[d] = p + 1;
            core[u] = d - 1;
        });
    }
    return core;
}

Colouring greedy_colour(const Csr& out, const std::vector<Count>& degrees) {
    const Count n = out.node_count();
    Colouring c;
    c.order.resize(n);
    for (Node v = 0; v < n; ++v) c.order[v] = v;
    std::stable_sort(c.order.begin(), c.order.end(), [&](Node a, Node b) { return degrees[a] > degrees[b]; });
    constexpr std::uint32_t NONE = 0xFFFFFFFFu;
    c.colours.assign(n, NONE);
    // stamp[k] == step: colour k is taken by a neighbour of the node coloured at this step.
    std::vector<Count> stamp;
    Count step = 0;
    for (Node u : c.order) {
        ++step;
        for (Node v : out.row(u)) {
            const std::uint32_t k = c.colours[v];
            if (k == NONE) continue;
            if (stamp.size() <= k) stamp.resize(std::size_t{k} + 1, 0);
            stamp[k] = step;
        }
        std::uint32_t k = 0;
        while (k < stamp.size() && stamp[k] == step) ++k;
        c.colours[u] = k;
    }
    return c;
}

namespace {

// The labels most frequent among v's out-neighbours, in first-met order.
struct LabelCounter {
    std::vector<Count> count;   // by label, zero between calls
    std::vector<Node> met;      // labels met, first-met order
    std::vector<Node> top;      // the result

    const std::vector<Node>& most_frequent(const Csr& out, const std::vector<Node>& label, Node v) {
        Count best = 0;
        for (Node w : out.row(v)) {
            const Node l = label[w];
            if (count[l]++ == 0) met.push_back(l);
            best = std::max(best, count[l]);
        }
        top.clear();
        for (Node l : met) {
            if (count[l] == best) top.push_back(l);
            count[l] = 0;
        }
        met.clear();
        return top;
    }
};

bool contains(const std::vector<Node>& labels, Node l) {
    return std::find(labels.begin(), labels.end(), l) != labels.end();
}

}  // namespace

Result<std::vector<Node>> label_propagation(const Csr& out, const std::vector<Node>& order) {
    const Count n = out.node_count();
    // Anything but a permutation of every node could leave a label free to
    // change forever: the loop would never end.
    if (order.size() != n) return value_error("order must list every node once");
    {
        std::vector<std::uint8_t> listed(n, 0);
        for (Node v : order) {
            if (v >= n) return index_error();
            if (listed[v]) return value_error("order must list every node once");
            listed[v] = 1;
        }
    }
    std::vector<Node> label(n);
    for (Node v = 0; v < n; ++v) label[v] = v;
    LabelCounter counter{std::vector<Count>(n, 0), {}, {}};
    auto complete = [&] {
        for (Node v = 0; v < n; ++v) {
            if (out.begin(v) != out.end(v) && !contains(counter.most_frequent(out, label, v), label[v])) return false;
        }
        return true;
    };
    while (!complete()) {
        if (poll_interrupt()) return interrupted();
        for (Node v : order) {
            if (out.begin(v) == out.end(v)) continue;
            const std::vector<Node>& high = counter.most_frequent(out, label, v);
            if (high.size() == 1) {
                label[v] = high[0];
            } else if (!contains(high, label[v])) {
                label[v] = *std::max_element(high.begin(), high.end());
            }
        }
    }
    return label;
}

Result<KeptEdges> kruskal(const GraphView& view, bool maximum) {
    const Csr& out = *view.out;
    const Count n = view.n();
    struct Record {
        Node u, v;
        double w;
    };
    std::vector<Record> records;
    for (Node u = 0; u < n; ++u) {
        for (Slot s = out.begin(u); s < out.end(u); ++s) {
            const Node v = out.targets[s];
            if (!view.directed && v < u) continue;
            const double w = view.weights ? (*view.weights)[s] : 1.0;
            // NaN has no place in the order: the sort below would be undefined.
            if (std::isnan(w)) return value_error("no NaN weights");
            records.push_back({u, v, w});
        }
    }
    std::stable_sort(records.begin(), records.end(), [&](const Record& a, const Record& b) {
        return maximum ? a.w > b.w : a.w < b.w;
    });
    std::vector<Node> parent(n);
    for (Node x = 0; x < n; ++x) parent[x] = x;
    auto find = [&](Node x) {
        while (parent[x] != x) {
            parent[x] = parent[parent[x]];
            x = parent[x];
        }
        return x;
    };
    KeptEdges kept;
    for (const Record& r : records) {
        const Node ru = find(r.u), rv = find(r.v);
        if (ru == rv) continue;
        parent[ru] = rv;
        kept.us.push_back(r.u);
        kept.vs.push_back(r.v);
        if (kept.us.size() + 1 == n) break;  // a spanning tree: nothing more can join
    }
    return kept;
}

}  // namespace fennel
