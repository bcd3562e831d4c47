#include "graph/convert.hpp"

#include "graph/edge_value_py.hpp"

#include "lib/args.hpp"
#include "lib/errors_py.hpp"
#include "lib/numpy_types_py.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fennel::py {

namespace {

Py_ssize_t list_size(PyObject* list) {
    CriticalSection cs(list);
    return PyList_GET_SIZE(list);
}

// Element i of a list that may shrink concurrently; empty when i is gone.
PyRef list_item(PyObject* list, Py_ssize_t i) {
    CriticalSection cs(list);
    if (i >= PyList_GET_SIZE(list)) return {};
    return PyRef::new_ref(PyList_GET_ITEM(list, i));
}

// The address of element i of a list that may shrink concurrently, for
// comparing only (the object may be gone once the call returns); null when i
// is gone.
PyObject* list_item_address(PyObject* list, Py_ssize_t i) {
    CriticalSection cs(list);
    return i < PyList_GET_SIZE(list) ? PyList_GET_ITEM(list, i) : nullptr;
}

bool fail_not_implemented(const char* message) {
    PyErr_SetString(PyExc_NotImplementedError, message);
    return false;
}

// Raised where CPython's own dict iterator would raise it.
bool fail_mutated(const char* message) {
    PyErr_SetString(PyExc_RuntimeError, message);
    return false;
}

// What one edge step knows about Python code running behind it. The row
// walk lends the step borrowed pointers to the neighbour key and the edge
// data; Python code (hashing, comparisons, Python-level methods, numeric
// protocols) could free them by rebinding G[u][v]. Every path that may run
// Python code first calls python_may_run(), which takes strong references to
// both and tells the walk that its prefetched block may be stale.
//
// A pure step (a piece read on a worker thread) may touch nothing but the
// objects' memory: python_may_run() answers false, and the step gives up
// without an exception instead (see read_in_pieces).
class EdgeStep {
public:
    EdgeStep(PyObject* key, PyObject* data, bool pure) : key_(key), data_(data), pure_(pure) {}

    [[nodiscard]] bool python_may_run() {
        if (pure_) return false;
        if (ran_) return true;
        ran_ = true;
        held_key_ = PyRef::new_ref(key_);
        held_data_ = PyRef::new_ref(data_);
        return true;
    }
    bool python_ran() const { return ran_; }
    bool pure() const { return pure_; }

private:
    PyObject* key_;
    PyObject* data_;
    PyRef held_key_;
    PyRef held_data_;
    bool pure_;
    bool ran_ = false;
};

// One Python edge-attribute value, for a column. NetworkX semantics: None
// hides the edge from weighted searches; ints stay exact up to 2^53; bools
// weigh as ints. What no column can hold is refused.
bool parse_value(PyObject* v, EdgeValue& out, EdgeStep& step) {
    ReadStatus status = ReadStatus::Ok;
    if (step.pure()) {
        // Values a pure step cannot read, or would refuse, are left to the
        // serial reading, which raises for them.
        if (!read_plain_value(v, out, status) || status != ReadStatus::Ok) return false;
    } else {
        status = read_edge_value(v, out, [&] { (void)step.python_may_run(); });
    }
    switch (status) {
        case ReadStatus::Ok: break;
        case ReadStatus::TooLarge: return fail_not_implemented("integer edge weight is too large");
        case ReadStatus::NaN: return fail_not_implemented("NaN edge weights are not supported");
        case ReadStatus::Raised: return false;
        case ReadStatus::Unsupported: {
            PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(v)));
            if (!name) return false;
            PyErr_Format(PyExc_NotImplementedError, "unsupported edge weight type: %U", name.get());
            return false;
        }
    }
    if (out.kind == KIND_BOOL) out.kind = KIND_INT;
    return true;
}

// The value of `attr.name` in an exact dict whose keys are all exact str,
// found by a scan that compares strings in C and so can never run Python
// code. Sets `plain` to false (and finds nothing) when some key is of
// another type, whose __eq__ a hash lookup might call. Edge data dicts hold a
// handful of attributes, so the scan costs no more than hashing would.
// Returns a new reference, or with `borrow` the dict's own (for pure steps,
// which read under the GIL and take no references).
PyObject* find_str_key(PyObject* data, PyObject* name, bool& plain, bool borrow = false) {
    CriticalSection cs(data);
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(data, &pos, &key, &value)) {
        if (!PyUnicode_CheckExact(key)) {
            plain = false;
            return nullptr;
        }
        if (key == name || PyUnicode_Compare(key, name) == 0) return borrow ? value : Py_NewRef(value);
    }
    return nullptr;
}

// data[name] (or the default) for an exact dict; otherwise what NetworkX's
// weight functions call, data.get(name, default), so that a dict subclass
// with its own `get` answers as it does for NetworkX.
PyRef attribute_of(PyObject* data, const Attr& attr, EdgeStep& step) {
    PyObject* name = attr.name.get();
    if (PyDict_CheckExact(data) && PyUnicode_CheckExact(name)) {
        bool plain = true;
        PyObject* value = find_str_key(data, name, plain);
        if (plain) return value != nullptr ? PyRef::steal(value) : PyRef::new_ref(attr.fallback.get());
    }
    if (!step.python_may_run()) return {};
    PyRef hold = PyRef::new_ref(data);  // the lookup may run Python code
    if (PyDict_CheckExact(data)) {
        PyObject* value = nullptr;
        int found = PyDict_GetItemRef(data, name, &value);
        if (found < 0) return {};
        if (found == 0) return PyRef::new_ref(attr.fallback.get());
        return PyRef::steal(value);
    }
    return PyRef::steal(PyObject_CallMethod(data, "get", "OO", name, attr.fallback.get()));
}

bool parse_attribute(PyObject* data, const Attr& attr, EdgeValue& out, EdgeStep& step) {
    if (step.pure()) {
        // Read in place: the value and the default are shared with the other
        // pieces, whose threads may be reading them too.
        if (!PyDict_CheckExact(data) || !PyUnicode_CheckExact(attr.name.get())) return false;
        bool plain = true;
        PyObject* value = find_str_key(data, attr.name.get(), plain, true);
        return plain && parse_value(value != nullptr ? value : attr.fallback.get(), out, step);
    }
    PyRef value = attribute_of(data, attr, step);
    return value && parse_value(value.get(), out, step);
}

// Walks a dict in insertion order, one critical section per step, and
// detects a concurrent change of size or of keys as CPython's iterator does.
// `step(key, value)` returns false to abort with its exception set.
//
// Under the GIL the pair is lent to `step` without new references (nothing
// else runs while we hold the GIL); a step that may run Python code takes
// its own references first. Without the GIL another thread may drop the
// dict's references at any time, so the pair is held for the step.
template <class Step>
bool walk_dict(PyObject* dict, Step&& step) {
    Py_ssize_t pos = 0;
    Py_ssize_t produced = 0;
    Py_ssize_t size = 0;
    {
        CriticalSection cs(dict);
        size = PyDict_GET_SIZE(dict);
    }
    for (;;) {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
#ifdef Py_GIL_DISABLED
        PyRef key_ref;
        PyRef value_ref;
#endif
        {
            CriticalSection cs(dict);
            if (PyDict_GET_SIZE(dict) != size) return fail_mutated("dictionary changed size during iteration");
            if (!PyDict_Next(dict, &pos, &key, &value)) break;
            if (produced == size) return fail_mutated("dictionary keys changed during iteration");
#ifdef Py_GIL_DISABLED
            key_ref = PyRef::new_ref(key);
            value_ref = PyRef::new_ref(value);
#endif
        }
        ++produced;
        if (!step(key, value)) return false;
    }
    return true;
}

