// Maximal cliques in NetworkX's order, and clique percolation.
//
// The search keeps NetworkX's stack of (subg, cand, ext_u) as SetTables, so
// each set has the history of NetworkX's: built by intersection or
// difference, shrunk by cand.remove: the tables give the orders. Membership
// reads no table: a frame's subg and cand are within its parent's, so a
// node's depth tells which frames hold it, and adj[u] is a scan of a short
// row, a bitmap or a search of a long one, or a row marked for one step.
// Each step costs what NetworkX's costs in set operations, without the
// Python calls around them (the pivot's key function above all).
#include "algorithms/clique.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <iterator>
#include <span>

namespace fennel {

template <class InS>
void CliqueSearch::intersect(SetTable& r, const SetTable& s, InS&& in_s, Node q) {
    r.clear();
    if (degree(q) > s.size()) {
        // s's members looked up in q's row: marked first unless s is tiny.
        const bool marked = s.size() > 8;
        if (marked) for_row(q, [&](Node x) { marks_[x] = 1; });
        s.each([&](Node x) {
            if (marked ? marks_[x] != 0 : adjacent(q, x)) r.add(x, hash_[x]);
        });
        if (marked) for_row(q, [&](Node x) { marks_[x] = 0; });
    } else {
        for_row(q, [&](Node x) {
            if (in_s(x)) r.add(x, hash_[x]);
        });
    }
}

CliqueSearch::CliqueSearch(const Csr& rows, std::vector<std::int64_t> hashes, const std::vector<Node>& prefix)
    : hash_(std::move(hashes)) {
    const Count n = rows.node_count();
    marks_.assign(n, 0);
    offsets_.assign(n + 1, 0);
    order_.reserve(rows.slot_count());
    SetTable adj;
    for (Node u = 0; u < n; ++u) {
        adj.clear();
        for (Node v : rows.row(u)) {
            if (v != u) adj.add(v, hash_[v]);
        }
        adj.each([&](Node v) { order_.push_back(v); });
        offsets_[u + 1] = order_.size();
    }
    // Short rows are scanned whole (adjacent): only longer ones need sorting.
    sorted_ = order_;
    for (Node u = 0; u < n; ++u) {
        if (degree(u) <= LINEAR_DEGREE) continue;
        std::sort(sorted_.begin() + static_cast<std::ptrdiff_t>(offsets_[u]),
                  sorted_.begin() + static_cast<std::ptrdiff_t>(offsets_[u + 1]));
    }
    // Rows past 32 neighbours take a bitmap while 64 MiB allow, the largest first.
    constexpr std::size_t BITMAP_DEGREE = 32;
    constexpr std::size_t BITMAP_WORDS = std::size_t{1} << 23;
    const std::size_t words = (static_cast<std::size_t>(n) + 63) / 64;
    bits_of_.assign(n, NO_BITS);
    std::vector<Node> wide;
    for (Node u = 0; u < n; ++u) {
        if (degree(u) > BITMAP_DEGREE) wide.push_back(u);
    }
    std::stable_sort(wide.begin(), wide.end(), [&](Node a, Node b) { return degree(a) > degree(b); });
    for (Node u : wide) {
        if (row_bits_.size() + words > BITMAP_WORDS) break;
        bits_of_[u] = static_cast<std::uint32_t>(row_bits_.size());
        row_bits_.resize(row_bits_.size() + words, 0);
        for (std::size_t i = offsets_[u]; i < offsets_[u + 1]; ++i) {
            row_bits_[bits_of_[u] + order_[i] / 64] |= std::uint64_t{1} << (order_[i] % 64);
        }
    }
    SetTable cand;
    for (Node u = 0; u < n; ++u) cand.add(u, hash_[u]);
    for (Node p : prefix) {
        if (!cand.contains(p, hash_[p])) break;
        SetTable within;
        intersect(within, cand, [&](Node x) { return cand.contains(x, hash_[x]); }, p);
        cand = std::move(within);
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
    cand_depth_.assign(n, 0);
    cand.each([&](Node x) { cand_depth_[x] = 1; });
    subg_depth_ = cand_depth_;
    Frame top{SetTable::copy_of(cand), std::move(cand), {}, 0};
    branch(top, 1);
    stack_.push_back(std::move(top));
    chosen_.push_back(0);
}

bool CliqueSearch::adjacent(Node u, Node x) const {
    if (bits_of_[u] != NO_BITS) return (row_bits_[bits_of_[u] + x / 64] >> (x % 64)) & 1;
    const std::size_t begin = offsets_[u];
    const std::size_t end = offsets_[u + 1];
    if (end - begin <= LINEAR_DEGREE) {
        // A short row is compared whole, without a branch per entry.
        const Node* row = sorted_.data() + begin;
        unsigned found = 0;
        for (std::size_t i = 0; i < end - begin; ++i) found |= row[i] == x ? 1u : 0u;
        return found != 0;
    }
    return std::binary_search(sorted_.begin() + static_cast<std::ptrdiff_t>(offsets_[u]),
                              sorted_.begin() + static_cast<std::ptrdiff_t>(offsets_[u + 1]), x);
}

void CliqueSearch::branch(Frame& top, std::uint32_t depth) {
    // max() keeps the first of equal keys: a later u is only read when its
    // row could beat the best so far, and none can once the best holds
    // all of cand.
    bool first = true;
    bool settled = false;
    Node pivot = 0;
    std::size_t best = 0;
    const std::size_t most = top.cand.size();
    top.subg.each([&](Node u) {
        if (settled || (!first && std::min(degree(u), most) <= best)) return;
        std::size_t c = 0;
        for_row(u, [&](Node x) { c += cand_depth_[x] >= depth ? 1 : 0; });
        if (first || c > best) {
            first = false;
            pivot = u;
            best = c;
            settled = best == most;
        }
    });
    // cand - adj[pivot], with the pivot's row marked unless cand is tiny.
    const bool marked = most > 4;
    if (marked) for_row(pivot, [&](Node x) { marks_[x] = 1; });
    const SetTable ext = SetTable::difference(
        top.cand, degree(pivot), [&](Node x) { return marked ? marks_[x] != 0 : adjacent(pivot, x); },
        [&](Node x) { return hash_[x]; });
    if (marked) for_row(pivot, [&](Node x) { marks_[x] = 0; });
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
    // Invariant: the first chosen_.size() frames of stack_ are NetworkX's
    // stack, its current frame last, and chosen_ holds one entry per frame,
    // the last being Q[-1]. Frames past them are spent ones, kept so that
    // their tables' memory serves the next frames.
    while (out.bounds.size() <= limit) {
        if ((++steps & 0x3FFF) == 0 && poll_interrupt()) return interrupted();
        const std::size_t live = chosen_.size();
        const auto depth = static_cast<std::uint32_t>(live);
        Frame& top = stack_[live - 1];
        if (top.next == top.ext.size()) {
            top.subg.each([&](Node x) { subg_depth_[x] = depth - 1; });
            top.cand.each([&](Node x) { cand_depth_[x] = depth - 1; });
            chosen_.pop_back();
            if (chosen_.empty()) {
                done_ = true;
                break;
            }
            continue;
        }
        const Node q = top.ext[top.next++];
        top.cand.discard(q, hash_[q]);
        cand_depth_[q] = depth - 1;
        chosen_.back() = q;
        if (stack_.size() == live) stack_.emplace_back();
        Frame& parent = stack_[live - 1];
        Frame& deeper = stack_[live];
        intersect(deeper.subg, parent.subg, [&](Node x) { return subg_depth_[x] >= depth; }, q);
        if (deeper.subg.size() == 0) {
            if (chosen_.size() < min_size) continue;
            out.nodes.insert(out.nodes.end(), chosen_.begin(), chosen_.end());
            out.bounds.push_back(static_cast<Node>(out.nodes.size()));
            continue;
        }
        intersect(deeper.cand, parent.cand, [&](Node x) { return cand_depth_[x] >= depth; }, q);
        if (deeper.cand.size() == 0 || chosen_.size() + deeper.cand.size() < min_size) continue;
        deeper.subg.each([&](Node x) { subg_depth_[x] = depth + 1; });
        deeper.cand.each([&](Node x) { cand_depth_[x] = depth + 1; });
        branch(deeper, depth + 1);
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

namespace {

// Each node's distinct neighbours but itself, ascending: rows as offsets
// into one array. `after` keeps only those after the node.
void sorted_rows(const Csr& rows, bool after, std::vector<std::size_t>& offsets, std::vector<Node>& out) {
    const Count n = rows.node_count();
    offsets.assign(n + 1, 0);
    out.clear();
    for (Node u = 0; u < n; ++u) {
        const std::size_t start = out.size();
        for (Node v : rows.row(u)) {
            if (v != u && (!after || v > u)) out.push_back(v);
        }
        const auto first = out.begin() + static_cast<std::ptrdiff_t>(start);
        std::sort(first, out.end());
        out.erase(std::unique(first, out.end()), out.end());
        offsets[u + 1] = out.size();
    }
}

// a & b of two ascending lists, ascending. A list far shorter than the
// other is looked up in it rather than merged with it: the first frame's
// candidates are every node, a row only a few.
std::vector<Node> common_of(std::span<const Node> a, std::span<const Node> b) {
    std::vector<Node> out;
    if (a.size() < b.size()) std::swap(a, b);
    if (a.size() > 16 * b.size()) {
        for (Node x : b) {
            if (std::binary_search(a.begin(), a.end(), x)) out.push_back(x);
        }
        return out;
    }
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

}  // namespace

CliqueLevels::CliqueLevels(const Csr& rows) { sorted_rows(rows, true, offsets_, later_); }

Result<CliqueList> CliqueLevels::next(std::size_t limit) {
    CliqueList out;
    std::size_t steps = 0;
    while (out.bounds.size() <= limit && !done_) {
        if ((++steps & 0x3FFF) == 0 && poll_interrupt()) return interrupted();
        if (stack_.empty()) {
            // The walk for one size is over: the next size, if this one had any.
            if (!found_ || node_count() == 0) {
                done_ = true;
                break;
            }
            ++size_;
            found_ = false;
            Frame top;
            top.cand.resize(node_count());
            for (Node u = 0; u < node_count(); ++u) top.cand[u] = u;
            stack_.push_back(std::move(top));
            continue;
        }
        Frame& top = stack_.back();
        const std::size_t depth = stack_.size();  // the clique's size with the next candidate
        // Every later candidate's branch is a subset of what follows it here.
        if (top.next == top.cand.size() || depth + (top.cand.size() - top.next - 1) < size_) {
            stack_.pop_back();
            if (!base_.empty()) base_.pop_back();
            continue;
        }
        const Node u = top.cand[top.next++];
        if (depth == size_) {
            found_ = true;
            out.nodes.insert(out.nodes.end(), base_.begin(), base_.end());
            out.nodes.push_back(u);
            out.bounds.push_back(static_cast<Node>(out.nodes.size()));
            continue;
        }
        const std::span<const Node> rest(top.cand.data() + top.next, top.cand.size() - top.next);
        const std::span<const Node> later(later_.data() + offsets_[u], offsets_[u + 1] - offsets_[u]);
        // The first frame's candidates after u are every later node.
        std::vector<Node> cand = depth == 1 ? std::vector<Node>(later.begin(), later.end()) : common_of(rest, later);
        if (depth + cand.size() < size_) continue;
        base_.push_back(u);
        stack_.push_back(Frame{std::move(cand), 0});
    }
    return out;
}

Result<CliqueNumbers> clique_numbers(const Csr& rows, std::vector<std::int64_t> hashes) {
    CliqueSearch search(rows, std::move(hashes), {});
    const std::size_t n = search.node_count();
    CliqueNumbers numbers;
    std::vector<std::uint32_t> size(n, 0);
    while (!search.done()) {
        auto batch = search.next(1 << 16);
        if (!batch.ok()) return batch.error();
        const CliqueList& b = batch.value();
        for (std::size_t c = 0; c + 1 < b.bounds.size(); ++c) {
            const auto k = static_cast<std::uint32_t>(b.bounds[c + 1] - b.bounds[c]);
            for (std::size_t i = b.bounds[c]; i < b.bounds[c + 1]; ++i) {
                const Node v = b.nodes[i];
                if (size[v] == 0) numbers.nodes.push_back(v);
                size[v] = std::max(size[v], k);
            }
        }
    }
    numbers.sizes.reserve(numbers.nodes.size());
    for (Node v : numbers.nodes) numbers.sizes.push_back(size[v]);
    return numbers;
}

namespace {

// The largest clique among ascending `cand`, at least `best` to be worth
// finding: plain branch and bound, candidates' count as the bound.
std::uint32_t largest_within(const std::vector<std::size_t>& offsets, const std::vector<Node>& adj,
                             const std::vector<Node>& cand, std::uint32_t best) {
    if (cand.size() <= best) return best;
    for (std::size_t i = 0; i < cand.size() && cand.size() - i > best; ++i) {
        const Node u = cand[i];
        const std::span<const Node> rest(cand.data() + i + 1, cand.size() - i - 1);
        const std::span<const Node> row(adj.data() + offsets[u], offsets[u + 1] - offsets[u]);
        const std::vector<Node> sub = common_of(rest, row);
        best = std::max(best, 1 + largest_within(offsets, adj, sub, best == 0 ? 0 : best - 1));
    }
    return best;
}

}  // namespace

Result<std::vector<std::uint32_t>> clique_numbers_at(const Csr& rows, const std::vector<Node>& nodes) {
    std::vector<std::size_t> offsets;
    std::vector<Node> adj;
    sorted_rows(rows, false, offsets, adj);
    std::vector<std::uint32_t> sizes;
    sizes.reserve(nodes.size());
    for (Node v : nodes) {
        if (poll_interrupt()) return interrupted();
        const std::vector<Node> around(adj.begin() + static_cast<std::ptrdiff_t>(offsets[v]),
                                       adj.begin() + static_cast<std::ptrdiff_t>(offsets[v + 1]));
        sizes.push_back(1 + largest_within(offsets, adj, around, 0));
    }
    return sizes;
}

namespace {

class WeightedSearch {
public:
    WeightedSearch(const Csr& rows, const std::vector<std::int64_t>& weights, std::size_t max_depth)
        : weight_(weights), max_depth_(max_depth), residual_(weights.size(), 0) {
        sorted_rows(rows, false, offsets_, adj_);
    }

    // expand(C, C_weight, P): the incumbent improved, then each branching
    // node popped, taken out of P, and searched with its neighbours in P.
    bool expand(std::vector<Node>& C, std::int64_t c_weight, std::vector<Node>& P) {
        if (C.size() > max_depth_) return false;
        if ((++steps_ & 0x3FF) == 0 && poll_interrupt()) {
            stopped_ = true;
            return false;
        }
        if (c_weight > best_.weight) {
            best_.nodes = C;
            best_.weight = c_weight;
        }
        std::vector<Node> branching = branching_nodes(P, best_.weight - c_weight);
        while (!branching.empty()) {
            const Node v = branching.back();
            branching.pop_back();
            P.erase(std::find(P.begin(), P.end(), v));
            std::vector<Node> deeper;
            for (Node w : P) {
                if (adjacent(v, w)) deeper.push_back(w);
            }
            C.push_back(v);
            const bool ok = expand(C, c_weight + weight_[v], deeper);
            C.pop_back();
            if (!ok) return false;
        }
        return true;
    }

    WeightedClique best_;
    bool stopped_ = false;

private:
    bool adjacent(Node v, Node w) const {
        return std::binary_search(adj_.begin() + static_cast<std::ptrdiff_t>(offsets_[v]),
                                  adj_.begin() + static_cast<std::ptrdiff_t>(offsets_[v + 1]), w);
    }

    // greedily_find_independent_set: P's first node, then the first of
    // those left that are neither it nor its neighbours, and so on.
    std::vector<Node> independent_set(std::vector<Node> P) const {
        std::vector<Node> chosen;
        while (!P.empty()) {
            const Node v = P.front();
            chosen.push_back(v);
            std::erase_if(P, [&](Node w) { return w == v || adjacent(v, w); });
        }
        return chosen;
    }

    // find_branching_nodes: colour classes weighed by their lightest
    // residual weight until they outweigh `target`; what is left of P.
    std::vector<Node> branching_nodes(std::vector<Node> P, std::int64_t target) {
        for (Node v : P) residual_[v] = weight_[v];
        std::int64_t total = 0;
        while (!P.empty()) {
            const std::vector<Node> chosen = independent_set(P);
            std::int64_t lightest = residual_[chosen.front()];
            for (Node v : chosen) lightest = std::min(lightest, residual_[v]);
            total += lightest;
            if (total > target) break;
            for (Node v : chosen) residual_[v] -= lightest;
            std::erase_if(P, [&](Node v) { return residual_[v] == 0; });
        }
        return P;
    }

    const std::vector<std::int64_t>& weight_;
    std::size_t max_depth_;
    std::vector<std::size_t> offsets_;
    std::vector<Node> adj_;
    std::vector<std::int64_t> residual_;  // read only for the current P's nodes
    std::size_t steps_ = 0;
};

}  // namespace

Result<WeightedClique> max_weight_clique(const Csr& rows, const std::vector<std::int64_t>& degrees,
                                         const std::vector<std::int64_t>& weights, std::size_t max_depth) {
    const Count n = rows.node_count();
    std::vector<Node> order(n);
    for (Node v = 0; v < n; ++v) order[v] = v;
    // sorted(..., reverse=True) keeps equal keys in their first order.
    std::stable_sort(order.begin(), order.end(), [&](Node a, Node b) { return degrees[a] > degrees[b]; });
    std::erase_if(order, [&](Node v) { return weights[v] <= 0; });
    WeightedSearch search(rows, weights, max_depth);
    std::vector<Node> C;
    const bool finished = search.expand(C, 0, order);
    if (search.stopped_) return interrupted();
    search.best_.deep = !finished;
    return std::move(search.best_);
}

}  // namespace fennel
