#include "lib/pool.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
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

// Thread count from the environment: FENNEL_NUM_THREADS, else
// RAYON_NUM_THREADS (either 0: one per online processor), else a positive
// RAYON_RS_NUM_CPUS, else the processor count. A value that does not parse
// is skipped.
std::size_t configured_thread_count() {
    for (const char* name : {"FENNEL_NUM_THREADS", "RAYON_NUM_THREADS"}) {
        if (auto n = env_count(name)) return *n > 0 ? *n : online_processors();
    }
    if (auto n = env_count("RAYON_RS_NUM_CPUS"); n && *n > 0) return *n;
    return online_processors();
}

// What the jobs of one call share: how many threads may work on them at
// once, how many workers do, and where their progress is counted.
struct Call {
    std::size_t limit;        // the calling thread included
    std::size_t helpers = 0;  // workers on the call's jobs now; guarded by the pool's mutex
    std::atomic<std::size_t>* progress;
};

struct Job {
    const std::function<void(std::size_t)>* task;
    std::size_t count;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::atomic<int> failure{0};  // 0 none, 1 defect, 2 out of memory
    std::atomic<bool> cancelled{false};
    const Job* parent = nullptr;  // the job whose task submitted this one
    // Owned by every job of the call: a worker may still be leaving a nested
    // job after the call's first job (and its submitter) is gone.
    std::shared_ptr<Call> call;
    std::mutex m;
    std::condition_variable cv;
    bool complete = false;
};

FENNEL_THREAD_LOCAL bool t_is_worker = false;
FENNEL_THREAD_LOCAL InterruptCheck* t_interrupt_check = nullptr;
// When the waiting thread next asks its check, and whether it answered true
// (then every later job of the same call is cancelled at once).
FENNEL_THREAD_LOCAL std::chrono::steady_clock::time_point t_next_poll;
FENNEL_THREAD_LOCAL bool t_interrupted = false;
FENNEL_THREAD_LOCAL Job* t_current_job = nullptr;  // whose task this thread runs
// The thread count of the call this thread began (0: none in progress).
FENNEL_THREAD_LOCAL std::size_t t_call_threads = 0;
FENNEL_THREAD_LOCAL std::atomic<std::size_t>* t_progress = nullptr;

// 0 until first read from the environment.
std::atomic<std::size_t> g_thread_count{0};

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
    Status run(std::size_t count, const std::function<void(std::size_t)>& task) {
        if (count == 0) return {};
        if (t_interrupted) return interrupted();
        auto job = std::make_shared<Job>();
        job->task = &task;
        job->count = count;
        job->parent = t_current_job;
        job->call = t_current_job != nullptr ? t_current_job->call
                                             : std::make_shared<Call>(Call{pool_size(), 0, t_progress});
        const std::size_t helpers = std::min(job->call->limit, count) - 1;
        if (helpers == 0 || !enqueue(job, job->call->limit - 1)) {
            // One thread for the call, one item, or no worker could be
            // started: run here rather than hand off (a handoff costs tens
            // of microseconds, more than a small search).
            help(*job);
        } else {
            for (std::size_t i = 0; i < helpers; ++i) cv_.notify_one();
            help(*job);
            wait(*job);
            unlist(job);
        }
        return outcome(*job);
    }

    // A job of one item, run beside the calling thread: queued for a worker
    // when the call has more than one thread and runs no job of its own.
    std::shared_ptr<Job> start_beside(const std::function<void(std::size_t)>& task, bool& queued) {
        auto job = std::make_shared<Job>();
        job->task = &task;
        job->count = 1;
        job->call = std::make_shared<Call>(Call{pool_size(), 0, t_progress});
        queued = t_current_job == nullptr && !t_interrupted && job->call->limit > 1 &&
                 enqueue(job, job->call->limit - 1);
        if (queued) cv_.notify_one();
        return job;
    }

    // Runs the item of a job begun by start_beside() here unless a worker
    // has claimed it.
    static void claim(Job& job) { help(job); }

    // Waits for a job begun by start_beside(), running it here if no
    // worker has begun it.
    Status join(const std::shared_ptr<Job>& job) {
        help(*job);
        wait(*job);
        unlist(job);
        return outcome(*job);
    }

