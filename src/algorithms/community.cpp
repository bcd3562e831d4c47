// NetworkX's community detection and partition quality.
//
// label_propagation_communities: rounds over `order` (the
// visiting order the caller derives from NetworkX's colouring), each node
// taking its neighbours' most frequent label (the largest of several unless
// it holds one of them already), until every node holds one of its
// neighbours' most frequent labels.
//
// Cost: O(m) per round; the label counts are reset from the labels met, so
// a node costs its row, not n.
//
// partition_quality: the intra-community edges counted as NetworkX's walk
// over G.edges() meets them (the rest is Python's int arithmetic, done by
// the caller). O(m).
//
// Louvain (louvain.py's _one_level and _gen_graph, 3.7's _aggregate_graph) and modularity
// (quality.py): every float is formed by NetworkX's own expression, operand
// by operand, in NetworkX's order: weighted degrees as sum() adds a row,
// neighbour weights per community in first-met order (which also breaks
// ties: a later community must gain strictly more), the node's own community
// taking part in the comparison at its place (NetworkX's defaultdict inserts
// it last when no neighbour is in it). Integer weights are added as doubles:
// the caller keeps every integer total and product within 2**53, where
// double arithmetic is Python's exact int arithmetic.
//
// Cost: a level repeats passes until no node moves; a pass checks every
// node in O(1) and visits only those whose inputs changed since their last
// visit (at most two sweeps of O(n + m), a late pass far fewer). Modularity
// is O(n + m).
#include "algorithms/community.hpp"

#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace fennel {

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

// Anything but a permutation of every node could leave a label (or a move)
// free to change forever: the loops would never end.
Status check_permutation(const std::vector<Node>& order, Count n) {
    if (order.size() != n) return value_error("order must list every node once");
    std::vector<std::uint8_t> listed(n, 0);
    for (Node v : order) {
        if (v >= n) return index_error();
        if (listed[v]) return value_error("order must list every node once");
        listed[v] = 1;
    }
    return {};
}

}  // namespace

