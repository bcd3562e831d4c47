// The priority queue of every Dijkstra search: entries ordered by distance
// under the IEEE 754 total order, then by push count, as NetworkX's heap of
// (distance, next(counter), ...) tuples orders them. Counts are unique within
// a search, so any correct min-priority queue pops the same sequence; this
// one is a 4-ary heap (half the depth of a binary heap) that compares
// precomputed integer keys.
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

// Priority of one heap entry: the distance (kept as its total-order key),
// then the push counter of the search (0 for the source).
struct HeapKey {
    std::int64_t order;
    std::uint64_t counter;

    static HeapKey of(double distance, std::uint64_t counter) { return {total_order_key(distance), counter}; }
    double distance() const { return std::bit_cast<double>(total_order_key(std::bit_cast<double>(order))); }
    friend bool operator<(const HeapKey& a, const HeapKey& b) {
        return a.order != b.order ? a.order < b.order : a.counter < b.counter;
    }
};


// A 4-ary min-heap holding at most one entry per node, whose key can only
// decrease. It pops the same sequence as NetworkX's heap with stale entries:
// a node is re-pushed only with a strictly smaller distance (and a larger
// counter), so its newest entry is the least of its entries and the stale
// ones would only be discarded when popped.
//
// Keys are packed into one 128-bit unsigned integer (distance order, then
// counter) and kept apart from the payload, so the choice among four
// children is a run of branch-free compares over one cache line or two.
class NodeHeap {
public:
    struct Entry {
        HeapKey key;
        std::uint32_t node;
        std::uint32_t pred;
    };

    explicit NodeHeap(std::size_t n) : where_(n, ABSENT) {}

    bool empty() const { return keys_.empty(); }

    // Inserts `node`, or lowers its key (the new key must be smaller).
    void push_or_decrease(std::uint32_t node, HeapKey key, std::uint32_t pred) {
        std::size_t hole = where_[node];
        if (hole == ABSENT) {
            hole = keys_.size();
            keys_.push_back(0);
            items_.push_back({});
        }
        sift_up(hole, pack(key), {node, pred});
    }

    // Removes every entry, in time proportional to their number.
    void clear() {
        for (const Item& item : items_) where_[item.node] = ABSENT;
        keys_.clear();
        items_.clear();
    }

    // Removes and returns the least entry; the heap must not be empty.
    Entry pop() {
        const Item top = items_.front();
        const Packed top_key = keys_.front();
        where_[top.node] = ABSENT;
        const Packed last_key = keys_.back();
        const Item last = items_.back();
        keys_.pop_back();
        items_.pop_back();
        if (!keys_.empty()) sift_down(last_key, last);
        return {unpack(top_key), top.node, top.pred};
    }

private:
    using Packed = unsigned __int128;
    struct Item {
        std::uint32_t node;
        std::uint32_t pred;
    };
    static constexpr std::uint32_t ABSENT = 0xFFFFFFFFu;
    static constexpr std::uint64_t SIGN = std::uint64_t{1} << 63;

    static Packed pack(HeapKey k) {
        return (static_cast<Packed>(static_cast<std::uint64_t>(k.order) ^ SIGN) << 64) | k.counter;
    }
    static HeapKey unpack(Packed p) {
        return {static_cast<std::int64_t>(static_cast<std::uint64_t>(p >> 64) ^ SIGN),
                static_cast<std::uint64_t>(p)};
    }

    void place(std::size_t at, Packed key, Item item) {
        keys_[at] = key;
        items_[at] = item;
        where_[item.node] = static_cast<std::uint32_t>(at);
    }

    void sift_up(std::size_t hole, Packed key, Item item) {
        while (hole > 0) {
            const std::size_t parent = (hole - 1) / 4;
            if (!(key < keys_[parent])) break;
            place(hole, keys_[parent], items_[parent]);
            hole = parent;
        }
        place(hole, key, item);
    }

    void sift_down(Packed key, Item item) {
        const std::size_t size = keys_.size();
        std::size_t hole = 0;
        for (;;) {
            const std::size_t first = 4 * hole + 1;
            if (first >= size) break;
            std::size_t best = first;
            Packed best_key = keys_[first];
            const std::size_t end = first + 4 < size ? first + 4 : size;
            for (std::size_t c = first + 1; c < end; ++c) {
                const Packed k = keys_[c];
                const bool less = k < best_key;
                best = less ? c : best;
                best_key = less ? k : best_key;
            }
            if (!(best_key < key)) break;
            place(hole, best_key, items_[best]);
            hole = best;
        }
        place(hole, key, item);
    }

    std::vector<Packed> keys_;
    std::vector<Item> items_;
    std::vector<std::uint32_t> where_;  // heap index of each node, or ABSENT
};

}  // namespace fennel
