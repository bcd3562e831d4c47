// Two search engines: a breadth-first state and a Dijkstra engine, both
// reproducing NetworkX's visiting orders and reusable from source to source
// (only the previous search's entries are reset, so a search costs what it
// reaches, not n). A search built on them is a policy of an engine: what it
// does when a node is reached, settled, improved or tied, not a copy of the
// loop. Every Dijkstra search runs on the Dijkstra engine (single source,
// bidirectional, petgraph's); the single-source and bidirectional
// breadth-first searches and the centralities run on the breadth-first
// state. Three searches keep loops of their own, each for what the engines
// do not do: the component search (components.hpp) keeps its marks from one
// search to the next and reads two row sets, the resumable breadth-first
// cursor stops inside a row and resumes there, and the depth-first searches
// keep a stack of open rows.
//
// Both walk rows in slot order and take a `GraphView` (rows plus a weight
// column), so any row order (NetworkX's successors, predecessors in exact
// order, another library's neighbour order) runs on the same code.
#pragma once

#include "algorithms/heap.hpp"
#include "graph/core_graph.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

namespace fennel {

// Whether `n` nodes' search scratch of `bytes_per_node` each outgrows the
// nearer caches, so that most slots a search scans find their node's
// scratch only further out. Where it does, a loop that stores only where it
// must beats a branch-free one that stores on every slot: on a core with a
// 1 MiB second-level cache the two cross between 1 and 3 MiB of scratch.
inline constexpr std::size_t SCRATCH_IN_CACHE = std::size_t{2} << 20;

inline bool outgrows_cache(Count n, std::size_t bytes_per_node) {
    return static_cast<std::size_t>(n) * bytes_per_node > SCRATCH_IN_CACHE;
}

// Breadth-first search in NetworkX's order: nodes are expanded in discovery
// order, each row in slot order. `level` is the hop count of every reached
// node; `queue` lists reached nodes in discovery order, which is also the
// order NetworkX settles them.
struct BfsState {
    static constexpr std::uint32_t UNREACHED = 0xFFFFFFFFu;

    std::vector<std::uint32_t> level;
    std::vector<Node> queue;  // n + 1 entries: the slot past the tail is scratch
    std::size_t reached = 0;

    // `caller_bytes` is the caller's own scratch per node, which its
    // `edge` reads and writes beside the level (see `run`).
    explicit BfsState(Count n, std::size_t caller_bytes = 0)
        : level(n, UNREACHED),
          queue(n + 1),
          sparse_(outgrows_cache(n, sizeof(std::uint32_t) + sizeof(Node) + caller_bytes)) {}

    // Whether `run` takes the branching loop (scratch outgrowing the caches).
    bool sparse() const { return sparse_; }

    std::span<const Node> order() const { return {queue.data(), reached}; }

    // The `max_level` that expands exactly the levels d < cutoff (that is,
    // d < ceil(cutoff)); a NaN or non-positive cutoff expands nothing.
    static std::uint32_t below_cutoff(double cutoff) {
        if (!(cutoff > 0.0)) return 0;
        if (cutoff >= static_cast<double>(UNREACHED)) return UNREACHED;
        return static_cast<std::uint32_t>(std::ceil(cutoff));
    }