Result<std::vector<Node>> label_propagation(const Csr& out, const std::vector<Node>& order) {
    const Count n = out.node_count();
    if (Status st = check_permutation(order, n); !st.ok()) return st.error();
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

Result<IntraEdges> intra_community_edges(const Csr& out, bool directed, const std::vector<Node>& label,
                                         Node unlabelled, const std::vector<Node>& keys) {
    const Count n = out.node_count();
    if (label.size() != n) return value_error("label must give every node's community");
    if (!keys.empty() && keys.size() != out.slot_count()) return value_error("keys must count every slot");
    IntraEdges result;
    for (Node u = 0; u < n; ++u) {
        if ((u & 0xFFFF) == 0 && poll_interrupt()) return interrupted();
        for (Slot s = out.begin(u); s < out.end(u); ++s) {
            const Node v = out.targets[s];
            if (!directed && v < u) continue;
            if (!keys.empty() && keys[s] == 0) continue;  // a pair left without keys lists no edge
            if (label[u] == unlabelled || label[v] == unlabelled) {
                result.missing = label[u] == unlabelled ? u : v;
                result.complete = false;
                return result;
            }
            const Count k = keys.empty() ? 1 : keys[s];
            result.edges += k;
            if (label[u] == label[v]) result.intra += k;
        }
    }
    return result;
}

namespace {

constexpr Node NO_COMMUNITY = 0xFFFFFFFFu;

// x ** 2 as Python computes it for a value of kind `kind`: ints square
// exactly (within 2**53 here), floats through pow().
double square(double x, std::uint8_t kind) { return kind & FLOAT_BIT ? libm_pow(x, 2.0) : x * x; }

// A number with its value kind, as NetworkX's arithmetic carries it.
struct Typed {
    double value = 0.0;
    std::uint8_t kind = PY_INT;
};

// sum(dd["weight"] for dd in row) over slots [b, e).
Typed row_sum(const std::vector<double>& w, const std::vector<std::uint8_t>& k, Slot b, Slot e, bool compensated) {
    KindSum sum(compensated);
    for (Slot s = b; s < e; ++s) sum.add(w[s], k[s]);
    return {sum.value(), sum.kind()};
}

// NetworkX's weighted degrees: undirected rows add a self-loop twice (the
// row's sum, then the loop's weight); directed graphs give out- and
// in-degrees apart.
struct Degrees {
    std::vector<Typed> out;  // degree when undirected
    std::vector<Typed> in;   // directed only
};

Degrees weighted_degrees(const WeightedRows& g, bool compensated) {
    const Count n = g.n();
    Degrees d;
    d.out.resize(n);
    if (g.directed) d.in.resize(n);
    for (Node u = 0; u < n; ++u) {
        d.out[u] = row_sum(g.out_w, g.out_k, g.out.begin(u), g.out.end(u), compensated);
        if (g.directed) {
            d.in[u] = row_sum(g.in_w, g.in_k, g.in.begin(u), g.in.end(u), compensated);
            continue;
        }
        for (Slot s = g.out.begin(u); s < g.out.end(u); ++s) {
            if (g.out.targets[s] == u) {
                d.out[u].value += g.out_w[s];
                d.out[u].kind |= g.out_k[s];
                break;
            }
        }
    }
    return d;
}

Typed typed_sum(const std::vector<Typed>& values, bool compensated) {
    KindSum sum(compensated);
    for (const Typed& t : values) sum.add(t.value, t.kind);
    return {sum.value(), sum.kind()};
}

// Each pair's edge id, by open addressing over at least twice as many
// slots as pairs: one probe in most look-ups, no node per entry.
class PairIds {
public:
    explicit PairIds(std::size_t pairs) {
        const std::size_t slots = std::bit_ceil(std::max<std::size_t>(2 * pairs, 16));
        keys_.assign(slots, EMPTY);
        ids_.resize(slots);
        shift_ = 64 - std::countr_zero(slots);
    }

    // The id of `key`, inserting `fresh` when absent; whether it was absent.
    std::pair<std::uint32_t, bool> find_or_insert(std::uint64_t key, std::uint32_t fresh) {
        const std::size_t mask = keys_.size() - 1;
        for (std::size_t i = (key * 0x9E3779B97F4A7C15ull) >> shift_;; i = (i + 1) & mask) {
            if (keys_[i] == key) return {ids_[i], false};
            if (keys_[i] == EMPTY) {
                keys_[i] = key;
                ids_[i] = fresh;
                return {fresh, true};
            }
        }
    }

private:
    // No pair of positions below 2**32 - 1 packs to all ones.
    static constexpr std::uint64_t EMPTY = ~std::uint64_t{0};
    std::vector<std::uint64_t> keys_;
    std::vector<std::uint32_t> ids_;
    int shift_ = 0;
};

}  // namespace

Result<WeightedRows> rows_from_edges(Count n, bool directed, const EdgeSeq& edges, bool plus_zero, bool distinct) {
    if (n > MAX_CONVERTED_NODES) return value_error("too many nodes");
    const std::size_t count = edges.us.size();
    // Each new pair appends to the rows as add_edge does: u's row, then v's
    // (undirected, unless a self-loop) or v's predecessors (directed).
    struct Append {
        Node row;
        Node target;
        std::uint32_t edge;
    };
    std::vector<Append> outs, ins;
    std::vector<double> weight;
    std::vector<std::uint8_t> kind;
    PairIds id(distinct ? 0 : count);
    weight.reserve(count);
    kind.reserve(count);
    outs.reserve(directed ? count : 2 * count);
    if (directed) ins.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Node u = edges.us[i], v = edges.vs[i];
        if (u >= n || v >= n) return index_error();
        const auto edge = static_cast<std::uint32_t>(weight.size());
        if (!distinct) {
            const Node a = directed ? u : std::min(u, v), b = directed ? v : std::max(u, v);
            const auto [known, fresh] = id.find_or_insert(std::uint64_t{a} << 32 | b, edge);
            if (!fresh) {
                weight[known] = edges.w[i] + weight[known];
                kind[known] |= edges.k[i];
                continue;
            }
        }
        weight.push_back(plus_zero ? edges.w[i] + 0.0 : edges.w[i]);
        kind.push_back(edges.k[i]);
        outs.push_back({u, v, edge});
        if (directed) {
            ins.push_back({v, u, edge});
        } else if (u != v) {
            outs.push_back({v, u, edge});
        }
    }
    // A stable counting sort by row keeps each row in append order.
    auto rows = [&](const std::vector<Append>& appends, Csr& csr, std::vector<double>& w, std::vector<std::uint8_t>& k) {
        csr.offsets.assign(n + 1, 0);
        for (const Append& x : appends) ++csr.offsets[x.row + 1];
        std::partial_sum(csr.offsets.begin(), csr.offsets.end(), csr.offsets.begin());
        std::vector<Slot> next(csr.offsets.begin(), csr.offsets.end() - 1);
        csr.targets.resize(appends.size());
        w.resize(appends.size());
        k.resize(appends.size());
        for (const Append& x : appends) {
            const Slot s = next[x.row]++;
            csr.targets[s] = x.target;
            w[s] = weight[x.edge];
            k[s] = kind[x.edge];
        }
    };
    WeightedRows g;
    g.directed = directed;
    rows(outs, g.out, g.out_w, g.out_k);
    if (directed) rows(ins, g.in, g.in_w, g.in_k);
    return g;
}

