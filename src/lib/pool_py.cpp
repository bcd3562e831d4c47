// Bindings of the pool: set_num_threads, num_threads, the progress hook and
// the probe tests use to see the threads a job really runs on.
#include "lib/pool_py.hpp"

#include "algorithms/level_bfs.hpp"

#include "lib/entry.hpp"
#include "lib/pool.hpp"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace fennel::py {

namespace {

// The largest thread count accepted, as for the environment variables.
constexpr std::uint64_t MAX_THREADS = 1u << 20;

// A Python thread's progress callback and the counter the pool adds to.
struct ProgressHook {
    PyRef callback;  // cleared once it raised
    std::atomic<std::size_t> done{0};
    std::size_t reported = 0;
    std::chrono::steady_clock::time_point next_report;
};

// Touched only by its own thread, attached (the counter excepted).
FENNEL_THREAD_LOCAL ProgressHook* t_hook = nullptr;

constexpr auto REPORT_INTERVAL = std::chrono::milliseconds(100);

PyObject* set_num_threads(std::uint64_t n) {
    if (n > MAX_THREADS) {
        PyErr_Format(PyExc_ValueError, "set_num_threads() argument 'n' must be at most %llu",
                     static_cast<unsigned long long>(MAX_THREADS));
        return nullptr;
    }
    set_thread_count(static_cast<std::size_t>(n));
    Py_RETURN_NONE;
}

PyObject* parallel_frontier_py(std::uint64_t nodes) {
    return PyLong_FromSize_t(set_parallel_frontier(static_cast<std::size_t>(nodes)));
}

PyObject* beside_nodes_py(std::uint64_t nodes) {
    return PyLong_FromSize_t(set_beside_nodes(static_cast<std::size_t>(nodes)));
}

PyObject* num_threads() { return PyLong_FromSize_t(thread_count()); }

PyObject* progress_hook(PyObject* callback) {
    if (callback != Py_None && !PyCallable_Check(callback)) {
        PyErr_SetString(PyExc_TypeError, "_progress_hook() argument 'callback' must be callable or None");
        return nullptr;
    }
    std::size_t done = 0;
    if (std::unique_ptr<ProgressHook> old{std::exchange(t_hook, nullptr)}) {
        set_progress_counter(nullptr);
        done = old->done.load(std::memory_order_relaxed);
    }
    if (callback != Py_None) {
        auto hook = std::make_unique<ProgressHook>();
        hook->callback = PyRef::new_ref(callback);
        hook->next_report = std::chrono::steady_clock::now() + REPORT_INTERVAL;
        set_progress_counter(&hook->done);
        t_hook = hook.release();
    }
    return PyLong_FromSize_t(done);
}

// Runs `items` items on the pool; each records its thread, then waits until
// `wait_for` distinct threads have recorded theirs or `timeout` seconds have
// passed since the start, and counts one unit of progress. Returns the
// number of distinct threads.
PyObject* pool_probe(std::uint64_t items, std::uint64_t wait_for, double timeout) {
    std::mutex m;
    std::condition_variable cv;
    std::set<std::thread::id> seen;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(timeout));
    return detached(
        [&] {
            return parallel_for(static_cast<std::size_t>(items), [&](std::size_t) {
                std::unique_lock lock(m);
                seen.insert(std::this_thread::get_id());
                cv.notify_all();
                cv.wait_until(lock, deadline, [&] { return seen.size() >= wait_for; });
                add_progress(1);
            });
        },
        [&] { return PyLong_FromSize_t(seen.size()); });
}

constexpr auto SET_NUM_THREADS = function<set_num_threads>(
    "set_num_threads",
    "Sets the number of threads that work on each call, the calling thread included (0: one per online "
    "processor), from the next call on.",
    arg<std::uint64_t>("n"));
constexpr auto NUM_THREADS =
    function<num_threads>("num_threads", "The number of threads that work on each call, the calling one included.");
constexpr auto PROGRESS_HOOK = function<progress_hook>(
    "_progress_hook",
    "Installs `callback` (None: none) for the calling thread: while a call waits for its workers, it is called a "
    "few times a second with the units of work finished since. Returns that count for the hook it replaces.",
    arg<PyObject*>("callback"));
constexpr auto POOL_PROBE = function<pool_probe>(
    "_pool_probe",
    "Runs `items` items on the pool, each waiting until `wait_for` distinct threads ran one or `timeout` seconds "
    "passed, then counting one unit of progress; returns the number of distinct threads (exposed for tests).",
    arg<std::uint64_t>("items"), arg<std::uint64_t>("wait_for"), arg<double>("timeout"));

constexpr auto PARALLEL_FRONTIER = function<parallel_frontier_py>(
    "_parallel_frontier",
    "Sets the frontier size from which a breadth-first level is expanded on the pool (0: the default); returns "
    "the previous size (exposed for tests).",
    arg<std::uint64_t>("nodes"));
constexpr auto BESIDE_NODES = function<beside_nodes_py>(
    "_beside_nodes",
    "Sets the node count from which a search runs beside the thread that makes its Python result (0: the "
    "default); returns the previous count (exposed for tests).",
    arg<std::uint64_t>("nodes"));

}  // namespace

bool report_progress() {
    ProgressHook* hook = t_hook;
    if (hook == nullptr || !hook->callback) return true;
    const std::size_t done = hook->done.load(std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    if (done == hook->reported || now < hook->next_report) return true;
    hook->reported = done;
    hook->next_report = now + REPORT_INTERVAL;
    // The callback may replace the hook: hold its own reference.
    PyRef callback = PyRef::new_ref(hook->callback.get());
    PyRef count = PyRef::steal(PyLong_FromSize_t(done));
    PyRef result = count ? PyRef::steal(PyObject_CallOneArg(callback.get(), count.get())) : PyRef();
    if (result) return true;
    if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
    PyErr_WriteUnraisable(callback.get());
    if (t_hook == hook) hook->callback = PyRef();
    return true;
}

std::vector<PyMethodDef> pool_functions() {
    return {row<SET_NUM_THREADS>(), row<NUM_THREADS>(), row<PROGRESS_HOOK>(), row<POOL_PROBE>(), row<PARALLEL_FRONTIER>(),
            row<BESIDE_NODES>()};
}

}  // namespace fennel::py
