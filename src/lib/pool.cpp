#include "lib/pool.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
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

struct Job {
    const std::function<void(std::size_t)>* task;
    std::size_t count;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::atomic<int> failure{0};  // 0 none, 1 defect, 2 out of memory
    std::mutex m;
    std::condition_variable cv;
    bool complete = false;
};

thread_local bool t_is_worker = false;

class Pool {
public:
    explicit Pool(std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            std::thread([this] { worker(); }).detach();
        }
        size_ = size;
    }

    std::size_t size() const { return size_; }

    Status run(std::size_t count, const std::function<void(std::size_t)>& task) {
        if (count == 0) return {};
        auto job = std::make_shared<Job>();
        job->task = &task;
        job->count = count;
        {
            std::lock_guard lock(m_);
            queue_.push_back(job);
        }
        cv_.notify_all();
        if (t_is_worker) help(job);  // nested: the submitting worker works too
        {
            std::unique_lock lock(job->m);
            job->cv.wait(lock, [&] { return job->complete; });
        }
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
            help(job);
        }
    }

    // Claims and runs items of `job` until none is left, then unlists it.
    void help(const std::shared_ptr<Job>& job) {
        for (;;) {
            std::size_t i = job->next.fetch_add(1, std::memory_order_relaxed);
            if (i >= job->count) break;
            try {
                (*job->task)(i);
            } catch (const std::bad_alloc&) {
                job->failure.store(2);
            } catch (...) {
                job->failure.store(1);
            }
            if (job->finished.fetch_add(1, std::memory_order_acq_rel) + 1 == job->count) {
                std::lock_guard lock(job->m);
                job->complete = true;
                job->cv.notify_all();
            }
        }
        std::lock_guard lock(m_);
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (*it == job) {
                queue_.erase(it);
                break;
            }
        }
    }

    std::size_t size_ = 0;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Job>> queue_;
};

Pool& instance() {
    static Pool* pool = new Pool(configured_pool_size());  // lives until the process ends
    return *pool;
}

}  // namespace

std::size_t configured_pool_size() {
    if (auto n = env_count("RAYON_NUM_THREADS")) return *n > 0 ? *n : online_processors();
    if (auto n = env_count("RAYON_RS_NUM_CPUS"); n && *n > 0) return *n;
    return online_processors();
}

std::size_t pool_size() { return instance().size(); }

Status parallel_for(std::size_t count, const std::function<void(std::size_t)>& task) {
    return instance().run(count, task);
}

Pieces split(std::size_t count) {
    std::size_t pieces = std::min(count, pool_size() * 4);
    return {count, std::max<std::size_t>(pieces, count == 0 ? 0 : 1)};
}

}  // namespace fennel