// Iterates `obj.method()`, calling `step(item)` for each item.
template <class Step>
bool walk_call(PyObject* obj, const char* method, Step&& step) {
    PyRef result = PyRef::steal(PyObject_CallMethod(obj, method, nullptr));
    if (!result) return false;
    PyRef it = PyRef::steal(PyObject_GetIter(result.get()));
    if (!it) return false;
    for (;;) {
        PyRef item = PyRef::steal(PyIter_Next(it.get()));
        if (!item) return !PyErr_Occurred();
        if (!step(item.get())) return false;
    }
}

// How an adjacency row is walked.
enum class RowKind {
    Storage,  // a dict iterating in storage order: read its entries directly
    Items,    // through `.items()`, as NetworkX reads it
    Failed,   // an exception is set
};

// 1 when `type` resolves every iteration method to the same object as
// `base` does (it iterates as `base` does), 0 when not, -1 on error.
int iterates_like(PyObject* type, PyObject* base) {
    for (const char* name : {"__iter__", "keys", "items", "values"}) {
        PyRef mine = PyRef::steal(PyObject_GetAttrString(type, name));
        PyRef theirs = PyRef::steal(PyObject_GetAttrString(base, name));
        if (!mine || !theirs) return -1;
        if (mine.get() != theirs.get()) return 0;
    }
    return 1;
}

// NetworkX walks a row both as `for v in G[u]` and as `G[u].items()`, so a
// row is reproducible when the two agree: exact dicts and dict subclasses
// that keep dict's iteration (storage order), OrderedDicts that keep
// OrderedDict's, and mappings that are not dicts at all (through `.items()`).
// A dict subclass with iteration of its own is refused.
RowKind row_kind(PyObject* row) {
    if (!PyDict_Check(row)) return RowKind::Items;
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(row));
    int like = iterates_like(type, reinterpret_cast<PyObject*>(&PyDict_Type));
    if (like != 0) return like > 0 ? RowKind::Storage : RowKind::Failed;
    PyRef collections = PyRef::steal(PyImport_ImportModule("collections"));
    if (!collections) return RowKind::Failed;
    PyRef ordered = PyRef::steal(PyObject_GetAttrString(collections.get(), "OrderedDict"));
    if (!ordered) return RowKind::Failed;
    int is_ordered = PyObject_IsInstance(row, ordered.get());
    if (is_ordered < 0) return RowKind::Failed;
    if (is_ordered) {
        like = iterates_like(type, ordered.get());
        if (like != 0) return like > 0 ? RowKind::Items : RowKind::Failed;
    }
    PyErr_Format(PyExc_NotImplementedError, "adjacency rows of type %.200s iterate in an order of their own",
                 Py_TYPE(row)->tp_name);
    return RowKind::Failed;
}

// Whether objects read ahead from a dict hold references of their own.
// Without the GIL another thread may drop the dict's references at any time,
// so they must. Under the GIL nothing else runs while the conversion runs C
// code, and whatever was read ahead is abandoned as soon as a step may have
// run Python code, so borrowed pointers are safe; prefetching the objects
// then overlaps their cache misses without writing to them.
#ifdef Py_GIL_DISABLED
constexpr bool HOLD = true;
#else
constexpr bool HOLD = false;
#endif

// Walks the (neighbor, data) pairs of one adjacency row in its iteration
// order: a dict directly, anything else through `.items()`.
//
// A dict is walked in blocks. Each block's key and data objects are touched
// (prefetched, or referenced) as it is collected, so their cache misses
// overlap instead of stalling the walk one by one, and the data dicts' key
// tables are prefetched. `start` collects the first block early
// (the caller then works on the previous row while the memory arrives).
// While the steps run pure C code the dict cannot change under the GIL; as soon as a step may have run
// Python code, the rest of the block is dropped and the live walk resumes
// right after that entry, exactly as CPython's iterator would. Changes of size
// or keys are detected at every step, as CPython's iterator does.
class RowWalk {
public:
    RowWalk() = default;
    RowWalk(const RowWalk&) = delete;
    RowWalk& operator=(const RowWalk&) = delete;
    ~RowWalk() { release(); }

    // Begins walking `row`, whose keys `index` will look up; false with an
    // exception set. A pure walk (see EdgeStep) reads exact dicts only and
    // gives up, without an exception, where another walk would raise.
    bool start(PyObject* row, bool read_values, const NodeIndex& index, bool pure = false) {
        release();
        row_ = row;
        read_values_ = read_values;
        index_ = &index;
        pure_ = pure;
        exact_ = PyDict_CheckExact(row);
        if (!exact_) return !pure_;
        return begin_storage();
    }

    // Start loading the index slots of the collected keys, then the nodes
    // those slots name. Each reads what the previous step loaded: call them
    // a row apart, the first a row after `start` prefetched the keys.
    void prefetch_slots() const {
        if (!index_->has_slots()) return;
        for (std::size_t i = 0; i < filled_; ++i) index_->prefetch_slot(block_[i].key);
    }
    void prefetch_nodes() const {
        if (!index_->has_nodes()) return;
        for (std::size_t i = 0; i < filled_; ++i) index_->prefetch_node(block_[i].key);
    }
    void prefetch_all() const {
        prefetch_slots();
        prefetch_nodes();
    }

    // Whether a step of the last run may have run Python code.
    bool ran_python() const { return ran_python_; }

    // Restarts the walk of the same row (its block may be stale).
    bool restart() { return start(row_, read_values_, *index_, pure_); }

    // Calls step(neighbor, data, python_ran) for every pair; false to abort.
    template <class Step>
    bool run(Step&& step) {
        ran_python_ = false;
        if (!exact_) {
            if (pure_) return false;
            // Telling how a mapping iterates, and walking it through
            // `.items()`, may run Python code.
            ran_python_ = true;
            switch (row_kind(row_)) {
                case RowKind::Failed: return false;
                case RowKind::Items: return walk_items(step);
                case RowKind::Storage:
                    if (!begin_storage()) return false;
                    prefetch_all();
                    break;
            }
        }
        for (;;) {
            for (std::size_t i = 0; i < filled_; ++i) {
                bool python_ran = false;
                const bool ok = step(block_[i].key, block_[i].value, python_ran);
                ran_python_ = ran_python_ || python_ran;
                if (!ok || python_ran) {
                    const Py_ssize_t resume = block_[i].next_pos;
                    produced_ -= static_cast<Py_ssize_t>(filled_ - i - 1);
                    release();
                    if (!ok) return false;
                    pos_ = resume;
                    exhausted_ = false;
                    break;
                }
            }
            release();
            if (exhausted_) return true;
            if (!collect()) return false;
            prefetch_all();
        }
    }

private:
    static constexpr std::size_t BLOCK = 64;
    struct Entry {
        PyObject* key;
        PyObject* value;
        Py_ssize_t next_pos;
    };

    bool begin_storage() {
        pos_ = 0;
        produced_ = 0;
        exhausted_ = false;
        {
            CriticalSection cs(row_);
            size_ = PyDict_GET_SIZE(row_);
        }
        return collect();
    }

