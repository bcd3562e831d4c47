#include "lib/all_paths_py.hpp"

#include "lib/entry.hpp"
#include "lib/results.hpp"

#include <atomic>
#include <new>
#include <vector>

namespace fennel::py {

namespace {

struct PyAllPaths {
    PyObject_HEAD
    AllPaths* paths;
    // Set while a next_path call runs: the state is mutable, and under free
    // threading two threads may call at once.
    std::atomic<bool> borrowed;
};

PyTypeObject* g_type = nullptr;

PyAllPaths* as_all_paths(PyObject* self) { return reinterpret_cast<PyAllPaths*>(self); }

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    PyAllPaths* p = as_all_paths(self);
    delete p->paths;
    p->borrowed.~atomic();
    type->tp_free(self);
    Py_DECREF(type);
}

// The instance holds no Python references; only its heap type is visited.
int traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int clear(PyObject*) { return 0; }

// Holds the exclusive borrow for one call; a call that finds it taken
// changes nothing.
class Borrow {
public:
    explicit Borrow(std::atomic<bool>& flag) : flag_(flag) {
        bool expected = false;
        held_ = flag_.compare_exchange_strong(expected, true, std::memory_order_acquire);
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

PyObject* next_path(PyObject* self, Args&) {
    PyAllPaths* p = as_all_paths(self);
    Borrow borrow(p->borrowed);
    if (!borrow.held()) {
        PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
        return nullptr;
    }
    std::vector<Node> path;
    if (!p->paths->next(path)) Py_RETURN_NONE;
    return to_list(path);
}

constexpr auto NEXT_PATH =
    method("next_path", next_path, "The next shortest path as node positions, or `None` once exhausted.");

PyMethodDef* methods() {
    static PyMethodDef table[] = {row<NEXT_PATH>(), {nullptr, nullptr, 0, nullptr}};
    return table;
}

}  // namespace

PyObject* create_all_paths_type(PyObject* module) {
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
        {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(clear)},
        {Py_tp_methods, methods()},
        {Py_tp_doc, const_cast<char*>("Lazy iterator over `all_shortest_paths` results (node positions).")},
        {0, nullptr},
    };
    PyType_Spec spec = {
        "fennel._core.AllPaths",
        sizeof(PyAllPaths),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION |
            Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    PyObject* type = PyType_FromModuleAndSpec(module, &spec, nullptr);
    if (type != nullptr && g_type == nullptr) {
        g_type = reinterpret_cast<PyTypeObject*>(Py_NewRef(type));
    }
    return type;
}

PyObject* wrap_all_paths(std::unique_ptr<AllPaths> paths) {
    PyAllPaths* self = PyObject_GC_New(PyAllPaths, g_type);
    if (self == nullptr) return nullptr;
    self->paths = paths.release();
    new (&self->borrowed) std::atomic<bool>(false);
    PyObject_GC_Track(reinterpret_cast<PyObject*>(self));
    return reinterpret_cast<PyObject*>(self);
}

}  // namespace fennel::py
