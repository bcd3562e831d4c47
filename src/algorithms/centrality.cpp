// Centrality kernels (see centrality.hpp for the NetworkX functions).
//
// Betweenness (NetworkX's betweenness_centrality and
// edge_betweenness_centrality, before rescaling).
//
// Per source s: a breadth-first search (unweighted) or Dijkstra search
// (weighted) counts shortest paths sigma and settles nodes onto `stack`;
// the accumulation then pops `stack` and pushes each node's dependency to its
// predecessors, delta[v] += sigma[v] * coeff, exactly in NetworkX's order
// (reverse settle order; a weighted node's predecessors in discovery order).
//
// Summation order. NetworkX adds the per-source dependencies into the totals
// one source after another: betweenness[w] += delta[w]. A float sum depends
// on its order, so we keep that order for every entry and any thread count:
// the dependencies of a bounded batch of sources are computed in parallel and
// recorded as (entry, value) contributions, then added into the totals source
// by source, in contribution order, in parallel over disjoint ranges of
// entries. Within one source an entry may receive several contributions (an
// undirected zero-weight edge found from both ends); they are added in the
// order NetworkX makes them.
//
// Weighted searches use the weights as they stand: NetworkX's betweenness
// does not skip None weights (it fails on them), so callers refuse columns
// with hidden edges before calling.
//
// Cost: O(m + n) per unweighted source, O(m log n) per weighted source (the
// heap holds one entry per node); scratch is allocated once per piece of
// sources, kept from batch to batch and reset sparsely.
#include "algorithms/centrality.hpp"

#include "algorithms/bit_bfs.hpp"
#include "algorithms/brandes.hpp"
#include "algorithms/components.hpp"
#include "algorithms/distance_measures.hpp"
#include "algorithms/search.hpp"
#include "algorithms/shortest_paths.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace fennel {

namespace {

// Memory bounds that hold whatever the number of threads: the search states
// of the pieces in flight, and the contributions recorded for one batch,
// each stay within their budget (at least one piece and one source).
constexpr std::size_t SCRATCH_BUDGET = std::size_t{1} << 27;       // bytes of search states
constexpr std::size_t CONTRIBUTION_BUDGET = std::size_t{1} << 27;  // bytes per batch, at most
constexpr std::size_t CACHE_BUDGET = std::size_t{1} << 22;         // bytes per batch, preferred
constexpr std::size_t MAX_BUCKETS = 256;
// An edge source records one contribution per edge of its search's DAG, and
// recording, grouping and merging them cost about what the searches do: on
// 1,000-node graphs two workers recording took 1.3 to 1.7 times as long as
// one adding in place. Recording pays from three workers on. A node source
// records at most one contribution per node, and is recorded from two on.
constexpr std::size_t EDGE_RECORD_FROM = 3;
constexpr std::size_t NODE_RECORD_FROM = 2;


struct Contribution {
    std::uint32_t entry;
    double value;
};

// Contributions of one source, grouped by bucket of entries (stable within
// a bucket, so each entry keeps its contribution order).
struct SourceContributions {
    std::vector<Contribution> items;
    std::vector<std::uint32_t> bucket_start;  // buckets + 1 offsets
};

// Ranges of entries that the final sum handles in parallel.
struct Buckets {
    std::size_t count;
    std::size_t width;
    std::size_t of(std::uint32_t entry) const { return entry / width; }
};

Buckets make_buckets(std::size_t entries) {
    std::size_t count = std::max<std::size_t>(1, std::min(entries, MAX_BUCKETS));
    return {count, (entries + count - 1) / count};
}

// How the accumulation finds the in-edges of a node: the in-rows, and for
// directed graphs the succ slot (= edge index) of every in-row slot.
struct InEdges {
    const Csr* rows;
    Csr own;
    std::vector<Slot> succ_slot;  // empty: in-row slots are succ slots
};

// Per-piece scratch of the Brandes searches. Between sources only the
// entries of the previous search are reset, so cost follows reach, not n.
struct BcState {
    std::vector<double> sigma;
    std::vector<double> delta;
    const Node* stack = nullptr;  // settle order of the last search
    std::size_t settled = 0;
    // breadth-first mode
    std::optional<BfsState> bfs;
    // Dijkstra mode
    std::optional<DijkstraState> dijkstra;
    std::vector<Node> order;                    // settle order: its first `settled` entries
    std::vector<std::vector<Node>> preds;       // in discovery order
    std::vector<std::vector<Slot>> pred_slots;  // succ slot of each pred edge
    // contributions of the current source, and the cursors that group them
    std::vector<Contribution> flat;
    std::vector<std::uint32_t> cursor;

    // Bytes one state takes on `g`, counting the predecessor lists of the
    // weighted search at their largest (every slot once).
    static std::size_t bytes(const GraphView& g) {
        const bool weighted = g.weights != nullptr;
        const std::size_t n = g.n();
        if (!weighted) return n * (2 * sizeof(double) + sizeof(Node) + sizeof(std::uint32_t));
        return n * (4 * sizeof(double) + 2 + sizeof(Node) + 2 * sizeof(std::vector<Node>) + 28) +
               g.out->slot_count() * (sizeof(Node) + sizeof(Slot));
    }

    BcState(Count n, bool weighted) : sigma(n, 0.0), delta(n, 0.0) {
        if (weighted) {
            dijkstra.emplace(n);
            order.resize(n);
            preds.resize(n);
            pred_slots.resize(n);
        } else {
            bfs.emplace(n, 2 * sizeof(double));
        }
    }