    void release() {
        if (HOLD) {
            for (std::size_t i = 0; i < filled_; ++i) {
                Py_DECREF(block_[i].key);
                if (read_values_) Py_DECREF(block_[i].value);
            }
        }
        filled_ = 0;
    }

    bool collect() {
        while (filled_ < BLOCK) {
            CriticalSection cs(row_);
            if (PyDict_GET_SIZE(row_) != size_) return mutated("dictionary changed size during iteration");
            PyObject* k = nullptr;
            PyObject* v = nullptr;
            if (!PyDict_Next(row_, &pos_, &k, &v)) {
                exhausted_ = true;
                break;
            }
            if (produced_ == size_) return mutated("dictionary keys changed during iteration");
            if (HOLD) {
                Py_INCREF(k);
                if (read_values_) Py_INCREF(v);
            } else {
                // Small objects may straddle two cache lines: fetch the
                // fields we read (an int's digits, a dict's key table).
                __builtin_prefetch(k);
                __builtin_prefetch(reinterpret_cast<const char*>(k) + 24);
                if (read_values_) {
                    __builtin_prefetch(v);
                    __builtin_prefetch(reinterpret_cast<const char*>(v) + 40);
                }
            }
            block_[filled_++] = {k, v, pos_};
            ++produced_;
        }
        if (read_values_) {
            for (std::size_t i = 0; i < filled_; ++i) {
                PyObject* data = block_[i].value;
                if (PyDict_CheckExact(data)) {
                    const char* keys = reinterpret_cast<const char*>(reinterpret_cast<PyDictObject*>(data)->ma_keys);
                    __builtin_prefetch(keys);
                    __builtin_prefetch(keys + 64);
                }
            }
        }
        return true;
    }

    bool mutated(const char* message) {
        release();
        return pure_ ? false : fail_mutated(message);
    }

    template <class Step>
    bool walk_items(Step&& step) {
        return walk_call(row_, "items", [&](PyObject* item) {
            if (!PyTuple_Check(item)) {
                PyErr_Format(PyExc_TypeError, "expected tuple, got %.200s", Py_TYPE(item)->tp_name);
                return false;
            }
            if (PyTuple_GET_SIZE(item) != 2) {
                PyErr_Format(PyExc_ValueError, "expected tuple of length %d, but got tuple of length %zd", 2,
                             PyTuple_GET_SIZE(item));
                return false;
            }
            bool python_ran = true;
            return step(PyTuple_GET_ITEM(item, 0), PyTuple_GET_ITEM(item, 1), python_ran);
        });
    }

    PyObject* row_ = nullptr;
    const NodeIndex* index_ = nullptr;
    bool read_values_ = false;
    bool pure_ = false;
    bool exact_ = false;
    bool ran_python_ = false;
    bool exhausted_ = false;
    Py_ssize_t pos_ = 0;
    Py_ssize_t produced_ = 0;
    Py_ssize_t size_ = 0;
    Entry block_[BLOCK];
    std::size_t filled_ = 0;
};

// Minimum over the parallel edges of one multigraph pair, as NetworkX's
// multigraph weight function takes it: the first edge attaining it wins.
// Every value parsed is reported to `seen` (the column's facts).
template <class Seen>
bool parse_parallel(PyObject* keydict, const Attr& attr, EdgeValue& out, EdgeStep& step, Seen&& seen) {
    bool any = false;
    auto edge = [&](PyObject* data) {
        EdgeValue p;
        if (!parse_attribute(data, attr, p, step)) return false;
        seen(p);
        if (!any) {
            out = p;
            any = true;
            return true;
        }
        if (out.kind == KIND_NONE || p.kind == KIND_NONE) {
            return fail_not_implemented("None weights among parallel edges");
        }
        if (p.value < out.value) out = p;
        return true;
    };
    if (!PyDict_CheckExact(keydict) && !step.python_may_run()) return false;
    bool ok = PyDict_CheckExact(keydict)
                  ? walk_dict(keydict, [&](PyObject*, PyObject* data) { return edge(data); })
                  : walk_call(keydict, "values", edge);
    if (!ok) return false;
    if (!any) return fail_not_implemented("edge without keys");
    return true;
}

// Folds one parsed value into the column's facts.
void observe(Weights& column, const EdgeValue& p) {
    ValueFacts& f = column.facts;
    f.plain = f.plain && p.fast;
    f.numpy_bool = f.numpy_bool || p.numpy_bool;
    if (p.kind == KIND_NONE) return;
    if (std::isinf(p.value)) {
        (p.value > 0 ? f.pos_inf : f.neg_inf) = true;
    } else {
        f.min_finite = std::min(f.min_finite, p.value);
        f.max_finite = std::max(f.max_finite, p.value);
    }
}

// Appends a slot's final value and updates the flags and kinds.
void record(Weights& column, const EdgeValue& p) {
    column.values.push_back(p.value);
    switch (p.kind) {
        case KIND_NONE: column.has_hidden = true; break;
        case KIND_INT: column.has_int = true; break;
        case KIND_FLOAT: column.all_int = false; break;
        case KIND_ABSENT:
        case KIND_BOOL: break;  // parse_value reads bools as ints
    }
    column.note_kind(p.kind == KIND_NONE ? -1 : p.arith);
}

// Hash of an object's address: the low 4 bits are always zero (objects are
// 16-byte aligned); the multiplicative constant spreads the rest into the
// high bits, which index the table.
struct PtrHasher {
    std::uint64_t operator()(const PyObject* p) const {
        return (reinterpret_cast<std::uintptr_t>(p) >> 4) * 0x9e3779b97f4a7c15ull;
    }
};

// A position no node has.
constexpr Node ABSENT = 0xFFFFFFFFu;

// The value of an exact int that fits 64 bits; false for any other object.
bool exact_int64(PyObject* v, long long& out) {
    if (!PyLong_CheckExact(v)) return false;
    if (compact_int_value(v, out)) return true;
    int overflow = 0;
    out = PyLong_AsLongLongAndOverflow(v, &overflow);
    return overflow == 0;
}

// A plain value's hash and kind, as the node table compares them.
struct PlainKey {
    Py_hash_t hash = 0;
    long long value = 0;  // of an Int
    PlainKind kind = PlainKind::Other;
};

// Deep enough for the tuples graphs are labelled with; deeper ones take the
// caller's dict.
constexpr int MAX_PLAIN_DEPTH = 8;

// Whether `v` is a plain value: an exact int, str or float, a bool, None, or
// an exact tuple of plain values. Their hashing and equality are CPython's
// own C code: they run no Python code, raise nothing, and are consistent
// (equal values hash alike, equality is symmetric and never changes).
bool is_plain(PyObject* v, int depth = 0) {
    if (PyLong_CheckExact(v) || PyUnicode_CheckExact(v) || PyFloat_CheckExact(v) || PyBool_Check(v) || v == Py_None) {
        return true;
    }
    if (!PyTuple_CheckExact(v) || depth == MAX_PLAIN_DEPTH) return false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(v); ++i) {
        if (!is_plain(PyTuple_GET_ITEM(v, i), depth + 1)) return false;
    }
    return true;
}

