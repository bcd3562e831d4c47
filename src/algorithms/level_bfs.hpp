// One breadth-first level expanded by every thread of the call, with the
// order a serial search gives.
//
// NetworkX's breadth-first searches (_single_shortest_path_length,
// _plain_bfs, generic_bfs_edges) list a level's nodes in the order the
// previous level discovers them: its nodes in order, each row in slot order,
// and a node reached by several of them belongs to the first. Here the
// previous level is cut into contiguous pieces, pieces in order of their
// position. Each piece scans its rows as the serial search would and claims
// every unreached node it meets by lowering the node's claim to its own piece
// number (an atomic minimum), remembering the nodes it lowered in its own
// list in the order it met them. Once every piece is done, a node's claim is
// the first piece that reaches it, and within that piece the list holds it at
// its first meeting with its first discoverer; keeping in each list only the
// nodes whose claim is that piece and concatenating the lists in piece order
// is the serial level, node for node. The result never depends on the number
// of pieces or threads, nor on timing.
//
// A claim is written only for nodes that become reached in the same level,
// and is read only while a node is unreached, so claims are never reset.
// Small levels are expanded serially: below parallel_frontier() nodes the
// barriers cost more than the level.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/pool.hpp"

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace fennel {

// The frontier size from which a level is expanded on the pool (set lower
// by tests so that small graphs take the parallel path).
std::size_t parallel_frontier();
// Sets it; returns the previous value.
std::size_t set_parallel_frontier(std::size_t nodes);

// The node count from which a search runs beside the thread that turns its
// result into Python objects (Beside), and how many entries it publishes at
// a time: an eighth of that count, at most 4096 (both set lower by tests).
std::size_t beside_nodes();
std::size_t beside_step();
// Sets the node count (0: the default); returns the previous value.
std::size_t set_beside_nodes(std::size_t nodes);

class LevelExpander {
public:
    static constexpr std::uint32_t UNCLAIMED = std::numeric_limits<std::uint32_t>::max();

    explicit LevelExpander(Count n) : n_(n) {}

    // Whether a level of `size` nodes is expanded in parallel by `threads`
    // threads. Two threads gain nothing over the serial loop (its rows are
    // fetched ahead, and the claims and barriers cost what the second
    // thread saves), so a level goes to the pool from three on.
    static bool parallel(std::size_t size, std::size_t threads = pool_size()) {
        return threads >= 3 && size >= parallel_frontier();
    }

    // Expands queue[begin, end) over `out` rows (then `back` rows when given):
    // every w with is_new(w) is appended from queue[end] on in the serial
    // search's order, and take(at, w, v) is called once for it with `at` its
    // queue position and v its first discoverer, on the thread that places it. is_new must not change while
    // the level runs (take is called only once every row is scanned). Returns
    // the new end of the queue.
    template <class IsNew, class Take>
    Result<std::size_t> expand(const Csr& out, const Csr* back, Node* queue, std::size_t begin, std::size_t end,
                               IsNew&& is_new, Take&& take) {
        if (!claim_) {
            claim_ = std::make_unique<std::atomic<std::uint32_t>[]>(n_);
            for (Count i = 0; i < n_; ++i) claim_[i].store(UNCLAIMED, std::memory_order_relaxed);
        }
        const Pieces pieces = split(end - begin);
        if (found_.size() < pieces.pieces) found_.resize(pieces.pieces);
        std::atomic<std::uint32_t>* claim = claim_.get();

        // Every piece claims what it reaches, in its own scanning order.
        Status st = parallel_for(pieces.pieces, [&](std::size_t p) {
            auto& found = found_[p];
            found.clear();
            const auto me = static_cast<std::uint32_t>(p);
            const std::size_t last = begin + pieces.end(p);
            for (std::size_t i = begin + pieces.begin(p); i < last; ++i) {
                prefetch_rows_ahead(out, back, queue, i, last);
                const Node v = queue[i];
                for_each_neighbour(out, back, v, [&](Node w) {
                    if (!is_new(w)) return;
                    std::uint32_t held = claim[w].load(std::memory_order_relaxed);
                    while (held > me) {
                        if (claim[w].compare_exchange_weak(held, me, std::memory_order_relaxed)) {
                            found.emplace_back(w, v);
                            return;
                        }
                    }
                });
            }
        });
        if (!st.ok()) return st.error();

        // Each piece keeps the nodes it holds the first claim on.
        st = parallel_for(pieces.pieces, [&](std::size_t p) {
            auto& found = found_[p];
            const auto me = static_cast<std::uint32_t>(p);
            std::size_t kept = 0;
            for (const auto& f : found) {
                if (claim[f.first].load(std::memory_order_relaxed) == me) found[kept++] = f;
            }
            found.resize(kept);
        });
        if (!st.ok()) return st.error();

        // The pieces' lists in piece order.
        std::vector<std::size_t> at(pieces.pieces + 1, end);
        for (std::size_t p = 0; p < pieces.pieces; ++p) at[p + 1] = at[p] + found_[p].size();
        st = parallel_for(pieces.pieces, [&](std::size_t p) {
            std::size_t k = at[p];
            for (const auto& [w, v] : found_[p]) {
                queue[k] = w;
                take(k++, w, v);
            }
        });
        if (!st.ok()) return st.error();
        return at[pieces.pieces];
    }

private:
    Count n_;
    std::unique_ptr<std::atomic<std::uint32_t>[]> claim_;  // made on the first parallel level
    std::vector<std::vector<std::pair<Node, Node>>> found_;
};

}  // namespace fennel
