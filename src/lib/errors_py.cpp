#include "lib/errors_py.hpp"

#include <cerrno>

namespace fennel::py {

namespace {
PyObject* g_internal_error = nullptr;
}

PyObject* internal_error_type() { return g_internal_error; }

int init_internal_error() {
    if (g_internal_error != nullptr) return 0;
    g_internal_error = PyErr_NewExceptionWithDoc(
        "fennel._core.InternalError",
        "An internal invariant of fennel failed (a defect, not bad input).",
        PyExc_BaseException, nullptr);
    return g_internal_error == nullptr ? -1 : 0;
}

PyObject* raise_internal(const char* message) {
    PyErr_SetString(g_internal_error, message);
    return nullptr;
}

PyObject* raise(const Error& e) {
    const char* m = e.message.c_str();
    switch (e.kind) {
        case ErrorKind::Value: PyErr_SetString(PyExc_ValueError, m); break;
        case ErrorKind::Type: PyErr_SetString(PyExc_TypeError, m); break;
        case ErrorKind::Index: PyErr_SetString(PyExc_IndexError, m); break;
        case ErrorKind::NotImplemented: PyErr_SetString(PyExc_NotImplementedError, m); break;
        case ErrorKind::Overflow: PyErr_SetString(PyExc_OverflowError, m); break;
        case ErrorKind::OutOfRange:
            // OverflowError(34, 'Numerical result out of range'), as CPython's float_pow sets it.
            errno = ERANGE;
            PyErr_SetFromErrno(PyExc_OverflowError);
            break;
        case ErrorKind::Memory: PyErr_NoMemory(); break;
        case ErrorKind::NegativeCycle: {
            // NetworkX raises ValueError("Contradictory paths found:", "negative weights?").
            PyObject* args = Py_BuildValue("(ss)", "Contradictory paths found:", "negative weights?");
            if (args != nullptr) {
                PyErr_SetObject(PyExc_ValueError, args);
                Py_DECREF(args);
            }
            break;
        }
        case ErrorKind::Interrupted:
            // The signal handler's exception was set when the wait noticed it.
            if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
            break;
        case ErrorKind::Raised:
            if (!PyErr_Occurred()) raise_internal("a callback failed without an exception");
            break;
        case ErrorKind::Internal: raise_internal(m); break;
    }
    return nullptr;
}

}  // namespace fennel::py