// CPython's hash of the int `v`: its absolute value modulo the prime
// 2^61 - 1, negated for negative values, -1 (the error value) made -2.
Py_hash_t int_hash(long long v) {
    constexpr std::uint64_t MODULUS = (std::uint64_t{1} << 61) - 1;
    const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    auto h = static_cast<Py_hash_t>(magnitude < MODULUS ? magnitude : magnitude % MODULUS);
    if (v < 0) h = -h;
    return h == -1 ? -2 : h;
}

// The hash of an exact str: cached in the object once a dict has hashed it.
Py_hash_t str_hash(PyObject* s) {
    const Py_hash_t cached = reinterpret_cast<PyASCIIObject*>(s)->hash;
    if (cached != -1) return cached;
    const Py_hash_t hash = PyObject_Hash(s);  // cannot fail for a str a dict holds
    if (hash == -1) PyErr_Clear();
    return hash;
}

// The hash of an exact int that fits 64 bits (computed from its value) or
// of an exact str (cached): the common neighbour keys, read at the cost of
// one load. False for others.
bool quick_key(PyObject* key, PlainKey& out) {
    long long v = 0;
    if (exact_int64(key, v)) {
        out = {int_hash(v), v, PlainKind::Int};
        return true;
    }
    if (PyUnicode_CheckExact(key)) {
        out = {str_hash(key), 0, PlainKind::Str};
        return true;
    }
    return false;
}

// The hash of any plain value. False for other values.
bool plain_key(PyObject* key, PlainKey& out) {
    if (quick_key(key, out)) return true;
    if (!is_plain(key)) return false;
    out = {PyObject_Hash(key), 0, PlainKind::Other};
    if (out.hash != -1) return true;
    PyErr_Clear();
    return false;
}

// Two exact strs are equal when their lengths, kinds and code units are:
// CPython stores every str in its narrowest kind.
bool str_equal(PyObject* a, PyObject* b) {
    const Py_ssize_t length = PyUnicode_GET_LENGTH(a);
    const auto kind = PyUnicode_KIND(a);
    if (length != PyUnicode_GET_LENGTH(b) || kind != PyUnicode_KIND(b)) return false;
    const auto bytes = static_cast<std::size_t>(length) * static_cast<std::size_t>(kind);
    return std::memcmp(PyUnicode_DATA(a), PyUnicode_DATA(b), bytes) == 0;
}

enum class Equal { No, Yes, Unknown };

// Whether the plain value `key` equals `node`, a plain value of the same
// hash, as CPython compares them; `same` tells whether the key is
// indistinguishable from the node (see same_key). Unknown where CPython's
// comparison itself failed (at the recursion limit), or was needed for a
// `pure` test (one that reads the objects' memory only).
Equal plain_equal(PyObject* key, const PlainKey& k, PyObject* node, PlainKind node_kind, bool& same,
                  bool pure = false) {
    same = true;
    if (node == key) return Equal::Yes;
    if (k.kind == PlainKind::Int && node_kind == PlainKind::Int) return k.value == k.hash ? Equal::Yes : Equal::No;
    if (k.kind == PlainKind::Str || node_kind == PlainKind::Str) {
        // No plain value but a str equals a str.
        return k.kind == node_kind && str_equal(key, node) ? Equal::Yes : Equal::No;
    }
    if (pure) return Equal::Unknown;
    const int r = PyObject_RichCompareBool(key, node, Py_EQ);
    if (r < 0) {
        PyErr_Clear();
        return Equal::Unknown;
    }
    if (r == 0) return Equal::No;
    same = same_key(key, node);
    return Equal::Yes;
}

// Table slot of a hash: the multiplicative constant spreads consecutive
// ints (whose hashes are their values) into the high bits, which index.
std::size_t slot_of(Py_hash_t hash, unsigned shift) {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(hash) * 0x9e3779b97f4a7c15ull) >> shift);
}

// Yields the adjacency rows in node order: row u is adjacency[nodes[u]].
// NetworkX's G._adj and G._pred are dicts whose keys are the node objects in
// list(G) order, so the rows are usually read straight from the dict's
// entries (checking that each entry's key is the very node object), rows
// ahead, with the row dicts prefetched. Any mismatch, or a mapping that is
// not an exact dict, falls back to item lookup for the remaining rows.
class RowReader {
public:
    using Held = PyRef;
    RowReader(PyObject* nodes, PyObject* adjacency)
        : nodes_(nodes), adjacency_(adjacency), in_step_(PyDict_CheckExact(adjacency)),
          size_(PyDict_Check(adjacency) ? PyDict_Size(adjacency) : -1) {}
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;
    ~RowReader() { release(); }

    // After Python code ran: a graph whose adjacency changed size is being
    // mutated (false, with NetworkX's RuntimeError), and the rows collected
    // ahead may no longer be the graph's, so later rows are looked up anew.
    bool after_python() {
        if (size_ >= 0 && PyDict_Size(adjacency_) != size_) {
            return fail_mutated("dictionary changed size during iteration");
        }
        release();
        fetched_ = 0;
        in_step_ = false;
        return true;
    }

    // Row of nodes[u]; empty with an exception set on failure, empty without
    // one when the node list ended early.
    PyRef row(Py_ssize_t u) {
        if (in_step_) fetch_until(u + FETCH_AHEAD);
        if (u < fetched_) {
            PyObject* r = std::exchange(ring_[u % BLOCK], nullptr);
            served_ = u + 1;
            if (u + KEYS_AHEAD < fetched_) prefetch_keys(ring_[(u + KEYS_AHEAD) % BLOCK]);
            return HOLD ? PyRef::steal(r) : PyRef::new_ref(r);
        }
        PyRef node = list_item(nodes_, u);
        if (!node) {
            ended_ = true;
            return {};
        }
        return PyRef::steal(PyObject_GetItem(adjacency_, node.get()));
    }
    bool ended() const { return ended_; }
    // Whether rows are now looked up through the mapping (Python code may run).
    bool may_run_python() const { return !in_step_; }

    // Rows are read from the adjacency FETCH_AHEAD rows before they are
    // asked for, their dict objects prefetched; KEYS_AHEAD rows before, the
    // key tables those objects point to are prefetched in turn.
    static constexpr Py_ssize_t FETCH_AHEAD = 16;
    static constexpr Py_ssize_t KEYS_AHEAD = 8;

    static void prefetch_keys(PyObject* row) {
        if (row != nullptr && PyDict_CheckExact(row)) {
            __builtin_prefetch(reinterpret_cast<PyDictObject*>(row)->ma_keys);
        }
    }

private:
    static constexpr Py_ssize_t BLOCK = 32;  // a ring, beyond FETCH_AHEAD

    void fetch_until(Py_ssize_t end) {
        while (fetched_ < end) {
            PyObject* node = list_item_address(nodes_, fetched_);
            if (node == nullptr) return;
            CriticalSection cs(adjacency_);
            PyObject* key = nullptr;
            PyObject* value = nullptr;
            if (!PyDict_Next(adjacency_, &pos_, &key, &value) || key != node) {
                in_step_ = false;
                return;
            }
            // The row is referenced when asked for, which writes to it:
            // fetched for writing meanwhile.
            __builtin_prefetch(value, 1);
            if (HOLD) Py_INCREF(value);
            ring_[fetched_ % BLOCK] = value;
            ++fetched_;
        }
    }

    // Drops the rows read ahead and not asked for.
    void release() {
        for (Py_ssize_t u = served_; u < fetched_; ++u) {
            PyObject* r = std::exchange(ring_[u % BLOCK], nullptr);
            if (HOLD) Py_XDECREF(r);
        }
        served_ = fetched_;
    }

