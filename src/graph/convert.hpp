// Conversion from NetworkX's internal dictionaries. Runs attached to the
// interpreter: it reads Python objects throughout.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/pyref.hpp"

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

// Maps node objects to positions: by value when the nodes are exactly the
// ints 0..n-1, else by object identity, else through the caller's dict.
class NodeIndex {
public:
    // Returns false with an exception set.
    bool build(PyObject* nodes, PyObject* index, Count n);
    // Position of `node` by value or identity, without running Python
    // code; false when these do not find it (no exception set).
    bool find(PyObject* node, Node& out) const;
    // Position of `node` through the caller's dict: hashing and comparing may
    // run Python code. False with an exception set.
    bool lookup_index(PyObject* node, Node& out) const;
    bool identity() const { return identity_; }

private:
    PyObject* index_ = nullptr;  // borrowed node -> position dict
    Count n_ = 0;
    bool identity_ = false;
    std::vector<PyObject*> keys_;  // open-addressing table keyed by address
    std::vector<Node> positions_;
    unsigned shift_ = 64;
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