    // One search from `source`, expanding nodes whose level is below
    // `max_level`. For every expanded node v, `expand(v)` returns a value
    // handed to `edge(value, w, shortest)` for slots v -> w in row order:
    // every slot on a shortest path (w one level below v: `shortest` true),
    // and, in the branch-free loop, every other slot too with `shortest`
    // false. With StopWhenAllReached the search ends after the row that
    // reached the last node, as NetworkX's length search does.
    //
    // The branch-free loop writes every target past the queue's tail and
    // keeps it only when new, and min() gives an unreached node the next
    // level while leaving reached ones (never deeper than next) alone. When
    // the scratch outgrows the caches (`sparse()`), each slot's read of its
    // node's scratch misses them, and a branch per slot that spares most
    // slots their stores and their `edge` call costs less.
    template <bool StopWhenAllReached, class Expand, class Edge>
    void run(const Csr& rows, Node source, std::uint32_t max_level, Expand&& expand, Edge&& edge) {
        begin(source);
        const std::size_t n = level.size();
        std::size_t tail = 1;
        for (std::size_t head = 0; head < tail; ++head) {
            prefetch_row_ahead(rows, queue.data(), head, tail);
            const Node v = queue[head];
            const std::uint32_t lv = level[v];
            if (lv >= max_level) break;  // the queue is in level order: nothing later expands
            const std::uint32_t next = lv + 1;
            const auto value = expand(v);
            if (sparse_) {
                for (Node w : rows.row(v)) {
                    const std::uint32_t lw = level[w];
                    if (lw == UNREACHED) {
                        level[w] = next;
                        queue[tail++] = w;
                    } else if (lw != next) {
                        continue;
                    }
                    edge(value, w, true);
                }
            } else {
                for (Node w : rows.row(v)) {
                    const std::uint32_t lw = level[w];
                    queue[tail] = w;
                    tail += lw == UNREACHED;
                    const std::uint32_t now = std::min(lw, next);
                    level[w] = now;
                    edge(value, w, now == next);
                }
            }
            if (StopWhenAllReached && tail == n) break;
        }
        reached = tail;
    }

    // The same search for callers that need only the discovery order:
    // `found(v, w)` is called when v's row reaches w first. A slot writes
    // nothing unless it reaches a new node, which suits searches whose
    // scratch outgrows the cache better than the branch-free loop's store
    // per slot.
    template <bool StopWhenAllReached, class Found>
    void discover(const Csr& rows, Node source, std::uint32_t max_level, Found&& found) {
        begin(source);
        const std::size_t n = level.size();
        std::size_t tail = 1;
        for (std::size_t head = 0; head < tail; ++head) {
            prefetch_row_ahead(rows, queue.data(), head, tail);
            const Node v = queue[head];
            const std::uint32_t lv = level[v];
            if (lv >= max_level) break;
            for (Node w : rows.row(v)) {
                if (level[w] != UNREACHED) continue;
                level[w] = lv + 1;
                queue[tail++] = w;
                found(v, w);
            }
            if (StopWhenAllReached && tail == n) break;
        }
        reached = tail;
    }

    template <bool StopWhenAllReached>
    void discover(const Csr& rows, Node source, std::uint32_t max_level) {
        discover<StopWhenAllReached>(rows, source, max_level, [](Node, Node) {});
    }

    // Level-at-a-time stepping, for searches that interleave several
    // states: `start` reaches `source`, and each `expand_level` expands the
    // fringe (the deepest level reached, whose size `fringe` gives) in
    // discovery order. `edge(v, w, first)` sees every slot v -> w (first:
    // the slot reached w first) and returns true to stop the search there.
    void start(Node source) {
        begin(source);
        head_ = 0;
        reached = 1;
    }
    std::size_t fringe() const { return reached - head_; }
    template <class Edge>
    bool expand_level(const Csr& rows, Edge&& edge) {
        const std::size_t end = reached;
        for (; head_ < end; ++head_) {
            prefetch_row_ahead(rows, queue.data(), head_, reached);
            const Node v = queue[head_];
            for (Node w : rows.row(v)) {
                const bool first = level[w] == UNREACHED;
                if (first) {
                    level[w] = level[v] + 1;
                    queue[reached++] = w;
                }
                if (edge(v, w, first)) return true;
            }
        }
        return false;
    }

private:
    void begin(Node source) {
        for (std::size_t i = 0; i < reached; ++i) level[queue[i]] = UNREACHED;
        // Invariant: every level is UNREACHED.
        level[source] = 0;
        queue[0] = source;
    }