    PyObject* nodes_;
    PyObject* adjacency_;
    bool in_step_;
    Py_ssize_t size_;  // of a dict adjacency when the walk began, else -1
    bool ended_ = false;
    Py_ssize_t pos_ = 0;
    Py_ssize_t fetched_ = 0;  // rows [served_, fetched_) are in the ring
    Py_ssize_t served_ = 0;
    PyObject* ring_[BLOCK] = {};  // references of their own when HOLD
};

}  // namespace

bool NodeIndex::build(PyObject* nodes, PyObject* index, Count n) {
    index_ = index;
    n_ = n;
    const Py_ssize_t count = static_cast<Py_ssize_t>(n);
    // The list holds its items for the whole call (the caller does not
    // mutate it), so the tables may borrow them.
    std::vector<PyObject*> items;
    items.reserve(static_cast<std::size_t>(count));
    std::vector<long long> values;  // of the nodes, while all are ints
    identity_ = true;
    bool plain = true;
    bool all_int = true;
    long long low = 0;
    long long high = -1;
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyRef item = list_item(nodes, i);
        if (!item) break;
        PyObject* x = item.get();
        items.push_back(x);
        long long v = 0;
        const bool is_int = exact_int64(x, v);
        identity_ = identity_ && is_int && v == i;
        all_int = all_int && is_int;
        if (all_int) {
            values.push_back(v);
            low = items.size() == 1 ? v : std::min(low, v);
            high = items.size() == 1 ? v : std::max(high, v);
        }
        plain = plain && (is_int || is_plain(x));
    }
    if (identity_ && static_cast<Count>(items.size()) == n) return true;
    identity_ = false;
    unsigned bits = 1;
    while ((Count{1} << bits) < 2 * n + 2) ++bits;
    shift_ = 64 - bits;
    // Ints spanning fewer than 8n values are found in an array of 4 bytes
    // per value: at most 32 bytes per node, where the table takes 48 or more.
    const bool dense = all_int && !items.empty() &&
                       static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) < 8 * static_cast<std::uint64_t>(items.size());
    if (all_int && (dense ? build_dense(values, low, high) : build_ints(values))) return true;
    if (!plain || !build_values(items)) {
        build_addresses(items);
        return true;
    }
    // Keys that are the node objects are found by address without reading them.
    build_addresses(items);
    return true;
}

bool NodeIndex::build_dense(const std::vector<long long>& values, long long low, long long high) {
    low_ = low;
    dense_.assign(static_cast<std::size_t>(static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low)) + 1, ABSENT);
    for (std::size_t i = 0; i < values.size(); ++i) {
        Node& slot = dense_[static_cast<std::size_t>(static_cast<std::uint64_t>(values[i]) - static_cast<std::uint64_t>(low))];
        if (slot != ABSENT) {
            // Two equal nodes: the caller's dict decides which one keys map to.
            dense_.clear();
            return false;
        }
        slot = static_cast<Node>(i);
    }
    return true;
}

bool NodeIndex::build_ints(const std::vector<long long>& values) {
    ints_.assign(std::size_t{1} << (64 - shift_), IntSlot{0, ABSENT});
    const std::size_t mask = ints_.size() - 1;
    constexpr std::size_t AHEAD = 16;  // slots written at random: fetched ahead
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i + AHEAD < values.size()) __builtin_prefetch(&ints_[slot_of(values[i + AHEAD], shift_)], 1);
        std::size_t h = slot_of(values[i], shift_);
        for (; ints_[h].position != ABSENT; h = (h + 1) & mask) {
            if (ints_[h].value == values[i]) {
                ints_.clear();  // two equal nodes, as in build_dense
                return false;
            }
        }
        ints_[h] = IntSlot{values[i], static_cast<Node>(i)};
    }
    return true;
}

// The nodes by hash. False, with no table, when two nodes are equal (a node
// list made from a dict's keys never holds two) or CPython's comparison
// failed (at the recursion limit): the caller's dict decides then.
bool NodeIndex::build_values(const std::vector<PyObject*>& nodes) {
    // Hashed first, so that the slots, written at random, can be fetched ahead.
    std::vector<PlainKey> keys(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (!plain_key(nodes[i], keys[i])) return false;
    }
    values_.assign(std::size_t{1} << (64 - shift_), Slot{0, nullptr, 0, PlainKind::Empty});
    const std::size_t mask = values_.size() - 1;
    constexpr std::size_t AHEAD = 16;
    bool has_compared = false;
    bool has_other = false;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (i + AHEAD < nodes.size()) __builtin_prefetch(&values_[slot_of(keys[i + AHEAD].hash, shift_)], 1);
        const PlainKey& key = keys[i];
        PlainKind kind = key.kind;
        if (kind == PlainKind::Int && key.value != key.hash) kind = PlainKind::Other;
        has_compared = has_compared || kind != PlainKind::Int;
        has_other = has_other || kind == PlainKind::Other;
        std::size_t h = slot_of(key.hash, shift_);
        for (; values_[h].kind != PlainKind::Empty; h = (h + 1) & mask) {
            bool same = false;
            if (values_[h].hash == key.hash && plain_equal(nodes[i], key, values_[h].node, values_[h].kind, same) != Equal::No) {
                values_.clear();
                return false;
            }
        }
        values_[h] = Slot{key.hash, nodes[i], static_cast<Node>(i), kind};
    }
    has_compared_ = has_compared;
    has_other_ = has_other;
    return true;
}

void NodeIndex::build_addresses(const std::vector<PyObject*>& nodes) {
    addresses_.assign(std::size_t{1} << (64 - shift_), Address{nullptr, 0});
    const std::size_t mask = addresses_.size() - 1;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        std::size_t h = PtrHasher{}(nodes[i]) >> shift_;
        while (addresses_[h].node != nullptr && addresses_[h].node != nodes[i]) h = (h + 1) & mask;
        if (addresses_[h].node == nullptr) addresses_[h] = Address{nodes[i], static_cast<Node>(i)};
    }
}

void NodeIndex::prefetch_slot(PyObject* key) const {
    if (!dense_.empty() || !ints_.empty()) {
        long long v = 0;
        if (!exact_int64(key, v)) return;
        if (ints_.empty()) {
            const std::uint64_t at = static_cast<std::uint64_t>(v) - static_cast<std::uint64_t>(low_);
            if (at < dense_.size()) __builtin_prefetch(&dense_[static_cast<std::size_t>(at)]);
        } else {
            __builtin_prefetch(&ints_[slot_of(v, shift_)]);
        }
        return;
    }
    if (!addresses_.empty()) __builtin_prefetch(&addresses_[PtrHasher{}(key) >> shift_]);
    // Tuples (grid graphs name every edge end by a new one) are hashed
    // here and again when looked up: cheaper than waiting for their slot.
    PlainKey k;
    if (!values_.empty() && (quick_key(key, k) || (PyTuple_CheckExact(key) && plain_key(key, k)))) {
        // A slot may straddle two cache lines.
        const char* slot = reinterpret_cast<const char*>(&values_[slot_of(k.hash, shift_)]);
        __builtin_prefetch(slot);
        __builtin_prefetch(slot + sizeof(Slot) - 1);
    }
}

