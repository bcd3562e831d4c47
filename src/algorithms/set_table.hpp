// CPython's set table (Objects/setobject.c) over node positions with the
// keys' hashes: the same table, probe sequence, dummies, fill and resize
// thresholds, so a SetTable with the history of a Python set iterates in
// that set's order. Keys are positions: two keys are equal only when they
// are the same position (the caller's nodes are distinct under ==).
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

class SetTable {
public:
    std::size_t size() const { return used_; }

    // set.add; a key already present is left in place.
    void add(Node key, std::int64_t hash);
    // set_merge of the one-element set {key} (`s | {key}` on a copy of s):
    // the table grows for both sets first, then takes the key.
    void merge_one(Node key, std::int64_t hash) {
        if ((fill_ + 1) * 5 >= mask() * 3) resize((used_ + 1) * 2);
        add(key, hash);
    }
    // The resize set.update(d) makes for a dict d of `incoming` keys before
    // it adds them (one big resize up front).
    void reserve_update(std::size_t incoming) {
        if ((fill_ + incoming) * 5 >= mask() * 3) resize((used_ + incoming) * 2);
    }
    // set.remove of a present key (its slot becomes a dummy).
    void discard(Node key, std::int64_t hash);
    // `key in set`, by the probe sequence that would find it.
    bool contains(Node key, std::int64_t hash) const;
    // set.pop of a non-empty set: the first entry from the finger on,
    // wrapping round; the finger moves past it (resizes keep the finger).
    Node pop();
    // set -= other, for the keys of `other`: each discarded, then dummies
    // resized away past a quarter of the table, as after any `-=`.
    template <class Keys, class HashOf>
    void difference_update(const Keys& other, HashOf&& hash_of);
    // The end of set.difference_update (`s -= other` on a non-empty s):
    // dummies past a quarter of the table are resized away.
    void settle_dummies() {
        if (fill_ - used_ > mask() / 4) resize(used_ > 50000 ? used_ * 2 : used_ * 4);
    }

    // set.clear(): the fresh small table of an empty set.
    void clear() {
        table_.clear();
        fill_ = used_ = 0;
    }
    // set.update(other) with another set (set_merge): one resize up front,
    // then other's entries in its table order.
    void merge(const SetTable& other);

    // next(iter(set)) of a non-empty set: its first entry in table order.
    Node first() const {
        for (const Entry& e : table_) {
            if (e.key < DUMMY) return e.key;
        }
        return EMPTY;
    }

    template <class F>
    void each(F&& f) const {
        for (const Entry& e : table_) {
            if (e.key < DUMMY) f(e.key);
        }
    }

    // a - b (set_difference): `in_b` tells b's membership, `b_size` its size.
    template <class InB, class HashOf>
    static SetTable difference(const SetTable& a, std::size_t b_size, InB&& in_b, HashOf&& hash_of);

    // set(other) into a fresh set (set_merge into an empty table): set.copy.
    static SetTable copy_of(const SetTable& other);

private:
    static constexpr Node EMPTY = 0xFFFFFFFFu;
    static constexpr Node DUMMY = 0xFFFFFFFEu;
    static constexpr std::size_t MIN_SIZE = 8;
    static constexpr std::size_t LINEAR_PROBES = 9;
    static constexpr unsigned PERTURB_SHIFT = 5;

    struct Entry {
        Node key = EMPTY;
        std::int64_t hash = 0;
    };

    // A fresh set's small table is allocated on its first insertion.
    std::size_t mask() const { return table_.empty() ? MIN_SIZE - 1 : table_.size() - 1; }
    void resize(std::size_t minused);
    static void insert_clean(std::vector<Entry>& table, Node key, std::int64_t hash);

    std::vector<Entry> table_;
    std::size_t fill_ = 0;
    std::size_t used_ = 0;
    std::size_t finger_ = 0;
};

template <class Keys, class HashOf>
void SetTable::difference_update(const Keys& other, HashOf&& hash_of) {
    for (Node x : other) discard(x, hash_of(x));
    settle_dummies();
}

template <class InB, class HashOf>
SetTable SetTable::difference(const SetTable& a, std::size_t b_size, InB&& in_b, HashOf&& hash_of) {
    if ((a.used_ >> 2) > b_size) {
        // set_copy_and_difference: a copy, b's members discarded, dummies
        // resized away past a quarter of the table.
        SetTable r = copy_of(a);
        a.each([&](Node x) {
            if (in_b(x)) r.discard(x, hash_of(x));
        });
        r.settle_dummies();
        return r;
    }
    SetTable r;
    a.each([&](Node x) {
        if (!in_b(x)) r.add(x, hash_of(x));
    });
    return r;
}

}  // namespace fennel
