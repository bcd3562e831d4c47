#include "native/builder.hpp"

#include "graph/assemble.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fennel {

namespace {

constexpr Node NO_BUCKET = std::numeric_limits<Node>::max();

// Whether the user asked to stop (Ctrl-C), looked at every 2^18 steps of a
// long loop on the calling thread.
bool stop_at(std::size_t i) { return (i & 0x3FFFF) == 0 && poll_interrupt(); }

// For every insertion, the id of the edge it inserts or repeats. Edges are
// numbered in order of first insertion. Insertions are bucketed by the first
// endpoint of their key (a stable counting sort), and within a bucket a
// repeat is recognised by its second endpoint having been stamped with this
// bucket; so the whole merge is linear and needs no hash table.
template <class Index>
Result<std::vector<Index>> edge_ids(const std::vector<Node>& src, const std::vector<Node>& dst, Count n,
                                   bool directed, Count& edges) {
    const std::size_t k = src.size();
    auto first = [&](std::size_t i) { return directed ? src[i] : std::min(src[i], dst[i]); };
    auto second = [&](std::size_t i) { return directed ? dst[i] : std::max(src[i], dst[i]); };

    std::vector<Index> at(static_cast<std::size_t>(n) + 1, 0);
    for (std::size_t i = 0; i < k; ++i) {
        if (stop_at(i)) return interrupted();
        ++at[first(i) + 1];
    }
    for (Count x = 0; x < n; ++x) at[x + 1] += at[x];
    std::vector<Index> bucketed(k);
    for (std::size_t i = 0; i < k; ++i) bucketed[at[first(i)]++] = static_cast<Index>(i);
    // Placing advanced each bucket's start to the next bucket's: shift back.
    for (Count x = n; x > 0; --x) at[x] = at[x - 1];
    at[0] = 0;

    // rep[i]: the earliest insertion of i's key (rep[i] <= i).
    std::vector<Index> rep(k);
    {
        std::vector<Node> stamp(static_cast<std::size_t>(n), NO_BUCKET);
        std::vector<Index> earliest(static_cast<std::size_t>(n));
        for (Count a = 0; a < n; ++a) {
            if (stop_at(static_cast<std::size_t>(a))) return interrupted();
            for (Index p = at[a]; p < at[a + 1]; ++p) {
                const Index i = bucketed[p];
                const Node b = second(i);
                if (stamp[b] == a) {
                    rep[i] = earliest[b];
                } else {
                    stamp[b] = static_cast<Node>(a);
                    earliest[b] = i;
                    rep[i] = i;
                }
            }
        }
    }
    // Number first insertions in order; a repeat takes its first's id,
    // already in place since rep[i] < i.
    Count m = 0;
    for (std::size_t i = 0; i < k; ++i) {
        if (rep[i] == i) {
            if (m >= MAX_NATIVE_EDGES) return value_error("too many edges");
            rep[i] = static_cast<Index>(m++);
        } else {
            rep[i] = rep[rep[i]];
        }
    }
    edges = m;
    return rep;
}

// Rows of `entries` (row, target, edge) placed stably by row: every row lists
// its entries in the order they are given.
struct Placed {
    Csr rows;
    std::vector<Node> edges;  // per slot
};

template <class Each>
Placed place_rows(Count n, Slot total, Each each) {
    Placed out;
    out.rows.offsets.assign(static_cast<std::size_t>(n) + 1, 0);
    each([&](Node row, Node, Node) { ++out.rows.offsets[row + 1]; });
    for (Count x = 0; x < n; ++x) out.rows.offsets[x + 1] += out.rows.offsets[x];
    out.rows.targets.resize(total);
    out.edges.resize(total);
    std::vector<Slot> cursor(out.rows.offsets.begin(), out.rows.offsets.end() - 1);
    each([&](Node row, Node target, Node edge) {
        const Slot s = cursor[row]++;
        out.rows.targets[s] = target;
        out.edges[s] = edge;
    });
    return out;
}

}  // namespace

std::size_t Builder::column(std::string_view name) {
    // Edges tend to name their attributes in the same order as the one before.
    for (std::size_t c : {last_column_, last_column_ + 1}) {
        if (c < columns_.size() && columns_[c].name == name) return last_column_ = c;
    }
    auto [it, added] = column_index_.try_emplace(std::string(name), columns_.size());
    if (added) columns_.push_back(Column{std::string(name), {}, {}, true});
    last_column_ = it->second;
    return last_column_;
}

void Builder::set(std::size_t column, std::size_t insertion, AttrKind kind, double value, bool plain) {
    Column& c = columns_[column];
    if (c.values.size() <= insertion) {
        c.values.resize(insertion + 1, 0.0);
        c.kinds.resize(insertion + 1, KIND_ABSENT);
    }
    c.values[insertion] = value;
    c.kinds[insertion] = kind;
    c.plain = c.plain && plain;
}

