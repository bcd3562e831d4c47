// The one argument parser shared by every entry point: vector-call matching of
// positional and keyword arguments (with CPython's own TypeError wording),
// then per-argument converters whose errors name the failing argument.
#pragma once

#include "lib/compat.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fennel::py {

// One parameter of an entry point: its name, whether it can only be given
// by keyword, and whether the call must give it.
struct ParamSpec {
    std::string_view name;
    bool keyword_only;
    bool required;
};

// One entry point's parameters in signature order: those without a default
// first, keyword-only ones last.
struct Signature {
    const char* function;
    std::span<const ParamSpec> params;

    std::string_view name(std::size_t i) const { return params[i].name; }
    // How many parameters can be given by position.
    std::size_t positional() const {
        std::size_t k = 0;
        while (k < params.size() && !params[k].keyword_only) ++k;
        return k;
    }
    std::size_t required() const {
        std::size_t k = 0;
        for (const ParamSpec& p : params) k += p.required;
        return k;
    }
};

// Matches `args`/`kwnames` to `sig`. On success `out[i]` is the borrowed
// argument for parameter i, or nullptr when omitted; returns false with a
// TypeError set otherwise.
bool parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargsf,
                PyObject* kwnames, PyObject** out);

// Re-raises the current exception with "f() argument 'name': " in front.
void mark_argument_error(const char* function, std::string_view name);

// An integer through the index protocol, kept only if a double holds it
// exactly (magnitude at most 2**53). TooLarge (beyond 64 bits included)
// leaves no exception set; Raised leaves whatever `__index__` raised set,
// to propagate unchanged.
enum class ExactInt { Ok, TooLarge, Raised };
ExactInt exact_integer(PyObject* v, double& out);

// Borrowed arguments of a checked type (an exact tuple; a list, dict or
// bytes object or subclass). The call's argument array holds a reference to
// each for the whole call.
struct ListRef {
    PyObject* obj = nullptr;
};
struct DictRef {
    PyObject* obj = nullptr;
};
struct TupleRef {
    PyObject* obj = nullptr;
};
struct BytesRef {
    PyObject* obj = nullptr;
};

// The matched arguments of one call. `convert(i, out)` converts argument i
// into the native type of `out` (one overload per type a declaration may
// name), naming the parameter in its error (false with an exception set).
// Only given arguments are converted: an omitted one keeps its declared
// default.
class Args {
public:
    Args(const Signature& sig, PyObject** matched) : sig_(sig), matched_(matched) {}

    PyObject* operator[](std::size_t i) const { return matched_[i]; }
    bool given(std::size_t i) const { return matched_[i] != nullptr; }
    const char* function() const { return sig_.function; }
    std::string_view name(std::size_t i) const { return sig_.name(i); }

    bool convert(std::size_t i, std::uint64_t& out) const;   // a count: __index__, >= 0
    bool convert(std::size_t i, std::int64_t& out) const;    // __index__, signed 64-bit
    bool convert(std::size_t i, std::uint32_t& out) const;   // a node position: __index__; beyond 32 bits saturates
    bool convert(std::size_t i, bool& out) const;            // True/False/numpy bool_
    bool convert(std::size_t i, double& out) const;          // float protocol
    bool convert(std::size_t i, std::string& out) const;     // str only
    bool convert(std::size_t i, std::vector<std::uint32_t>& out) const;  // positions: a sequence, not str
    bool convert(std::size_t i, std::vector<std::uint8_t>& out) const;   // flags: a sequence of bools, not str
    bool convert(std::size_t i, std::vector<double>& out) const;         // a sequence, float protocol, not str
    bool convert(std::size_t i, PyObject*& out) const;       // any object, borrowed
    bool convert(std::size_t i, ListRef& out) const;
    bool convert(std::size_t i, DictRef& out) const;
    bool convert(std::size_t i, TupleRef& out) const;
    bool convert(std::size_t i, BytesRef& out) const;

private:
    bool fail_type(std::size_t i, const char* expected) const;
    template <class T, class Convert>
    bool items(std::size_t i, std::vector<T>& out, const char* expected, Convert read_item) const;

    Signature sig_;
    PyObject** matched_;
};

}  // namespace fennel::py
