// Core numbers, as NetworkX's core_number computes them.
#pragma once

#include "graph/core_graph.hpp"

#include <optional>
#include <vector>

namespace fennel {

// NetworkX's core_number (Batagelj-Zaversnik buckets) over out rows then
// `back` rows (directed graphs: in + out degree); nullopt with a self-loop.
std::optional<std::vector<Count>> core_numbers(const Csr& out, const Csr* back);

}  // namespace fennel