void NodeIndex::prefetch_node(PyObject* key) const {
    if (!has_compared_) return;
    const bool str = PyUnicode_CheckExact(key);
    if (!str && !PyTuple_CheckExact(key)) return;
    Node found;
    if (find_address(key, found)) return;  // nothing to compare
    PlainKey k;
    if (!plain_key(key, k)) return;
    const Slot& slot = values_[slot_of(k.hash, shift_)];
    if (slot.hash != k.hash || slot.node == key) return;
    // An equal str or tuple has the key's layout: fetch from its start to its
    // last code unit or item.
    const std::size_t size =
        str ? static_cast<std::size_t>(static_cast<const char*>(PyUnicode_DATA(key)) - reinterpret_cast<const char*>(key)) +
                  static_cast<std::size_t>(PyUnicode_GET_LENGTH(key)) * static_cast<std::size_t>(PyUnicode_KIND(key))
            : offsetof(PyTupleObject, ob_item) + static_cast<std::size_t>(PyTuple_GET_SIZE(key)) * sizeof(PyObject*);
    const char* node = reinterpret_cast<const char*>(slot.node);
    __builtin_prefetch(node);
    __builtin_prefetch(node + size - 1);
}

bool NodeIndex::find(PyObject* key, Node& out, bool& same, bool pure) const {
    same = true;
    if (identity_) {
        long long v = -1;
        if (!exact_int64(key, v) || v < 0 || static_cast<Count>(v) >= n_) return false;
        out = static_cast<Node>(v);
        return true;
    }
    if (!dense_.empty() || !ints_.empty()) return find_int(key, out);
    if (!addresses_.empty() && find_address(key, out)) return true;
    return !values_.empty() && find_value(key, out, same, pure);
}

// An exact int key equals exactly the int node of its value; with every node
// an exact int, no other node can be equal to it.
bool NodeIndex::find_int(PyObject* key, Node& out) const {
    long long v = 0;
    if (!exact_int64(key, v)) return false;
    if (ints_.empty()) {
        const std::uint64_t at = static_cast<std::uint64_t>(v) - static_cast<std::uint64_t>(low_);
        if (at >= dense_.size() || dense_[static_cast<std::size_t>(at)] == ABSENT) return false;
        out = dense_[static_cast<std::size_t>(at)];
        return true;
    }
    const std::size_t mask = ints_.size() - 1;
    for (std::size_t h = slot_of(v, shift_); ints_[h].position != ABSENT; h = (h + 1) & mask) {
        if (ints_[h].value == v) {
            out = ints_[h].position;
            return true;
        }
    }
    return false;
}

bool NodeIndex::find_address(PyObject* key, Node& out) const {
    const std::size_t mask = addresses_.size() - 1;
    for (std::size_t h = PtrHasher{}(key) >> shift_; addresses_[h].node != nullptr; h = (h + 1) & mask) {
        if (addresses_[h].node == key) {
            out = addresses_[h].position;
            return true;
        }
    }
    return false;
}

bool NodeIndex::find_value(PyObject* key, Node& out, bool& same, bool pure) const {
    PlainKey k;
    // A pure find hashes only what quick_key reads from the key's memory.
    if (pure ? !quick_key(key, k) : !plain_key(key, k)) return false;
    const std::size_t mask = values_.size() - 1;
    for (std::size_t h = slot_of(k.hash, shift_); values_[h].kind != PlainKind::Empty; h = (h + 1) & mask) {
        const Slot& slot = values_[h];
        if (slot.hash != k.hash) continue;
        switch (plain_equal(key, k, slot.node, slot.kind, same, pure)) {
            case Equal::Yes: out = slot.position; return true;
            case Equal::No: break;
            case Equal::Unknown: return false;
        }
    }
    return false;
}

bool NodeIndex::lookup_index(PyObject* node, Node& out) const {
    PyRef hold = PyRef::new_ref(node);  // hashing and comparing may run Python code
    PyObject* value = nullptr;
    int found = PyDict_GetItemRef(index_, node, &value);
    if (found < 0) return false;
    if (found == 0) {
        PyErr_SetString(PyExc_ValueError, "adjacency refers to a node missing from G");
        return false;
    }
    PyRef owned = PyRef::steal(value);
    unsigned long long v = PyLong_AsUnsignedLongLong(value);
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    // An index entry beyond the node list would put a position outside the
    // graph into the rows; refuse it like a missing node.
    if (v >= n_) {
        PyErr_SetString(PyExc_ValueError, "adjacency refers to a node missing from G");
        return false;
    }
    out = static_cast<Node>(v);
    return true;
}

bool parse_attrs(const char* function, PyObject* weight_attrs, std::vector<Attr>& out) {
    // Iterated, not sized: a length is only a hint.
    PyRef it = PyRef::steal(PyObject_GetIter(weight_attrs));
    if (!it) {
        mark_argument_error(function, "weight_attrs");
        return false;
    }
    for (;;) {
        PyRef item = PyRef::steal(PyIter_Next(it.get()));
        if (!item) return !PyErr_Occurred();
        if (!PyTuple_Check(item.get())) {
            PyErr_Format(PyExc_TypeError, "%s() argument 'weight_attrs': expected tuple, got %.200s",
                         function, Py_TYPE(item.get())->tp_name);
            return false;
        }
        if (PyTuple_GET_SIZE(item.get()) != 2) {
            PyErr_Format(PyExc_ValueError, "expected tuple of length %d, but got tuple of length %zd", 2,
                         PyTuple_GET_SIZE(item.get()));
            return false;
        }
        out.push_back({PyRef::new_ref(PyTuple_GET_ITEM(item.get(), 0)),
                       PyRef::new_ref(PyTuple_GET_ITEM(item.get(), 1))});
    }
}

// Whether a neighbour key found through the caller's dict (so equal to the
// node) is indistinguishable from the node object itself: the same object,
// or an exact int, str, bool or float of the same value and bits, or an
// exact tuple of such items (grid graphs build fresh tuples for every edge).
// Anything else (numpy.int64(3) for the node 3, False for the node 0, 0.0
// for -0.0) is a key object that NetworkX would put in its results.
bool same_key(PyObject* key, PyObject* node, int depth) {
    if (key == node) return true;
    if (Py_TYPE(key) != Py_TYPE(node)) return false;
    if (PyLong_CheckExact(key) || PyUnicode_CheckExact(key)) return true;
    if (PyFloat_CheckExact(key)) {
        return std::bit_cast<std::uint64_t>(PyFloat_AS_DOUBLE(key)) ==
               std::bit_cast<std::uint64_t>(PyFloat_AS_DOUBLE(node));
    }
    if (!PyTuple_CheckExact(key) || depth == 8 || PyTuple_GET_SIZE(key) != PyTuple_GET_SIZE(node)) return false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(key); ++i) {
        if (!same_key(PyTuple_GET_ITEM(key, i), PyTuple_GET_ITEM(node, i), depth + 1)) return false;
    }
    return true;
}

