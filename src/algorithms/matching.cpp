// The greedy maximal matching and the maximality check (one pass over the
// edges, O(n + m)), and
// NetworkX's max_weight_matching: Galil's O(n^3) rendering of Edmonds'
// blossom method with primal-dual slacks, ported statement by statement so
// that every choice falls as NetworkX's does.
//
// The orders that decide ties, each kept as NetworkX's dicts and lists keep
// them: vertices in G's node order, neighbours in row order; top-level
// blossoms scanned vertices first, then blossoms in creation order (the
// order of blossomparent's and blossomdual's keys); the queue a stack;
// blossom leaves in the order of NetworkX's stack walk (last child first);
// least-slack edges of a new blossom in first-reach order of their far
// blossoms; every minimum the first strict improvement. The mate dict's
// insertion order is recorded, for the set built from it iterates in that
// order.
//
// Arithmetic: duals, slacks and deltas are doubles, added in NetworkX's
// order (v's dual + w's dual, then minus twice the weight). Floats follow
// Python's floats exactly; integers stay exact while below 2^53 (the
// caller's precondition), where NetworkX's integer slacks are even and its
// floor halving equals the double halving.
#include "algorithms/matching.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <utility>

namespace fennel {

std::vector<Node> greedy_matching(const Csr& adj) {
    const Count n = adj.node_count();
    std::vector<std::uint8_t> matched(n, 0), listed(n, 0);
    std::vector<Node> pairs;
    for (Node u = 0; u < n; ++u) {
        for (const Node v : adj.row(u)) {
            // G.edges() lists v's edges when v's row comes up.
            if (listed[v]) continue;
            if (!matched[u] && !matched[v] && u != v) {
                pairs.push_back(u);
                pairs.push_back(v);
                matched[u] = matched[v] = 1;
            }
        }
        listed[u] = 1;
    }
    return pairs;
}

bool has_free_edge(const Csr& adj, const std::vector<Node>& matched) {
    std::vector<std::uint8_t> taken(adj.node_count(), 0);
    for (const Node v : matched) taken[v] = 1;
    for (Node u = 0; u < adj.node_count(); ++u) {
        if (taken[u]) continue;
        for (const Node v : adj.row(u)) {
            if (v != u && !taken[v]) return true;
        }
    }
    return false;
}

namespace {

// A vertex (its position) or a non-trivial blossom (n + its index): NetworkX
// keys its label, labeledge, bestedge and blossom dicts by both.
using Item = std::int64_t;
constexpr Item NO_ITEM = -1;
// An edge is the slot of (v, w) in v's row; its reverse is mirror[slot].
constexpr Slot NO_EDGE = std::numeric_limits<Slot>::max();

struct Blossom {
    std::vector<Item> childs;  // base first, then round the blossom
    std::vector<Slot> edges;   // edges[i] joins childs[i] to childs[i + 1]
    std::vector<Slot> mybestedges;
    bool has_mybestedges = false;
};

class Matcher {
public:
    Matcher(const Csr& adj, const std::vector<double>* weights, bool maxcardinality)
        : adj_(adj), weights_(weights), n_(static_cast<Item>(adj.node_count())), maxcardinality_(maxcardinality) {}

    Result<std::vector<Node>> run();

private:
    const Csr& adj_;
    const std::vector<double>* weights_;
    const Item n_;
    const bool maxcardinality_;

    std::vector<Node> src_;     // per slot: the row it belongs to
    std::vector<Slot> mirror_;  // per slot: the slot of the same edge in the other row
    std::vector<Slot> mate_;    // per vertex: the slot to its mate, NO_EDGE while single
    std::vector<Node> mate_order_;
    std::vector<std::uint8_t> label_;  // 0 (None), 1 (S), 2 (T), 5 (S with a breadcrumb)
    std::vector<Slot> labeledge_;
    std::vector<Item> inblossom_;
    std::vector<Item> blossomparent_;
    std::vector<Item> blossombase_;
    std::vector<Slot> bestedge_;
    std::vector<double> dualvar_;
    std::vector<double> blossomdual_;
    std::vector<std::uint8_t> alive_;  // a non-trivial blossom exists under this item
    std::vector<Item> live_;           // live blossoms in creation order
    std::vector<Item> unused_;
    std::vector<Blossom> blossoms_;
    std::vector<std::uint8_t> allowed_;
    std::vector<Slot> allowed_list_;
    std::vector<Node> queue_;
    std::vector<Item> walk_;  // scratch of leaves()

