// The process-wide worker pool. Created on first use and never shut down; its
// size is read once from RAYON_NUM_THREADS / RAYON_RS_NUM_CPUS or the number
// of online processors. Workers never touch Python objects.
//
// Callers write each item's result at the item's own index and combine
// partial results themselves in a fixed order, so no result ever depends on
// the thread count or on timing. A submission from inside a worker runs on
// the same pool: the submitting worker helps with its own job, so nesting
// never deadlocks.
#pragma once

#include "lib/error.hpp"

#include <cstddef>
#include <functional>
#include <type_traits>
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

// For a long loop on the thread that installed an interrupt check (outside
// any pool job): asks the check at most a few times a second and answers
// true once the user asked to stop. Without a check it is always false.
bool poll_interrupt();

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

// Ordered map with per-piece scratch: result i is item(scratch, i) for every
// i in [0, count). Each piece makes one scratch with make_scratch() and runs
// its items in order with it, checking stop_requested() between items. A
// result lands at its own index, so none depends on the thread count.
template <class MakeScratch, class Item>
auto map_with_scratch(std::size_t count, MakeScratch&& make_scratch, Item&& item)
    -> Result<std::vector<std::invoke_result_t<Item&, std::invoke_result_t<MakeScratch&>&, std::size_t>>> {
    using Scratch = std::invoke_result_t<MakeScratch&>;
    std::vector<std::invoke_result_t<Item&, Scratch&, std::size_t>> out(count);
    const Pieces pieces = split(count);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        Scratch scratch = make_scratch();
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            out[i] = item(scratch, i);
        }
    });
    if (!st.ok()) return st.error();
    return out;
}

}  // namespace fennel