private:
    // Starts workers up to `wanted` (a refusal by the system ends the
    // growth for good: the pool works with those it has) and queues `job`
    // if there is any worker to take it.
    bool enqueue(const std::shared_ptr<Job>& job, std::size_t wanted) {
        std::lock_guard lock(m_);
        while (workers_ < wanted && !refused_) {
            try {
                std::thread([this] { worker(); }).detach();
            } catch (...) {
                refused_ = true;
                break;
            }
            ++workers_;
        }
        if (workers_ == 0) return false;
        queue_.push_back(job);
        return true;
    }

    // A worker takes the first queued job with items left whose call has
    // room for one more thread; a job with every item taken leaves the
    // queue. Jobs of calls at their limit wait for a worker to leave.
    void worker() {
        t_is_worker = true;
        std::unique_lock lock(m_);
        for (;;) {
            std::shared_ptr<Job> job;
            for (auto it = queue_.begin(); it != queue_.end();) {
                Job& j = **it;
                if (j.next.load(std::memory_order_relaxed) >= j.count) {
                    it = queue_.erase(it);
                } else if (j.call->helpers + 1 < j.call->limit) {
                    ++j.call->helpers;
                    job = *it;
                    break;
                } else {
                    ++it;
                }
            }
            if (!job) {
                cv_.wait(lock);
                continue;
            }
            lock.unlock();
            help(*job);
            lock.lock();
            --job->call->helpers;
            erase(job);
            // Another job of the same call may have waited for the place.
            if (!queue_.empty()) cv_.notify_all();
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

    // Claims and runs items of `job` until none is left. The Python thread
    // of the call, working on items itself, asks its interrupt check
    // between them.
    static void help(Job& job) {
        const bool polls = !t_is_worker && t_interrupt_check != nullptr;
        Job* outer = std::exchange(t_current_job, &job);
        for (;;) {
            std::size_t i = job.next.fetch_add(1, std::memory_order_relaxed);
            if (i >= job.count) break;
            if (polls && !cancelled(&job) && poll_interrupt()) job.cancelled.store(true);
            if (!cancelled(&job)) {
                try {
                    (*job.task)(i);
                } catch (const std::bad_alloc&) {
                    job.failure.store(2);
                } catch (const std::length_error&) {
                    job.failure.store(2);
                } catch (...) {
                    job.failure.store(1);
                }
            }
            if (job.finished.fetch_add(1, std::memory_order_acq_rel) + 1 == job.count) {
                std::lock_guard lock(job.m);
                job.complete = true;
                job.cv.notify_all();
            }
        }
        t_current_job = outer;
    }

    static Status outcome(const Job& job) {
        if (cancelled(&job) || t_interrupted) return interrupted();
        switch (job.failure.load()) {
            case 0: return {};
            case 2: return Error{ErrorKind::Memory, "out of memory"};
            default: return internal_error("a worker task failed");
        }
    }

    void erase(const std::shared_ptr<Job>& job) {
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (*it == job) {
                queue_.erase(it);
                break;
            }
        }
    }

    void unlist(const std::shared_ptr<Job>& job) {
        std::lock_guard lock(m_);
        erase(job);
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::size_t workers_ = 0;  // guarded by m_, as are the two below
    bool refused_ = false;
    std::deque<std::shared_ptr<Job>> queue_;
};

Pool& instance() {
    static Pool* pool = new Pool;  // lives until the process ends
    return *pool;
}

}  // namespace


std::size_t thread_count() {
    std::size_t n = g_thread_count.load(std::memory_order_relaxed);
    if (n == 0) {
        std::size_t expected = 0;
        n = configured_thread_count();
        if (!g_thread_count.compare_exchange_strong(expected, n, std::memory_order_relaxed)) n = expected;
    }
    return n;
}

void set_thread_count(std::size_t threads) {
    g_thread_count.store(threads > 0 ? threads : online_processors(), std::memory_order_relaxed);
}

std::size_t pool_size() {
    if (t_current_job != nullptr) return t_current_job->call->limit;
    return t_call_threads != 0 ? t_call_threads : thread_count();
}

void add_progress(std::size_t units) {
    std::atomic<std::size_t>* counter = t_current_job != nullptr ? t_current_job->call->progress : t_progress;
    if (counter != nullptr) counter->fetch_add(units, std::memory_order_relaxed);
}

std::atomic<std::size_t>* set_progress_counter(std::atomic<std::size_t>* counter) {
    return std::exchange(t_progress, counter);
}

