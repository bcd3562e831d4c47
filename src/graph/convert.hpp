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

// One attribute's values in slot order, with the flags NetworkX faithfulness
// depends on.
struct Column {
    std::vector<double> values;
    bool all_int = true;
    bool has_hidden = false;
    bool has_int = false;
};

// Maps node objects to positions: by value when the nodes are exactly the
// ints 0..n-1, else by object identity, else through the caller's dict.
class NodeIndex {
public:
    // Returns false with an exception set.
    bool build(PyObject* nodes, PyObject* index, Count n);
    // Position of `node`; false with an exception set. Sets `python_ran`
    // when the lookup may have run Python code (hashing, comparisons).
    bool lookup(PyObject* node, Node& out, bool& python_ran) const;
    bool identity() const { return identity_; }

private:
    bool lookup_index(PyObject* node, Node& out) const;
    PyObject* index_ = nullptr;  // borrowed node -> position dict
    Count n_ = 0;
    bool identity_ = false;
    std::vector<PyObject*> keys_;  // open-addressing table keyed by address
    std::vector<Node> positions_;
    unsigned shift_ = 64;
};

// Parses `weight_attrs`: a sequence of (name, default) 2-tuples.
bool parse_attrs(const char* function, PyObject* weight_attrs, std::vector<Attr>& out);

// Reads rows 0..len(nodes)-1 of `adjacency` (G._adj or G._pred) into `csr`
// and one column per attribute. False with an exception set on failure.
bool read_adjacency(PyObject* nodes, const NodeIndex& index, PyObject* adjacency,
                    const std::vector<Attr>& attrs, bool multigraph, Csr& csr,
                    std::vector<Column>& columns);

// The attribute names as strings, in order; TypeError for a non-str name.
bool attr_names(const std::vector<Attr>& attrs, std::vector<std::string>& out);

}  // namespace fennel::py