    Node target(Slot s) const { return adj_.targets[s]; }
    Blossom& blossom(Item b) { return blossoms_[static_cast<std::size_t>(b - n_)]; }
    bool is_blossom(Item x) const { return x >= n_; }
    double weight(Slot s) const { return weights_ ? (*weights_)[s] : 1.0; }
    double slack(Slot s) const { return dualvar_[src_[s]] + dualvar_[target(s)] - 2.0 * weight(s); }
    double slack(Item v, Item w, Slot s) const { return dualvar_[v] + dualvar_[w] - 2.0 * weight(s); }

    void allow(Slot s) {
        if (!allowed_[s]) allowed_list_.push_back(s);
        allowed_[s] = allowed_[mirror_[s]] = 1;
    }
    void set_mate(Node v, Slot s) {
        if (mate_[v] == NO_EDGE) mate_order_.push_back(v);
        mate_[v] = s;
    }
    Status link_mirrors();
    void leaves(Item b, std::vector<Node>& out);
    void assign_label(Item w, std::uint8_t t, Slot edge);
    Item scan_blossom(Item v, Item w);
    void add_blossom(Item base, Slot edge);
    void expand_blossom(Item b, bool endstage);
    void relabel_expanded(Item b);
    void augment_blossom(Item b, Item v);
    void augment_matching(Slot edge);
    double min_dual() const;
};

Status Matcher::link_mirrors() {
    const Slot m = adj_.slot_count();
    src_.resize(m);
    mirror_.resize(m);
    std::unordered_map<std::uint64_t, Slot> at;
    at.reserve(m);
    for (Item u = 0; u < n_; ++u) {
        for (Slot s = adj_.begin(static_cast<Node>(u)); s < adj_.end(static_cast<Node>(u)); ++s) {
            src_[s] = static_cast<Node>(u);
            at.emplace(static_cast<std::uint64_t>(u) << 32 | target(s), s);
        }
    }
    for (Slot s = 0; s < m; ++s) {
        auto it = at.find(static_cast<std::uint64_t>(target(s)) << 32 | src_[s]);
        if (it == at.end()) return internal_error("an edge missing from its far end's row");
        mirror_[s] = it->second;
    }
    return {};
}

// NetworkX's Blossom.leaves(): a stack seeded with the children, popped
// from the end, a blossom replaced by its children.
void Matcher::leaves(Item b, std::vector<Node>& out) {
    walk_.assign(blossom(b).childs.begin(), blossom(b).childs.end());
    while (!walk_.empty()) {
        const Item t = walk_.back();
        walk_.pop_back();
        if (is_blossom(t)) {
            const auto& c = blossom(t).childs;
            walk_.insert(walk_.end(), c.begin(), c.end());
        } else {
            out.push_back(static_cast<Node>(t));
        }
    }
}

// Labels the top-level blossom of w with t through `edge` (v, w) or none.
void Matcher::assign_label(Item w, std::uint8_t t, Slot edge) {
    const Item b = inblossom_[w];
    label_[w] = label_[b] = t;
    labeledge_[w] = labeledge_[b] = edge;
    bestedge_[w] = bestedge_[b] = NO_EDGE;
    if (t == 1) {
        if (is_blossom(b)) {
            leaves(b, queue_);
        } else {
            queue_.push_back(static_cast<Node>(b));
        }
    } else {
        // A T-blossom's base is its only vertex with an outside mate.
        const Item base = blossombase_[b];
        assign_label(target(mate_[base]), 1, mate_[base]);
    }
}

// Traces back from v and w; the base of the new blossom, or NO_ITEM for an
// augmenting path.
Item Matcher::scan_blossom(Item v, Item w) {
    std::vector<Item> path;
    Item base = NO_ITEM;
    while (v != NO_ITEM) {
        Item b = inblossom_[v];
        if (label_[b] & 4) {
            base = blossombase_[b];
            break;
        }
        path.push_back(b);
        label_[b] = 5;
        if (labeledge_[b] == NO_EDGE) {
            v = NO_ITEM;
        } else {
            v = src_[labeledge_[b]];
            b = inblossom_[v];
            v = src_[labeledge_[b]];
        }
        if (w != NO_ITEM) std::swap(v, w);
    }
    for (const Item b : path) label_[b] = 1;
    return base;
}

// A new S-blossom with the given base through the edge (v, w) between two
// S-vertices.
void Matcher::add_blossom(Item base, Slot edge) {
    Item v = src_[edge], w = target(edge);
    const Item bb = inblossom_[base];
    Item bv = inblossom_[v], bw = inblossom_[w];
    const Item b = unused_.back();
    unused_.pop_back();
    alive_[b] = 1;
    live_.push_back(b);
    blossombase_[b] = base;
    blossomparent_[b] = NO_ITEM;
    blossomparent_[bb] = b;
    Blossom& nb = blossom(b);
    auto& path = nb.childs;
    auto& edgs = nb.edges;
    path.clear();
    edgs.assign(1, edge);
    while (bv != bb) {
        blossomparent_[bv] = b;
        path.push_back(bv);
        edgs.push_back(labeledge_[bv]);
        v = src_[labeledge_[bv]];
        bv = inblossom_[v];
    }
    path.push_back(bb);
    std::reverse(path.begin(), path.end());
    std::reverse(edgs.begin(), edgs.end());
    while (bw != bb) {
        blossomparent_[bw] = b;
        path.push_back(bw);
        edgs.push_back(mirror_[labeledge_[bw]]);
        w = src_[labeledge_[bw]];
        bw = inblossom_[w];
    }
    label_[b] = 1;
    labeledge_[b] = labeledge_[bb];
    blossomdual_[b] = 0.0;
    std::vector<Node> inside;
    leaves(b, inside);
    for (const Node x : inside) {
        // A T-vertex turns S as part of an S-blossom.
        if (label_[inblossom_[x]] == 2) queue_.push_back(x);
        inblossom_[x] = b;
    }
    // Least-slack edges to each neighbouring S-blossom, keyed in first-reach order.
    std::vector<Item> reached;
    std::unordered_map<Item, Slot> bestedgeto;
    std::vector<Slot> nblist;
    for (const Item sub : path) {
        nblist.clear();
        if (is_blossom(sub) && blossom(sub).has_mybestedges) {
            nblist.swap(blossom(sub).mybestedges);
            blossom(sub).has_mybestedges = false;
        } else {
            std::vector<Node> from;
            if (is_blossom(sub)) {
                leaves(sub, from);
            } else {
                from.push_back(static_cast<Node>(sub));
            }
            for (const Node x : from) {
                for (Slot s = adj_.begin(x); s < adj_.end(x); ++s) {
                    if (target(s) != x) nblist.push_back(s);
                }
            }
        }
        for (const Slot k : nblist) {
            Item i = src_[k], j = target(k);
            if (inblossom_[j] == b) std::swap(i, j);
            const Item bj = inblossom_[j];
            if (bj == b || label_[bj] != 1) continue;
            auto it = bestedgeto.find(bj);
            if (it == bestedgeto.end()) {
                reached.push_back(bj);
                bestedgeto.emplace(bj, k);
            } else if (slack(i, j, k) < slack(it->second)) {
                it->second = k;
            }
        }
        bestedge_[sub] = NO_EDGE;
    }
    Blossom& made = blossom(b);
    made.mybestedges.clear();
    for (const Item bj : reached) made.mybestedges.push_back(bestedgeto[bj]);
    made.has_mybestedges = true;
    Slot mybestedge = NO_EDGE;
    double mybestslack = 0.0;
    for (const Slot k : made.mybestedges) {
        const double kslack = slack(k);
        if (mybestedge == NO_EDGE || kslack < mybestslack) {
            mybestedge = k;
            mybestslack = kslack;
        }
    }
    bestedge_[b] = mybestedge;
}

// Python's negative indexing into a blossom's lists.
template <class T>
T wrap(const std::vector<T>& list, Item j) {
    const Item len = static_cast<Item>(list.size());
    return list[static_cast<std::size_t>(j < 0 ? j + len : j)];
}

// A T-blossom expanded mid-stage: its sub-blossoms from the entry child to
// the base are relabelled T and S in turn, the rest T where reachable.
void Matcher::relabel_expanded(Item b) {
    const Blossom& bl = blossom(b);
    const Item entrychild = inblossom_[target(labeledge_[b])];
    Item j = std::find(bl.childs.begin(), bl.childs.end(), entrychild) - bl.childs.begin();
    Item jstep;
    if (j & 1) {
        j -= static_cast<Item>(bl.childs.size());
        jstep = 1;
    } else {
        jstep = -1;
    }
    Slot cur = labeledge_[b];  // (v, w)
    while (j != 0) {
        const Slot pq = jstep == 1 ? wrap(bl.edges, j) : mirror_[wrap(bl.edges, j - 1)];
        const Item w = target(cur);
        label_[w] = 0;
        label_[target(pq)] = 0;
        assign_label(w, 2, cur);
        allow(pq);
        j += jstep;
        cur = jstep == 1 ? wrap(bl.edges, j) : mirror_[wrap(bl.edges, j - 1)];
        allow(cur);
        j += jstep;
    }
    const Item bw = wrap(bl.childs, j);
    const Item w = target(cur);
    label_[w] = label_[bw] = 2;
    labeledge_[w] = labeledge_[bw] = cur;
    bestedge_[bw] = NO_EDGE;
    j += jstep;
    std::vector<Node> inside;
    while (wrap(bl.childs, j) != entrychild) {
        const Item bv = wrap(bl.childs, j);
        if (label_[bv] == 1) {
            j += jstep;
            continue;
        }
        Item v = bv;
        if (is_blossom(bv)) {
            inside.clear();
            leaves(bv, inside);
            v = inside.back();  // the loop variable left on the last leaf when none is labelled
            for (const Node x : inside) {
                if (label_[x]) {
                    v = x;
                    break;
                }
            }
        }
        if (label_[v]) {
            label_[v] = 0;
            label_[target(mate_[blossombase_[bv]])] = 0;
            assign_label(v, 2, labeledge_[v]);
        }
        j += jstep;
    }
}

// Turns the sub-blossoms of top-level blossom b into top-level blossoms. At
// the end of a stage sub-blossoms of zero dual expand too: NetworkX does
// that depth first, but each expansion touches only its own subtree, so
// the order of expansions changes nothing it keeps.
void Matcher::expand_blossom(Item b0, bool endstage) {
    std::vector<Item> pending{b0};
    std::vector<Node> inside;
    while (!pending.empty()) {
        const Item b = pending.back();
        pending.pop_back();
        for (const Item s : blossom(b).childs) {
            blossomparent_[s] = NO_ITEM;
            if (!is_blossom(s)) {
                inblossom_[s] = s;
            } else if (endstage && blossomdual_[s] == 0) {
                pending.push_back(s);
            } else {
                inside.clear();
                leaves(s, inside);
                for (const Node v : inside) inblossom_[v] = s;
            }
        }
        if (!endstage && label_[b] == 2) relabel_expanded(b);
        label_[b] = 0;
        labeledge_[b] = NO_EDGE;
        bestedge_[b] = NO_EDGE;
        blossomparent_[b] = NO_ITEM;
        alive_[b] = 0;
        live_.erase(std::find(live_.begin(), live_.end(), b));
        Blossom& bl = blossom(b);
        bl.childs.clear();
        bl.edges.clear();
        bl.mybestedges.clear();
        bl.has_mybestedges = false;
        unused_.push_back(b);
    }
}

// Swaps matched and unmatched edges along the path from vertex v to the base
// of blossom b, recursing into sub-blossoms before matching each edge (the
// mate dict's insertion order follows these steps), then rotates b so that
// v's sub-blossom becomes its base. The recursion runs on an explicit stack.
void Matcher::augment_blossom(Item b0, Item v0) {
    struct Frame {
        Item b, v;
        Item i = 0, j = 0, jstep = 0;
        Slot wx = NO_EDGE;  // (w, x), the edge matched at this step
        int phase = 0;
    };
    std::vector<Frame> stack{Frame{.b = b0, .v = v0}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        Blossom& bl = blossom(f.b);
        if (f.phase == 0) {
            Item t = f.v;
            while (blossomparent_[t] != f.b) t = blossomparent_[t];
            f.i = f.j = std::find(bl.childs.begin(), bl.childs.end(), t) - bl.childs.begin();
            if (f.i & 1) {
                f.j -= static_cast<Item>(bl.childs.size());
                f.jstep = 1;
            } else {
                f.jstep = -1;
            }
            f.phase = 1;
            if (is_blossom(t)) stack.push_back(Frame{.b = t, .v = f.v});
        } else if (f.phase == 1) {
            if (f.j == 0) {
                const auto i = static_cast<std::ptrdiff_t>(f.i);
                std::rotate(bl.childs.begin(), bl.childs.begin() + i, bl.childs.end());
                std::rotate(bl.edges.begin(), bl.edges.begin() + i, bl.edges.end());
                blossombase_[f.b] = blossombase_[bl.childs[0]];
                stack.pop_back();
                continue;
            }
            f.j += f.jstep;
            const Item t = wrap(bl.childs, f.j);
            f.wx = f.jstep == 1 ? wrap(bl.edges, f.j) : mirror_[wrap(bl.edges, f.j - 1)];
            f.phase = 2;
            if (is_blossom(t)) stack.push_back(Frame{.b = t, .v = src_[f.wx]});
        } else if (f.phase == 2) {
            f.j += f.jstep;
            const Item t = wrap(bl.childs, f.j);
            f.phase = 3;
            if (is_blossom(t)) stack.push_back(Frame{.b = t, .v = target(f.wx)});
        } else {
            set_mate(src_[f.wx], f.wx);
            set_mate(target(f.wx), mirror_[f.wx]);
            f.phase = 1;
        }
    }
}

// Augments along the path through the S-vertices v and w of edge (v, w).
void Matcher::augment_matching(Slot edge) {
    for (const Slot first : {edge, mirror_[edge]}) {
        Slot sj = first;  // (s, j): s is matched to j
        while (true) {
            const Item s = src_[sj];
            const Item bs = inblossom_[s];
            if (is_blossom(bs)) augment_blossom(bs, s);
            set_mate(static_cast<Node>(s), sj);
            if (labeledge_[bs] == NO_EDGE) break;
            const Item t = src_[labeledge_[bs]];
            const Item bt = inblossom_[t];
            const Slot back = labeledge_[bt];
            if (is_blossom(bt)) augment_blossom(bt, target(back));
            set_mate(target(back), mirror_[back]);
            sj = back;
        }
    }
}

double Matcher::min_dual() const {
    double best = dualvar_[0];
    for (const double d : dualvar_) {
        if (d < best) best = d;
    }
    return best;
}

Result<std::vector<Node>> Matcher::run() {
    if (n_ == 0) return std::vector<Node>{};
    if (auto linked = link_mirrors(); !linked.ok()) return linked.error();
    const auto items = static_cast<std::size_t>(2 * n_);
    double maxweight = 0.0;
    for (Slot s = 0; s < adj_.slot_count(); ++s) {
        if (src_[s] != target(s) && weight(s) > maxweight) maxweight = weight(s);
    }
    mate_.assign(static_cast<std::size_t>(n_), NO_EDGE);
    label_.assign(items, 0);
    labeledge_.assign(items, NO_EDGE);
    bestedge_.assign(items, NO_EDGE);
    inblossom_.resize(static_cast<std::size_t>(n_));
    for (Item v = 0; v < n_; ++v) inblossom_[v] = v;
    blossomparent_.assign(items, NO_ITEM);
    blossombase_.assign(items, NO_ITEM);
    for (Item v = 0; v < n_; ++v) blossombase_[v] = v;
    dualvar_.assign(static_cast<std::size_t>(n_), maxweight);
    blossomdual_.assign(items, 0.0);
    alive_.assign(items, 0);
    blossoms_.resize(static_cast<std::size_t>(n_));
    for (Item b = 2 * n_ - 1; b >= n_; --b) unused_.push_back(b);
    allowed_.assign(adj_.slot_count(), 0);

    while (true) {
        if (poll_interrupt()) return interrupted();
        std::fill(label_.begin(), label_.end(), 0);
        std::fill(labeledge_.begin(), labeledge_.end(), NO_EDGE);
        std::fill(bestedge_.begin(), bestedge_.end(), NO_EDGE);
        for (const Item b : live_) {
            blossom(b).mybestedges.clear();
            blossom(b).has_mybestedges = false;
        }
        for (const Slot s : allowed_list_) allowed_[s] = allowed_[mirror_[s]] = 0;
        allowed_list_.clear();
        queue_.clear();
        for (Item v = 0; v < n_; ++v) {
            if (mate_[v] == NO_EDGE && label_[inblossom_[v]] == 0) assign_label(v, 1, NO_EDGE);
        }
        bool augmented = false;
        while (true) {
            while (!queue_.empty() && !augmented) {
                const Node v = queue_.back();
                queue_.pop_back();
                for (Slot s = adj_.begin(v); s < adj_.end(v); ++s) {
                    const Node w = target(s);
                    if (w == v) continue;
                    const Item bv = inblossom_[v];
                    const Item bw = inblossom_[w];
                    if (bv == bw) continue;
                    double kslack = 0.0;
                    if (!allowed_[s]) {
                        kslack = slack(s);
                        if (kslack <= 0) allow(s);
                    }
                    if (allowed_[s]) {
                        if (label_[bw] == 0) {
                            assign_label(w, 2, s);
                        } else if (label_[bw] == 1) {
                            const Item base = scan_blossom(v, w);
                            if (base != NO_ITEM) {
                                add_blossom(base, s);
                            } else {
                                augment_matching(s);
                                augmented = true;
                                break;
                            }
                        } else if (label_[w] == 0) {
                            label_[w] = 2;
                            labeledge_[w] = s;
                        }
                    } else if (label_[bw] == 1) {
                        if (bestedge_[bv] == NO_EDGE || kslack < slack(bestedge_[bv])) bestedge_[bv] = s;
                    } else if (label_[w] == 0) {
                        if (bestedge_[w] == NO_EDGE || kslack < slack(bestedge_[w])) bestedge_[w] = s;
                    }
                }
            }
            if (augmented) break;

            int deltatype = -1;
            double delta = 0.0;
            Slot deltaedge = NO_EDGE;
            Item deltablossom = NO_ITEM;
            if (!maxcardinality_) {
                deltatype = 1;
                delta = min_dual();
            }
            for (Item v = 0; v < n_; ++v) {
                if (label_[inblossom_[v]] == 0 && bestedge_[v] != NO_EDGE) {
                    const double d = slack(bestedge_[v]);
                    if (deltatype == -1 || d < delta) {
                        delta = d;
                        deltatype = 2;
                        deltaedge = bestedge_[v];
                    }
                }
            }
            auto consider_s_blossom = [&](Item b) {
                if (blossomparent_[b] == NO_ITEM && label_[b] == 1 && bestedge_[b] != NO_EDGE) {
                    const double d = slack(bestedge_[b]) / 2.0;
                    if (deltatype == -1 || d < delta) {
                        delta = d;
                        deltatype = 3;
                        deltaedge = bestedge_[b];
                    }
                }
            };
            for (Item v = 0; v < n_; ++v) consider_s_blossom(v);
            for (const Item b : live_) consider_s_blossom(b);
            for (const Item b : live_) {
                if (blossomparent_[b] == NO_ITEM && label_[b] == 2 && (deltatype == -1 || blossomdual_[b] < delta)) {
                    delta = blossomdual_[b];
                    deltatype = 4;
                    deltablossom = b;
                }
            }
            if (deltatype == -1) {
                // Maximum cardinality reached; a last update keeps the duals verifiable.
                deltatype = 1;
                const double low = min_dual();
                delta = low > 0 ? low : 0.0;
            }
            for (Item v = 0; v < n_; ++v) {
                const std::uint8_t l = label_[inblossom_[v]];
                if (l == 1) {
                    dualvar_[v] -= delta;
                } else if (l == 2) {
                    dualvar_[v] += delta;
                }
            }
            for (const Item b : live_) {
                if (blossomparent_[b] != NO_ITEM) continue;
                if (label_[b] == 1) {
                    blossomdual_[b] += delta;
                } else if (label_[b] == 2) {
                    blossomdual_[b] -= delta;
                }
            }
            if (deltatype == 1) break;
            if (deltatype == 2 || deltatype == 3) {
                allow(deltaedge);
                queue_.push_back(src_[deltaedge]);
            } else {
                expand_blossom(deltablossom, false);
            }
        }
        if (!augmented) break;
        // End of a stage: S-blossoms of zero dual dissolve.
        const std::vector<Item> snapshot = live_;
        for (const Item b : snapshot) {
            if (alive_[b] && blossomparent_[b] == NO_ITEM && label_[b] == 1 && blossomdual_[b] == 0) {
                expand_blossom(b, true);
            }
        }
    }

    // matching_dict_to_set's inserts: mate's items in order, a pair skipped
    // once its reverse is in.
    std::vector<std::uint8_t> listed(static_cast<std::size_t>(n_), 0);
    std::vector<Node> pairs;
    for (const Node u : mate_order_) {
        if (listed[u]) continue;
        const Node v = target(mate_[u]);
        pairs.push_back(u);
        pairs.push_back(v);
        listed[u] = listed[v] = 1;
    }
    return pairs;
}

}  // namespace

Result<std::vector<Node>> blossom_matching(const Csr& adj, const std::vector<double>* weights, bool maxcardinality) {
    return Matcher(adj, weights, maxcardinality).run();
}

}  // namespace fennel
