// The byte format of a CoreGraph: how a converted graph survives pickle and
// copy.deepcopy inside NetworkX's cache.
//
// Little-endian fixed-width integers and length-prefixed arrays, no gaps:
//
//   magic "FNL4" (written when a column holds numpy values, else "FNL3",
//   without the kinds; "FNL2", without the has_int flag either, is read too)
//   n u64, directed u8, succ Csr, pred flag [+ Csr]
//   weight columns: count u64, then per column in byte-wise name order
//       name, values f64[], pred_values flag [+ f64[]], all_int, has_hidden, has_int (v3),
//       slot kinds u8 (one bit per ValueKind) and per-slot kinds u8[] (v4)
//   exact predecessor order flag [+ Csr, count, per column name + f64[]]
//   pred_exact u8, native flag [+ src u32[], dst u32[], ids u32[],
//       count, per attribute column name + values f64[] + kinds u8[]]
//
// where a Csr is an offsets count u64 with the offsets as u64, then the
// targets as a u32 array, and an array is its u64 element count followed by
// the elements. The unit-weight column is never written.
//
// The reader trusts nothing: every count is checked against the bytes left
// before anything is allocated, and the graph it returns satisfies every
// invariant a builder establishes (rows within range and duplicate-free,
// undirected rows symmetric, predecessor rows the transpose of the successor
// rows in the order the graph's kind prescribes, columns and their flags
// consistent with their values, native edge lists that reassemble to the
// stored rows). Anything else is "malformed fennel graph data".
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace fennel {

std::string to_bytes(const CoreGraph& g);

Result<std::unique_ptr<CoreGraph>> from_bytes(std::span<const std::uint8_t> data);

}  // namespace fennel
