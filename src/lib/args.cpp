#include "lib/args.hpp"

#include "lib/pyref.hpp"

#include <algorithm>
#include <cstring>

namespace fennel::py {

namespace {

std::size_t index_of(const Signature& sig, PyObject* key) {
    for (std::size_t i = 0; i < sig.params.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(key, sig.params[i]) == 0) return i;
    }
    return sig.params.size();
}

void raise_missing(const Signature& sig, PyObject** out) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < sig.required; ++i) {
        if (out[i] == nullptr) missing.push_back(sig.params[i]);
    }
    // CPython: "f() missing 2 required positional arguments: 'a' and 'b'"
    std::string names;
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (i > 0) names += missing.size() == 2 ? " and " : (i + 1 == missing.size() ? ", and " : ", ");
        names += "'";
        names += missing[i];
        names += "'";
    }
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s",
                 sig.function, missing.size(), missing.size() == 1 ? "" : "s", names.c_str());
}

void raise_too_many(const Signature& sig, Py_ssize_t given) {
    std::size_t most = sig.params.size();
    if (sig.required == most) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zu positional argument%s but %zd %s given",
                     sig.function, most, most == 1 ? "" : "s", given, given == 1 ? "was" : "were");
    } else {
        PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zd %s given",
                     sig.function, sig.required, most, given, given == 1 ? "was" : "were");
    }
}

bool is_numpy_bool(PyObject* o) {
    const char* name = Py_TYPE(o)->tp_name;
    return std::strcmp(name, "numpy.bool") == 0 || std::strcmp(name, "numpy.bool_") == 0;
}

bool is_sequence(PyObject* o) {
    if (PySequence_Check(o)) return true;
    PyRef abc = PyRef::steal(PyImport_ImportModule("collections.abc"));
    if (!abc) return false;
    PyRef seq = PyRef::steal(PyObject_GetAttrString(abc.get(), "Sequence"));
    if (!seq) return false;
    int r = PyObject_IsInstance(o, seq.get());
    if (r < 0) PyErr_Clear();
    return r == 1;
}

bool position_from(PyObject* item, std::uint32_t& out) {
    PyRef idx = PyRef::steal(PyNumber_Index(item));
    if (!idx) return false;
    unsigned long long v = PyLong_AsUnsignedLongLong(idx.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    if (v > 0xFFFFFFFFull) {
        PyErr_SetString(PyExc_OverflowError, "node position does not fit in 32 bits");
        return false;
    }
    out = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

bool parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargsf,
                PyObject* kwnames, PyObject** out) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    const std::size_t nparams = sig.params.size();
    for (std::size_t i = 0; i < nparams; ++i) out[i] = nullptr;
    if (static_cast<std::size_t>(nargs) > nparams) {
        raise_too_many(sig, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GET_ITEM(kwnames, k);
            std::size_t i = index_of(sig, key);
            if (i == nparams) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                             sig.function, key);
                return false;
            }
            if (out[i] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                             sig.function, sig.params[i]);
                return false;
            }
            out[i] = args[nargs + k];
        }
    }
    for (std::size_t i = 0; i < sig.required; ++i) {
        if (out[i] == nullptr) {
            raise_missing(sig, out);
            return false;
        }
    }
    return true;
}

bool no_args(const char* function, Py_ssize_t nargsf, PyObject* kwnames) {
    static const char* const none[] = {nullptr};
    PyObject* unused[1];
    Signature sig{function, std::span<const char* const>(none, 0), 0};
    return parse_args(sig, nullptr, nargsf, kwnames, unused);
}

void mark_argument_error(const char* function, const char* name) {
    RaisedException e = fetch_exception();
    if (e.type == nullptr) return;
    PyRef type = PyRef::steal(e.type);
    PyRef value = PyRef::steal(e.value);
    PyRef text = PyRef::steal(value ? PyObject_Str(value.get()) : PyUnicode_FromString(""));
    if (!text) return;
    PyErr_Format(type.get(), "%s() argument '%s': %U", function, name, text.get());
}

