// CoreGraph: the one graph record. Nodes are dense positions 0..n; adjacency
// is compressed sparse rows whose row order reproduces NetworkX's adjacency
// iteration order, so every algorithm that walks rows in slot order visits
// nodes in NetworkX's order and breaks ties as NetworkX does.
//
// A CoreGraph never changes after construction except for two write-once
// cells (the exact predecessor order and the lazily built unit-weight column),
// so worker threads read it concurrently without locks.
#pragma once

#include "graph/value_kind.hpp"
#include "lib/result.hpp"

#include <atomic>
#include <bit>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fennel {

using Node = std::uint32_t;   // node position
using Slot = std::uint64_t;   // index into Csr::targets
using Count = std::uint64_t;

// Largest node count a converted graph may have: positions are 32-bit and
// 0xFFFFFFFF is reserved as "no node".
inline constexpr Count MAX_CONVERTED_NODES = 0xFFFFFFFEull;

struct Csr {
    std::vector<Slot> offsets;  // n + 1 entries, offsets[0] == 0, non-decreasing
    std::vector<Node> targets;  // far end of each slot

    Count node_count() const { return offsets.empty() ? 0 : offsets.size() - 1; }
    Slot slot_count() const { return targets.size(); }
    Slot begin(Node u) const { return offsets[u]; }
    Slot end(Node u) const { return offsets[u + 1]; }
    std::span<const Node> row(Node u) const {
        return {targets.data() + offsets[u], static_cast<std::size_t>(offsets[u + 1] - offsets[u])};
    }
};

// Visits v's row in `out`, then its row in `back` when given: an undirected
// view of a directed graph whose `back` rows hold the predecessors.
template <class Visit>
void for_each_neighbour(const Csr& out, const Csr* back, Node v, Visit&& visit) {
    for (Node w : out.row(v)) visit(w);
    if (back) {
        for (Node w : back->row(v)) visit(w);
    }
}

// Searches read rows in search order, which in a graph larger than the
// caches is a random order; they load the rows they will read next early,
// a node's offsets first and its targets once the offsets are in. (Always
// inlined: a call to a function that only prefetches may be dropped as
// having no effect.)
[[gnu::always_inline]] inline void prefetch_offsets(const Csr& rows, Node v) {
    __builtin_prefetch(rows.offsets.data() + v);
}
[[gnu::always_inline]] inline void prefetch_targets(const Csr& rows, Node v) {
    const Node* begin = rows.targets.data() + rows.offsets[v];
    const Node* end = rows.targets.data() + rows.offsets[v + 1];
    __builtin_prefetch(begin);
    if (end - begin > 1) __builtin_prefetch(end - 1);
}

// How many queue places ahead a scan loads a row's targets, and its offsets.
inline constexpr std::size_t ROW_NEAR = 8, ROW_FAR = 16;

// The rows of queue[i + ROW_NEAR] and (offsets only) queue[i + ROW_FAR], as
// far as the queue is filled (up to `end`).
[[gnu::always_inline]] inline void prefetch_row_ahead(const Csr& rows, const Node* queue, std::size_t i,
                                                      std::size_t end) {
    if (i + ROW_FAR < end) prefetch_offsets(rows, queue[i + ROW_FAR]);
    if (i + ROW_NEAR < end) prefetch_targets(rows, queue[i + ROW_NEAR]);
}

// The same for a scan of the queue from its end back to its start.
[[gnu::always_inline]] inline void prefetch_row_behind(const Csr& rows, const Node* queue, std::size_t i) {
    if (i >= ROW_FAR) prefetch_offsets(rows, queue[i - ROW_FAR]);
    if (i >= ROW_NEAR) prefetch_targets(rows, queue[i - ROW_NEAR]);
}

[[gnu::always_inline]] inline void prefetch_rows_ahead(const Csr& out, const Csr* back, const Node* queue,
                                                       std::size_t i, std::size_t end) {
    prefetch_row_ahead(out, queue, i, end);
    if (back) prefetch_row_ahead(*back, queue, i, end);
}

// What the values read for one attribute allow (every value read,
// parallel edges and defaults included). The caller decides from them
// whether a search can reproduce NetworkX's arithmetic: plain Python numbers
// only, integer sums within 2^53, no NaN formed by opposite infinities.
struct ValueFacts {
    bool plain = true;  // every value a Python int, float, bool or None, or a numpy float64, int64 or bool_
    double min_finite = std::numeric_limits<double>::infinity();   // +inf: no finite value
    double max_finite = -std::numeric_limits<double>::infinity();  // -inf: no finite value
    bool pos_inf = false;
    bool neg_inf = false;
    bool numpy_bool = false;  // some value is a numpy.bool_ (which NetworkX cannot negate)
};