    std::size_t head_ = 0;  // stepping: the next node to expand
    bool sparse_;
};

// The kinds of the distances a search forms (see ValueKind), over a column
// whose slots mix kinds: NetworkX's dist[w] = dist[v] + weight keeps the type
// of w's last strict improvement, so w's kind is the OR of v's and the
// improving edge's. Every node's kind is written by its improvement before
// it is read, so the scratch needs no reset between searches.
class PathKinds {
public:
    PathKinds(const GraphView& view, Count n, Node source) : slots_(view.kinds ? view.kinds->data() : nullptr) {
        if (slots_ != nullptr) {
            node_.resize(n);
            node_[source] = PY_INT;  // NetworkX's int 0
        }
    }
    bool active() const { return slots_ != nullptr; }
    void improve(Node v, Node w, Slot s) {
        if (slots_ != nullptr) node_[w] = static_cast<std::uint8_t>(node_[v] | slots_[s]);
    }
    std::uint8_t of(Node v) const { return node_[v]; }

private:
    const std::uint8_t* slots_;
    std::vector<std::uint8_t> node_;
};

// Dijkstra's search, by default in NetworkX's order. The heap orders entries
// by distance (IEEE 754 total order), then by a push counter starting at 0
// for the source, as NetworkX's (distance, next(counter), node) tuples do; a
// node is pushed again only with a strictly smaller distance, so keeping one
// entry per node (decrease-key) pops exactly NetworkX's sequence without its
// stale entries. `Lazy` keeps the stale entries (each pop of one is a step
// that settles nothing), for searches whose turns count pops; RustOrder
// gives petgraph's heap, which must be lazy since its ties depend on every
// entry. NaN weights mark edges NetworkX's weight function hides (None).
//
// Policy hooks, in the order the loop reaches them (and the constant
// SKIP_HIDDEN: whether NaN weights are hidden edges, or used as they stand):
//   void settle(Node v, double d, Node pred)   v is popped at distance d
//                                    (pred: the node whose edge set it last;
//                                    the source is its own)
//   bool within(double d)            tentative distance d passes the cutoff
//   Status settled_edge(Node v, Node w, double d, Slot s, double dw)
//                                    an edge into w, already settled at dw
//   void improve(Node v, Node w, Slot s)   w reached first, or at a smaller d
//                                    (dist(w) already holds it)
//   void tie(Node v, Node w, Slot s)       w reached again at its distance
// and, optionally,
//   bool stop_after(Node v)          end the search once v is settled (a
//                                    target), before its edges are relaxed
//   Status admit(Node v, Node w, double cost, bool settled)
//                                    the cost of an edge, before it is used
//                                    (settled: w was settled already, v
//                                    itself included)
// A failed status stops the search and is returned.
template <class Order = NxOrder, bool Lazy = false>
class DijkstraSearch {
    static_assert(Lazy || std::is_same_v<Order, NxOrder>, "only NetworkX's unique keys allow decrease-key");

public:
    explicit DijkstraSearch(Count n) : dist_(n), mark_(n, UNSEEN), heap_(n) {}

    // Nodes of the last search in the order they first received a
    // tentative distance, the source first.
    std::span<const Node> touched() const { return touched_; }
    bool seen(Node v) const { return mark_[v] != UNSEEN; }
    bool settled(Node v) const { return mark_[v] == SETTLED; }
    // The best tentative distance of a seen node; final once settled.
    double dist(Node v) const { return dist_[v]; }
    // Whether a step has nothing left to pop.
    bool empty() const { return heap_.empty(); }
    bool stopped() const { return stopped_; }

    // Starts a search from `source`, pushed with counter `counter`; later
    // pushes count on from there.
    void begin(Node source, std::uint64_t counter = 0) {
        for (Node v : touched_) mark_[v] = UNSEEN;
        touched_.clear();
        heap_.clear();  // entries left by a search that stopped early
        stopped_ = false;
        // Invariant: every mark UNSEEN, the heap empty.
        counter_ = counter;
        see(source, 0.0);
        heap_.push(Order::key(0.0, counter_), source, source);
    }