    // NetworkX's _single_source_shortest_path_basic. Predecessors are not
    // kept: the accumulation recognises them by level. Adding +0.0 instead
    // of sigma[v] off shortest paths leaves a non-negative sigma exactly as
    // it was, so the engine's branch-free loop stays branch-free.
    void bfs_search(const Csr& succ, Node s) {
        for (std::size_t i = 0; i < settled; ++i) sigma[stack[i]] = 0.0;
        // Invariant: every sigma 0.0.
        sigma[s] = 1.0;
        bfs->run<false>(
            succ, s, BfsState::UNREACHED, [&](Node v) { return sigma[v]; },
            [&](double sigma_v, Node w, bool shortest) { sigma[w] += keep_or_zero(shortest, sigma_v); });
        stack = bfs->queue.data();
        settled = bfs->reached;
    }

    // NetworkX's _single_source_dijkstra_path_basic: weights are used as
    // they stand (no hidden edges), and an edge into a settled node at its
    // own distance still counts its paths.
    struct DijkstraPolicy {
        static constexpr bool SKIP_HIDDEN = false;
        BcState& st;

        bool within(double) const { return true; }
        void settle(Node v, double, Node pred) {
            st.sigma[v] += st.sigma[pred];  // doubles sigma[s] for the source, as NetworkX does
            st.order[st.settled++] = v;
        }
        Status settled_edge(Node v, Node w, double d, Slot p, double dw) {
            if (d == dw) tie(v, w, p);
            return {};
        }
        void improve(Node v, Node w, Slot p) {
            st.sigma[w] = 0.0;
            st.preds[w].assign(1, v);
            st.pred_slots[w].assign(1, p);
        }
        void tie(Node v, Node w, Slot p) {
            st.sigma[w] += st.sigma[v];
            st.preds[w].push_back(v);
            st.pred_slots[w].push_back(p);
        }
    };

    void dijkstra_search(const GraphView& g, Node s) {
        for (std::size_t i = 0; i < settled; ++i) {
            const Node v = order[i];
            sigma[v] = 0.0;
            preds[v].clear();
            pred_slots[v].clear();
        }
        settled = 0;
        // Invariant: every sigma 0.0, every pred list empty.
        sigma[s] = 1.0;
        DijkstraPolicy policy{*this};
        (void)dijkstra->run(g, s, policy);  // the policy never fails
        stack = order.data();
    }

    void search(const GraphView& g, Node s) {
        if (g.weights != nullptr) {
            dijkstra_search(g, s);
        } else {
            bfs_search(*g.out, s);
        }
    }

    // Calls f(v, slot) for each predecessor v of w on a shortest path, with
    // the in-row slot (unweighted) or succ slot (weighted) of the edge v -> w.
    // The source has none.
    template <class F>
    void for_each_pred(const Csr& in_rows, bool weighted, Node w, F&& f) const {
        if (weighted) {
            const auto& ps = preds[w];
            const auto& slots = pred_slots[w];
            for (std::size_t i = 0; i < ps.size(); ++i) f(ps[i], slots[i]);
        } else if (const auto& level = bfs->level; level[w] != 0) {
            const std::uint32_t want = level[w] - 1;
            for (Slot q = in_rows.begin(w); q < in_rows.end(w); ++q) {
                const Node v = in_rows.targets[q];
                if (level[v] == want) f(v, q);
            }
        }
    }

    // NetworkX's _accumulate_basic / _accumulate_endpoints. A zero
    // contribution is not recorded: adding +0.0 would not change a total.
    template <class Sink>
    void accumulate_nodes(const Csr& in_rows, bool weighted, bool endpoints, Node s, Sink&& sink) {
        if (endpoints && settled > 1) sink(s, static_cast<double>(settled - 1));
        for (std::size_t i = 0; i < settled; ++i) delta[stack[i]] = 0.0;
        for (std::size_t i = settled; i-- > 0;) {
            if (!weighted) prefetch_row_behind(in_rows, stack, i);
            const Node w = stack[i];
            const double coeff = (1.0 + delta[w]) / sigma[w];
            if (weighted) {
                for_each_pred(in_rows, true, w, [&](Node v, Slot) { delta[v] += sigma[v] * coeff; });
            } else if (w != s) {
                add_to_predecessors(in_rows.row(w), bfs->level, bfs->level[w] - 1, sigma, delta, coeff, bfs->sparse());
            }
            if (w != s) {
                const double c = endpoints ? delta[w] + 1.0 : delta[w];
                if (c != 0.0) sink(w, c);
            }
        }
    }