// One converted edge attribute.
struct Weights {
    std::vector<double> values;                      // per succ slot; NaN = None
    std::optional<std::vector<double>> pred_values;  // per pred slot (directed)
    bool all_int = true;      // cleared by the first float value
    bool has_hidden = false;  // some value is None
    bool has_int = false;     // some value is an int
    // Undirected graphs: both rows of every edge hold the same value.
    // NetworkX reads an edge's data once from its earlier endpoint's row
    // when it lists edges, and from each row when it walks rows.
    bool symmetric = true;
    ValueFacts facts;
    // The kinds of the slots' values (None slots excluded), one bit per
    // ValueKind; `kinds` holds each succ slot's kind only when there are
    // several (a column of one kind stays as compact as before).
    std::uint8_t slot_kinds = 0;
    std::vector<std::uint8_t> kinds;

    // The kind of every slot when the column has one kind (PY_INT when it
    // has none), or -1.
    int uniform_kind() const {
        if (slot_kinds == 0) return PY_INT;
        return (slot_kinds & (slot_kinds - 1)) == 0 ? std::countr_zero(slot_kinds) : -1;
    }
    // Whether each slot's kind is known (one kind, or `kinds` spelled out).
    bool kinds_known() const { return uniform_kind() >= 0 || !kinds.empty(); }
    // Records the kind of the slot just appended to `values` (-1: a None
    // slot, which no search reads).
    void note_kind(int kind);
    // The kind of succ slot `s`.
    std::uint8_t kind(Slot s) const { return kinds.empty() ? static_cast<std::uint8_t>(uniform_kind()) : kinds[s]; }
};

using WeightMap = std::map<std::string, Weights>;  // byte-wise key order

// Predecessor rows in G._pred order, with their weight columns.
struct ExactPred {
    Csr csr;
    std::map<std::string, std::vector<double>> weights;
    bool keys_are_nodes = true;  // every key of G._pred's rows is the node object
};

// Attribute column of a natively built graph. Kinds: 0 absent, 1 int,
// 2 float, 3 None, 4 bool.
struct EdgeAttr {
    std::string name;
    std::vector<double> values;
    std::vector<std::uint8_t> kinds;
};

// Edge list of a natively built graph, in insertion order: what the builder
// and the byte form hold, and what the graph's record rebuilds on request.
struct NativeEdges {
    std::vector<Node> src;
    std::vector<Node> dst;
    std::vector<EdgeAttr> attrs;
    std::vector<Node> ids;  // per succ slot: the edge id it stands for
};

// What a natively built graph keeps of its edge list beyond its rows and
// weight columns. Edge e's ends are those of the first slot standing for it
// in row order (for an undirected edge, in its lower end's row), swapped
// where `swapped` says it was given from its higher end; its value of an
// attribute is that slot's value in the attribute's weight column, and its
// kind the column's one kind or, when the kinds differ, `kinds[e]`.
//
// A directed edge has one slot. An undirected edge's second slot (the one
// in its higher end's row) needs no id of its own: `ids` holds one id per
// first slot, a slot whose target is not below its row, in slot order
// (slot_edge_ids gives every slot's).
// Calls f(u, s) for every slot that stands first for its edge, in slot
// order: each slot of a directed graph; of an undirected one, each slot whose
// target is not below its row (the one in the edge's lower end's row).
template <class F>
void for_each_first_slot(const Csr& rows, bool directed, F&& f) {
    for (Node u = 0; u < rows.node_count(); ++u) {
        for (Slot s = rows.begin(u); s < rows.end(u); ++s) {
            if (directed || rows.targets[s] >= u) f(u, s);
        }
    }
}

struct NativeRecord {
    struct Attr {
        std::string name;
        std::uint8_t kind = 0;             // every edge's AttrKind, when `kinds` is empty
        std::vector<std::uint8_t> kinds;   // per edge, when the kinds differ
        std::uint8_t of(Count e) const { return kinds.empty() ? kind : kinds[e]; }
    };
    Count edges = 0;
    std::vector<Node> ids;      // per first slot, in slot order: the edge id it stands for
    std::vector<bool> swapped;  // undirected graphs: per edge
    std::vector<Attr> attrs;    // in column order
};

// A cell filled at most once. Readers see it empty or complete without a
// lock; a racing filler that loses drops its own value.
template <class T>
class OnceCell {
public:
    OnceCell() = default;
    OnceCell(const OnceCell&) = delete;
    OnceCell& operator=(const OnceCell&) = delete;
    ~OnceCell() { delete ptr_.load(std::memory_order_acquire); }

    const T* get() const { return ptr_.load(std::memory_order_acquire); }

    // Stores `value` unless the cell is already filled; returns the value the
    // cell holds afterwards.
    const T* set(std::unique_ptr<T> value) const {
        T* expected = nullptr;
        if (ptr_.compare_exchange_strong(expected, value.get(), std::memory_order_acq_rel,
                                         std::memory_order_acquire)) {
            return value.release();
        }
        return expected;
    }

private:
    mutable std::atomic<T*> ptr_{nullptr};
};