namespace {

// Reads rows 0..count-1 of `rows` into `out`. With `stop` the walk is pure
// (see EdgeStep): it runs on a worker thread, gives up (false, no exception)
// wherever it cannot read for certain, and stops early once `stop` is set.
template <class Rows>
bool read_rows_of(Rows& rows, Py_ssize_t count, PyObject* nodes, const NodeIndex& index,
                  const std::vector<Attr>& attrs, bool multigraph, const std::atomic<bool>* stop,
                  Adjacency& out) {
    const bool pure = stop != nullptr;
    Csr& csr = out.csr;
    csr.offsets.clear();
    csr.offsets.reserve(static_cast<std::size_t>(count) + 1);
    csr.offsets.push_back(0);
    csr.targets.clear();
    out.columns.assign(attrs.size(), Weights{});
    out.keys_are_nodes = true;
    const bool read_values = !attrs.empty();
    auto step = [&](PyObject* neighbor, PyObject* data, bool& python_ran) {
        EdgeStep edge(neighbor, data, pure);
        Node v;
        bool same = true;
        if (!index.find(neighbor, v, same, pure)) {
            if (!edge.python_may_run()) return false;  // hashing and comparing the key
            if (!index.lookup_index(neighbor, v)) return false;
            PyRef node = list_item(nodes, v);
            same = node && same_key(neighbor, node.get());
        }
        out.keys_are_nodes = out.keys_are_nodes && same;
        csr.targets.push_back(v);
        for (std::size_t a = 0; a < attrs.size(); ++a) {
            Weights& column = out.columns[a];
            EdgeValue p;
            bool parsed = multigraph ? parse_parallel(data, attrs[a], p, edge, [&](const EdgeValue& x) { observe(column, x); })
                                     : parse_attribute(data, attrs[a], p, edge);
            if (!parsed) return false;
            if (!multigraph) observe(column, p);
            record(column, p);
        }
        python_ran = edge.python_ran();
        return true;
    };
    // A row's memory is fetched in stages, each reading what the one before
    // loaded rows earlier: LEAD rows before its walk the row is started (its
    // first block collected, the key objects prefetched), SLOTS rows before
    // the index slots of those keys are prefetched, and one row before the
    // nodes those slots name (for str and tuple keys, which are compared).
    constexpr Py_ssize_t LEAD = 5;
    constexpr Py_ssize_t SLOTS = 3;
    RowWalk walks[LEAD + 1];
    typename Rows::Held held[LEAD + 1];
    Py_ssize_t started = 0;      // rows [u, started) are started
    Py_ssize_t slots_ahead = 0;  // rows [u, slots_ahead) have their slots on the way
    Py_ssize_t nodes_ahead = 0;  // rows [u, nodes_ahead) have their nodes on the way
    auto start_next = [&]() {
        auto r = rows.row(started);
        if (!r) return rows.ended();
        if (!walks[started % (LEAD + 1)].start(r.get(), read_values, index, pure)) return false;
        held[started % (LEAD + 1)] = std::move(r);
        ++started;
        return true;
    };
    for (Py_ssize_t u = 0; u < count; ++u) {
        if (pure && stop->load(std::memory_order_relaxed)) return false;
        // Rows looked up through a mapping (which may run Python code) are
        // looked up right before their walk.
        const Py_ssize_t lead = rows.may_run_python() ? 0 : LEAD;
        while (started < count && started <= u + lead) {
            const Py_ssize_t before = started;
            if (!start_next()) return false;
            if (started == before) break;  // the node list ended early
        }
        if (u >= started) break;
        RowWalk& walk = walks[u % (LEAD + 1)];
        if (rows.may_run_python()) {
            // Looking a row up through a mapping may run Python code, which
            // may change this row after its block was collected.
            if (!walk.restart()) return false;
            walk.prefetch_all();
        } else {
            for (slots_ahead = std::max(slots_ahead, u); slots_ahead < std::min(u + SLOTS + 1, started); ++slots_ahead) {
                walks[slots_ahead % (LEAD + 1)].prefetch_slots();
            }
            for (nodes_ahead = std::max(nodes_ahead, u); nodes_ahead < std::min(u + 2, started); ++nodes_ahead) {
                walks[nodes_ahead % (LEAD + 1)].prefetch_nodes();
            }
        }
        if (!walk.run(step)) return false;
        // Python code run by this row's steps may have changed the graph:
        // the rows ahead are looked up again.
        if (walk.ran_python()) {
            if (!rows.after_python()) return false;
            for (Py_ssize_t r = u + 1; r < started; ++r) held[r % (LEAD + 1)] = {};
            started = u + 1;
            slots_ahead = std::min(slots_ahead, started);
            nodes_ahead = std::min(nodes_ahead, started);
        }
        held[u % (LEAD + 1)] = {};
        csr.offsets.push_back(csr.targets.size());
    }
    return true;
}

// Rows collected beforehand, lent to a piece read on a worker: no
// reference is taken or dropped there (see read_in_pieces).
class RowList {
public:
    struct Held {
        PyObject* row = nullptr;
        PyObject* get() const { return row; }
        explicit operator bool() const { return row != nullptr; }
    };
    RowList(PyObject* const* rows, Py_ssize_t count) : rows_(rows), count_(count) {}
    // Rows ahead are fetched as RowReader fetches them.
    Held row(Py_ssize_t u) const {
        if (u + RowReader::FETCH_AHEAD < count_) __builtin_prefetch(rows_[u + RowReader::FETCH_AHEAD]);
        if (u + RowReader::KEYS_AHEAD < count_) RowReader::prefetch_keys(rows_[u + RowReader::KEYS_AHEAD]);
        return {rows_[u]};
    }
    bool ended() const { return false; }
    bool may_run_python() const { return false; }
    bool after_python() const { return false; }  // a pure walk runs no Python code

private:
    PyObject* const* rows_;
    Py_ssize_t count_;
};

// Appends column `b`, read from the rows after `a`'s, to `a`: the same
// column, flags and facts as reading all of the rows in one walk. Minima and
// maxima keep the earlier of equal values (0.0 before -0.0), as one walk does.
void append_column(Weights& a, const Weights& b) {
    a.all_int = a.all_int && b.all_int;
    a.has_hidden = a.has_hidden || b.has_hidden;
    a.has_int = a.has_int || b.has_int;
    ValueFacts& f = a.facts;
    f.plain = f.plain && b.facts.plain;
    f.numpy_bool = f.numpy_bool || b.facts.numpy_bool;
    f.pos_inf = f.pos_inf || b.facts.pos_inf;
    f.neg_inf = f.neg_inf || b.facts.neg_inf;
    f.min_finite = std::min(f.min_finite, b.facts.min_finite);
    f.max_finite = std::max(f.max_finite, b.facts.max_finite);
    if (a.kinds.empty() && b.kinds.empty() && std::popcount(static_cast<unsigned>(a.slot_kinds | b.slot_kinds)) <= 1) {
        a.values.insert(a.values.end(), b.values.begin(), b.values.end());
        a.slot_kinds |= b.slot_kinds;
        return;
    }
    // Kinds spelled out: replayed slot by slot, as the one walk notes them
    // (None, the only NaN a column holds, has no kind).
    for (std::size_t s = 0; s < b.values.size(); ++s) {
        a.values.push_back(b.values[s]);
        a.note_kind(std::isnan(b.values[s]) ? -1 : b.kind(static_cast<Slot>(s)));
    }
}

// Reading pieces on workers pays from this many row entries.
constexpr std::size_t MIN_PIECE_SLOTS = std::size_t{1} << 16;

// Without the GIL another thread may change the graph while it is read:
// rows are read on the calling thread alone, under critical sections.
#ifdef Py_GIL_DISABLED
constexpr bool PIECES = false;
#else
constexpr bool PIECES = true;
#endif

// Under the GIL, rows that are exact dicts, keyed by the node objects in the
// adjacency, are read in contiguous pieces on the pool's threads while this
// thread holds the interpreter and runs no Python code, so that nothing can
// change the graph meanwhile. The pieces' walks are pure: they read the
// objects' memory and nothing else (no reference counts, allocations,
// comparisons or exceptions). One that meets what it cannot read for certain
// (a key or value whose reading runs Python code, a weight the conversion
// refuses) stops them all, and the caller reads the rows again on its own,
// which runs that code or raises as it always does. The pieces are joined in
// row order: the rows, columns and facts are those of one walk.
// False when not read here (never with an exception set).
bool read_in_pieces(PyObject* nodes, const NodeIndex& index, PyObject* adjacency, const std::vector<Attr>& attrs,
                    bool multigraph, Adjacency& out) {
    const std::size_t threads = thread_count();
    // A thread inside a call would reattach to the interpreter while waiting.
    if (!PIECES || threads < 2 || multigraph || !PyDict_CheckExact(adjacency) || !index.pure_lookups() ||
        interrupt_check_installed()) {
        return false;
    }
    for (const Attr& attr : attrs) {
        if (!PyUnicode_CheckExact(attr.name.get())) return false;
    }
    const Py_ssize_t count = PyList_GET_SIZE(nodes);
    if (count < 2 || PyDict_GET_SIZE(adjacency) != count) return false;
    std::vector<PyObject*> rows(static_cast<std::size_t>(count));
    Py_ssize_t pos = 0;
    for (Py_ssize_t u = 0; u < count; ++u) {
        PyObject* key = nullptr;
        if (!PyDict_Next(adjacency, &pos, &key, &rows[u]) || key != PyList_GET_ITEM(nodes, u)) return false;
    }
    // Rows end where their sizes add up to; read a few rows ahead.
    std::vector<std::size_t> ends(static_cast<std::size_t>(count));
    std::size_t slots = 0;
    constexpr Py_ssize_t AHEAD = 16;
    for (Py_ssize_t u = 0; u < count; ++u) {
        if (u + AHEAD < count) __builtin_prefetch(rows[u + AHEAD]);
        if (!PyDict_CheckExact(rows[u])) return false;
        slots += static_cast<std::size_t>(PyDict_GET_SIZE(rows[u]));
        ends[u] = slots;
    }
    if (slots < MIN_PIECE_SLOTS) return false;
    // One piece per thread, of about equal numbers of entries.
    const std::size_t pieces = threads;
    std::vector<Py_ssize_t> bounds(pieces + 1, count);
    bounds[0] = 0;
    for (std::size_t p = 1; p < pieces; ++p) {
        const std::size_t target = slots / pieces * p;
        bounds[p] = std::lower_bound(ends.begin(), ends.end(), target) - ends.begin();
    }
    std::vector<Adjacency> parts(pieces);
    std::atomic<bool> stop{false};
    const Status status = parallel_for(pieces, [&](std::size_t p) {
        RowList list(rows.data() + bounds[p], bounds[p + 1] - bounds[p]);
        // Read into the thread's own record: the vectors' ends, written at
        // every entry, would otherwise share cache lines with the next piece's.
        Adjacency own;
        if (!read_rows_of(list, bounds[p + 1] - bounds[p], nodes, index, attrs, false, &stop, own)) {
            stop.store(true, std::memory_order_relaxed);
        }
        parts[p] = std::move(own);
    });
    if (!status.ok() || stop.load(std::memory_order_relaxed)) return false;
    out = std::move(parts[0]);
    for (std::size_t p = 1; p < pieces; ++p) {
        const Adjacency& part = parts[p];
        const std::size_t base = out.csr.targets.size();
        for (std::size_t i = 1; i < part.csr.offsets.size(); ++i) out.csr.offsets.push_back(base + part.csr.offsets[i]);
        out.csr.targets.insert(out.csr.targets.end(), part.csr.targets.begin(), part.csr.targets.end());
        for (std::size_t a = 0; a < attrs.size(); ++a) append_column(out.columns[a], part.columns[a]);
        out.keys_are_nodes = out.keys_are_nodes && part.keys_are_nodes;
    }
    return true;
}

}  // namespace

