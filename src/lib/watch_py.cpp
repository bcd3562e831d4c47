// _while_unchanged: the items of a batch handed out one at a time while the
// watched graphs stay unchanged. The check before each item is the one a
// Python loop would make (`cache.get(key) is marker`), made in C so that
// following the graph costs a generator little per item.
#include "lib/watch_py.hpp"

#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"

#include <atomic>
#include <new>

namespace fennel::py {

int unchanged(PyObject* watch) {
    if (watch == Py_None) return 1;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(watch); ++i) {
        PyObject* entry = PyTuple_GET_ITEM(watch, i);
        PyObject* found = nullptr;
        if (PyDict_GetItemRef(PyTuple_GET_ITEM(entry, 0), PyTuple_GET_ITEM(entry, 1), &found) < 0) return -1;
        const bool same = found == PyTuple_GET_ITEM(entry, 2);
        Py_XDECREF(found);
        if (!same) return 0;
    }
    return 1;
}

bool valid_watch(PyObject* watch) {
    bool ok = watch == Py_None || PyTuple_Check(watch);
    for (Py_ssize_t i = 0; ok && watch != Py_None && i < PyTuple_GET_SIZE(watch); ++i) {
        PyObject* entry = PyTuple_GET_ITEM(watch, i);
        ok = PyTuple_Check(entry) && PyTuple_GET_SIZE(entry) == 3 && PyDict_Check(PyTuple_GET_ITEM(entry, 0));
    }
    if (!ok) PyErr_SetString(PyExc_TypeError, "watch must be None or a tuple of (dict, key, marker) triples");
    return ok;
}

namespace {

struct WhileUnchanged {
    PyObject_HEAD
    PyObject* items;  // list
    PyObject* watch;  // tuple of (cache, key, marker), or None
    Py_ssize_t position;
    std::atomic<bool> borrowed;
};

PyTypeObject* g_type = nullptr;

WhileUnchanged* as_iter(PyObject* self) { return reinterpret_cast<WhileUnchanged*>(self); }

PyObject* iternext(PyObject* self) {
    return guarded([&]() -> PyObject* {
        WhileUnchanged* it = as_iter(self);
        Borrow borrow(it->borrowed);
        if (!borrow.held()) return nullptr;
        if (it->items == nullptr || it->position >= PyList_GET_SIZE(it->items)) return nullptr;
        const int same = unchanged(it->watch);
        if (same <= 0) return nullptr;
        return Py_NewRef(PyList_GET_ITEM(it->items, it->position++));
    });
}

PyObject* position(PyObject* self) {
    WhileUnchanged* it = as_iter(self);
    Borrow borrow(it->borrowed);
    if (!borrow.held()) return nullptr;
    return PyLong_FromSsize_t(it->position);
}

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    WhileUnchanged* it = as_iter(self);
    Py_CLEAR(it->items);
    Py_CLEAR(it->watch);
    it->borrowed.~atomic();
    type->tp_free(self);
    Py_DECREF(type);
}

int traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(as_iter(self)->items);
    Py_VISIT(as_iter(self)->watch);
    return 0;
}

// Breaking a cycle drops the items and the watch: every later step stops.
int clear(PyObject* self) {
    WhileUnchanged* it = as_iter(self);
    Py_CLEAR(it->items);
    Py_CLEAR(it->watch);
    it->watch = Py_NewRef(Py_None);
    return 0;
}

PyObject* while_unchanged(const ListRef& items, PyObject* watch) {
    if (!valid_watch(watch)) return nullptr;
    WhileUnchanged* it = PyObject_GC_New(WhileUnchanged, g_type);
    if (it == nullptr) return nullptr;
    it->items = Py_NewRef(items.obj);
    it->watch = Py_NewRef(watch);
    it->position = 0;
    new (&it->borrowed) std::atomic<bool>(false);
    PyObject_GC_Track(reinterpret_cast<PyObject*>(it));
    return reinterpret_cast<PyObject*>(it);
}

constexpr auto WHILE_UNCHANGED = function<while_unchanged>(
    "_while_unchanged",
    "An iterator over `items` (a list) that stops before the first item at\nwhich a watched graph has changed; "
    "`position()` counts the items handed\nout. `watch`: None or a tuple of (cache, key, marker) triples.",
    arg<ListRef>("items"), arg<PyObject*>("watch"));

constexpr auto POSITION = method<position>("position", "How many items were handed out.");

}  // namespace

std::vector<PyMethodDef> watch_functions() { return {row<WHILE_UNCHANGED>()}; }

PyObject* create_while_unchanged_type(PyObject* module) {
    static PyMethodDef methods[] = {row<POSITION>(), {nullptr, nullptr, 0, nullptr}};
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
        {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(clear)},
        {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
        {Py_tp_iternext, reinterpret_cast<void*>(iternext)},
        {Py_tp_methods, methods},
        {Py_tp_doc, const_cast<char*>("A batch's items, handed out while the watched graphs are unchanged.")},
        {0, nullptr},
    };
    PyType_Spec spec = {
        "fennel._core.WhileUnchanged",
        sizeof(WhileUnchanged),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    PyObject* type = PyType_FromModuleAndSpec(module, &spec, nullptr);
    if (type != nullptr && g_type == nullptr) g_type = reinterpret_cast<PyTypeObject*>(Py_NewRef(type));
    return type;
}

}  // namespace fennel::py
