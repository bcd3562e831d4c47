// A graph watched for changes between the items of a generator.
//
// NetworkX's generators read the graph as they go, so a caller may change it
// between two items. A generator that computes its items ahead holds a
// watch: a tuple of (cache, key, marker) triples, one per graph it reads
// (the graph and every graph it views). Changing a graph through NetworkX's
// methods clears its cache, and with it the marker.
#pragma once

#include "lib/compat.hpp"

#include <vector>

namespace fennel::py {

// 1 while every watched cache still holds its marker, 0 once one lost it,
// -1 with an exception set. `watch` is None (nothing watched) or a tuple of
// (dict, key, marker) triples.
int unchanged(PyObject* watch);

// Whether `watch` is None or a tuple of (dict, key, marker) triples; a
// TypeError is set when not.
bool valid_watch(PyObject* watch);

std::vector<PyMethodDef> watch_functions();
PyObject* create_while_unchanged_type(PyObject* module);

}  // namespace fennel::py
