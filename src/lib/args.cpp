#include "lib/args.hpp"

#include "lib/pyref.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>

namespace fennel::py {

namespace {

// Index of the parameter named `key`, or the parameter count.
std::size_t index_of(const Signature& sig, PyObject* key) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
    if (utf8 == nullptr) {
        PyErr_Clear();
        return sig.params.size();
    }
    const std::string_view text(utf8, static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < sig.params.size(); ++i) {
        if (sig.name(i) == text) return i;
    }
    return sig.params.size();
}

void raise_missing(const Signature& sig, PyObject** out) {
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < sig.params.size(); ++i) {
        if (sig.params[i].required && out[i] == nullptr) missing.push_back(sig.name(i));
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
    const std::size_t most = sig.positional();
    const std::size_t least = sig.required();
    if (least == most) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zu positional argument%s but %zd %s given",
                     sig.function, most, most == 1 ? "" : "s", given, given == 1 ? "was" : "were");
    } else {
        PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zd %s given",
                     sig.function, least, most, given, given == 1 ? "was" : "were");
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

// Positions read straight out of a one-dimensional, contiguous buffer of
// machine integers (a numpy array, an array.array): no Python object per
// item. Values are checked as position_from checks them. Returns nullopt,
// with no exception set, for a buffer of any other shape or item type, which
// the caller then iterates.
template <class T>
bool positions_from(const T* data, std::size_t count, std::vector<std::uint32_t>& out) {
    out.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        const T v = data[k];
        if constexpr (std::is_signed_v<T>) {
            if (v < 0) {
                PyErr_SetString(PyExc_OverflowError, "can't convert negative int to unsigned");
                return false;
            }
        }
        if (static_cast<std::uint64_t>(v) > 0xFFFFFFFFull) {
            PyErr_SetString(PyExc_OverflowError, "node position does not fit in 32 bits");
            return false;
        }
        out[k] = static_cast<std::uint32_t>(v);
    }
    return true;
}

std::optional<bool> positions_from_buffer(PyObject* o, std::vector<std::uint32_t>& out) {
    if (!PyObject_CheckBuffer(o) || PyBytes_Check(o) || PyByteArray_Check(o)) return std::nullopt;
    Py_buffer view;
    if (PyObject_GetBuffer(o, &view, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS) != 0) {
        // A buffer of another layout is iterated instead; anything but the
        // refusal to export (an interrupt in a `__buffer__`, say) propagates.
        if (!PyErr_ExceptionMatches(PyExc_BufferError) && !PyErr_ExceptionMatches(PyExc_TypeError) &&
            !PyErr_ExceptionMatches(PyExc_ValueError)) {
            return false;
        }
        PyErr_Clear();
        return std::nullopt;
    }
    std::string_view format = view.format != nullptr ? view.format : "B";
    if (format.size() == 2 && (format[0] == '@' || (format[0] == (std::endian::native == std::endian::little ? '<' : '>')) ||
                               format[0] == '=')) {
        format.remove_prefix(1);
    }
    std::optional<bool> done;
    if (view.ndim == 1 && format.size() == 1) {
        const auto count = static_cast<std::size_t>(view.shape[0]);
        const void* data = view.buf;
        auto read = [&]<class T>(T) { done = view.itemsize == sizeof(T) && positions_from(static_cast<const T*>(data), count, out); };
        switch (format[0]) {
            case 'b': read(std::int8_t{}); break;
            case 'B': read(std::uint8_t{}); break;
            case 'h': read(short{}); break;
            case 'H': read(static_cast<unsigned short>(0)); break;
            case 'i': read(int{}); break;
            case 'I': read(0u); break;
            case 'l': read(0l); break;
            case 'L': read(0ul); break;
            case 'q': read(0ll); break;
            case 'Q': read(0ull); break;
            case 'n': read(Py_ssize_t{}); break;
            case 'N': read(std::size_t{}); break;
            default: break;
        }
        if (done == false && !PyErr_Occurred()) done.reset();  // an item size that does not match its code
    }
    PyBuffer_Release(&view);
    return done;
}

}  // namespace