Result<ModularityValue> modularity_value(const WeightedRows& g, const std::vector<Node>& members,
                                         const std::vector<Node>& bounds, double resolution, bool compensated) {
    const Count n = g.n();
    if (bounds.empty() || bounds.front() != 0 || bounds.back() != members.size()) {
        return value_error("bounds must cut the members from 0 to their end");
    }
    std::vector<Node> com_of(n, NO_COMMUNITY);
    for (std::size_t c = 0; c + 1 < bounds.size(); ++c) {
        if (bounds[c + 1] < bounds[c]) return value_error("bounds must not decrease");
        for (Count i = bounds[c]; i < bounds[c + 1]; ++i) {
            if (members[i] >= n) return index_error();
            if (com_of[members[i]] != NO_COMMUNITY) return value_error("communities must not overlap");
            com_of[members[i]] = static_cast<Node>(c);
        }
    }
    const Degrees deg = weighted_degrees(g, compensated);
    ModularityValue result;
    const Typed total = typed_sum(deg.out, compensated);
    result.total = total.value;
    result.total_kind = total.kind;
    // Directed: m = sum(out_degree.values()), norm = 1 / m ** 2. Undirected:
    // m = deg_sum / 2, norm = 1 / deg_sum ** 2.
    const double m = g.directed ? total.value : total.value / 2;
    const double squared = square(total.value, total.kind);
    if (squared == 0.0) {
        result.degenerate = true;
        return result;
    }
    const double norm = 1.0 / squared;
    std::vector<std::uint8_t> done(g.directed ? 0 : n, 0);
    KindSum q(compensated);
    for (std::size_t c = 0; c + 1 < bounds.size(); ++c) {
        if (poll_interrupt()) return interrupted();
        // L_c: G.edges(comm) from each member in set order; an undirected
        // edge once, from the member listed first.
        KindSum inner(compensated), out_sum(compensated), in_sum(compensated);
        for (Count i = bounds[c]; i < bounds[c + 1]; ++i) {
            const Node u = members[i];
            for (Slot s = g.out.begin(u); s < g.out.end(u); ++s) {
                const Node v = g.out.targets[s];
                if (com_of[v] != c || (!g.directed && done[v])) continue;
                inner.add(g.out_w[s], g.out_k[s]);
            }
            if (!g.directed) done[u] = 1;
        }
        for (Count i = bounds[c]; i < bounds[c + 1]; ++i) out_sum.add(deg.out[members[i]].value, deg.out[members[i]].kind);
        if (g.directed) {
            for (Count i = bounds[c]; i < bounds[c + 1]; ++i) in_sum.add(deg.in[members[i]].value, deg.in[members[i]].kind);
        }
        const double ods = out_sum.value();
        const double ids = g.directed ? in_sum.value() : ods;
        q.add(inner.value() / m - resolution * ods * ids * norm, PY_FLOAT);
    }
    result.value = q.value();
    return result;
}

