#include "lib/pool.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>
#include <unistd.h>

namespace fennel {

namespace {

// Unsigned decimal value of an environment variable, if it parses.
std::optional<std::size_t> env_count(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    std::size_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return std::nullopt;
        value = value * 10 + static_cast<std::size_t>(*p - '0');
        if (value > (1u << 20)) return std::nullopt;
    }
    return value;
}

std::size_t online_processors() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<std::size_t>(n) : 1;
}

// Pool size from the environment: RAYON_NUM_THREADS (0: one per online
// processor), else a positive RAYON_RS_NUM_CPUS, else the processor count.
std::size_t configured_pool_size() {
    if (auto n = env_count("RAYON_NUM_THREADS")) return *n > 0 ? *n : online_processors();
    if (auto n = env_count("RAYON_RS_NUM_CPUS"); n && *n > 0) return *n;
    return online_processors();
}

struct Job {
    const std::function<void(std::size_t)>* task;
    std::size_t count;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::atomic<int> failure{0};  // 0 none, 1 defect, 2 out of memory
    std::atomic<bool> cancelled{false};
    const Job* parent = nullptr;  // the job whose task submitted this one
    std::mutex m;
    std::condition_variable cv;
    bool complete = false;
};

// Per-thread state lives in the static TLS block, set up when a thread
// starts (or, for threads already running, when the module is loaded). The
// default model for a loaded module allocates each thread's block on its
// first access instead, and glibc ends the process when that allocation
// fails, as it can under a memory limit; here a thread the system cannot
// provide for is refused at creation, which the pool survives.
#define FENNEL_THREAD_LOCAL thread_local __attribute__((tls_model("initial-exec")))

FENNEL_THREAD_LOCAL bool t_is_worker = false;
FENNEL_THREAD_LOCAL InterruptCheck* t_interrupt_check = nullptr;
// When the waiting thread next asks its check, and whether it answered true
// (then every later job of the same call is cancelled at once).
FENNEL_THREAD_LOCAL std::chrono::steady_clock::time_point t_next_poll;
FENNEL_THREAD_LOCAL bool t_interrupted = false;
FENNEL_THREAD_LOCAL const Job* t_current_job = nullptr;  // whose task this thread runs

// Whether `job` or a job that submitted it was interrupted.
bool cancelled(const Job* job) {
    for (; job != nullptr; job = job->parent) {
        if (job->cancelled.load(std::memory_order_relaxed)) return true;
    }
    return false;
}

// How often a waiting thread asks its interrupt check.
constexpr auto POLL_INTERVAL = std::chrono::milliseconds(100);

class Pool {
public:
    // Starts up to `size` workers. A system that refuses a thread (process
    // or memory limits) leaves the pool with the workers it has.
    explicit Pool(std::size_t size) noexcept {
        for (std::size_t i = 0; i < size; ++i) {
            try {
                std::thread([this] { worker(); }).detach();
            } catch (...) {
                break;
            }
            ++workers_;
        }
    }

    std::size_t size() const { return std::max<std::size_t>(workers_, 1); }

    Status run(std::size_t count, const std::function<void(std::size_t)>& task) {
        if (count == 0) return {};
        auto job = std::make_shared<Job>();
        job->task = &task;
        job->count = count;
        job->parent = t_current_job;
        if (t_interrupted) return interrupted();
        if (workers_ == 0 || (count == 1 && !t_is_worker)) {
            // No worker could be started, or there is one item only: run it
            // here rather than wake a worker and wait for it (a handoff
            // costs tens of microseconds, more than a small search).
            help(*job);
        } else {
            {
                std::lock_guard lock(m_);
                queue_.push_back(job);
            }
            cv_.notify_all();
            if (t_is_worker) help(*job);  // nested: the submitting worker works too
            wait(*job);
            unlist(job);
        }
        if (cancelled(job.get()) || t_interrupted) return interrupted();
        switch (job->failure.load()) {
            case 0: return {};
            case 2: return Error{ErrorKind::Memory, "out of memory"};
            default: return internal_error("a worker task failed");
        }
    }

private:
    void worker() {
        t_is_worker = true;
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(m_);
                cv_.wait(lock, [&] { return !queue_.empty(); });
                job = queue_.front();
            }
            help(*job);
            unlist(job);
        }
    }

    // Waits until every item of `job` has finished. The submitting Python
    // thread (the only one with an interrupt check) asks it every
    // POLL_INTERVAL, counted across the jobs of one call, however short each
    // job is; once interrupted, workers skip the items they have not begun.
    static void wait(Job& job) {
        InterruptCheck* check = t_interrupt_check;
        std::unique_lock lock(job.m);
        while (!job.complete) {
            if (check == nullptr || job.cancelled.load()) {
                job.cv.wait(lock);
                continue;
            }
            const auto now = std::chrono::steady_clock::now();
            if (now < t_next_poll) {
                job.cv.wait_until(lock, t_next_poll);
                continue;
            }
            t_next_poll = now + POLL_INTERVAL;
            lock.unlock();
            if (check->interrupted()) {
                t_interrupted = true;
                job.cancelled.store(true);
            }
            lock.lock();
        }
    }

    // Claims and runs items of `job` until none is left.
    static void help(Job& job) {
        for (;;) {
            std::size_t i = job.next.fetch_add(1, std::memory_order_relaxed);
            if (i >= job.count) break;
            if (!cancelled(&job)) {
                const Job* outer = std::exchange(t_current_job, &job);
                try {
                    (*job.task)(i);
                } catch (const std::bad_alloc&) {
                    job.failure.store(2);
                } catch (const std::length_error&) {
                    job.failure.store(2);
                } catch (...) {
                    job.failure.store(1);
                }
                t_current_job = outer;
            }
            if (job.finished.fetch_add(1, std::memory_order_acq_rel) + 1 == job.count) {
                std::lock_guard lock(job.m);
                job.complete = true;
                job.cv.notify_all();
            }
        }
    }

    void unlist(const std::shared_ptr<Job>& job) {
        std::lock_guard lock(m_);
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (*it == job) {
                queue_.erase(it);
                break;
            }
        }
    }

    std::size_t workers_ = 0;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Job>> queue_;
};

Pool& instance() {
    static Pool* pool = new Pool(configured_pool_size());  // lives until the process ends
    return *pool;
}

}  // namespace


std::size_t pool_size() { return instance().size(); }

// A Python thread running a job's items itself asks its own interrupt check.
bool stop_requested() {
    return cancelled(t_current_job) || (t_current_job != nullptr && !t_is_worker && poll_interrupt());
}

bool poll_interrupt() {
    InterruptCheck* check = t_interrupt_check;
    if (t_interrupted || check == nullptr) return t_interrupted;
    const auto now = std::chrono::steady_clock::now();
    if (now < t_next_poll) return false;
    t_next_poll = now + POLL_INTERVAL;
    t_interrupted = check->interrupted();
    return t_interrupted;
}

InterruptCheck* set_interrupt_check(InterruptCheck* check) {
    t_next_poll = std::chrono::steady_clock::now() + POLL_INTERVAL;
    t_interrupted = false;
    return std::exchange(t_interrupt_check, check);
}

Status parallel_for(std::size_t count, const std::function<void(std::size_t)>& task) {
    return instance().run(count, task);
}

Pieces split(std::size_t count) {
    std::size_t pieces = std::min(count, pool_size() * 4);
    return {count, std::max<std::size_t>(pieces, count == 0 ? 0 : 1)};
}

}  // namespace fennel