    // NetworkX's _accumulate_edges.
    template <class Sink>
    void accumulate_edges(const InEdges& in, const std::vector<Slot>& eidx, bool weighted, Sink&& sink) {
        for (std::size_t i = 0; i < settled; ++i) delta[stack[i]] = 0.0;
        for (std::size_t i = settled; i-- > 0;) {
            if (!weighted) prefetch_row_behind(*in.rows, stack, i);
            const Node w = stack[i];
            const double coeff = (1.0 + delta[w]) / sigma[w];
            for_each_pred(*in.rows, weighted, w, [&](Node v, Slot q) {
                const double c = sigma[v] * coeff;
                const Slot p = (weighted || in.succ_slot.empty()) ? q : in.succ_slot[q];
                if (eidx[p] != NO_EDGE) sink(static_cast<std::uint32_t>(eidx[p]), c);
                delta[v] += c;
            });
        }
    }
};

// Stable grouping of one source's contributions by bucket; `next` is the
// piece's reusable cursor array.
void group(const std::vector<Contribution>& flat, const Buckets& buckets, std::vector<std::uint32_t>& next,
           SourceContributions& out) {
    out.bucket_start.assign(buckets.count + 1, 0);
    for (const Contribution& c : flat) ++out.bucket_start[buckets.of(c.entry) + 1];
    for (std::size_t b = 0; b < buckets.count; ++b) out.bucket_start[b + 1] += out.bucket_start[b];
    out.items.resize(flat.size());
    next.assign(out.bucket_start.begin(), out.bucket_start.end() - 1);
    for (const Contribution& c : flat) out.items[next[buckets.of(c.entry)]++] = c;
}

// Runs `accumulate(state, s, sink)` for every source, where sink(entry,
// value) adds one contribution, and adds the contributions into `totals`
// source by source in list order.
//
// Below `record_from` workers (or with a single piece of sources), one
// thread takes the sources in order and adds each contribution straight
// into its total: NetworkX's order, with no record kept. Otherwise sources
// are taken in batches small enough for their recorded contributions to
// stay in cache (and never beyond the memory budget), and each piece of a
// batch keeps its scratch state from batch to batch.
template <class Accumulate>
Status sum_over_sources(const GraphView& g, std::span<const Node> sources, std::size_t max_per_source,
                        std::size_t record_from, std::vector<double>& totals, Accumulate&& accumulate) {
    const std::size_t max_pieces = std::max<std::size_t>(SCRATCH_BUDGET / BcState::bytes(g), 1);
    auto pieces_of = [&](std::size_t count) {
        Pieces p = split(count);
        p.pieces = std::min(p.pieces, max_pieces);
        return p;
    };
    if (pool_size() < record_from || pieces_of(sources.size()).pieces <= 1) {
        return parallel_for(1, [&](std::size_t) {
            BcState state(g.n(), g.weights != nullptr);
            auto sink = [&](std::uint32_t entry, double value) { totals[entry] += value; };
            for (std::size_t i = 0; i < sources.size() && !stop_requested(); ++i) {
                state.search(g, sources[i]);
                accumulate(state, sources[i], sink);
                add_progress(1);
            }
        });
    }
    const Buckets buckets = make_buckets(totals.size());
    const std::size_t per_source =
        sizeof(Contribution) * std::max<std::size_t>(max_per_source, 1) + 4 * (buckets.count + 1);
    const std::size_t most = std::max<std::size_t>(CONTRIBUTION_BUDGET / per_source, 1);
    const std::size_t wanted = std::max(CACHE_BUDGET / per_source, 16 * pool_size());
    const std::size_t batch = std::min({wanted, most, sources.size()});
    std::vector<SourceContributions> recorded(batch);
    std::vector<std::unique_ptr<BcState>> states(pieces_of(batch).pieces);
    for (std::size_t first = 0; first < sources.size(); first += batch) {
        const auto chunk = sources.subspan(first, std::min(batch, sources.size() - first));
        const Pieces pieces = pieces_of(chunk.size());
        Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
            if (!states[piece]) states[piece] = std::make_unique<BcState>(g.n(), g.weights != nullptr);
            BcState& state = *states[piece];
            auto sink = [&](std::uint32_t entry, double value) { state.flat.push_back({entry, value}); };
            for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
                state.search(g, chunk[i]);
                state.flat.clear();
                accumulate(state, chunk[i], sink);
                group(state.flat, buckets, state.cursor, recorded[i]);
                add_progress(1);
            }
        });
        if (!st.ok()) return st;
        st = parallel_for(buckets.count, [&](std::size_t b) {
            for (std::size_t i = 0; i < chunk.size(); ++i) {
                const SourceContributions& sc = recorded[i];
                for (std::uint32_t k = sc.bucket_start[b]; k < sc.bucket_start[b + 1]; ++k) {
                    totals[sc.items[k].entry] += sc.items[k].value;
                }
            }
        });
        if (!st.ok()) return st;
    }
    return {};
}

}  // namespace

std::vector<Slot> edge_ids(const GraphView& g, Slot& edge_count) {
    const Csr& succ = *g.out;
    const Count n = g.n();
    std::vector<Slot> ids(succ.slot_count(), NO_EDGE);
    if (g.directed) {
        for (Slot p = 0; p < ids.size(); ++p) ids[p] = p;
        edge_count = ids.size();
        return ids;
    }
    // For each node v, its slots towards smaller targets sorted by target:
    // the mirrors of the edges that rows u < v report first.
    std::vector<Slot> mirror_start(n + 1, 0);
    std::vector<Slot> mirrors;
    for (Node v = 0; v < n; ++v) {
        mirror_start[v] = mirrors.size();
        for (Slot p = succ.begin(v); p < succ.end(v); ++p) {
            if (succ.targets[p] < v) mirrors.push_back(p);
        }
        std::sort(mirrors.begin() + static_cast<std::ptrdiff_t>(mirror_start[v]), mirrors.end(),
                  [&](Slot a, Slot b) { return succ.targets[a] < succ.targets[b]; });
    }
    mirror_start[n] = mirrors.size();
    std::vector<Slot> cursor(mirror_start.begin(), mirror_start.end() - 1);
    Slot k = 0;
    for (Node u = 0; u < n; ++u) {
        for (Slot p = succ.begin(u); p < succ.end(u); ++p) {
            const Node v = succ.targets[p];
            if (v < u) continue;
            ids[p] = k;
            if (v > u && cursor[v] < mirror_start[v + 1] && succ.targets[mirrors[cursor[v]]] == u) {
                ids[mirrors[cursor[v]++]] = k;
            }
            ++k;
        }
    }
    edge_count = k;
    return ids;
}

