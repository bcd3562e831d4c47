// The priority queue of every Dijkstra-like search, one template over the
// order of its entries:
//   NxOrder    distance under the IEEE 754 total order, then push count, as
//              NetworkX's heap of (distance, next(counter), ...) tuples
//              orders them. Counts are unique within a search, so any
//              correct min-priority queue pops the same sequence.
//   RustOrder  petgraph's MinScored(score, node): the score alone, equal
//              scores comparing equal, so which of several tied entries pops
//              first is decided by the sift rules of Rust's BinaryHeap.
// The sift rules are Rust's, generalised to the order's arity (two for
// RustOrder, which makes them Rust's step for step): a pushed entry rises
// past strictly worse parents only; a pop moves the last entry into the
// root's place, sinks the hole to the bottom along the best child (the last
// of tied children), then lets the entry rise from there.
//
// Keys are kept apart from the payload, so the choice among the children is
// a run of branch-free compares over one cache line or two.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fennel {

// Distance as a signed integer with the IEEE 754 total order (-0.0 before
// +0.0, NaNs at the extremes by sign). The mapping is its own inverse.
inline std::int64_t total_order_key(double d) {
    const auto bits = std::bit_cast<std::int64_t>(d);
    return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
}

// Priority of one entry of NetworkX's heap: the distance (kept as its
// total-order key), then the push counter of the search (0 for the source).
struct HeapKey {
    std::int64_t order;
    std::uint64_t counter;

    static HeapKey of(double distance, std::uint64_t counter) { return {total_order_key(distance), counter}; }
    double distance() const { return std::bit_cast<double>(total_order_key(std::bit_cast<double>(order))); }
    friend bool operator<(const HeapKey& a, const HeapKey& b) {
        return a.order != b.order ? a.order < b.order : a.counter < b.counter;
    }
};

// An order supplies the key of a pushed distance, the packed form the heap
// compares with `<` (strictly earlier pops first), and the arity.
struct NxOrder {
    using Key = HeapKey;
    // Distance order, then counter, in one 128-bit unsigned integer.
    using Packed = unsigned __int128;
    static constexpr std::size_t ARITY = 4;  // half the depth of a binary heap

    static Key key(double distance, std::uint64_t counter) { return HeapKey::of(distance, counter); }
    static double distance(Key k) { return k.distance(); }
    static Packed pack(Key k) {
        return (static_cast<Packed>(static_cast<std::uint64_t>(k.order) ^ SIGN) << 64) | k.counter;
    }
    static Key unpack(Packed p) {
        return {static_cast<std::int64_t>(static_cast<std::uint64_t>(p >> 64) ^ SIGN), static_cast<std::uint64_t>(p)};
    }

private:
    static constexpr std::uint64_t SIGN = std::uint64_t{1} << 63;
};

// Scores are never NaN under this order: the search rejects NaN costs
// before adding them.
struct RustOrder {
    using Key = double;
    using Packed = double;
    static constexpr std::size_t ARITY = 2;

    static Key key(double score, std::uint64_t) { return score; }
    static double distance(Key k) { return k; }
    static Packed pack(Key k) { return k; }
    static Key unpack(Packed p) { return p; }
};

// A min-heap of (key, node, pred) entries. `Indexed` keeps at most one entry
// per node, whose key can only decrease (push lowers it); otherwise every
// push adds an entry and the search discards stale ones when they pop.
// Under NxOrder the indexed heap pops NetworkX's sequence without its stale
// entries: a node is re-pushed only with a strictly smaller distance (and a
// larger counter), so its newest entry is the least of its entries.
template <class Order, bool Indexed>
class Heap {
public:
    using Key = typename Order::Key;
    struct Entry {
        Key key;
        std::uint32_t node;
        std::uint32_t pred;
    };

    // `n` bounds the node numbers (used by the indexed heap only).
    explicit Heap(std::size_t n) {
        if constexpr (Indexed) where_.assign(n, ABSENT);
    }

    bool empty() const { return keys_.empty(); }
    // The node of the least entry; the heap must not be empty.
    std::uint32_t top_node() const { return items_.front().node; }

    // Adds an entry; the indexed heap lowers the node's key instead when it
    // holds one (the new key must then be smaller).
    void push(Key key, std::uint32_t node, std::uint32_t pred) {
        std::size_t hole = keys_.size();
        if constexpr (Indexed) {
            if (where_[node] != ABSENT) hole = where_[node];
        }
        if (hole == keys_.size()) {
            keys_.push_back({});
            items_.push_back({});
        }
        sift_up(hole, Order::pack(key), {node, pred});
    }

    // Removes every entry, in time proportional to their number.
    void clear() {
        if constexpr (Indexed) {
            for (const Item& item : items_) where_[item.node] = ABSENT;
        }
        keys_.clear();
        items_.clear();
    }

    // Removes and returns the least entry; the heap must not be empty.
    Entry pop() {
        const Item top = items_.front();
        const Packed top_key = keys_.front();
        if constexpr (Indexed) where_[top.node] = ABSENT;
        const Packed last_key = keys_.back();
        const Item last = items_.back();
        keys_.pop_back();
        items_.pop_back();
        if (!keys_.empty()) sift_down_to_bottom(last_key, last);
        return {Order::unpack(top_key), top.node, top.pred};
    }

private:
    using Packed = typename Order::Packed;
    static constexpr std::size_t ARITY = Order::ARITY;
    struct Item {
        std::uint32_t node;
        std::uint32_t pred;
    };
    static constexpr std::uint32_t ABSENT = 0xFFFFFFFFu;

    void place(std::size_t at, Packed key, Item item) {
        keys_[at] = key;
        items_[at] = item;
        if constexpr (Indexed) where_[item.node] = static_cast<std::uint32_t>(at);
    }

    void sift_up(std::size_t hole, Packed key, Item item) {
        while (hole > 0) {
            const std::size_t parent = (hole - 1) / ARITY;
            if (!(key < keys_[parent])) break;
            place(hole, keys_[parent], items_[parent]);
            hole = parent;
        }
        place(hole, key, item);
    }

    // The root is the hole; (key, item) is the entry that fills it.
    void sift_down_to_bottom(Packed key, Item item) {
        const std::size_t size = keys_.size();
        std::size_t hole = 0;
        for (;;) {
            const std::size_t first = ARITY * hole + 1;
            if (first >= size) break;
            std::size_t best = first;
            Packed best_key = keys_[first];
            const std::size_t end = first + ARITY < size ? first + ARITY : size;
            for (std::size_t c = first + 1; c < end; ++c) {
                const Packed k = keys_[c];
                const bool take = !(best_key < k);
                best = take ? c : best;
                best_key = take ? k : best_key;
            }
            place(hole, best_key, items_[best]);
            hole = best;
        }
        sift_up(hole, key, item);
    }

    std::vector<Packed> keys_;
    std::vector<Item> items_;
    std::vector<std::uint32_t> where_;  // indexed: heap index of each node, or ABSENT
};

}  // namespace fennel
