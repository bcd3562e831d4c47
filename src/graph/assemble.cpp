#include "graph/assemble.hpp"

namespace fennel {

namespace {

bool rows_valid(const Csr& rows, Count n) {
    if (rows.offsets.size() != n + 1 || rows.offsets[0] != 0 || rows.offsets[n] != rows.targets.size()) {
        return false;
    }
    for (Count u = 0; u < n; ++u) {
        if (rows.offsets[u] > rows.offsets[u + 1]) return false;
    }
    for (Node v : rows.targets) {
        if (v >= n) return false;
    }
    return true;
}

}  // namespace

Status assemble(CoreGraph& g, std::vector<std::pair<std::string, Weights>> columns, std::vector<Slot> perm) {
    if (!rows_valid(g.succ, g.n)) return internal_error("adjacency rows do not describe the graph");
    for (const auto& [name, column] : columns) {
        if (column.values.size() != g.succ.slot_count()) return internal_error("weight column of the wrong length");
    }
    if (g.pred) {
        if (!g.directed || !rows_valid(*g.pred, g.n) || perm.size() != g.pred->slot_count()) {
            return internal_error("predecessor rows do not describe the graph");
        }
        for (Slot s : perm) {
            if (s >= g.succ.slot_count()) return internal_error("predecessor slot beyond the rows");
        }
    } else if (g.directed) {
        auto pred = counting_sort_pred(g.succ, perm);
        if (!pred.ok()) return pred.error();
        g.pred = std::move(pred.value());
    }
    for (auto& [name, column] : columns) {
        if (g.directed) column.pred_values = permute_column(column.values, perm);
        g.weights.insert_or_assign(std::move(name), std::move(column));
    }
    return {};
}

}  // namespace fennel