void Builder::set_column(std::string name, std::vector<double> values, AttrKind kind) {
    auto [it, added] = column_index_.try_emplace(name, columns_.size());
    if (added) columns_.push_back(Column{std::move(name), {}, {}, true});
    Column& c = columns_[it->second];
    c.kinds.assign(values.size(), kind);
    c.values = std::move(values);
}

Result<std::unique_ptr<CoreGraph>> Builder::assemble(Count n) && {
    for (std::size_t i = 0; i < src_.size(); ++i) {
        if (src_[i] >= n || dst_[i] >= n) return internal_error("edge endpoint beyond the node count");
    }
    // Insertion indices take 4 bytes each while they fit: half the memory
    // traffic of the merge on the largest inputs.
    if (src_.size() < std::numeric_limits<std::uint32_t>::max()) return std::move(*this).finish<std::uint32_t>(n);
    return std::move(*this).finish<std::uint64_t>(n);
}

template <class Index>
Result<std::unique_ptr<CoreGraph>> Builder::finish(Count n) && {
    Count m = 0;
    auto ids = edge_ids<Index>(src_, dst_, n, directed_, m);
    if (!ids.ok()) return ids.error();
    const std::vector<Index>& id = ids.value();

    NativeEdges edges;
    edges.src.resize(m);
    edges.dst.resize(m);
    // First insertions, in id order, keep their orientation.
    Count next = 0;
    for (std::size_t i = 0; i < src_.size(); ++i) {
        if (id[i] == next) {
            edges.src[next] = src_[i];
            edges.dst[next] = dst_[i];
            ++next;
        }
    }
    std::vector<bool> plain;
    // An edge's data dict lists its attributes in the order they first reached
    // it. That is column order when no column is first set on an edge before
    // a column of lower index: columns are visited in order, and latest[e] is
    // the latest insertion that first set a lower column on e.
    std::vector<std::uint64_t> latest(columns_.size() > 1 ? m : 0, 0);
    for (Column& c : columns_) {
        EdgeAttr attr{std::move(c.name), std::vector<double>(m, 0.0), std::vector<std::uint8_t>(m, KIND_ABSENT)};
        for (std::size_t i = 0; i < c.kinds.size(); ++i) {
            if (c.kinds[i] == KIND_ABSENT) continue;
            const Index e = id[i];
            if (!latest.empty() && attr.kinds[e] == KIND_ABSENT) {
                if (i < latest[e]) in_column_order_ = false;
                latest[e] = std::max<std::uint64_t>(latest[e], i);
            }
            attr.values[e] = c.values[i];
            attr.kinds[e] = c.kinds[i];
        }
        plain.push_back(c.plain);
        edges.attrs.push_back(std::move(attr));
        c.values = {};
        c.kinds = {};
    }
    src_ = {};
    dst_ = {};
    ids = std::vector<Index>{};  // the largest inputs need this memory for the rows
    auto g = assemble_native(n, directed_, std::move(edges), plain);
    if (g.ok()) g.value()->data_in_column_order = in_column_order_;
    return g;
}

