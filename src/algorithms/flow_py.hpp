// What the flow bindings share: the flow arithmetic's numbers as Python
// objects, the capacity arrays read from Python and R's rows as dicts.
#pragma once

#include "algorithms/flow.hpp"
#include "lib/entry.hpp"

#include <Python.h>

#include <cstdint>
#include <vector>

namespace fennel::py {

// A number of the flow arithmetic as the Python int or float it stands for.
PyObject* number(FlowNumber x);

// The per-edge capacity codes and values of CoreGraph.max_flow, `count` each.
bool read_capacity_arrays(const BytesRef& codes_bytes, const BytesRef& values_bytes, std::size_t count,
                          std::vector<std::uint8_t>& codes, std::vector<double>& values);

// R's (succ rows, pred rows) as NetworkX's dicts, keyed by `nodes`, each
// edge's data dict {'capacity': ..., 'flow': ...} shared by both rows.
PyObject* residual_dicts(const Residual& r, const std::vector<std::uint8_t>& codes, PyObject* nodes,
                         PyObject* objects, PyObject* inf_object);

}  // namespace fennel::py