Result<std::vector<double>> betweenness(const GraphView& g, bool endpoints, std::span<const Node> sources) {
    std::vector<double> totals(g.n(), 0.0);
    if (sources.empty() || g.n() == 0) return totals;
    const Csr& in_rows = *g.in;
    const bool weighted = g.weights != nullptr;
    Status st = sum_over_sources(g, sources, g.n(), NODE_RECORD_FROM, totals,
                                 [&](BcState& state, Node s, auto& sink) {
                                     state.accumulate_nodes(in_rows, weighted, endpoints, s, sink);
                                 });
    if (!st.ok()) return st.error();
    return totals;
}

namespace {

// The predecessor rows of the edge accumulation: the in-rows, or for an
// unweighted digraph our own stable counting sort, so that each in-row slot
// knows the succ slot (the edge index) it mirrors.
Status edge_in_rows(const GraphView& g, InEdges& in) {
    in.rows = g.out;
    if (g.directed && g.weights == nullptr) {
        auto own = counting_sort_pred(*g.out, in.succ_slot);
        if (!own.ok()) return own.error();
        in.own = std::move(own.value());
        in.rows = &in.own;
    }
    return {};
}

// Rows of the sources' terms (see SourceRows): the sources searched in
// parallel pieces, each piece with its own state, each source writing its
// own row.
template <class Accumulate>
Result<SourceRows> rows_over_sources(const GraphView& g, std::span<const Node> sources, std::size_t entries,
                                     Accumulate&& accumulate) {
    constexpr std::uint32_t NONE = 0xFFFFFFFFu;
    if (sources.size() >= NONE || entries >= NONE) return not_implemented("too many sources or entries for rows");
    SourceRows out;
    out.entries = entries;
    out.rows.assign(sources.size() * entries, 0.0);
    if (sources.empty() || g.n() == 0) return out;
    Pieces pieces = split(sources.size());
    pieces.pieces = std::min(pieces.pieces, std::max<std::size_t>(SCRATCH_BUDGET / BcState::bytes(g), 1));
    std::vector<std::vector<RowExtra>> extras(pieces.pieces);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        BcState state(g.n(), g.weights != nullptr);
        std::vector<std::uint32_t> last(entries, NONE);  // the row that last wrote each entry
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            const auto source = static_cast<std::uint32_t>(i);
            double* row = out.rows.data() + i * entries;
            auto sink = [&](std::uint32_t entry, double value) {
                if (last[entry] == source) {
                    extras[piece].push_back({source, entry, value});
                    return;
                }
                last[entry] = source;
                row[entry] = value;
            };
            state.search(g, sources[i]);
            accumulate(state, sources[i], sink);
            add_progress(1);
        }
    });
    if (!st.ok()) return st.error();
    if (poll_interrupt()) return interrupted();
    for (auto& e : extras) out.extra.insert(out.extra.end(), e.begin(), e.end());
    return out;
}

}  // namespace

Result<std::vector<double>> edge_betweenness(const GraphView& g, std::span<const Node> sources) {
    Slot m = 0;
    const std::vector<Slot> eidx = edge_ids(g, m);
    std::vector<double> totals(m, 0.0);
    if (sources.empty() || m == 0 || g.n() == 0) return totals;
    if (m > 0xFFFFFFFFull) return not_implemented("graph has too many edges");
    const bool weighted = g.weights != nullptr;
    InEdges in{g.out, {}, {}};
    if (Status st = edge_in_rows(g, in); !st.ok()) return st.error();
    Status st = sum_over_sources(g, sources, g.out->slot_count(), EDGE_RECORD_FROM, totals,
                                 [&](BcState& state, Node, auto& sink) {
                                     state.accumulate_edges(in, eidx, weighted, sink);
                                 });
    if (!st.ok()) return st.error();
    return totals;
}

Result<SourceRows> betweenness_rows(const GraphView& g, bool endpoints, std::span<const Node> sources) {
    const Csr& in_rows = *g.in;
    const bool weighted = g.weights != nullptr;
    return rows_over_sources(g, sources, g.n(), [&](BcState& state, Node s, auto& sink) {
        state.accumulate_nodes(in_rows, weighted, endpoints, s, sink);
    });
}

Result<SourceRows> edge_betweenness_rows(const GraphView& g, std::span<const Node> sources) {
    Slot m = 0;
    const std::vector<Slot> eidx = edge_ids(g, m);
    InEdges in{g.out, {}, {}};
    if (Status st = edge_in_rows(g, in); !st.ok()) return st.error();
    const bool weighted = g.weights != nullptr;
    return rows_over_sources(g, m == 0 ? std::span<const Node>{} : sources, m,
                             [&](BcState& state, Node, auto& sink) { state.accumulate_edges(in, eidx, weighted, sink); });
}

void add_rows(std::span<double> totals, const double* rows, std::size_t count, std::span<const RowExtra> extra) {
    const std::size_t entries = totals.size();
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double* row = rows + i * entries;
        for (std::size_t e = 0; e < entries; ++e) totals[e] += row[e];
        for (; next < extra.size() && extra[next].source == i; ++next) totals[extra[next].entry] += extra[next].value;
    }
}