Result<OverlappingTerms> overlapping_modularity_terms(const WeightedRows& g, const std::vector<Node>& members,
                                                      const std::vector<Node>& bounds,
                                                      const std::vector<Node>& count, bool compensated) {
    const Count n = g.n();
    if (g.directed) return value_error("overlapping modularity is defined on undirected graphs");
    if (bounds.empty() || bounds.front() != 0 || bounds.back() != members.size()) {
        return value_error("bounds must cut the members from 0 to their end");
    }
    if (!members.empty() && count.size() != n) return value_error("count must hold one number per node");
    for (std::size_t c = 0; c + 1 < bounds.size(); ++c) {
        if (bounds[c + 1] < bounds[c]) return value_error("bounds must not decrease");
    }
    for (const Node u : members) {
        if (u >= n) return index_error();
        if (count[u] == 0) return value_error("every member must be counted");
    }
    const Degrees deg = weighted_degrees(g, compensated);
    const Typed total = typed_sum(deg.out, compensated);
    OverlappingTerms result;
    result.total = total.value;
    result.total_kind = total.kind;
    // `mark[u] == c + 1`: u is in community c; `seen[u] == c + 1`: u's row
    // has been walked for c, so an edge back to u was already listed
    // (G.edges(comm) lists an undirected edge once, from the member first in
    // set order).
    std::vector<std::size_t> mark(members.empty() ? 0 : n, 0), seen(members.empty() ? 0 : n, 0);
    for (std::size_t c = 0; c + 1 < bounds.size(); ++c) {
        if (poll_interrupt()) return interrupted();
        const std::size_t stamp = c + 1;
        for (Count i = bounds[c]; i < bounds[c + 1]; ++i) mark[members[i]] = stamp;
        // Each term is a true division, a float whatever the weight's kind.
        KindSum inner(compensated), degree(compensated);
        for (Count i = bounds[c]; i < bounds[c + 1]; ++i) {
            const Node u = members[i];
            for (Slot s = g.out.begin(u); s < g.out.end(u); ++s) {
                const Node v = g.out.targets[s];
                if (mark[v] != stamp || seen[v] == stamp) continue;
                inner.add(g.out_w[s] / static_cast<double>(std::uint64_t{count[u]} * count[v]), PY_FLOAT);
            }
            seen[u] = stamp;
        }
        for (Count i = bounds[c]; i < bounds[c + 1]; ++i) {
            const Node u = members[i];
            degree.add(deg.out[u].value / static_cast<double>(count[u]), PY_FLOAT);
        }
        result.inner.push_back(2 * inner.value() / total.value);
        result.degree.push_back(degree.value() / total.value);
    }
    return result;
}

double graph_size(const WeightedRows& g, bool compensated) {
    const Degrees deg = weighted_degrees(g, compensated);
    std::vector<Typed> total(deg.out);
    if (g.directed) {
        for (std::size_t u = 0; u < total.size(); ++u) {
            total[u].value += deg.in[u].value;
            total[u].kind |= deg.in[u].kind;
        }
    }
    return typed_sum(total, compensated).value / 2;
}

Louvain::Louvain(WeightedRows level, double m, double resolution, bool compensated, LouvainForm form)
    : g_(std::move(level)), resolution_(resolution), compensated_(compensated), form_(form), m_(m) {}

namespace {

// nbrs[u] of _one_level: u's neighbours but u itself with their weights;
// directed graphs add out- then in-weights per neighbour into a float,
// first-met order. The rows are symmetric: v is in u's row exactly when u is
// in v's.
struct NeighbourRows {
    Csr rows;
    std::vector<double> w;
};

NeighbourRows neighbour_rows(const WeightedRows& g) {
    const Count n = g.n();
    const bool directed = g.directed;
    NeighbourRows r;
    Csr& nbrs = r.rows;
    nbrs.offsets.assign(n + 1, 0);
    std::vector<Slot> at(directed ? n : 0, 0);
    for (Node u = 0; u < n; ++u) {
        const Slot start = nbrs.targets.size();
        auto add = [&](Node v, double w) {
            if (v == u) return;
            if (!directed) {
                nbrs.targets.push_back(v);
                r.w.push_back(w);
                return;
            }
            if (at[v] == 0) {
                nbrs.targets.push_back(v);
                r.w.push_back(0.0);
                at[v] = nbrs.targets.size();
            }
            r.w[at[v] - 1] += w;
        };
        for (Slot s = g.out.begin(u); s < g.out.end(u); ++s) add(g.out.targets[s], g.out_w[s]);
        if (directed) {
            for (Slot s = g.in.begin(u); s < g.in.end(u); ++s) add(g.in.targets[s], g.in_w[s]);
            for (Slot s = start; s < nbrs.targets.size(); ++s) at[nbrs.targets[s]] = 0;
        }
        nbrs.offsets[u + 1] = nbrs.targets.size();
    }
    return r;
}

// Which nodes a pass must visit. NetworkX's visit of u reads only its
// neighbours' communities (their order of first appearance and the weights
// gathered per community) and Stot of the communities it sees, its own
// included. A visit that leaves u where it is and gives every Stot back the
// bits it had changes nothing, so a node none of whose inputs changed since
// such a visit would make that same visit again: the pass skips it.
//
// Times come from one clock that ticks at every visit and every change.
// seen[u] is the time of u's last visit; touched[u] the time of the last
// change to its inputs; flood the time of the last change told to every
// node at once. u needs a visit exactly when max(touched[u], flood) > seen[u].
//
// A change to community c (its Stot, or who is in it) reaches c's members
// and their neighbours, found from per-community member lists. Telling them
// costs c's volume (members plus their rows); once a pass has spent a full
// sweep's worth, further changes flood instead, so a pass costs at most two
// sweeps and a late pass costs its changes, not n + m.
class Revisits {
public:
    explicit Revisits(const Csr& nbrs)
        : nbrs_(nbrs), seen_(nbrs.node_count(), 0), touched_(nbrs.node_count(), 1),
          next_(nbrs.node_count()), prev_(nbrs.node_count(), NO_COMMUNITY),
          first_(nbrs.node_count()), volume_(nbrs.node_count()) {
        // Every node starts alone in its own community, unvisited.
        for (Node u = 0; u < nbrs.node_count(); ++u) {
            next_[u] = NO_COMMUNITY;
            first_[u] = u;
            volume_[u] = 1 + (nbrs.end(u) - nbrs.begin(u));
        }
    }