// A Python thread running a job's items itself asks its own interrupt check.
bool stop_requested() {
    Job* job = t_current_job;
    if (job == nullptr) return false;
    if (cancelled(job)) return true;
    if (t_is_worker || !poll_interrupt()) return false;
    job->cancelled.store(true);
    return true;
}

namespace {

// The steady clock read cheaply, for loops that ask after every item: the
// coarse monotonic clock (the same clock, behind it by at most a tick of a
// few milliseconds) costs a fifth of a precise reading.
std::chrono::steady_clock::time_point coarse_now() {
#ifdef CLOCK_MONOTONIC_COARSE
    timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &ts) == 0) {
        return std::chrono::steady_clock::time_point(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec)));
    }
#endif
    return std::chrono::steady_clock::now();
}

}  // namespace

bool poll_interrupt() {
    InterruptCheck* check = t_interrupt_check;
    if (t_interrupted || check == nullptr) return t_interrupted;
    const auto now = coarse_now();
    if (now < t_next_poll) return false;
    t_next_poll = now + POLL_INTERVAL;
    t_interrupted = check->interrupted();
    return t_interrupted;
}

bool interrupt_check_installed() { return t_interrupt_check != nullptr; }

// Installing a check over none begins a call: its thread count is fixed
// until the check is removed again.
InterruptCheck* set_interrupt_check(InterruptCheck* check) {
    t_next_poll = std::chrono::steady_clock::now() + POLL_INTERVAL;
    t_interrupted = false;
    InterruptCheck* outer = std::exchange(t_interrupt_check, check);
    if (check == nullptr) {
        t_call_threads = 0;
    } else if (outer == nullptr) {
        t_call_threads = thread_count();
    }
    return outer;
}

Status parallel_for(std::size_t count, const std::function<void(std::size_t)>& task) {
    return instance().run(count, task);
}

struct Beside::Shared {
    std::shared_ptr<Job> job;
    bool queued = false;  // for a worker
    std::mutex m;
    std::condition_variable cv;
};

Beside::Beside(std::function<void(Beside&)> produce) : shared_(std::make_shared<Shared>()) {
    task_ = [this, produce = std::move(produce)](std::size_t) {
        // Set however the producer ends, so that no wait outlasts it.
        struct Finish {
            Beside& b;
            ~Finish() {
                b.finished_.store(true);
                if (b.waiting_.load()) {
                    std::lock_guard lock(b.shared_->m);
                    b.shared_->cv.notify_all();
                }
            }
        } finish{*this};
        produce(*this);
    };
    shared_->job = instance().start_beside(task_, shared_->queued);
}

Beside::~Beside() {
    if (!joined_) {
        cancel();
        finish();
    }
}

// The producer stores its count before it looks for a waiting consumer, the
// consumer says it waits before it looks at the count (both sequentially
// consistent): one of them sees the other.
void Beside::publish(std::size_t count) {
    ready_.store(count);
    if (waiting_.load()) {
        std::lock_guard lock(shared_->m);
        shared_->cv.notify_all();
    }
}

// A producer no worker has begun after one wait's slice (the workers are
// busy with other calls) runs here.
std::size_t Beside::wait(std::size_t want) {
    constexpr auto SLICE = std::chrono::milliseconds(10);
    Job& job = *shared_->job;
    bool waited = !shared_->queued;
    std::unique_lock lock(shared_->m);
    while (ready() < want && !finished() && !fennel::cancelled(&job)) {
        if (waited && job.next.load(std::memory_order_relaxed) == 0) {
            lock.unlock();
            Pool::claim(job);
            lock.lock();
            continue;
        }
        waiting_.store(true);
        if (ready() >= want || finished()) break;
        shared_->cv.wait_for(lock, SLICE);
        waited = true;
        if (poll_interrupt()) job.cancelled.store(true);
    }
    waiting_.store(false);
    return ready();
}

void Beside::cancel() { shared_->job->cancelled.store(true); }

bool Beside::cancelled() const { return fennel::cancelled(shared_->job.get()); }

Status Beside::finish() {
    joined_ = true;
    return instance().join(shared_->job);
}

Pieces split(std::size_t count) {
    std::size_t pieces = std::min(count, pool_size() * 4);
    return {count, std::max<std::size_t>(pieces, count == 0 ? 0 : 1)};
}

}  // namespace fennel