// The divisive loop. NetworkX deletes an edge by deleting its two keys from
// the adjacency dicts, which leaves every other key in place: the rows of
// the cut graph are the starting rows without the cut slots, and its edges
// (G.edges' order, the order the max() of the ranking follows) are the
// starting edges without the cut ones. So the rows are filtered in place and
// every slot keeps the edge index it had in the starting graph.
//
// An edge's betweenness is the sum of the contributions of the sources in
// its component, in source order, starting from 0.0: a cut changes the sums
// of the edges of the component it was made in, and no others. After a cut
// only the sources of that component (both parts, when it split) search
// again, after the totals of its edges are reset.

namespace {

struct CutRows {
    Csr rows;
    std::vector<double> weights;  // per slot; empty: unweighted
    std::vector<Slot> edge;       // edge index of each slot

    // Drops the slots of the edges not `live`, keeping the rows' order.
    void keep(const std::vector<std::uint8_t>& live) {
        const Count n = rows.node_count();
        const bool weighted = !weights.empty();
        Slot out = 0;
        Slot begin = 0;
        for (Node v = 0; v < n; ++v) {
            const Slot end = rows.offsets[v + 1];
            for (Slot p = begin; p < end; ++p) {
                if (edge[p] != NO_EDGE && !live[edge[p]]) continue;
                rows.targets[out] = rows.targets[p];
                edge[out] = edge[p];
                if (weighted) weights[out] = weights[p];
                ++out;
            }
            begin = end;
            rows.offsets[v + 1] = out;
        }
        rows.targets.resize(out);
        edge.resize(out);
        if (weighted) weights.resize(out);
    }

    GraphView view() const {
        return {.out = &rows, .in = &rows, .weights = weights.empty() ? nullptr : &weights, .directed = false};
    }
};

}  // namespace

Result<EdgeCuts> cut_central_edges(const GraphView& g, std::span<const Slot> gone, double scale,
                                   std::size_t target) {
    if (g.directed) return not_implemented("the divisive loop cuts undirected graphs");
    const Count n = g.n();
    Slot m = 0;
    CutRows cur{*g.out, g.weights != nullptr ? *g.weights : std::vector<double>{}, edge_ids(g, m)};
    if (m > 0xFFFFFFFFull) return not_implemented("graph has too many edges");
    std::vector<std::uint8_t> live(m, 1);
    for (Slot e : gone) {
        if (e >= m) return value_error("edge index out of range");
        live[e] = 0;
    }
    std::vector<std::pair<Node, Node>> ends(m);
    for (Node u = 0; u < n; ++u) {
        for (Slot p = cur.rows.begin(u); p < cur.rows.end(u); ++p) {
            if (cur.edge[p] != NO_EDGE) ends[cur.edge[p]] = {u, cur.rows.targets[p]};
        }
    }
    cur.keep(live);
    EdgeCuts out;
    out.parts = weak_components(cur.rows, nullptr);
    std::vector<double> totals(m, 0.0);
    std::vector<Node> sources(n);
    for (Node v = 0; v < n; ++v) sources[v] = v;
    std::vector<std::uint32_t> part_of(n);
    const InEdges in{&cur.rows, {}, {}};
    while (out.parts.size() < target) {
        if (poll_interrupt()) return interrupted();
        for (Node s : sources) {
            for (Slot p = cur.rows.begin(s); p < cur.rows.end(s); ++p) {
                if (cur.edge[p] != NO_EDGE) totals[cur.edge[p]] = 0.0;
            }
        }
        const GraphView view = cur.view();
        const bool weighted = view.weights != nullptr;
        Status st = sum_over_sources(view, sources, cur.rows.slot_count(), EDGE_RECORD_FROM, totals,
                                     [&](BcState& state, Node, auto& sink) {
                                         state.accumulate_edges(in, cur.edge, weighted, sink);
                                     });
        if (!st.ok()) return st.error();
        // max(ranking, key=ranking.get): the first edge of highest scaled value.
        Slot best = NO_EDGE;
        double top = 0.0;
        for (Slot e = 0; e < m; ++e) {
            if (!live[e]) continue;
            const double value = totals[e] * scale;
            if (best == NO_EDGE || value > top) {
                best = e;
                top = value;
            }
        }
        if (best == NO_EDGE) break;
        live[best] = 0;
        cur.keep(live);
        out.removed.push_back(best);
        out.parts = weak_components(cur.rows, nullptr);
        for (std::uint32_t i = 0; i < out.parts.size(); ++i) {
            for (Node v : out.parts[i]) part_of[v] = i;
        }
        const auto [a, b] = ends[best];
        sources.clear();
        for (Node v = 0; v < n; ++v) {
            if (part_of[v] == part_of[a] || part_of[v] == part_of[b]) sources.push_back(v);
        }
    }
    return out;
}


// Closeness and harmonic: one length search per requested node, on the
// worker pool; each node's total is sum() over its distances in settle
// order, as NetworkX adds them.

namespace {

double scaled(double reached, double total, Count n, bool wf_improved) {
    if (!(total > 0.0) || n < 2) return 0.0;
    double value = (reached - 1.0) / total;
    if (wf_improved) value *= (reached - 1.0) / static_cast<double>(n - 1);
    return value;
}

// sum() over one search's distances in settle order: the source's int 0
// first, then the floats (or, over int weights, exact integers).
double distance_total(const DijkstraLengths& found, const ClosenessOptions& options) {
    if (options.int_weights) {
        __int128 total = 0;
        for (double d : found.dist) total += static_cast<__int128>(d);
        return static_cast<double>(total);
    }
    PySum sum(options.compensated_sum);
    for (double d : found.dist) sum.add(d);
    return sum.result();
}

}  // namespace

