// The one assembly step every builder ends with.
#pragma once

#include "graph/core_graph.hpp"

#include <string>
#include <utility>
#include <vector>

namespace fennel {

// Finishes a graph whose `n`, `directed` and succ rows are set: checks the
// invariants every algorithm relies on (n + 1 offsets from 0, never
// decreasing; every target below n; one value per slot in every column),
// builds a directed graph's predecessor rows by the stable counting sort
// unless the builder placed them itself (then `perm` gives the succ slot of
// every pred slot), gives each column its copy in predecessor order, and
// files the columns under their names, a repeated name replacing the earlier
// column. Touches no Python object; a broken invariant is a defect of the
// builder (internal error).
Status assemble(CoreGraph& g, std::vector<std::pair<std::string, Weights>> columns, std::vector<Slot> perm = {});

}  // namespace fennel
