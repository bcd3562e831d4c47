// The process-wide worker pool. Created on first use and never shut down; its
// size is read once from RAYON_NUM_THREADS / RAYON_RS_NUM_CPUS or the number
// of online processors. Workers never touch Python objects.
//
// Every operation writes each item's result at the item's own index, and
// reductions are combined by the caller in a fixed order, so no result ever
// depends on the thread count or on timing. A submission from inside a worker
// runs on the same pool: the submitting worker helps with its own job, so
// nesting never deadlocks.
#pragma once

#include "lib/error.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace fennel {

// How the thread that waits for a job learns that the user asked to stop
// (Ctrl-C). The binding layer installs one on the calling thread while it is
// detached from the interpreter; a waiting thread asks it a few times a
// second, and once it answers true the job's remaining items are skipped and
// the operation fails with ErrorKind::Interrupted.
class InterruptCheck {
public:
    virtual bool interrupted() = 0;

protected:
    ~InterruptCheck() = default;
};

// Installs `check` for the calling thread; returns the one it replaces.
InterruptCheck* set_interrupt_check(InterruptCheck* check);

// Inside a pool task: whether its job was interrupted, so that a task
// working through many items can stop early (its results are discarded).
bool stop_requested();

// Size the pool would have with the current environment.
std::size_t configured_pool_size();
// Number of worker threads running (creating the pool if needed). When the
// system refuses threads the pool makes do with those it got; with none at
// all, jobs run on the submitting thread. Never 0: counts that thread then.
std::size_t pool_size();

// Runs task(i) once for every i in [0, count) on the pool and waits. A task
// that throws is a defect: the job still completes, the pool stays usable,
// and the error comes back as an internal error (MemoryError for an
// allocation failure). An interrupted job skips the items not yet started.
Status parallel_for(std::size_t count, const std::function<void(std::size_t)>& task);

// Contiguous pieces [begin, end) of a list of `count` items: a few per
// worker, so that per-piece scratch is allocated rarely.
struct Pieces {
    std::size_t count;
    std::size_t pieces;
    std::size_t begin(std::size_t p) const { return count * p / pieces; }
    std::size_t end(std::size_t p) const { return count * (p + 1) / pieces; }
};
Pieces split(std::size_t count);

// One result per item, in list order.
template <class R, class Item, class F>
Result<std::vector<R>> ordered_map(std::span<const Item> items, F&& f) {
    std::vector<R> out(items.size());
    Pieces pieces = split(items.size());
    Status st = parallel_for(pieces.pieces, [&](std::size_t p) {
        for (std::size_t i = pieces.begin(p); i < pieces.end(p) && !stop_requested(); ++i) out[i] = f(items[i]);
    });
    if (!st.ok()) return st.error();
    return out;
}

// One result per item, in list order; each sequential piece creates its
// scratch with `init()` and reuses it for all of its items.
template <class R, class Item, class Init, class F>
Result<std::vector<R>> ordered_map_with_scratch(std::span<const Item> items, Init&& init, F&& f) {
    std::vector<R> out(items.size());
    Pieces pieces = split(items.size());
    Status st = parallel_for(pieces.pieces, [&](std::size_t p) {
        auto scratch = init();
        for (std::size_t i = pieces.begin(p); i < pieces.end(p) && !stop_requested(); ++i) {
            out[i] = f(scratch, items[i]);
        }
    });
    if (!st.ok()) return st.error();
    return out;
}

// Like ordered_map_with_scratch, but `f` returns Result<R>; pieces stop
// starting items once any item failed, and one failure is returned.
template <class R, class Item, class Init, class F>
Result<std::vector<R>> fallible_map(std::span<const Item> items, Init&& init, F&& f) {
    std::vector<R> out(items.size());
    Pieces pieces = split(items.size());
    std::vector<std::optional<Error>> failures(pieces.pieces);
    std::atomic<bool> stop{false};
    Status st = parallel_for(pieces.pieces, [&](std::size_t p) {
        auto scratch = init();
        for (std::size_t i = pieces.begin(p); i < pieces.end(p); ++i) {
            if (stop.load(std::memory_order_relaxed) || stop_requested()) return;
            Result<R> r = f(scratch, items[i]);
            if (!r.ok()) {
                failures[p] = std::move(r.error());
                stop.store(true, std::memory_order_relaxed);
                return;
            }
            out[i] = std::move(r.value());
        }
    });
    if (!st.ok()) return st.error();
    for (auto& failure : failures) {
        if (failure) return std::move(*failure);
    }
    return out;
}

// Consecutive chunks of `chunk` items (the last shorter), each processed by
// f(span of its items); one result per chunk, in chunk order.
template <class R, class Item, class F>
Result<std::vector<R>> chunked_map(std::span<const Item> items, std::size_t chunk, F&& f) {
    if (chunk == 0) return internal_error("chunk size of zero");
    const std::size_t chunks = (items.size() + chunk - 1) / chunk;
    std::vector<R> out(chunks);
    Status st = parallel_for(chunks, [&](std::size_t c) {
        std::size_t begin = c * chunk;
        std::size_t len = std::min(chunk, items.size() - begin);
        out[c] = f(items.subspan(begin, len));
    });
    if (!st.ok()) return st.error();
    return out;
}

// out[i] = f(i) for every index; each element depends on its index alone.
template <class T, class F>
Status indexed_fill(std::span<T> out, F&& f) {
    Pieces pieces = split(out.size());
    return parallel_for(pieces.pieces, [&](std::size_t p) {
        for (std::size_t i = pieces.begin(p); i < pieces.end(p) && !stop_requested(); ++i) out[i] = f(i);
    });
}

}  // namespace fennel