Result<std::vector<double>> closeness(const GraphView& rows, std::span<const Node> sources,
                                      const ClosenessOptions& options) {
    const Count n = rows.out->node_count();
    std::vector<double> out(sources.size());
    if (rows.weights == nullptr) {
        auto stats = bfs_stats(*rows.out, sources);
        if (!stats.ok()) return stats.error();
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const BfsStats& s = stats.value()[i];
            out[i] = scaled(static_cast<double>(s.reached), static_cast<double>(s.total), n, options.wf_improved);
        }
        return out;
    }
    // A contradiction ends the call: the other workers stop at their next
    // source.
    std::atomic<bool> contradiction{false};
    auto done = map_with_scratch(
        sources.size(), [&] { return DijkstraState(n); },
        [&](DijkstraState& state, std::size_t i) {
            if (contradiction.load(std::memory_order_relaxed)) return false;
            auto found = dijkstra_lengths(state, rows, sources[i], std::nullopt);
            if (!found.ok()) {
                contradiction.store(true, std::memory_order_relaxed);
                return false;
            }
            const double total = distance_total(found.value(), options);
            out[i] = scaled(static_cast<double>(found.value().order.size()), total, n, options.wf_improved);
            add_progress(1);
            return true;
        });
    if (!done.ok()) return done.error();
    if (contradiction.load()) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
    return out;
}

namespace {

// Unweighted harmonic sums over bit-parallel levels: a batch of chunks of 64
// sources is searched in parallel, each chunk recording every node's level
// from each of its sources; then the terms are added in parallel over
// ranges of nodes, each node's in source order. False when a level does
// not fit the record of type Level (a round may have added its terms).
template <class Level>
Result<bool> harmonic_levels(const Csr& rows, std::span<const Node> sources, std::span<const std::uint8_t> in_nbunch,
                             HarmonicSums& out) {
    const Count n = rows.node_count();
    const std::size_t chunks = (sources.size() + BIT_CHUNK - 1) / BIT_CHUNK;
    const std::size_t batch = std::min(chunks, pool_size());
    // levels[j][u * 64 + i]: the level at which source i of the batch's
    // chunk j reaches u (0: not reached, or u is that source).
    std::vector<std::vector<Level>> levels(batch, std::vector<Level>(n * BIT_CHUNK));
    std::vector<std::uint32_t> deepest(batch, 0);
    std::vector<double> reciprocal{0.0};  // reciprocal[d] == 1.0 / d, the division NetworkX makes
    for (std::size_t first = 0; first < chunks; first += batch) {
        const std::size_t count = std::min(batch, chunks - first);
        auto searched = map_with_scratch(
            count, [&] { return BitLevels(n); },
            [&](BitLevels& bits, std::size_t j) {
                const std::size_t begin = (first + j) * BIT_CHUNK;
                const std::size_t len = std::min(BIT_CHUNK, sources.size() - begin);
                std::vector<Level>& at = levels[j];
                std::fill(at.begin(), at.end(), Level{0});
                deepest[j] =
                    bits.run(rows, sources.subspan(begin, len), [&](std::uint32_t level, Node u, std::uint64_t fresh) {
                        for (std::uint64_t rest = fresh; rest != 0; rest &= rest - 1) {
                            at[u * BIT_CHUNK + static_cast<std::size_t>(std::countr_zero(rest))] =
                                static_cast<Level>(level);
                        }
                    });
                add_progress(len);
                return true;
            });
        if (!searched.ok()) return searched.error();
        const std::uint32_t deepest_level = *std::max_element(deepest.begin(), deepest.begin() + count);
        if (deepest_level > std::numeric_limits<Level>::max()) return false;
        for (std::size_t d = reciprocal.size(); d <= deepest_level; ++d) reciprocal.push_back(1.0 / static_cast<double>(d));
        // Each node's terms form one chain of dependent additions, so the
        // nodes are taken GROUP at a time, their chains interleaved. An
        // unreached entry adds reciprocal[0], +0.0, which leaves a sum (never
        // negative) exactly as it was.
        constexpr std::size_t GROUP = 4;
        const std::size_t groups = (n + GROUP - 1) / GROUP;
        const Pieces pieces = split(groups);
        Status added = parallel_for(pieces.pieces, [&](std::size_t p) {
            for (std::size_t g = pieces.begin(p); g < pieces.end(p); ++g) {
                const std::size_t u0 = g * GROUP, width = std::min<std::size_t>(GROUP, n - u0);
                double sum[GROUP] = {};
                Level any[GROUP] = {};
                for (std::size_t k = 0; k < width; ++k) sum[k] = out.sums[u0 + k];
                for (std::size_t j = 0; j < count; ++j) {
                    const std::size_t len = std::min(BIT_CHUNK, sources.size() - (first + j) * BIT_CHUNK);
                    const Level* at = levels[j].data() + u0 * BIT_CHUNK;
                    for (std::size_t i = 0; i < len; ++i) {
                        for (std::size_t k = 0; k < GROUP; ++k) {
                            const Level d = k < width ? at[k * BIT_CHUNK + i] : Level{0};
                            sum[k] = reciprocal[d] + sum[k];
                            any[k] |= d;
                        }
                    }
                }
                for (std::size_t k = 0; k < width; ++k) {
                    const Node u = static_cast<Node>(u0 + k);
                    if (!in_nbunch[u]) continue;
                    out.sums[u] = sum[k];
                    if (any[k] != 0) out.hit[u] = 1;
                }
            }
        });
        if (!added.ok()) return added.error();
    }
    return true;
}

}  // namespace