// What a kernel reads of a graph: the rows it searches, the rows back along
// them (for kernels that also walk edges backwards), one weight column with,
// over a column that mixes kinds, each slot's ValueKind, and whether edges
// are ordered pairs. Any row order (NetworkX's successors or exact
// predecessors, another library's neighbour order) can stand behind it. It
// holds four pointers and a flag, so kernels take it by value or reference
// alike; the graph it points into must outlive it.
struct GraphView {
    const Csr* out = nullptr;
    const Csr* in = nullptr;
    const std::vector<double>* weights = nullptr;  // nullptr: unweighted
    // Per-slot ValueKinds of a column that mixes kinds, else nullptr (every
    // distance then has the column's one kind).
    const std::vector<std::uint8_t>* kinds = nullptr;
    bool directed = false;

    Count n() const { return out->node_count(); }
};

struct CoreGraph {
    Csr succ;
    std::optional<Csr> pred;             // directed graphs only
    std::optional<NativeRecord> native;  // natively built graphs only
    WeightMap weights;
    Count n = 0;
    OnceCell<ExactPred> exact_pred;
    OnceCell<std::vector<double>> unit_weights;
    OnceCell<Count> edge_count;  // number_of_edges(), counted on first use
    bool directed = false;
    bool pred_exact = false;  // pred already follows NetworkX predecessor order
    bool keys_are_nodes = true;  // converted graphs: every neighbour key is the node object
    // Native graphs: every edge received its attributes in column order, so
    // its data dict rebuilt column by column has NetworkX's key order.
    bool data_in_column_order = true;

    // The weight column for attribute `name` (nullptr when `name` is absent).
    Result<const std::vector<double>*> weight_slice(const std::optional<std::string>& name,
                                                    bool reverse) const;
    // The view of a search along out-edges, or along in-edges in exact order
    // (its `in` rows are then the out-rows), over attribute `name`'s column.
    Result<GraphView> search_view(const std::optional<std::string>& name, bool reverse) const;
    // The given positions after a range check, or 0..n-1.
    Result<std::vector<Node>> sources_or_all(const std::optional<std::vector<Node>>& sources) const;
    // NetworkX degrees: undirected self-loops count twice; directed in + out.
    std::vector<Count> degrees() const;
    // Whether an undirected graph has a self-loop: the edge count (counted
    // once per graph) tells, each self-loop having one slot and every other
    // edge two. Always false for directed graphs.
    bool undirected_self_loops() const { return !directed && 2 * number_of_edges() != succ.slot_count(); }
    // Row of `v` in `pred`, or in `succ` for undirected graphs.
    const Csr& in_rows() const { return pred ? *pred : succ; }
    // The graph in NetworkX's order with one weight column.
    GraphView view(const std::vector<double>* column) const {
        return {.out = &succ, .in = &in_rows(), .weights = column, .directed = directed};
    }
    bool has_exact_pred() const { return !directed || pred_exact || exact_pred.get() != nullptr; }

    // Whether row v of `rows` holds the same predecessors as row v of the
    // in-rows, for every v (in any order).
    bool same_in_rows(const Csr& rows) const;

    Count number_of_edges() const;
    // Bytes held by the record's own arrays (rows, columns, edge record and
    // the cells filled since), not by the node objects the caller holds.
    Count held_bytes() const;
    bool has_edge(Node u, Node v) const;
    std::vector<std::string> attribute_names() const;
    const Weights* find_weights(const std::string& name) const;
    // The kind of every distance a search over attribute `name` sums (but
    // the source's, the int 0): the column's one kind, PY_INT for unit
    // weights, -1 when the column mixes kinds.
    int distance_kind(const std::optional<std::string>& name) const;
    // Whether every value of the column is an integer; an attribute a
    // native graph lacks weighs 1 everywhere, an integer.
    bool all_int(const std::string& name) const;
};

// Edges in G.edges order: for undirected graphs each edge once, from its
// endpoint with the smaller position (a self-loop once).
struct EdgeList {
    std::vector<Node> us;
    std::vector<Node> vs;
    std::optional<std::vector<Node>> ids;  // native graphs only
};
EdgeList edges_in_order(const CoreGraph& g);

// In-rows by a stable counting sort of succ's slots by target: row t lists
// its sources in ascending position. perm[p] is the succ slot of pred slot p.
Result<Csr> counting_sort_pred(const Csr& succ, std::vector<Slot>& perm);

// How the two rows of an undirected graph agree. `rows` is whether every
// slot (u, v) has its mirror (v, u); `columns[i]` whether the mirrors of
// every edge also hold the same bits of column i. Decided from sums of a
// hash keyed anew in every process, taken over each edge as seen from its
// lower and its higher endpoint: rows that differ give equal sums with a
// probability of about 2^-64, whatever the graph.
struct Mirrors {
    bool rows = true;
    std::vector<bool> columns;
};
Result<Mirrors> mirrors(const Csr& rows, const std::vector<const std::vector<double>*>& columns);

// Gathers a per-succ-slot column into pred slot order.
std::vector<double> permute_column(const std::vector<double>& values, const std::vector<Slot>& perm);

}  // namespace fennel
