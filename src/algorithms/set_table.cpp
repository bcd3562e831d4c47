#include "algorithms/set_table.hpp"

namespace fennel {

void SetTable::add(Node key, std::int64_t hash) {
    if (table_.empty()) table_.assign(MIN_SIZE, Entry{});
    const std::size_t mask = table_.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    std::size_t perturb = static_cast<std::size_t>(hash);
    Entry* freeslot = nullptr;
    Entry* unused = nullptr;
    while (unused == nullptr) {
        Entry* entry = &table_[i];
        std::size_t probes = (i + LINEAR_PROBES <= mask) ? LINEAR_PROBES : 0;
        while (true) {
            if (entry->key == EMPTY) {
                unused = entry;
                break;
            }
            if (entry->key == key) return;
            // The last dummy met before the free slot is reused when the key is absent.
            if (entry->key == DUMMY) freeslot = entry;
            if (probes-- == 0) break;
            ++entry;
        }
        if (unused != nullptr) break;
        perturb >>= PERTURB_SHIFT;
        i = (i * 5 + 1 + perturb) & mask;
    }
    ++used_;
    if (freeslot != nullptr) {
        *freeslot = {key, hash};
        return;
    }
    ++fill_;
    *unused = {key, hash};
    if (fill_ * 5 < mask * 3) return;
    resize(used_ > 50000 ? used_ * 2 : used_ * 4);
}

void SetTable::discard(Node key, std::int64_t hash) {
    if (table_.empty()) return;
    const std::size_t mask = table_.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    std::size_t perturb = static_cast<std::size_t>(hash);
    while (true) {
        Entry* entry = &table_[i];
        std::size_t probes = (i + LINEAR_PROBES <= mask) ? LINEAR_PROBES : 0;
        while (true) {
            if (entry->key == EMPTY) return;
            if (entry->key == key) {
                *entry = {DUMMY, -1};
                --used_;
                return;
            }
            if (probes-- == 0) break;
            ++entry;
        }
        perturb >>= PERTURB_SHIFT;
        i = (i * 5 + 1 + perturb) & mask;
    }
}

bool SetTable::contains(Node key, std::int64_t hash) const {
    if (table_.empty()) return false;
    const std::size_t mask = table_.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    std::size_t perturb = static_cast<std::size_t>(hash);
    while (true) {
        const Entry* entry = &table_[i];
        std::size_t probes = (i + LINEAR_PROBES <= mask) ? LINEAR_PROBES : 0;
        while (true) {
            if (entry->key == EMPTY) return false;
            if (entry->key == key) return true;
            if (probes-- == 0) break;
            ++entry;
        }
        perturb >>= PERTURB_SHIFT;
        i = (i * 5 + 1 + perturb) & mask;
    }
}

Node SetTable::pop() {
    const std::size_t mask = table_.size() - 1;
    std::size_t i = finger_ & mask;
    while (table_[i].key >= DUMMY) i = i == mask ? 0 : i + 1;
    const Node key = table_[i].key;
    table_[i] = {DUMMY, -1};
    --used_;
    finger_ = i + 1;
    return key;
}

void SetTable::insert_clean(std::vector<Entry>& table, Node key, std::int64_t hash) {
    const std::size_t mask = table.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    std::size_t perturb = static_cast<std::size_t>(hash);
    while (true) {
        if (table[i].key == EMPTY) {
            table[i] = {key, hash};
            return;
        }
        if (i + LINEAR_PROBES <= mask) {
            for (std::size_t j = 1; j <= LINEAR_PROBES; ++j) {
                if (table[i + j].key == EMPTY) {
                    table[i + j] = {key, hash};
                    return;
                }
            }
        }
        perturb >>= PERTURB_SHIFT;
        i = (i * 5 + 1 + perturb) & mask;
    }
}

void SetTable::resize(std::size_t minused) {
    std::size_t size = MIN_SIZE;
    while (size <= minused) size <<= 1;
    std::vector<Entry> table(size);
    for (const Entry& e : table_) {
        if (e.key < DUMMY) insert_clean(table, e.key, e.hash);
    }
    table_ = std::move(table);
    fill_ = used_;
}

void SetTable::merge(const SetTable& other) {
    if (&other == this || other.used_ == 0) return;
    if ((fill_ + other.used_) * 5 >= mask() * 3) resize((used_ + other.used_) * 2);
    if (table_.empty()) table_.assign(MIN_SIZE, Entry{});
    if (fill_ == 0) {
        // An empty table: other's entries copied slot for slot when the
        // sizes agree and other has no dummies, else inserted clean.
        if (table_.size() == other.table_.size() && other.fill_ == other.used_) {
            table_ = other.table_;
        } else {
            for (const Entry& e : other.table_) {
                if (e.key < DUMMY) insert_clean(table_, e.key, e.hash);
            }
        }
        fill_ = used_ = other.used_;
        return;
    }
    for (const Entry& e : other.table_) {
        if (e.key < DUMMY) add(e.key, e.hash);
    }
}

SetTable SetTable::copy_of(const SetTable& other) {
    SetTable so;
    if (other.used_ == 0) return so;
    if (other.used_ * 5 >= so.mask() * 3) so.resize(other.used_ * 2);
    if (so.mask() == other.mask() && other.fill_ == other.used_) {
        so.table_ = other.table_;
    } else {
        if (so.table_.empty()) so.table_.assign(MIN_SIZE, Entry{});
        for (const Entry& e : other.table_) {
            if (e.key < DUMMY) insert_clean(so.table_, e.key, e.hash);
        }
    }
    so.fill_ = so.used_ = other.used_;
    return so;
}

}  // namespace fennel