Result<Relabelled> relabel_first_appearance(const PackedInt64& src, const PackedInt64& dst) {
    const std::size_t m = src.size();
    Relabelled out;
    out.src.resize(m);
    out.dst.resize(m);
    if (m == 0) return out;
    std::int64_t lo = src[0];
    std::int64_t hi = src[0];
    for (std::size_t i = 0; i < m; ++i) {
        lo = std::min({lo, src[i], dst[i]});
        hi = std::max({hi, src[i], dst[i]});
    }
    const std::uint64_t span = static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo);
    bool too_many = false;
    bool stopped = false;
    auto number = [&](auto&& position_of) {
        for (std::size_t i = 0; i < m && !too_many; ++i) {
            if (stop_at(i)) {
                stopped = true;
                return;
            }
            out.src[i] = position_of(src[i]);
            out.dst[i] = position_of(dst[i]);
        }
    };
    auto add = [&](std::int64_t label) {
        if (out.labels.size() >= MAX_CONVERTED_NODES) too_many = true;
        out.labels.push_back(label);
        return static_cast<Node>(out.labels.size() - 1);
    };
    if (span < 4 * m + 1024) {
        // Labels in a range not much wider than the edge count: a direct table.
        std::vector<Node> table(static_cast<std::size_t>(span) + 1, NO_BUCKET);
        number([&](std::int64_t x) {
            Node& at = table[static_cast<std::uint64_t>(x) - static_cast<std::uint64_t>(lo)];
            if (at == NO_BUCKET) at = add(x);
            return at;
        });
    } else {
        // Open addressing, doubled at half load.
        std::vector<std::int64_t> keys(1024);
        std::vector<Node> values(1024, NO_BUCKET);
        unsigned shift = 64 - 10;
        auto slot_of = [&](std::int64_t x) {
            const std::size_t mask = keys.size() - 1;
            std::size_t h = static_cast<std::size_t>((static_cast<std::uint64_t>(x) * 0x9e3779b97f4a7c15ull) >> shift);
            while (values[h] != NO_BUCKET && keys[h] != x) h = (h + 1) & mask;
            return h;
        };
        number([&](std::int64_t x) {
            std::size_t h = slot_of(x);
            if (values[h] != NO_BUCKET) return values[h];
            if (2 * (out.labels.size() + 1) > keys.size()) {
                keys.assign(keys.size() * 2, 0);
                values.assign(values.size() * 2, NO_BUCKET);
                --shift;
                // Labels are distinct: each goes to the first free slot of its probe.
                for (std::size_t p = 0; p < out.labels.size(); ++p) {
                    const std::size_t q = slot_of(out.labels[p]);
                    keys[q] = out.labels[p];
                    values[q] = static_cast<Node>(p);
                }
                h = slot_of(x);
            }
            keys[h] = x;
            return values[h] = add(x);
        });
    }
    if (stopped) return interrupted();
    if (too_many) return value_error("too many nodes");
    return out;
}

Weights native_weights(const EdgeAttr& attr, const std::vector<Node>& slot_edges) {
    Weights w;
    bool any_float = false;
    for (std::size_t e = 0; e < attr.kinds.size(); ++e) {
        const std::uint8_t kind = attr.kinds[e];
        any_float = any_float || kind == KIND_FLOAT;
        w.has_hidden = w.has_hidden || kind == KIND_NONE;
        w.has_int = w.has_int || kind == KIND_ABSENT || kind == KIND_INT || kind == KIND_BOOL;
        if (kind == KIND_NONE) continue;
        const double x = kind == KIND_ABSENT ? 1.0 : attr.values[e];
        if (std::isinf(x)) {
            (x > 0 ? w.facts.pos_inf : w.facts.neg_inf) = true;
        } else if (!std::isnan(x)) {
            w.facts.min_finite = std::min(w.facts.min_finite, x);
            w.facts.max_finite = std::max(w.facts.max_finite, x);
        }
    }
    w.all_int = !any_float;
    w.values.reserve(slot_edges.size());
    for (const Node e : slot_edges) {
        const std::uint8_t kind = attr.kinds[e];
        switch (kind) {
            case KIND_ABSENT: w.values.push_back(1.0); break;
            case KIND_NONE: w.values.push_back(std::numeric_limits<double>::quiet_NaN()); break;
            default: w.values.push_back(attr.values[e]);
        }
        w.note_kind(kind == KIND_NONE ? -1 : kind == KIND_FLOAT ? PY_FLOAT : PY_INT);
    }
    return w;
}

Result<std::unique_ptr<CoreGraph>> assemble_native(Count n, bool directed, NativeEdges edges,
                                                   const std::vector<bool>& plain) {
    const std::size_t m = edges.src.size();
    const std::vector<Node>& src = edges.src;
    const std::vector<Node>& dst = edges.dst;
    Slot slots = m;
    if (!directed) {
        for (std::size_t e = 0; e < m; ++e) slots += src[e] != dst[e];
    }
    Placed succ = place_rows(n, slots, [&](auto&& add) {
        for (std::size_t e = 0; e < m; ++e) {
            add(src[e], dst[e], static_cast<Node>(e));
            if (!directed && src[e] != dst[e]) add(dst[e], src[e], static_cast<Node>(e));
        }
    });
    auto g = std::make_unique<CoreGraph>();
    g->n = n;
    g->directed = directed;
    g->pred_exact = true;
    g->succ = std::move(succ.rows);
    std::vector<Slot> perm;
    if (directed) {
        // Each directed edge has one succ slot and one pred slot.
        std::vector<Slot> slot_of(m);
        for (Slot s = 0; s < succ.edges.size(); ++s) slot_of[succ.edges[s]] = s;
        Placed pred = place_rows(n, m, [&](auto&& add) {
            for (std::size_t e = 0; e < m; ++e) add(dst[e], src[e], static_cast<Node>(e));
        });
        perm.resize(m);
        for (Slot p = 0; p < m; ++p) perm[p] = slot_of[pred.edges[p]];
        g->pred = std::move(pred.rows);
    }
    std::vector<std::pair<std::string, Weights>> columns;
    for (std::size_t a = 0; a < edges.attrs.size(); ++a) {
        Weights w = native_weights(edges.attrs[a], succ.edges);
        w.facts.plain = a < plain.size() ? plain[a] : true;
        columns.emplace_back(edges.attrs[a].name, std::move(w));
    }
    g->native = native_record(std::move(edges), std::move(succ.edges), g->succ, directed);
    if (Status st = assemble(*g, std::move(columns), std::move(perm)); !st.ok()) return st.error();
    return g;
}