    void start_pass() { budget_ = nbrs_.node_count() + nbrs_.slot_count(); }

    // Whether u's visit could differ from its last; if so, the visit starts now.
    bool visit(Node u) {
        if (std::max(touched_[u], flood_) <= seen_[u]) return false;
        seen_[u] = ++clock_;
        return true;
    }

    // u left community `from` for `to`: both totals changed, and so did what
    // u's neighbours see; `to`'s members include u by the time they are told.
    void move(Node u, Node from, Node to) {
        const Count volume = 1 + (nbrs_.end(u) - nbrs_.begin(u));
        if (prev_[u] == NO_COMMUNITY) {
            first_[from] = next_[u];
        } else {
            next_[prev_[u]] = next_[u];
        }
        if (next_[u] != NO_COMMUNITY) prev_[next_[u]] = prev_[u];
        volume_[from] -= volume;
        prev_[u] = NO_COMMUNITY;
        next_[u] = first_[to];
        if (first_[to] != NO_COMMUNITY) prev_[first_[to]] = u;
        first_[to] = u;
        volume_[to] += volume;
        ++clock_;
        changed(from);
        changed(to);
    }

    // c's Stot took other bits; the time is the clock's latest tick.
    void changed(Node c) {
        if (volume_[c] > budget_) {
            flood_ = clock_;
            return;
        }
        budget_ -= volume_[c];
        for (Node x = first_[c]; x != NO_COMMUNITY; x = next_[x]) {
            touched_[x] = clock_;
            for (Node v : nbrs_.row(x)) touched_[v] = clock_;
        }
    }

    void tick() { ++clock_; }

private:
    const Csr& nbrs_;
    std::vector<std::uint64_t> seen_, touched_;
    std::vector<Node> next_, prev_;  // community members, linked
    std::vector<Node> first_;        // by community: first member, NO_COMMUNITY when empty
    std::vector<Count> volume_;      // by community: members plus their rows' lengths
    std::uint64_t clock_ = 1, flood_ = 0;
    Count budget_ = 0;
};

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

}  // namespace