bool to_count(const Arg& a, std::uint64_t& out) {
    PyRef idx = PyRef::steal(PyNumber_Index(a.obj));
    if (idx) {
        unsigned long long v = PyLong_AsUnsignedLongLong(idx.get());
        if (!(v == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
            out = v;
            return true;
        }
    }
    mark_argument_error(a.function, a.name);
    return false;
}

bool to_position(const Arg& a, std::uint32_t& out) {
    std::uint64_t v;
    if (!to_count(a, v)) return false;
    // Beyond 32 bits a position can only be out of range: saturate so that
    // the caller's range check reports it as such.
    out = v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
    return true;
}

bool to_bool(const Arg& a, bool& out) {
    if (a.obj == Py_True || a.obj == Py_False) {
        out = a.obj == Py_True;
        return true;
    }
    if (is_numpy_bool(a.obj)) {
        int r = PyObject_IsTrue(a.obj);
        if (r >= 0) {
            out = r == 1;
            return true;
        }
        mark_argument_error(a.function, a.name);
        return false;
    }
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be bool, not %.200s", a.function,
                 a.name, Py_TYPE(a.obj)->tp_name);
    return false;
}

bool to_double(const Arg& a, double& out) {
    if (PyFloat_CheckExact(a.obj)) {
        out = PyFloat_AS_DOUBLE(a.obj);
        return true;
    }
    double v = PyFloat_AsDouble(a.obj);
    if (v == -1.0 && PyErr_Occurred()) {
        mark_argument_error(a.function, a.name);
        return false;
    }
    out = v;
    return true;
}

bool to_string(const Arg& a, std::string& out) {
    if (!PyUnicode_Check(a.obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %.200s", a.function,
                     a.name, Py_TYPE(a.obj)->tp_name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(a.obj, &size);
    if (utf8 == nullptr) {
        mark_argument_error(a.function, a.name);
        return false;
    }
    out.assign(utf8, static_cast<std::size_t>(size));
    return true;
}

bool to_optional_string(const Arg& a, std::optional<std::string>& out) {
    if (a.absent()) {
        out.reset();
        return true;
    }
    return to_string(a, out.emplace());
}

bool to_optional_double(const Arg& a, std::optional<double>& out) {
    if (a.absent()) {
        out.reset();
        return true;
    }
    return to_double(a, out.emplace());
}

bool to_positions(const Arg& a, std::vector<std::uint32_t>& out) {
    if (PyUnicode_Check(a.obj) || !is_sequence(a.obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be a sequence of node positions, not %.200s",
                     a.function, a.name, Py_TYPE(a.obj)->tp_name);
        return false;
    }
    out.clear();
    if (PyList_Check(a.obj)) {
        // Items are fetched one at a time so that a concurrent writer cannot
        // tear the list under us; the length is re-read at every step.
        for (Py_ssize_t i = 0;; ++i) {
            PyRef item;
            {
                CriticalSection cs(a.obj);
                if (i >= PyList_GET_SIZE(a.obj)) break;
                item = PyRef::new_ref(PyList_GET_ITEM(a.obj, i));
            }
            std::uint32_t v;
            if (!position_from(item.get(), v)) {
                mark_argument_error(a.function, a.name);
                return false;
            }
            out.push_back(v);
        }
        return true;
    }
    // Other sequences are iterated: their length is only a hint, trusted
    // for no more than a modest reservation.
    PyRef it = PyRef::steal(PyObject_GetIter(a.obj));
    const Py_ssize_t hint = it ? PyObject_LengthHint(a.obj, 0) : 0;
    if (!it || hint < 0) {
        mark_argument_error(a.function, a.name);
        return false;
    }
    out.reserve(static_cast<std::size_t>(std::min<Py_ssize_t>(hint, Py_ssize_t{1} << 16)));
    for (;;) {
        PyRef item = PyRef::steal(PyIter_Next(it.get()));
        if (!item) {
            if (!PyErr_Occurred()) return true;
            mark_argument_error(a.function, a.name);
            return false;
        }
        std::uint32_t v;
        if (!position_from(item.get(), v)) {
            mark_argument_error(a.function, a.name);
            return false;
        }
        out.push_back(v);
    }
}

bool to_optional_positions(const Arg& a, std::optional<std::vector<std::uint32_t>>& out) {
    if (a.absent()) {
        out.reset();
        return true;
    }
    return to_positions(a, out.emplace());
}

}  // namespace fennel::py