bool parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargsf,
                PyObject* kwnames, PyObject** out) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    const std::size_t nparams = sig.params.size();
    for (std::size_t i = 0; i < nparams; ++i) out[i] = nullptr;
    if (static_cast<std::size_t>(nargs) > sig.positional()) {
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
                const std::string name(sig.name(i));
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.function,
                             name.c_str());
                return false;
            }
            out[i] = args[nargs + k];
        }
    }
    for (std::size_t i = 0; i < nparams; ++i) {
        if (sig.params[i].required && out[i] == nullptr) {
            raise_missing(sig, out);
            return false;
        }
    }
    return true;
}

void mark_argument_error(const char* function, std::string_view name) {
    // Only the converters' own errors are marked; whatever an argument's own
    // Python code raised (an interrupt included) propagates as it was raised.
    if (!converter_error_raised()) return;
    RaisedException e = fetch_exception();
    if (e.type == nullptr) return;
    PyRef type = PyRef::steal(e.type);
    PyRef value = PyRef::steal(e.value);
    PyRef text = PyRef::steal(value ? PyObject_Str(value.get()) : PyUnicode_FromString(""));
    if (!text) return;
    PyErr_Format(type.get(), "%s() argument '%s': %U", function, std::string(name).c_str(), text.get());
}

ExactInt exact_integer(PyObject* v, double& out) {
    constexpr long long limit = 1LL << 53;
    PyRef idx = PyRef::steal(PyNumber_Index(v));
    if (!idx) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return ExactInt::Raised;
        PyErr_Clear();
        return ExactInt::TooLarge;
    }
    int overflow = 0;
    const long long x = PyLong_AsLongLongAndOverflow(idx.get(), &overflow);
    if (x == -1 && PyErr_Occurred()) return ExactInt::Raised;
    if (overflow != 0 || x > limit || x < -limit) return ExactInt::TooLarge;
    out = static_cast<double>(x);
    return ExactInt::Ok;
}

bool Args::fail_type(std::size_t i, const char* expected) const {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not %.200s", function(),
                 std::string(name(i)).c_str(), expected, Py_TYPE(matched_[i])->tp_name);
    return false;
}

