// Version shims: one source builds from CPython 3.11 up to free-threaded 3.14t.
// Each shim is gated on the version that introduced the real API.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#if PY_VERSION_HEX < 0x030D0000
// Dictionary and list reads that return strong references (3.13).
static inline int PyDict_GetItemRef(PyObject* mp, PyObject* key, PyObject** result) {
    PyObject* item = PyDict_GetItemWithError(mp, key);
    if (item != nullptr) {
        Py_INCREF(item);
        *result = item;
        return 1;
    }
    *result = nullptr;
    return PyErr_Occurred() ? -1 : 0;
}

static inline PyObject* PyList_GetItemRef(PyObject* list, Py_ssize_t i) {
    PyObject* item = PyList_GetItem(list, i);
    Py_XINCREF(item);
    return item;
}
#endif

#if PY_VERSION_HEX < 0x030D0000
// Adds `value` to the module, stealing the reference even on failure (3.13).
static inline int PyModule_Add(PyObject* module, const char* name, PyObject* value) {
    int r = value == nullptr ? -1 : PyModule_AddObjectRef(module, name, value);
    Py_XDECREF(value);
    return r;
}
#endif

namespace fennel::py {

// The value of an exact int of at most one 30-bit digit (node labels, as a
// rule), read in place; false for larger ints. CPython 3.12 exposes this as
// unstable API; before, such an int is one whose size (the sign times the
// number of digits) is -1, 0 or 1.
inline bool compact_int_value(PyObject* v, long long& out) {
#if PY_VERSION_HEX >= 0x030C0000
    const auto* l = reinterpret_cast<const PyLongObject*>(v);
    if (!PyUnstable_Long_IsCompact(l)) return false;
    out = PyUnstable_Long_CompactValue(l);
#else
    const Py_ssize_t size = Py_SIZE(v);
    if (size < -1 || size > 1) return false;
    out = size * static_cast<long long>(reinterpret_cast<const PyLongObject*>(v)->ob_digit[0]);
#endif
    return true;
}

// Per-object critical section (free-threaded builds). Under the GIL it is empty:
// the GIL already serialises access to the object.
class CriticalSection {
public:
    explicit CriticalSection(PyObject* op) {
#if PY_VERSION_HEX >= 0x030D0000 && defined(Py_GIL_DISABLED)
        PyCriticalSection_Begin(&section_, op);
#else
        (void)op;
#endif
    }
    ~CriticalSection() {
#if PY_VERSION_HEX >= 0x030D0000 && defined(Py_GIL_DISABLED)
        PyCriticalSection_End(&section_);
#endif
    }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

private:
#if PY_VERSION_HEX >= 0x030D0000 && defined(Py_GIL_DISABLED)
    PyCriticalSection section_;
#endif
};

// Takes the current exception (type, value, traceback), clearing it.
struct RaisedException {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
};

inline RaisedException fetch_exception() {
    RaisedException e;
#if PY_VERSION_HEX >= 0x030C0000
    e.value = PyErr_GetRaisedException();
    if (e.value != nullptr) {
        e.type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(e.value)));
    }
#else
    PyObject* tb = nullptr;
    PyErr_Fetch(&e.type, &e.value, &tb);
    PyErr_NormalizeException(&e.type, &e.value, &tb);
    Py_XDECREF(tb);
#endif
    return e;
}

// Whether the current exception is exactly one of the converter errors
// (TypeError, ValueError, OverflowError) raised by C code: it has no
// traceback yet. An exception raised by Python code (an argument's own
// `__index__`, say) has passed through a frame and carries one. The
// exception stays set.
inline bool converter_error_raised() {
#if PY_VERSION_HEX >= 0x030C0000
    PyObject* exc = PyErr_GetRaisedException();
    if (exc == nullptr) return false;
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(exc));
    PyObject* tb = PyException_GetTraceback(exc);
    const bool from_c = tb == nullptr;
    Py_XDECREF(tb);
    PyErr_SetRaisedException(exc);
#else
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    if (type == nullptr) return false;
    const bool from_c = tb == nullptr;
    PyErr_Restore(type, value, tb);
#endif
    return from_c && (type == PyExc_TypeError || type == PyExc_ValueError || type == PyExc_OverflowError);
}

// Whether `obj` has attribute `name`; -1, with the exception set, when the
// lookup itself raised something other than AttributeError.
inline int has_attribute(PyObject* obj, const char* name) {
    PyObject* value = PyObject_GetAttrString(obj, name);
    if (value != nullptr) {
        Py_DECREF(value);
        return 1;
    }
    if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
        PyErr_Clear();
        return 0;
    }
    return -1;
}

// An empty dict with room for `size` entries, so that filling it never
// resizes (CPython exports the presizing constructor through 3.14; later
// versions get a plain dict).
inline PyObject* new_dict_for(Py_ssize_t size) {
#if PY_VERSION_HEX < 0x030F0000
    return _PyDict_NewPresized(size);
#else
    (void)size;
    return PyDict_New();
#endif
}

}  // namespace fennel::py
