// Totals summed over single-source searches in NetworkX's order, on the
// worker pool.
//
// NetworkX's per-source centralities (subset betweenness, load) add each
// source's terms into running totals one source after another:
// total[e] += term. A float sum depends on its order, so every total here
// receives its terms in source order whatever the thread count: the sources
// of a batch search in parallel, each writing its terms into its own
// SourceTerms, and the batch is then added source by source, in parallel
// over disjoint ranges of entries.
//
// An entry takes at most one term per source in `dense`; a later term of the
// same entry in the same source (an undirected zero-weight edge reached from
// both ends) goes to `extra`, after it in NetworkX's order. Entries without
// a term add +0.0, which leaves any total that is not -0.0 as it is: callers
// only add terms >= +0.0 to totals starting at +0.0.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/pool.hpp"
#include "lib/result.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace fennel {

struct SourceTerms {
    std::vector<double> dense;          // one term per entry, 0.0 where none
    std::vector<std::uint8_t> seen;     // entries given a term by add()
    std::vector<std::uint32_t> touched;  // those entries, to reset
    std::vector<std::pair<std::uint32_t, double>> extra;  // second and later terms, in order

    explicit SourceTerms(std::size_t entries) : dense(entries, 0.0), seen(entries, 0) {}

    void add(std::uint32_t entry, double value) {
        if (seen[entry]) {
            extra.emplace_back(entry, value);
            return;
        }
        seen[entry] = 1;
        dense[entry] = value;
        touched.push_back(entry);
    }

    // Back to no terms (producers that write every dense entry themselves
    // leave nothing to reset there).
    void clear() {
        for (std::uint32_t e : touched) {
            dense[e] = 0.0;
            seen[e] = 0;
        }
        touched.clear();
        extra.clear();
    }
};

namespace detail {
// Bytes of terms a batch may hold at once; a batch has at least one source
// per thread.
inline constexpr std::size_t TERMS_BUDGET = std::size_t{1} << 26;
}  // namespace detail

// For each source i in [0, sources): produce(scratch, i, terms) writes the
// terms of source i; they are added into `totals` in source order. One
// scratch (make_scratch()) per piece of a batch. Stops between sources when
// the call is interrupted.
template <class MakeScratch, class Produce>
Status ordered_source_sums(std::size_t sources, std::vector<double>& totals, MakeScratch&& make_scratch,
                           Produce&& produce) {
    const std::size_t entries = totals.size();
    if (sources == 0 || entries == 0) return {};
    const std::size_t threads = pool_size();
    const std::size_t per_source = entries * (sizeof(double) + 1) + 64;
    const std::size_t fits = std::max<std::size_t>(detail::TERMS_BUDGET / per_source, 1);
    const std::size_t batch = std::min(sources, std::max(threads, std::min(fits, 16 * threads)));
    std::vector<SourceTerms> terms;
    terms.reserve(batch);
    for (std::size_t i = 0; i < batch; ++i) terms.emplace_back(entries);
    const Pieces ranges = split(entries);
    for (std::size_t first = 0; first < sources; first += batch) {
        const std::size_t count = std::min(batch, sources - first);
        const Pieces pieces = split(count);
        Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
            auto scratch = make_scratch();
            for (std::size_t k = pieces.begin(piece); k < pieces.end(piece) && !stop_requested(); ++k) {
                terms[k].clear();
                produce(scratch, first + k, terms[k]);
                add_progress(1);
            }
        });
        if (!st.ok()) return st;
        st = parallel_for(ranges.pieces, [&](std::size_t range) {
            const std::size_t lo = ranges.begin(range), hi = ranges.end(range);
            for (std::size_t k = 0; k < count; ++k) {
                const SourceTerms& t = terms[k];
                for (std::size_t e = lo; e < hi; ++e) totals[e] += t.dense[e];
                for (const auto& [e, value] : t.extra) {
                    if (e >= lo && e < hi) totals[e] += value;
                }
            }
        });
        if (!st.ok()) return st;
        if (poll_interrupt()) return interrupted();
    }
    return {};
}

}  // namespace fennel