// Undirected rows list every edge from both ends; the slot whose target is
// not below its row comes first in row order and keeps the edge's id.
NativeRecord native_record(NativeEdges edges, std::vector<Node> ids, const Csr& rows, bool directed) {
    NativeRecord r;
    r.edges = edges.src.size();
    if (!directed) {
        std::size_t kept = 0;
        for_each_first_slot(rows, false, [&](Node, Slot s) { ids[kept++] = ids[s]; });
        ids.resize(kept);
        ids.shrink_to_fit();
    }
    r.ids = std::move(ids);
    if (!directed) {
        r.swapped.resize(r.edges);
        for (Count e = 0; e < r.edges; ++e) r.swapped[e] = edges.src[e] > edges.dst[e];
    }
    for (EdgeAttr& a : edges.attrs) {
        NativeRecord::Attr& kept = r.attrs.emplace_back();
        kept.name = std::move(a.name);
        kept.kind = a.kinds.empty() ? std::uint8_t{KIND_ABSENT} : a.kinds[0];
        if (std::any_of(a.kinds.begin(), a.kinds.end(), [&](std::uint8_t k) { return k != kept.kind; })) {
            kept.kinds = std::move(a.kinds);
        }
    }
    return r;
}

NativeEdges native_edges(const CoreGraph& g) {
    const NativeRecord& r = *g.native;
    NativeEdges out;
    out.src.resize(r.edges);
    out.dst.resize(r.edges);
    // Each edge's first slot in row order.
    std::vector<Slot> first(r.edges);
    std::size_t k = 0;  // first slots met
    for_each_first_slot(g.succ, g.directed, [&](Node u, Slot s) {
        const Node v = g.succ.targets[s];
        const Node e = r.ids[k++];
        first[e] = s;
        const bool swap = !g.directed && r.swapped[e];
        out.src[e] = swap ? v : u;
        out.dst[e] = swap ? u : v;
    });
    for (const NativeRecord::Attr& a : r.attrs) {
        EdgeAttr& column = out.attrs.emplace_back();
        column.name = a.name;
        column.values.assign(r.edges, 0.0);
        column.kinds.resize(r.edges);
        const Weights* w = g.find_weights(a.name);
        for (Count e = 0; e < r.edges; ++e) {
            const std::uint8_t kind = a.of(e);
            column.kinds[e] = kind;
            if (kind != KIND_ABSENT && w != nullptr) column.values[e] = w->values[first[e]];
        }
    }
    return out;
}

std::vector<Node> slot_edge_ids(const CoreGraph& g) {
    const NativeRecord& r = *g.native;
    const Csr& rows = g.succ;
    if (g.directed) return r.ids;
    std::vector<Node> out(rows.slot_count());
    // The first slots' ids in order; each second slot (v -> u, u < v) takes
    // the id of edge (u, v), found among the edges row v receives from
    // lower rows, grouped by v in a counting pass.
    std::vector<Slot> start(g.n + 1, 0);
    std::size_t k = 0;
    for_each_first_slot(rows, false, [&](Node u, Slot s) {
        out[s] = r.ids[k++];
        if (rows.targets[s] > u) ++start[rows.targets[s] + 1];
    });
    for (Node v = 0; v < g.n; ++v) start[v + 1] += start[v];
    std::vector<std::pair<Node, Node>> received(start[g.n]);  // (lower end, edge id)
    std::vector<Slot> next(start.begin(), start.end() - 1);
    for (Node u = 0; u < g.n; ++u) {
        for (Slot s = rows.begin(u); s < rows.end(u); ++s) {
            const Node v = rows.targets[s];
            if (v > u) received[next[v]++] = {u, out[s]};
        }
    }
    std::vector<Node> edge_to(g.n);  // scratch: row v's edges by lower end
    for (Node v = 0; v < g.n; ++v) {
        for (Slot i = start[v]; i < start[v + 1]; ++i) edge_to[received[i].first] = received[i].second;
        for (Slot s = rows.begin(v); s < rows.end(v); ++s) {
            if (rows.targets[s] < v) out[s] = edge_to[rows.targets[s]];
        }
    }
    return out;
}

}  // namespace fennel