Result<LevelMoves> Louvain::one_level(const std::vector<Node>& order) {
    const Count n = g_.n();
    if (Status st = check_permutation(order, n); !st.ok()) return st.error();
    const bool directed = g_.directed;
    const Degrees deg = weighted_degrees(g_, compensated_);
    std::vector<double> stot_out(n), stot_in(directed ? n : 0);
    for (Node u = 0; u < n; ++u) stot_out[u] = deg.out[u].value;
    for (Node u = 0; u < n && directed; ++u) stot_in[u] = deg.in[u].value;
    const NeighbourRows nb = neighbour_rows(g_);
    const Csr& nbrs = nb.rows;

    node2com_.resize(n);
    std::iota(node2com_.begin(), node2com_.end(), Node{0});
    const bool scaled = form_ == LouvainForm::SCALED;
    const double m = m_;
    const double res = resolution_;
    // DIVIDED divides x by m**2 (2 * m**2 undirected); SCALED multiplies
    // it by gamma.
    const double m2 = libm_pow(m, 2.0);
    const double denom = directed ? m2 : 2 * m2;
    const double gamma = directed ? res : res / 2;
    // weights2com (u_deg_by_com): communities in first-met order with their
    // weights; at[c] is c's place plus one, 0 when absent (reset after each
    // node).
    std::vector<Node> coms;
    std::vector<double> acc;
    std::vector<std::uint32_t> at(n, 0);
    Revisits revisits(nbrs);
    LevelMoves result;
    Count moved = 1;
    while (moved > 0) {
        if (poll_interrupt()) return interrupted();
        moved = 0;
        revisits.start_pass();
        for (Node u : order) {
            if (!revisits.visit(u)) continue;
            const Node own_com = node2com_[u];
            for (Slot s = nbrs.begin(u); s < nbrs.end(u); ++s) {
                const Node c = node2com_[nbrs.targets[s]];
                if (at[c] == 0) {
                    coms.push_back(c);
                    acc.push_back(0.0);
                    at[c] = static_cast<std::uint32_t>(coms.size());
                }
                acc[at[c] - 1] += nb.w[s];
            }
            // Looking up u's own community inserts it when absent.
            if (at[own_com] == 0) {
                coms.push_back(own_com);
                acc.push_back(0.0);
                at[own_com] = static_cast<std::uint32_t>(coms.size());
            }
            const double own = acc[at[own_com] - 1];
            const double d_out = deg.out[u].value;
            const double d_in = directed ? deg.in[u].value : 0.0;
            const double own_out = stot_out[own_com], own_in = directed ? stot_in[own_com] : 0.0;
            if (directed) stot_in[own_com] -= d_in;
            stot_out[own_com] -= d_out;
            auto x_of = [&](Node c) {
                return directed ? d_out * stot_in[c] + d_in * stot_out[c] : stot_out[c] * d_out;
            };
            const double x_own = x_of(own_com);
            const double remove_cost = scaled ? own * m - gamma * x_own : -own / m + res * x_own / denom;
            double best_gain = scaled ? remove_cost : 0.0;
            Node best = own_com;
            for (std::size_t i = 0; i < coms.size(); ++i) {
                const Node c = coms[i];
                const double x = x_of(c);
                const double gain = scaled ? acc[i] * m - gamma * x : remove_cost + acc[i] / m - res * x / denom;
                if (gain > best_gain) {
                    best_gain = gain;
                    best = c;
                }
            }
            for (Node c : coms) at[c] = 0;
            coms.clear();
            acc.clear();
            if (directed) stot_in[best] += d_in;
            stot_out[best] += d_out;
            if (best != own_com) {
                result.moves.insert(result.moves.end(), {u, own_com, best});
                node2com_[u] = best;
                ++moved;
                revisits.move(u, own_com, best);
            } else if (!same_bits(stot_out[own_com], own_out) || (directed && !same_bits(stot_in[own_com], own_in))) {
                // Float rounding left Stot with other bits: its readers must look again.
                revisits.tick();
                revisits.changed(own_com);
            }
        }
    }
    return result;
}

Status Louvain::aggregate() {
    const Count n = g_.n();
    if (node2com_.size() != n) return value_error("no level was run on this graph");
    // Kept communities in index order become the next level's nodes.
    std::vector<Node> rank(n, NO_COMMUNITY);
    for (Node u = 0; u < n; ++u) rank[node2com_[u]] = 0;
    Node k = 0;
    for (Node c = 0; c < n; ++c) {
        if (rank[c] != NO_COMMUNITY) rank[c] = k++;
    }
    // G.edges(data=True): rows in node order, an undirected edge once from
    // its endpoint listed first.
    EdgeSeq edges;
    for (Node u = 0; u < n; ++u) {
        for (Slot s = g_.out.begin(u); s < g_.out.end(u); ++s) {
            const Node v = g_.out.targets[s];
            if (!g_.directed && v < u) continue;
            edges.us.push_back(rank[node2com_[u]]);
            edges.vs.push_back(rank[node2com_[v]]);
            edges.w.push_back(g_.out_w[s]);
            edges.k.push_back(g_.out_k[s]);
        }
    }
    auto next = rows_from_edges(k, g_.directed, edges, form_ == LouvainForm::DIVIDED);
    if (!next.ok()) return next.error();
    g_ = std::move(next.value());
    node2com_.clear();
    return {};
}

}  // namespace fennel
