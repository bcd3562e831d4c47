// Conversion from NetworkX's internal dictionaries. Runs attached to the
// interpreter: it reads Python objects throughout.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/pyref.hpp"

#include <cstdint>
#include <vector>

namespace fennel::py {

// One requested attribute: the (name, default) pair, held while converting.
struct Attr {
    PyRef name;
    PyRef fallback;
};

// Rows read from G._adj or G._pred, one column per attribute, and whether
// every neighbour key is the node object itself (NetworkX keys its results
// by the neighbour keys it walks).
struct Adjacency {
    Csr csr;
    std::vector<Weights> columns;  // values in slot order, flags and facts
    bool keys_are_nodes = true;
};

// What an equality test between plain values (see NodeIndex) may take for
// granted about one of them.
enum class PlainKind : std::uint32_t {
    Empty,  // an unused table slot
    Int,    // an exact int whose value is its hash (every int below 2^61 but -1)
    Str,    // an exact str
    Other,  // any other plain value, compared by CPython's equality
};

// Maps neighbour keys to node positions, as a lookup in G._adj would find
// them, without running Python code wherever that answer is certain:
//  - by value when the nodes are exactly the ints 0..n-1 in order;
//  - by value and hash when every node is a plain value (an exact int, str
//    or float, a bool, None, or an exact tuple of such items): their hashing
//    and equality are CPython's own C code and no two nodes are equal, so the
//    node equal to a plain key is unique and is the one any dict lookup finds.
//    When every node is an int that fits 64 bits, they are kept by value
//    alone: in an array indexed by value when they span fewer than 8n
//    values, else in a table of 16-byte slots;
//  - by object identity, for keys that are the node objects themselves.
// Anything else (keys of other types, nodes whose hashing or equality is
// Python code) goes through the caller's dict.
class NodeIndex {
public:
    // Returns false with an exception set.
    bool build(PyObject* nodes, PyObject* index, Count n);
    // Starts loading the table slots that find(key) reads first. Reads the
    // key object itself: call it once the key is in cache.
    void prefetch_slot(PyObject* key) const;
    // Starts loading the node object that find(key) compares a str or tuple
    // key with. Reads the key and its slot: call it once prefetch_slot's
    // loads have arrived.
    void prefetch_node(PyObject* key) const;
    // Whether prefetch_slot and prefetch_node have anything to load.
    bool has_slots() const { return !identity_; }
    bool has_nodes() const { return has_compared_; }
    // Position of `key` without running Python code; `same` tells whether
    // the key is indistinguishable from the node object (see same_key).
    // False when this index cannot decide (no exception set). A `pure` find
    // also calls none of CPython's comparisons (which need a thread attached
    // to the interpreter): it reads the key's and the nodes' memory only.
    bool find(PyObject* key, Node& out, bool& same, bool pure = false) const;
    // Whether pure finds decide every key equal to a node: no node is a
    // value that only CPython's comparison can match (a float, a tuple).
    bool pure_lookups() const { return !has_other_; }
    // Position of `node` through the caller's dict: hashing and comparing may
    // run Python code. False with an exception set.
    bool lookup_index(PyObject* node, Node& out) const;
    bool identity() const { return identity_; }

private:
    struct Slot {
        Py_hash_t hash;
        PyObject* node;
        Node position;
        PlainKind kind;
    };
    struct Address {
        PyObject* node;
        Node position;
    };
    struct IntSlot {
        long long value;
        Node position;  // ABSENT in an unused slot
    };

    bool build_dense(const std::vector<long long>& values, long long low, long long high);
    bool build_ints(const std::vector<long long>& values);
    bool build_values(const std::vector<PyObject*>& nodes);
    void build_addresses(const std::vector<PyObject*>& nodes);
    bool find_int(PyObject* key, Node& out) const;
    bool find_address(PyObject* key, Node& out) const;
    bool find_value(PyObject* key, Node& out, bool& same, bool pure) const;

    PyObject* index_ = nullptr;  // borrowed node -> position dict
    Count n_ = 0;
    bool identity_ = false;
    bool has_compared_ = false;     // some node in values_ is compared with keys (not an Int)
    bool has_other_ = false;        // some node in values_ is of PlainKind::Other
    long long low_ = 0;             // the value dense_[0] stands for
    std::vector<Node> dense_;       // int nodes' positions by value - low_, or empty
    std::vector<IntSlot> ints_;     // int nodes by value, open addressing, or empty
    std::vector<Slot> values_;      // open-addressing table by hash, or empty
    std::vector<Address> addresses_;  // open-addressing table by address, or empty
    unsigned shift_ = 64;           // of every table's hashes
};

// Whether `key` (equal to `node`) is indistinguishable from it: the same
// object, or an exact int, str, bool or float of the same value and bits, or
// an exact tuple of such items.
bool same_key(PyObject* key, PyObject* node, int depth = 0);

// Parses `weight_attrs`: a sequence of (name, default) 2-tuples.
bool parse_attrs(const char* function, PyObject* weight_attrs, std::vector<Attr>& out);

// Reads rows 0..len(nodes)-1 of `adjacency` (G._adj or G._pred). False
// with an exception set on failure.
bool read_adjacency(PyObject* nodes, const NodeIndex& index, PyObject* adjacency,
                    const std::vector<Attr>& attrs, bool multigraph, Adjacency& out);

// Whether some edge's data answers NetworkX's `data.get(None, 1)` with
// anything but the int 1 (a None key, or a mapping with a `get` of its own),
// which is what NetworkX's weight functions read for weight=None. Walks the
// data of every row of `adjacency` (every key of a multigraph pair); false
// with an exception set on failure.
bool edge_data_reads_none(PyObject* adjacency, bool multigraph, bool& found);

// The number of keys of every (node, neighbour) pair of a multigraph's
// `adjacency`, rows in their order and each row in its own: the multiplicity
// of every converted slot. False with an exception set on failure.
bool parallel_counts(PyObject* adjacency, std::vector<Count>& out);

// The attribute names as strings, in order; TypeError for a non-str name.
bool attr_names(const std::vector<Attr>& attrs, std::vector<std::string>& out);

}  // namespace fennel::py
