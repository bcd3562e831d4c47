// The process-wide worker pool. Created on first use and never shut down.
// A call (everything one Python thread runs while detached) is worked on by
// its own thread and at most thread_count() - 1 workers; the count is read
// from FENNEL_NUM_THREADS, RAYON_NUM_THREADS or RAYON_RS_NUM_CPUS or is the
// number of online processors, and set_thread_count() changes it for the
// calls that begin afterwards. Threads are started when a call first needs
// them and kept. Workers never call into the interpreter: only the
// conversion's pieces read Python objects on them, while the thread that
// waits for them holds the GIL and runs no Python code.
//
// Callers write each item's result at the item's own index and combine
// partial results themselves in a fixed order, so no result ever depends on
// the thread count or on timing. A submission from inside a worker runs on
// the same pool: the submitting worker helps with its own job, so nesting
// never deadlocks.
#pragma once

#include "lib/result.hpp"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

// Per-thread state of the pool and of the binding layer lives in the static
// TLS block, set up when a thread starts (or, for threads already running,
// when the module is loaded). The default model for a loaded module
// allocates each thread's block on its first access instead, and glibc ends
// the process when that allocation fails, as it can under a memory limit;
// here a thread the system cannot provide for is refused at creation, which
// the pool survives.
#define FENNEL_THREAD_LOCAL thread_local __attribute__((tls_model("initial-exec")))

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

// Whether the calling thread has an interrupt check installed: it runs a
// call, whose waits may reattach it to the interpreter.
bool interrupt_check_installed();

// Inside a pool task: whether its job was interrupted, so that a task
// working through many items can stop early (its results are discarded).
bool stop_requested();

// For a long loop on the thread that installed an interrupt check (outside
// any pool job): asks the check at most a few times a second and answers
// true once the user asked to stop. Without a check it is always false.
bool poll_interrupt();

// The number of threads that work on a call, its own included, as set for
// calls that begin from now on (at least 1).
std::size_t thread_count();

// Sets it (0: one per online processor) for the calls that begin afterwards;
// a call in progress keeps the count it began with. Raising it starts the
// missing workers when a call first needs them; when the system refuses
// threads the pool makes do with those it got, and with none at all every
// job runs on the thread that submits it.
void set_thread_count(std::size_t threads);

// The thread count of the current call (fixed while it runs, so that
// kernels may size pieces and batches by it more than once); outside a
// call, thread_count(). Never 0.
std::size_t pool_size();

// Progress of the current call, for a display: kernels add the units they
// finish (searches, iterations) from any thread; they land on the counter
// installed on the thread that began the call (none: they are dropped).
void add_progress(std::size_t units);

// Installs `counter` for the calling thread and the jobs it submits
// (nullptr: none); returns the one it replaces.
std::atomic<std::size_t>* set_progress_counter(std::atomic<std::size_t>* counter);

// Runs task(i) once for every i in [0, count) on the calling thread and up
// to pool_size() - 1 workers, and waits. A task that throws is a defect: the
// job still completes, the pool stays usable, and the error comes back as an
// internal error (MemoryError for an allocation failure). An interrupted job
// skips the items not yet started.
Status parallel_for(std::size_t count, const std::function<void(std::size_t)>& task);

// A producer run beside the calling thread, for results whose first items
// can be handed on while the rest is still being found. The producer runs
// on a worker and publishes how many leading items of its output are final;
// the calling thread takes them as they come. With one thread for the call,
// no worker to be had, or a worker that has not begun it by the time the
// caller first waits, the producer runs on the calling thread inside that
// wait, and everything is ready when it returns. Waits and finish() are
// made detached from the interpreter; they ask the thread's interrupt
// check, and an interrupted call stops the producer.
class Beside {
public:
    // Queues produce() for a worker when the call has more than one thread.
    explicit Beside(std::function<void(Beside&)> produce);
    ~Beside();  // stops the producer if it still runs, and waits for it
    Beside(const Beside&) = delete;
    Beside& operator=(const Beside&) = delete;

    // Producer: items [0, count) are final.
    void publish(std::size_t count);

    // Consumer: the items final now, and whether the producer has returned
    // (then ready() is its last count).
    std::size_t ready() const { return ready_.load(std::memory_order_acquire); }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Waits until at least `want` items are final or the producer has
    // returned, or the user asked to stop; returns ready().
    std::size_t wait(std::size_t want);
    // Tells the producer to stop at its next stop_requested().
    void cancel();
    // Whether it was told to, or the user asked to stop.
    bool cancelled() const;
    // Waits for the producer: its failure, or Interrupted once cancelled or
    // interrupted.
    Status finish();

private:
    struct Shared;
    std::function<void(std::size_t)> task_;
    std::shared_ptr<Shared> shared_;
    std::atomic<std::size_t> ready_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> waiting_{false};
    bool joined_ = false;
};

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
