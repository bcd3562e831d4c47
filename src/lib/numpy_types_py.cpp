#include "lib/numpy_types_py.hpp"

#include "lib/entry.hpp"

#include <atomic>

namespace fennel::py {

namespace {

// Written once (a second registration must name the same types), read
// without a lock by conversions on any thread.
std::atomic<const NumpyTypes*> registered{nullptr};

PyTypeObject* type_arg(PyObject* obj, const char* name) {
    if (!PyType_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "register_numpy() argument '%s' must be a type", name);
        return nullptr;
    }
    return reinterpret_cast<PyTypeObject*>(obj);
}

PyObject* register_numpy(PyObject* float64, PyObject* int64, PyObject* bool_) {
    PyTypeObject* f = type_arg(float64, "float64");
    PyTypeObject* i = f ? type_arg(int64, "int64") : nullptr;
    PyTypeObject* b = i ? type_arg(bool_, "bool_") : nullptr;
    if (b == nullptr) return nullptr;
    // float64 values are read as C doubles: it must be a float subclass.
    if (!PyType_IsSubtype(f, &PyFloat_Type)) {
        PyErr_SetString(PyExc_TypeError, "register_numpy(): float64 must subclass float");
        return nullptr;
    }
    const NumpyTypes* known = registered.load(std::memory_order_acquire);
    if (known == nullptr) {
        Py_INCREF(f);
        Py_INCREF(i);
        Py_INCREF(b);
        auto* mine = new NumpyTypes{f, i, b};
        if (!registered.compare_exchange_strong(known, mine, std::memory_order_acq_rel)) {
            Py_DECREF(f);
            Py_DECREF(i);
            Py_DECREF(b);
            delete mine;
        } else {
            known = mine;
        }
    }
    if (known->float64 != f || known->int64 != i || known->bool_ != b) {
        PyErr_SetString(PyExc_ValueError, "register_numpy(): other types are already registered");
        return nullptr;
    }
    Py_RETURN_NONE;
}

constexpr auto REGISTER_NUMPY = function<register_numpy>(
    "register_numpy",
    "Registers numpy's float64, int64 and bool_ scalar types, so that edge values\n"
    "of exactly these types convert (once per process; again with the same types\nis a no-op).",
    arg<PyObject*>("float64"), arg<PyObject*>("int64"), arg<PyObject*>("bool_"));

}  // namespace

const NumpyTypes* numpy_types() { return registered.load(std::memory_order_acquire); }

PyObject* kind_value(double x, std::uint8_t kind) {
    const bool is_float = (kind & FLOAT_BIT) != 0;
    PyRef plain = PyRef::steal(is_float ? PyFloat_FromDouble(x) : PyLong_FromDouble(x));
    if (!plain || (kind & NUMPY_BIT) == 0) return plain.release();
    const NumpyTypes* types = numpy_types();
    if (types == nullptr) {
        PyErr_SetString(PyExc_SystemError, "numpy values without registered numpy types");
        return nullptr;
    }
    PyTypeObject* type = is_float ? types->float64 : types->int64;
    return PyObject_CallOneArg(reinterpret_cast<PyObject*>(type), plain.get());
}

std::vector<PyMethodDef> numpy_functions() { return {row<REGISTER_NUMPY>()}; }

}  // namespace fennel::py