bool read_adjacency(PyObject* nodes, const NodeIndex& index, PyObject* adjacency,
                    const std::vector<Attr>& attrs, bool multigraph, Adjacency& out) {
    if (read_in_pieces(nodes, index, adjacency, attrs, multigraph, out)) return true;
    RowReader rows(nodes, adjacency);
    return read_rows_of(rows, list_size(nodes), nodes, index, attrs, multigraph, nullptr, out);
}

namespace {

// Calls `step(value)` for every value of `mapping`: a dict directly, anything
// else through `.values()`. The value is held for the step, which may run
// Python code.
template <class Step>
bool walk_values(PyObject* mapping, Step&& step) {
    if (PyDict_CheckExact(mapping)) {
        return walk_dict(mapping, [&](PyObject*, PyObject* value) {
            PyRef held = PyRef::new_ref(value);
            return step(held.get());
        });
    }
    return walk_call(mapping, "values", step);
}

// Whether `data.get(None, 1)` may read otherwise than the int 1.
bool reads_none(PyObject* data, bool& found) {
    if (PyDict_CheckExact(data)) {
        // Only a key whose hash equals None's is compared, which is C code
        // for every key but an object of a class of its own.
        const int has = PyDict_Contains(data, Py_None);
        if (has < 0) return false;
        found = has == 1;
        return true;
    }
    const int has = PySequence_Contains(data, Py_None);
    if (has < 0) return false;
    if (has == 1) {
        found = true;
        return true;
    }
    static PyObject* one = PyLong_FromLong(1);  // a small int: immortal or cached
    PyRef value = PyRef::steal(PyObject_CallMethod(data, "get", "OO", Py_None, one));
    if (!value) return false;
    int overflow = 0;
    found = !PyLong_CheckExact(value.get()) || PyLong_AsLongAndOverflow(value.get(), &overflow) != 1 || overflow != 0;
    return true;
}

}  // namespace

bool edge_data_reads_none(PyObject* adjacency, bool multigraph, bool& found) {
    found = false;
    auto data = [&](PyObject* d) { return reads_none(d, found) && !found; };
    auto pair = [&](PyObject* value) { return multigraph ? walk_values(value, data) : data(value); };
    auto row = [&](PyObject* r) { return walk_values(r, pair); };
    return walk_values(adjacency, row) || (found && !PyErr_Occurred());
}

bool parallel_counts(PyObject* adjacency, std::vector<Count>& out) {
    auto pair = [&](PyObject* keydict) {
        const Py_ssize_t k = PyObject_Length(keydict);
        if (k < 0) return false;
        out.push_back(static_cast<Count>(k));
        return true;
    };
    return walk_values(adjacency, [&](PyObject* row) { return walk_values(row, pair); });
}

bool attr_names(const std::vector<Attr>& attrs, std::vector<std::string>& out) {
    for (const Attr& attr : attrs) {
        if (!PyUnicode_Check(attr.name.get())) {
            PyErr_Format(PyExc_TypeError, "attribute name must be str, not %.200s",
                         Py_TYPE(attr.name.get())->tp_name);
            return false;
        }
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(attr.name.get(), &size);
        if (utf8 == nullptr) return false;
        out.emplace_back(utf8, static_cast<std::size_t>(size));
    }
    return true;
}

}  // namespace fennel::py