Result<HarmonicSums> harmonic(const GraphView& rows, std::span<const Node> sources,
                              std::span<const std::uint8_t> in_nbunch) {
    const Count n = rows.out->node_count();
    auto empty = [n] { return HarmonicSums{std::vector<double>(n, 0.0), std::vector<std::uint8_t>(n, 0)}; };
    HarmonicSums out = empty();
    if (rows.weights == nullptr && sources.size() >= BIT_CHUNK / 2) {
        // Levels of a byte (most graphs are that shallow) halve the records
        // the two phases pass through memory; deeper graphs take two bytes.
        // A round may have added its terms before a deeper one is met: each
        // try starts from empty sums.
        auto done = harmonic_levels<std::uint8_t>(*rows.out, sources, in_nbunch, out);
        if (done.ok() && !done.value()) {
            out = empty();
            done = harmonic_levels<std::uint16_t>(*rows.out, sources, in_nbunch, out);
        }
        if (!done.ok()) return done.error();
        if (done.value()) return out;
        out = empty();
    }
    auto add = [&](Node u, double d) {
        if (d != 0.0 && in_nbunch[u]) {
            out.sums[u] = 1.0 / d + out.sums[u];
            out.hit[u] = 1;
        }
    };
    // Searches run in parallel a batch at a time; the terms are added on
    // this thread in source order, so no sum depends on the scheduling.
    const std::size_t batch = 4 * pool_size();
    for (std::size_t begin = 0; begin < sources.size(); begin += batch) {
        const auto part = sources.subspan(begin, std::min(batch, sources.size() - begin));
        if (rows.weights == nullptr) {
            auto found = bfs_tree_many(*rows.out, part, std::numeric_limits<double>::infinity());
            if (!found.ok()) return found.error();
            for (const BfsTree& f : found.value()) {
                for (std::size_t k = 0; k < f.order.size(); ++k) add(f.order[k], static_cast<double>(f.levels[k]));
            }
            continue;
        }
        auto found = dijkstra_many(rows, part, std::nullopt);
        if (!found.ok()) return found.error();
        for (const auto& f : found.value()) {
            if (!f) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
            for (std::size_t k = 0; k < f->order.size(); ++k) add(f->order[k], f->dist[k]);
        }
    }
    return out;
}

Result<SourceRows> harmonic_rows(const GraphView& rows, std::span<const Node> sources,
                                 std::span<const std::uint8_t> in_nbunch) {
    const Count n = rows.out->node_count();
    SourceRows out;
    out.entries = n;
    out.rows.assign(sources.size() * n, 0.0);
    out.hit.assign(n, 0);
    if (rows.weights == nullptr) {
        // Bit-parallel levels, 64 sources per search; chunks write rows of
        // their own. A term 1 / level is never zero, so the rows tell the hits.
        const std::size_t chunks = (sources.size() + BIT_CHUNK - 1) / BIT_CHUNK;
        auto searched = map_with_scratch(
            chunks, [&] { return BitLevels(n); },
            [&](BitLevels& bits, std::size_t j) {
                const std::size_t begin = j * BIT_CHUNK;
                const std::size_t len = std::min(BIT_CHUNK, sources.size() - begin);
                bits.run(*rows.out, sources.subspan(begin, len), [&](std::uint32_t level, Node u, std::uint64_t fresh) {
                    if (!in_nbunch[u]) return;
                    const double term = 1.0 / static_cast<double>(level);
                    for (std::uint64_t rest = fresh; rest != 0; rest &= rest - 1) {
                        out.rows[(begin + static_cast<std::size_t>(std::countr_zero(rest))) * n + u] = term;
                    }
                });
                add_progress(len);
                return true;
            });
        if (!searched.ok()) return searched.error();
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const double* row = out.rows.data() + i * n;
            for (Node u = 0; u < n; ++u) out.hit[u] |= static_cast<std::uint8_t>(row[u] != 0.0);
        }
        return out;
    }
    // Dijkstra searches a batch at a time, in parallel; an infinite distance
    // adds 1 / d == 0.0 but is a hit all the same.
    const std::size_t batch = 4 * pool_size();
    for (std::size_t begin = 0; begin < sources.size(); begin += batch) {
        const auto part = sources.subspan(begin, std::min(batch, sources.size() - begin));
        auto found = dijkstra_many(rows, part, std::nullopt);
        if (!found.ok()) return found.error();
        for (std::size_t j = 0; j < part.size(); ++j) {
            const auto& f = found.value()[j];
            if (!f) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
            double* row = out.rows.data() + (begin + j) * n;
            for (std::size_t k = 0; k < f->order.size(); ++k) {
                const Node u = f->order[k];
                const double d = f->dist[k];
                if (d != 0.0 && in_nbunch[u]) {
                    row[u] = 1.0 / d;
                    out.hit[u] = 1;
                }
            }
        }
    }
    return out;
}

// Eigenvector and Katz: the power iterations of NetworkX's dict-based
// implementations, nodes in the order of its vector dict.