    // Pops one entry, and settles and relaxes its node unless the entry is
    // stale or the policy stops there. The heap must not be empty.
    template <class Policy>
    Status step(const GraphView& view, Policy& policy) {
        if (view.weights != nullptr) return pop_and_relax<true>(*view.out, view.weights->data(), policy);
        return pop_and_relax<false>(*view.out, nullptr, policy);
    }

    template <class Policy>
    Status run(const GraphView& view, Node source, Policy& policy) {
        begin(source);
        if (view.weights != nullptr) return drain<true>(*view.out, view.weights->data(), policy);
        return drain<false>(*view.out, nullptr, policy);
    }

private:
    static constexpr std::uint8_t UNSEEN = 0;
    static constexpr std::uint8_t SEEN = 1;
    static constexpr std::uint8_t SETTLED = 2;

    template <bool Weighted, class Policy>
    Status drain(const Csr& rows, const double* weights, Policy& policy) {
        while (!heap_.empty() && !stopped_) {
            if (Status st = pop_and_relax<Weighted>(rows, weights, policy); !st.ok()) return st;
        }
        return {};
    }

    template <bool Weighted, class Policy>
    Status pop_and_relax(const Csr& rows, const double* weights, Policy& policy) {
        const auto top = heap_.pop();
        const Node v = top.node;
        if constexpr (Lazy) {
            if (mark_[v] == SETTLED) return {};  // stale
        }
        const double d = Order::distance(top.key);
        mark_[v] = SETTLED;
        policy.settle(v, d, top.pred);
        if constexpr (requires { policy.stop_after(v); }) {
            if (policy.stop_after(v)) {
                stopped_ = true;
                return {};
            }
        }
        // The least entry left is likely the next to settle: its row is
        // loaded while v's is relaxed.
        if (!heap_.empty()) {
            const Node next = heap_.top_node();
            prefetch_targets(rows, next);
            if constexpr (Weighted) __builtin_prefetch(weights + rows.offsets[next]);
        }
        for (Slot s = rows.begin(v); s < rows.end(v); ++s) {
            const Node w = rows.targets[s];
            double cost = 1.0;
            if constexpr (Weighted) cost = weights[s];
            if constexpr (requires { policy.admit(v, w, cost, true); }) {
                if (Status st = policy.admit(v, w, cost, mark_[w] == SETTLED); !st.ok()) return st;
            }
            if constexpr (Weighted) {
                if (Policy::SKIP_HIDDEN && std::isnan(cost)) continue;  // hidden edge
            }
            const double dw = d + cost;
            if (!policy.within(dw)) continue;
            // A settled node's best tentative distance is its distance.
            if (mark_[w] == SETTLED) {
                if (Status st = policy.settled_edge(v, w, dw, s, dist_[w]); !st.ok()) return st;
            } else if (mark_[w] == UNSEEN || dw < dist_[w]) {
                see(w, dw);
                prefetch_offsets(rows, w);
                heap_.push(Order::key(dw, ++counter_), w, v);
                policy.improve(v, w, s);
            } else if (dw == dist_[w]) {
                policy.tie(v, w, s);
            }
        }
        return {};
    }

    void see(Node w, double d) {
        if (mark_[w] == UNSEEN) {
            mark_[w] = SEEN;
            touched_.push_back(w);
        }
        dist_[w] = d;
    }

    std::vector<double> dist_;  // best tentative distance; final once settled
    std::vector<std::uint8_t> mark_;
    std::vector<Node> touched_;  // nodes this search marked
    Heap<Order, !Lazy> heap_;
    std::uint64_t counter_ = 0;
    bool stopped_ = false;
};

// The search of NetworkX's single-source functions.
using DijkstraState = DijkstraSearch<>;

}  // namespace fennel
