// Owning reference to a Python object, and the guard that detaches the
// calling thread from the interpreter.
#pragma once

#include "lib/compat.hpp"
#include "lib/pool.hpp"
#include "lib/pool_py.hpp"

#include <atomic>
#include <utility>

namespace fennel::py {

// Move-only strong reference. `steal` adopts a new reference (as returned by
// most C API calls); `new_ref` takes an additional one on a borrowed pointer.
class PyRef {
public:
    PyRef() = default;
    static PyRef steal(PyObject* p) { return PyRef(p); }
    static PyRef new_ref(PyObject* p) {
        Py_XINCREF(p);
        return PyRef(p);
    }
    PyRef(PyRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    PyRef& operator=(PyRef&& o) noexcept {
        if (this != &o) {
            Py_XDECREF(p_);
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    explicit PyRef(PyObject* p) : p_(p) {}
    PyObject* p_ = nullptr;
};

// While alive, the thread is detached from the interpreter: other Python
// threads run and no Python object may be touched. Its lifetime is one call
// for the pool (one thread count throughout). Waits for the worker pool
// meanwhile ask it whether a signal arrived: it reattaches for a moment and
// runs the interpreter's signal handlers, so Ctrl-C stops a long call, and
// reports the call's progress to the thread's progress hook, if any.
class Detached final : public InterruptCheck {
public:
    Detached() : state_(PyEval_SaveThread()), outer_(set_interrupt_check(this)) {}
    ~Detached() {
        set_interrupt_check(outer_);
        PyEval_RestoreThread(state_);
    }
    Detached(const Detached&) = delete;
    Detached& operator=(const Detached&) = delete;

    // Runs f() attached to the interpreter (it may touch Python objects),
    // detached again afterwards, even if f throws.
    template <class F>
    decltype(auto) attached(F&& f) {
        struct Reattach {
            Detached& d;
            explicit Reattach(Detached& owner) : d(owner) { PyEval_RestoreThread(d.state_); }
            ~Reattach() { d.state_ = PyEval_SaveThread(); }
        } scope(*this);
        return f();
    }

    // True once a signal handler (or the progress hook) raised; its
    // exception stays set for the binding to report after reattaching.
    bool interrupted() override {
        if (!interrupted_) {
            PyEval_RestoreThread(state_);
            interrupted_ = PyErr_CheckSignals() < 0 || !report_progress();
            state_ = PyEval_SaveThread();
        }
        return interrupted_;
    }

private:
    PyThreadState* state_;
    InterruptCheck* outer_;
    bool interrupted_ = false;
};

// Hands consume(from, to) each run of items the producer of `beside`
// publishes, in order, attached to the interpreter; waits for a run
// detached, `min_run` items at a time so that each reattachment has work to
// do. consume returns false with its exception set to stop the producer;
// the call then fails with ErrorKind::Raised. Ctrl-C stops it too.
template <class Consume>
Status consume_beside(Beside& beside, std::size_t min_run, Consume&& consume) {
    auto stop = [&](Error e) -> Status {
        beside.cancel();
        (void)beside.finish();
        return e;
    };
    std::size_t done = 0;
    for (;;) {
        std::size_t ready = beside.ready();
        if (ready - done < min_run && !beside.finished()) {
            Detached d;
            ready = beside.wait(done + min_run);
        }
        if (beside.cancelled()) break;  // interrupted: the exception is set
        if (ready > done) {
            if (!consume(done, ready)) return stop({ErrorKind::Raised, "consumer failed"});
            done = ready;
        }
        if (beside.finished() && done == beside.ready()) break;
        if (PyErr_CheckSignals() < 0) return stop({ErrorKind::Raised, "interrupted"});
    }
    return beside.finish();
}

// Holds an object's exclusive borrow flag for one call: the object's native
// state is mutable, and under free threading two threads may call at once.
// A call that finds the flag taken changes nothing and raises
// RuntimeError("Already borrowed").
class Borrow {
public:
    explicit Borrow(std::atomic<bool>& flag) : flag_(flag) {
        bool expected = false;
        held_ = flag_.compare_exchange_strong(expected, true, std::memory_order_acquire);
        if (!held_) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    }
    ~Borrow() {
        if (held_) flag_.store(false, std::memory_order_release);
    }
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    bool held() const { return held_; }

private:
    std::atomic<bool>& flag_;
    bool held_;
};

}  // namespace fennel::py