void Iteration::prepare() {
    if (kinds != nullptr) return;
    // A counting sort of the out-slots by target, sources taken in order.
    const Count n = succ.node_count();
    in.offsets.assign(n + 1, 0);
    for (Node u : order) {
        for (Node t : succ.row(u)) ++in.offsets[t + 1];
    }
    for (Count t = 0; t < n; ++t) in.offsets[t + 1] += in.offsets[t];
    std::vector<Slot> next(in.offsets.begin(), in.offsets.end() - 1);
    in.targets.resize(in.offsets[n]);
    if (weights) in_weights.resize(in.offsets[n]);
    for (Node u : order) {
        for (Slot s = succ.begin(u); s < succ.end(u); ++s) {
            const Slot p = next[succ.targets[s]]++;
            in.targets[p] = u;
            if (weights) in_weights[p] = (*weights)[s];
        }
    }
}

namespace {

// Gathering pays for the pool's hand-off from this many terms per step on.
constexpr Slot PARALLEL_TERMS = Slot{1} << 16;

}  // namespace

Status Iteration::spread(const std::vector<double>& x_last, std::vector<double>& x, const NodeKinds& numpy_last,
                         NodeKinds& numpy) const {
    if (!in.offsets.empty()) {
        auto rows = [&](Node lo, Node hi, auto term) {
            // Two rows at a time: each row's sum is a chain of dependent
            // additions, and two chains in flight hide each other's latency.
            Node t = lo;
            for (; t + 1 < hi; t += 2) {
                double a = x[t], b = x[t + 1];
                Slot p = in.begin(t), q = in.end(t);
                const Slot pe = q, qe = in.end(t + 1);
                for (; p < pe && q < qe; ++p, ++q) {
                    a += term(p);
                    b += term(q);
                }
                for (; p < pe; ++p) a += term(p);
                for (; q < qe; ++q) b += term(q);
                x[t] = a;
                x[t + 1] = b;
            }
            if (t < hi) {
                double a = x[t];
                for (Slot p = in.begin(t); p < in.end(t); ++p) a += term(p);
                x[t] = a;
            }
        };
        auto gather = [&](std::size_t from, std::size_t to) {
            const Node lo = static_cast<Node>(from), hi = static_cast<Node>(to);
            if (weights) {
                rows(lo, hi, [&](Slot p) { return in_weights[p] * x_last[in.targets[p]]; });
            } else {
                rows(lo, hi, [&](Slot p) { return x_last[in.targets[p]]; });
            }
        };
        const Count n = in.node_count();
        if (in.slot_count() < PARALLEL_TERMS || pool_size() == 1) {
            gather(0, n);
            return {};
        }
        const Pieces pieces = split(n);
        return parallel_for(pieces.pieces, [&](std::size_t p) { gather(pieces.begin(p), pieces.end(p)); });
    }
    for (Node u : order) {
        const double from = x_last[u];
        const Slot b = succ.begin(u), e = succ.end(u);
        if (weights) {
            for (Slot s = b; s < e; ++s) x[succ.targets[s]] += (*weights)[s] * from;
        } else {
            for (Slot s = b; s < e; ++s) x[succ.targets[s]] += from;
        }
        if (kinds != nullptr) {
            for (Slot s = b; s < e; ++s) {
                const bool numpy_weight = (kinds->kind(s) & NUMPY_BIT) != 0;
                if (numpy_last[u] != 0 || numpy_weight) numpy[succ.targets[s]] = 1;
            }
        }
    }
    return {};
}

double Iteration::error(const std::vector<double>& x, const std::vector<double>& x_last, const NodeKinds& numpy,
                        const NodeKinds& numpy_last) const {
    if (kinds == nullptr) {
        PySum sum(compensated_sum);
        for (Node u : order) sum.add(std::fabs(x[u] - x_last[u]));
        return sum.result();
    }
    KindSum sum(compensated_sum);
    for (Node u : order) sum.add(std::fabs(x[u] - x_last[u]), (numpy[u] | numpy_last[u]) ? NP_FLOAT : PY_FLOAT);
    return sum.value();
}

Result<std::optional<std::vector<double>>> katz(const Iteration& it, std::optional<std::vector<double>> x0,
                                                double alpha, double beta, std::uint64_t max_iter, double tol,
                                                NodeKinds& numpy) {
    const std::size_t n = it.succ.node_count();
    std::vector<double> x = x0 ? std::move(*x0) : std::vector<double>(n, 0.0);
    std::vector<double> x_last(n);
    // NetworkX starts every step from the int 0: a node is numpy when a term
    // that reached it in this step was.
    numpy.assign(it.kinds != nullptr ? n : 0, 0);
    NodeKinds numpy_last(numpy.size(), 0);
    const double threshold = it.threshold(tol);
    for (std::uint64_t iter = 0; iter < max_iter; ++iter) {
        if (poll_interrupt()) return interrupted();
        std::swap(x, x_last);
        std::swap(numpy, numpy_last);
        std::fill(x.begin(), x.end(), 0.0);
        std::fill(numpy.begin(), numpy.end(), 0);
        if (Status st = it.spread(x_last, x, numpy_last, numpy); !st.ok()) return st.error();
        for (Node u : it.order) x[u] = alpha * x[u] + beta;
        add_progress(1);
        if (it.error(x, x_last, numpy, numpy_last) < threshold) return std::optional<std::vector<double>>{std::move(x)};
    }
    return std::optional<std::vector<double>>{};
}

}  // namespace fennel
