// Maximal cliques in NetworkX's order, and clique percolation.
//
// The search keeps NetworkX's stack of (subg, cand, ext_u) as SetTables, so
// each set has the history of NetworkX's: built by intersection or
// difference, shrunk by cand.remove. Membership in adj[u] is a binary search
// in u's sorted row; membership in subg and cand probes their tables. Each
// step costs what NetworkX's costs in set operations, without the Python
// calls around them (the pivot's key function above all).
#include "algorithms/clique.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <span>

namespace fennel {

CliqueSearch::CliqueSearch(const Csr& rows, std::vector<std::int64_t> hashes, const std::vector<Node>& prefix)
    : hash_(std::move(hashes)) {
    const Count n = rows.node_count();
    offsets_.assign(n + 1, 0);
    for (Node u = 0; u < n; ++u) {
        SetTable adj;
        for (Node v : rows.row(u)) {
            if (v != u) adj.add(v, hash_[v]);
        }
        adj.each([&](Node v) { order_.push_back(v); });
        offsets_[u + 1] = order_.size();
    }
    sorted_ = order_;
    for (Node u = 0; u < n; ++u) {
        std::sort(sorted_.begin() + static_cast<std::ptrdiff_t>(offsets_[u]),
                  sorted_.begin() + static_cast<std::ptrdiff_t>(offsets_[u + 1]));
    }
    SetTable cand;
    for (Node u = 0; u < n; ++u) cand.add(u, hash_[u]);
    for (Node p : prefix) {
        if (!cand.contains(p, hash_[p])) break;
        cand = intersect(cand, p);
        ++valid_prefix_;
    }
    if (valid_prefix_ < prefix.size() || n == 0) {
        done_ = true;
        return;
    }
    if (cand.size() == 0) {
        lone_ = true;
        return;
    }
    Frame top{SetTable::copy_of(cand), std::move(cand), {}, 0};
    branch(top);
    stack_.push_back(std::move(top));
    chosen_.push_back(0);
}

bool CliqueSearch::adjacent(Node u, Node x) const {
    return std::binary_search(sorted_.begin() + static_cast<std::ptrdiff_t>(offsets_[u]),
                              sorted_.begin() + static_cast<std::ptrdiff_t>(offsets_[u + 1]), x);
}

SetTable CliqueSearch::intersect(const SetTable& s, Node q) const {
    SetTable r;
    if (degree(q) > s.size()) {
        s.each([&](Node x) {
            if (adjacent(q, x)) r.add(x, hash_[x]);
        });
    } else {
        for (std::size_t i = offsets_[q]; i < offsets_[q + 1]; ++i) {
            const Node x = order_[i];
            if (s.contains(x, hash_[x])) r.add(x, hash_[x]);
        }
    }
    return r;
}

std::size_t CliqueSearch::common(const SetTable& cand, Node u) const {
    std::size_t count = 0;
    if (degree(u) > cand.size()) {
        cand.each([&](Node x) { count += adjacent(u, x) ? 1 : 0; });
    } else {
        for (std::size_t i = offsets_[u]; i < offsets_[u + 1]; ++i) {
            count += cand.contains(order_[i], hash_[order_[i]]) ? 1 : 0;
        }
    }
    return count;
}

void CliqueSearch::branch(Frame& top) const {
    // max() keeps the first of equal keys.
    bool first = true;
    Node pivot = 0;
    std::size_t best = 0;
    top.subg.each([&](Node u) {
        const std::size_t c = common(top.cand, u);
        if (first || c > best) {
            first = false;
            pivot = u;
            best = c;
        }
    });
    const SetTable ext = SetTable::difference(
        top.cand, degree(pivot), [&](Node x) { return adjacent(pivot, x); }, [&](Node x) { return hash_[x]; });
    top.ext.clear();
    ext.each([&](Node x) { top.ext.push_back(x); });
    top.next = 0;
}

Result<CliqueList> CliqueSearch::next(std::size_t limit, std::size_t min_size) {
    CliqueList out;
    if (done_) return out;
    if (lone_) {
        done_ = true;
        out.bounds.push_back(0);
        return out;
    }
    std::size_t steps = 0;
    // Invariant: stack_ holds NetworkX's stack with its current frame on top,
    // and chosen_ one entry per frame, the top one being Q[-1].
    while (out.bounds.size() <= limit) {
        if ((++steps & 0x3FFF) == 0 && poll_interrupt()) return interrupted();
        Frame& top = stack_.back();
        if (top.next == top.ext.size()) {
            chosen_.pop_back();
            stack_.pop_back();
            if (stack_.empty()) {
                done_ = true;
                break;
            }
            continue;
        }
        const Node q = top.ext[top.next++];
        top.cand.discard(q, hash_[q]);
        chosen_.back() = q;
        SetTable subg_q = intersect(top.subg, q);
        if (subg_q.size() == 0) {
            if (chosen_.size() < min_size) continue;
            out.nodes.insert(out.nodes.end(), chosen_.begin(), chosen_.end());
            out.bounds.push_back(static_cast<Node>(out.nodes.size()));
            continue;
        }
        SetTable cand_q = intersect(top.cand, q);
        if (cand_q.size() == 0 || chosen_.size() + cand_q.size() < min_size) continue;
        Frame deeper{std::move(subg_q), std::move(cand_q), {}, 0};
        branch(deeper);
        stack_.push_back(std::move(deeper));
        chosen_.push_back(0);
    }
    return out;
}

Result<CliqueList> clique_percolation(const CliqueList& cliques, std::size_t k,
                                      const std::vector<std::int64_t>& clique_hashes,
                                      const std::vector<std::int64_t>& hashes, std::size_t n) {
    const std::size_t count = cliques.bounds.size() - 1;
    const auto members = [&](std::size_t c) {
        return std::span<const Node>(cliques.nodes.data() + cliques.bounds[c],
                                     cliques.bounds[c + 1] - cliques.bounds[c]);
    };
    // `for node in clique` walks frozenset(c), built from c's list in order.
    std::vector<Node> walk;
    walk.reserve(cliques.nodes.size());
    for (std::size_t c = 0; c < count; ++c) {
        SetTable fs;
        for (Node x : members(c)) fs.add(x, hashes[x]);
        fs.each([&](Node x) { walk.push_back(x); });
    }
    // membership_dict: each node's cliques in clique order (a stable count sort).
    std::vector<std::size_t> start(n + 1, 0);
    for (Node x : cliques.nodes) ++start[x + 1];
    for (std::size_t x = 0; x < n; ++x) start[x + 1] += start[x];
    std::vector<Node> member_of(cliques.nodes.size());
    {
        std::vector<std::size_t> fill(start.begin(), start.end() - 1);
        for (std::size_t c = 0; c < count; ++c) {
            for (Node x : members(c)) member_of[fill[x]++] = static_cast<Node>(c);
        }
    }
    // perc_graph's rows. An edge is first added while its earlier clique is
    // processed (the later one is among its adjacent cliques), so a row
    // lists its earlier neighbours in clique order, then its later ones in
    // the order of its own adjacent-clique set.
    std::vector<std::vector<Node>> perc(count);
    std::vector<std::size_t> mark(n, 0);
    for (std::size_t c = 0; c < count; ++c) {
        if ((c & 0xFFF) == 0 && poll_interrupt()) return interrupted();
        for (Node x : members(c)) mark[x] = c + 1;
        SetTable adjacent;
        for (std::size_t i = cliques.bounds[c]; i < cliques.bounds[c + 1]; ++i) {
            const Node x = walk[i];
            for (std::size_t j = start[x]; j < start[x + 1]; ++j) {
                const Node d = member_of[j];
                if (d != c) adjacent.add(d, clique_hashes[d]);
            }
        }
        adjacent.each([&](Node d) {
            if (d < c) return;
            std::size_t shared = 0;
            for (Node x : members(d)) shared += mark[x] == c + 1 ? 1 : 0;
            if (shared + 1 >= k) {
                perc[c].push_back(d);
                perc[d].push_back(static_cast<Node>(c));
            }
        });
    }
    // connected_components: a breadth-first search from each clique not yet
    // seen, in clique order, into a set whose order is the answer.
    CliqueList out;
    std::vector<bool> seen(count, false);
    std::vector<Node> level;
    std::vector<Node> next_level;
    for (std::size_t c = 0; c < count; ++c) {
        if (seen[c]) continue;
        SetTable component;
        component.add(static_cast<Node>(c), clique_hashes[c]);
        seen[c] = true;
        next_level.assign(1, static_cast<Node>(c));
        while (!next_level.empty()) {
            level.swap(next_level);
            next_level.clear();
            for (Node v : level) {
                for (Node w : perc[v]) {
                    if (seen[w]) continue;
                    seen[w] = true;
                    component.add(w, clique_hashes[w]);
                    next_level.push_back(w);
                }
            }
        }
        component.each([&](Node v) { out.nodes.push_back(v); });
        out.bounds.push_back(static_cast<Node>(out.nodes.size()));
    }
    return out;
}

}  // namespace fennel