bool Args::convert(std::size_t i, std::uint64_t& out) const {
    PyRef idx = PyRef::steal(PyNumber_Index(matched_[i]));
    if (idx) {
        unsigned long long v = PyLong_AsUnsignedLongLong(idx.get());
        if (!(v == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
            out = v;
            return true;
        }
    }
    mark_argument_error(function(), name(i));
    return false;
}

bool Args::convert(std::size_t i, std::int64_t& out) const {
    PyRef idx = PyRef::steal(PyNumber_Index(matched_[i]));
    if (idx) {
        long long v = PyLong_AsLongLong(idx.get());
        if (!(v == -1 && PyErr_Occurred())) {
            out = v;
            return true;
        }
    }
    mark_argument_error(function(), name(i));
    return false;
}

bool Args::convert(std::size_t i, std::uint32_t& out) const {
    std::uint64_t v;
    if (!convert(i, v)) return false;
    // Beyond 32 bits a position can only be out of range: saturate so that
    // the caller's range check reports it as such.
    out = v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
    return true;
}

bool Args::convert(std::size_t i, bool& out) const {
    PyObject* o = matched_[i];
    if (o == nullptr) return true;
    if (o == Py_True || o == Py_False) {
        out = o == Py_True;
        return true;
    }
    if (!is_numpy_bool(o)) return fail_type(i, "bool");
    int r = PyObject_IsTrue(o);
    if (r < 0) {
        mark_argument_error(function(), name(i));
        return false;
    }
    out = r == 1;
    return true;
}

bool Args::convert(std::size_t i, double& out) const {
    PyObject* o = matched_[i];
    if (PyFloat_CheckExact(o)) {
        out = PyFloat_AS_DOUBLE(o);
        return true;
    }
    double v = PyFloat_AsDouble(o);
    if (v == -1.0 && PyErr_Occurred()) {
        mark_argument_error(function(), name(i));
        return false;
    }
    out = v;
    return true;
}

bool Args::convert(std::size_t i, std::string& out) const {
    PyObject* o = matched_[i];
    if (!PyUnicode_Check(o)) return fail_type(i, "str");
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(o, &size);
    if (utf8 == nullptr) {
        mark_argument_error(function(), name(i));
        return false;
    }
    out.assign(utf8, static_cast<std::size_t>(size));
    return true;
}

// Items of the sequence argument i, each converted by `read_item(item,
// value)` (false with an exception set); `expected` names the argument's
// type in the error for a non-sequence.
template <class T, class Convert>
bool Args::items(std::size_t i, std::vector<T>& out, const char* expected, Convert read_item) const {
    PyObject* o = matched_[i];
    if (PyUnicode_Check(o) || !is_sequence(o)) return fail_type(i, expected);
    out.clear();
    auto add = [&](PyObject* item) {
        T v;
        if (!read_item(item, v)) {
            mark_argument_error(function(), name(i));
            return false;
        }
        out.push_back(v);
        return true;
    };
    if (PyList_Check(o)) {
        // Items are fetched one at a time so that a concurrent writer cannot
        // tear the list under us; the length is re-read at every step.
        for (Py_ssize_t k = 0;; ++k) {
            PyRef item;
            {
                CriticalSection cs(o);
                if (k >= PyList_GET_SIZE(o)) break;
                item = PyRef::new_ref(PyList_GET_ITEM(o, k));
            }
            if (!add(item.get())) return false;
        }
        return true;
    }
    // Other sequences are iterated: their length is only a hint, trusted
    // for no more than a modest reservation.
    PyRef it = PyRef::steal(PyObject_GetIter(o));
    const Py_ssize_t hint = it ? PyObject_LengthHint(o, 0) : 0;
    if (!it || hint < 0) {
        mark_argument_error(function(), name(i));
        return false;
    }
    out.reserve(static_cast<std::size_t>(std::min<Py_ssize_t>(hint, Py_ssize_t{1} << 16)));
    for (;;) {
        PyRef item = PyRef::steal(PyIter_Next(it.get()));
        if (!item) {
            if (!PyErr_Occurred()) return true;
            mark_argument_error(function(), name(i));
            return false;
        }
        if (!add(item.get())) return false;
    }
}

bool Args::convert(std::size_t i, std::vector<std::uint32_t>& out) const {
    if (std::optional<bool> done = positions_from_buffer(matched_[i], out)) {
        if (!*done) mark_argument_error(function(), name(i));
        return *done;
    }
    return items(i, out, "a sequence of node positions", position_from);
}

bool Args::convert(std::size_t i, std::vector<std::uint8_t>& out) const {
    return items(i, out, "a sequence of bools", [](PyObject* item, std::uint8_t& v) {
        if (item == Py_True || item == Py_False) {
            v = item == Py_True;
            return true;
        }
        if (!is_numpy_bool(item)) {
            PyErr_Format(PyExc_TypeError, "expected bool, got %.200s", Py_TYPE(item)->tp_name);
            return false;
        }
        const int r = PyObject_IsTrue(item);
        v = r == 1;
        return r >= 0;
    });
}

bool Args::convert(std::size_t i, std::vector<double>& out) const {
    return items(i, out, "a sequence of floats", [](PyObject* item, double& v) {
        v = PyFloat_CheckExact(item) ? PyFloat_AS_DOUBLE(item) : PyFloat_AsDouble(item);
        return !(v == -1.0 && PyErr_Occurred());
    });
}

bool Args::convert(std::size_t i, PyObject*& out) const {
    out = matched_[i];
    return true;
}

bool Args::convert(std::size_t i, ListRef& out) const {
    if (!PyList_Check(matched_[i])) return fail_type(i, "list");
    out.obj = matched_[i];
    return true;
}

bool Args::convert(std::size_t i, DictRef& out) const {
    if (!PyDict_Check(matched_[i])) return fail_type(i, "dict");
    out.obj = matched_[i];
    return true;
}

bool Args::convert(std::size_t i, TupleRef& out) const {
    if (!PyTuple_CheckExact(matched_[i])) return fail_type(i, "tuple");
    out.obj = matched_[i];
    return true;
}

bool Args::convert(std::size_t i, BytesRef& out) const {
    if (!PyBytes_Check(matched_[i])) return fail_type(i, "bytes");
    out.obj = matched_[i];
    return true;
}

}  // namespace fennel::py
