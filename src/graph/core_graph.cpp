#include "graph/core_graph.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <bit>
#include <random>
#include <type_traits>

namespace fennel {

namespace {

Error not_converted(const std::string& name) {
    return not_implemented("edge attribute " + debug_quoted(name) + " was not converted");
}

}  // namespace

const Weights* CoreGraph::find_weights(const std::string& name) const {
    auto it = weights.find(name);
    return it == weights.end() ? nullptr : &it->second;
}

void Weights::note_kind(int kind) {
    if (kind < 0) {
        // Hidden slots take the first kind: the spelled-out kinds stay valid.
        if (!kinds.empty()) kinds.push_back(kinds.front());
        return;
    }
    const auto bit = static_cast<std::uint8_t>(1u << kind);
    if (kinds.empty() && (slot_kinds & ~bit) != 0) {
        kinds.assign(values.size() - 1, static_cast<std::uint8_t>(std::countr_zero(slot_kinds)));
    }
    if (!kinds.empty()) kinds.push_back(static_cast<std::uint8_t>(kind));
    slot_kinds |= bit;
}

int CoreGraph::distance_kind(const std::optional<std::string>& name) const {
    const Weights* w = name ? find_weights(*name) : nullptr;
    return w == nullptr ? PY_INT : w->uniform_kind();
}

bool CoreGraph::all_int(const std::string& name) const {
    const Weights* w = find_weights(name);
    return w == nullptr || w->all_int;
}

Result<const std::vector<double>*> CoreGraph::weight_slice(const std::optional<std::string>& name,
                                                           bool reverse) const {
    if (!name) return static_cast<const std::vector<double>*>(nullptr);
    const Weights* w = find_weights(*name);
    if (w == nullptr) {
        if (!native) return not_converted(*name);
        const std::vector<double>* ones = unit_weights.get();
        if (ones == nullptr) {
            ones = unit_weights.set(std::make_unique<std::vector<double>>(succ.slot_count(), 1.0));
        }
        return ones;
    }
    if (reverse && directed && w->pred_values) return &*w->pred_values;
    return &w->values;
}

Result<GraphView> CoreGraph::search_view(const std::optional<std::string>& name, bool reverse) const {
    if (!reverse || !directed || pred_exact) {
        auto column = weight_slice(name, reverse);
        if (!column.ok()) return column.error();
        const bool back = reverse && pred;
        const Csr* out = back ? &*pred : &succ;
        // Kinds are kept per succ slot only.
        const Weights* w = name && !back ? find_weights(*name) : nullptr;
        return GraphView{.out = out,
                         .in = back ? &succ : &in_rows(),
                         .weights = column.value(),
                         .kinds = w != nullptr && !w->kinds.empty() ? &w->kinds : nullptr,
                         .directed = directed};
    }
    const ExactPred* exact = exact_pred.get();
    if (exact == nullptr) return not_implemented("exact predecessor order not loaded");
    GraphView view{.out = &exact->csr, .in = &succ, .directed = directed};
    if (!name) return view;
    auto it = exact->weights.find(*name);
    if (it == exact->weights.end()) return not_converted(*name);
    view.weights = &it->second;
    return view;
}

Result<std::vector<Node>> CoreGraph::sources_or_all(const std::optional<std::vector<Node>>& sources) const {
    if (sources) {
        for (Node s : *sources) {
            if (s >= n) return index_error();
        }
        return *sources;
    }
    std::vector<Node> all(static_cast<std::size_t>(n));
    for (Count i = 0; i < n; ++i) all[i] = static_cast<Node>(i);
    return all;
}

std::vector<Count> CoreGraph::degrees() const {
    std::vector<Count> deg(static_cast<std::size_t>(n), 0);
    // Without a self-loop to look for, a degree is the length of a row.
    const bool loops = undirected_self_loops();
    for (Node u = 0; u < n; ++u) {
        Count d = succ.end(u) - succ.begin(u);
        if (directed) {
            if (pred) d += pred->end(u) - pred->begin(u);
        } else if (loops) {
            for (Node v : succ.row(u)) d += (v == u);
        }
        deg[u] = d;
    }
    return deg;
}

namespace {

template <class T>
Count bytes_of(const std::vector<T>& v) {
    if constexpr (std::is_same_v<T, bool>) {
        return (v.capacity() + 7) / 8;
    } else {
        return v.capacity() * sizeof(T);
    }
}

Count bytes_of(const Csr& rows) { return bytes_of(rows.offsets) + bytes_of(rows.targets); }

}  // namespace

Count CoreGraph::held_bytes() const {
    Count total = bytes_of(succ) + (pred ? bytes_of(*pred) : 0);
    for (const auto& [name, w] : weights) {
        total += bytes_of(w.values) + bytes_of(w.kinds) + (w.pred_values ? bytes_of(*w.pred_values) : 0);
    }
    if (native) {
        total += bytes_of(native->ids) + bytes_of(native->swapped);
        for (const NativeRecord::Attr& a : native->attrs) total += bytes_of(a.kinds);
    }
    if (const ExactPred* exact = exact_pred.get()) {
        total += bytes_of(exact->csr);
        for (const auto& [name, values] : exact->weights) total += bytes_of(values);
    }
    if (const std::vector<double>* ones = unit_weights.get()) total += bytes_of(*ones);
    return total;
}

Count CoreGraph::number_of_edges() const {
    if (directed) return succ.slot_count();
    // Undirected: each self-loop has one slot, every other edge two; the
    // count takes a pass over every row, once.
    if (const Count* known = edge_count.get()) return *known;
    Count loops = 0;
    for (Node u = 0; u < n; ++u) {
        auto row = succ.row(u);
        loops += std::find(row.begin(), row.end(), u) != row.end();
    }
    return *edge_count.set(std::make_unique<Count>((succ.slot_count() + loops) / 2));
}

bool CoreGraph::same_in_rows(const Csr& rows) const {
    const Csr& in = in_rows();
    if (rows.node_count() != n || rows.slot_count() != in.slot_count()) return false;
    // In-rows are ascending for converted graphs, in edge order for native ones.
    const bool ascending = !pred_exact;
    std::vector<Node> sorted;
    std::vector<Node> sorted_mine;
    for (Node v = 0; v < n; ++v) {
        auto mine = in.row(v);
        auto theirs = rows.row(v);
        if (mine.size() != theirs.size()) return false;
        sorted.assign(theirs.begin(), theirs.end());
        std::sort(sorted.begin(), sorted.end());
        if (!ascending) {
            sorted_mine.assign(mine.begin(), mine.end());
            std::sort(sorted_mine.begin(), sorted_mine.end());
            mine = sorted_mine;
        }
        if (!std::equal(sorted.begin(), sorted.end(), mine.begin())) return false;
    }
    return true;
}

bool CoreGraph::has_edge(Node u, Node v) const {
    auto row = succ.row(u);
    return std::find(row.begin(), row.end(), v) != row.end();
}

std::vector<std::string> CoreGraph::attribute_names() const {
    std::vector<std::string> names;
    names.reserve(weights.size());
    for (const auto& entry : weights) names.push_back(entry.first);  // map order is byte-wise
    return names;
}

EdgeList edges_in_order(const CoreGraph& g) {
    EdgeList out;
    if (g.native) out.ids.emplace();
    for_each_first_slot(g.succ, g.directed, [&](Node u, Slot s) {
        // The record's ids are those of these slots, in this order.
        if (out.ids) out.ids->push_back(g.native->ids[out.us.size()]);
        out.us.push_back(u);
        out.vs.push_back(g.succ.targets[s]);
    });
    return out;
}

Result<Csr> counting_sort_pred(const Csr& succ, std::vector<Slot>& perm) {
    // Parallel, yet exactly the sequential stable sort: the sources are cut
    // into contiguous ranges, each range counts its targets, and within each
    // target's row the ranges' slots follow one another in range order.
    const Count n = succ.node_count();
    const Slot m = succ.slot_count();
    const std::size_t parts = std::clamp<std::size_t>(m / (std::size_t{1} << 16), 1, pool_size());
    std::vector<Node> first(parts + 1, static_cast<Node>(n));
    for (std::size_t t = 0; t < parts; ++t) {
        // Range t starts at the first node whose row begins at or after slot t*m/parts.
        const Slot at = m * t / parts;
        first[t] = static_cast<Node>(std::lower_bound(succ.offsets.begin(), succ.offsets.end() - 1, at) -
                                     succ.offsets.begin());
    }
    std::vector<std::vector<Slot>> next(parts, std::vector<Slot>(n, 0));
    Csr pred;
    pred.offsets.assign(n + 1, 0);
    pred.targets.resize(m);
    perm.resize(m);
    auto count = [&](std::size_t t) {
        for (Slot s = succ.offsets[first[t]]; s < succ.offsets[first[t + 1]]; ++s) ++next[t][succ.targets[s]];
    };
    auto place = [&](std::size_t t) {
        std::vector<Slot>& at = next[t];
        for (Node u = first[t]; u < first[t + 1]; ++u) {
            for (Slot s = succ.begin(u); s < succ.end(u); ++s) {
                const Slot p = at[succ.targets[s]]++;
                pred.targets[p] = u;
                perm[p] = s;
            }
        }
    };
    if (parts == 1) {
        count(0);
    } else if (Status st = parallel_for(parts, count); !st.ok()) {
        return st.error();
    }
    // Turn the per-range counts into each range's first free position.
    Slot total = 0;
    for (Count x = 0; x < n; ++x) {
        pred.offsets[x] = total;
        for (std::size_t t = 0; t < parts; ++t) {
            const Slot c = next[t][x];
            next[t][x] = total;
            total += c;
        }
    }
    pred.offsets[n] = total;
    if (parts == 1) {
        place(0);
    } else if (Status st = parallel_for(parts, place); !st.ok()) {
        return st.error();
    }
    return pred;
}

namespace {

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// The hash key of this process: an attacker who reads the code still
// cannot pick rows whose sums collide.
std::uint64_t process_key() {
    static const std::uint64_t key = [] {
        std::random_device device;
        return (std::uint64_t{device()} << 32) ^ device() ^ 0x2545f4914f6cdd1dull;
    }();
    return key;
}

// Sums over one range of rows: [0] edges seen from their lower endpoint,
// [1] from their higher one; per column, then for the rows alone.
struct MirrorSums {
    std::vector<std::uint64_t> sums[2];
    Count counts[2] = {0, 0};
};

}  // namespace

Result<Mirrors> mirrors(const Csr& rows, const std::vector<const std::vector<double>*>& columns) {
    const std::size_t k = columns.size();
    const std::uint64_t key = process_key();
    const Count n = rows.node_count();
    // Small graphs are summed on the calling thread: a handoff would cost more.
    const Pieces pieces = rows.slot_count() < (Slot{1} << 16) ? Pieces{n, 1} : split(n);
    std::vector<MirrorSums> partial(pieces.pieces);
    auto sum_range = [&](std::size_t p) {
        MirrorSums& out = partial[p];
        out.sums[0].assign(k + 1, 0);
        out.sums[1].assign(k + 1, 0);
        for (Node u = static_cast<Node>(pieces.begin(p)); u < pieces.end(p) && !stop_requested(); ++u) {
            for (Slot s = rows.begin(u); s < rows.end(u); ++s) {
                const Node v = rows.targets[s];
                if (u == v) continue;
                const int side = u < v ? 0 : 1;
                const std::uint64_t lo = std::min(u, v);
                const std::uint64_t hi = std::max(u, v);
                const std::uint64_t edge = mix(key + ((lo << 32) | hi));
                out.sums[side][k] += edge;
                ++out.counts[side];
                for (std::size_t c = 0; c < k; ++c) {
                    out.sums[side][c] += mix(edge ^ std::bit_cast<std::uint64_t>((*columns[c])[s]));
                }
            }
        }
    };
    if (pieces.pieces == 1) {
        sum_range(0);
    } else if (Status st = parallel_for(pieces.pieces, sum_range); !st.ok()) {
        return st.error();
    }
    // Addition modulo 2^64 is exact, so the order of the ranges cannot matter.
    MirrorSums total;
    total.sums[0].assign(k + 1, 0);
    total.sums[1].assign(k + 1, 0);
    for (const MirrorSums& part : partial) {
        for (int side = 0; side < 2; ++side) {
            total.counts[side] += part.counts[side];
            for (std::size_t c = 0; c <= k; ++c) total.sums[side][c] += part.sums[side][c];
        }
    }
    Mirrors out;
    out.rows = total.counts[0] == total.counts[1] && total.sums[0][k] == total.sums[1][k];
    out.columns.resize(k);
    for (std::size_t c = 0; c < k; ++c) out.columns[c] = out.rows && total.sums[0][c] == total.sums[1][c];
    return out;
}

std::vector<double> permute_column(const std::vector<double>& values, const std::vector<Slot>& perm) {
    std::vector<double> out(perm.size());
    for (std::size_t p = 0; p < perm.size(); ++p) out[p] = values[perm[p]];
    return out;
}

}  // namespace fennel
