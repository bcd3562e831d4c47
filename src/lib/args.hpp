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

// One entry point's parameters in signature order, each "name" or
// "name=default"; the first `required` of them have no default.
// A parameter written "*name=default" is keyword-only; keyword-only
// parameters come last.
struct Signature {
    const char* function;
    std::span<const std::string_view> params;
    std::size_t required;

    std::string_view name(std::size_t i) const {
        std::string_view p = params[i];
        if (p.starts_with('*')) p.remove_prefix(1);
        return p.substr(0, p.find('='));
    }
    // How many parameters can be given by position.
    std::size_t positional() const {
        std::size_t k = 0;
        while (k < params.size() && !params[k].starts_with('*')) ++k;
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

// The matched arguments of one call, converted by parameter index: each
// converter names the parameter in its error (false with an exception set).
// Optional forms treat an omitted argument and None alike (absent); the
// plain forms leave `out` alone when the argument was omitted.
class Args {
public:
    Args(const Signature& sig, PyObject** matched) : sig_(sig), matched_(matched) {}

    PyObject* operator[](std::size_t i) const { return matched_[i]; }
    bool given(std::size_t i) const { return matched_[i] != nullptr; }
    const char* function() const { return sig_.function; }
    std::string_view name(std::size_t i) const { return sig_.name(i); }

    bool count(std::size_t i, std::uint64_t& out) const;     // __index__, >= 0
    bool integer(std::size_t i, std::int64_t& out) const;    // __index__, signed 64-bit
    bool position(std::size_t i, std::uint32_t& out) const;  // __index__; beyond 32 bits saturates
    bool optional_position(std::size_t i, std::optional<std::uint32_t>& out) const;
    bool flag(std::size_t i, bool& out) const;                // True/False/numpy bool_
    bool real(std::size_t i, double& out) const;              // float protocol
    bool string(std::size_t i, std::string& out) const;       // str only
    bool optional_string(std::size_t i, std::optional<std::string>& out) const;
    bool optional_real(std::size_t i, std::optional<double>& out) const;
    bool positions(std::size_t i, std::vector<std::uint32_t>& out) const;  // sequence, not str
    bool optional_positions(std::size_t i, std::optional<std::vector<std::uint32_t>>& out) const;
    bool flags(std::size_t i, std::vector<std::uint8_t>& out) const;  // sequence of bools, not str
    bool reals(std::size_t i, std::vector<double>& out) const;        // sequence, float protocol, not str
    bool optional_reals(std::size_t i, std::optional<std::vector<double>>& out) const;
    // A list (or subclass) / dict (or subclass), borrowed.
    bool list(std::size_t i, PyObject*& out) const;
    bool dict(std::size_t i, PyObject*& out) const;
    bool tuple(std::size_t i, PyObject*& out) const;  // exactly a tuple, borrowed
    bool bytes(std::size_t i, PyObject*& out) const;  // bytes (or subclass), borrowed
    bool optional_bytes(std::size_t i, PyObject*& out) const;  // nullptr when absent
    bool optional_count(std::size_t i, std::optional<std::uint64_t>& out) const;

private:
    bool absent(std::size_t i) const { return matched_[i] == nullptr || matched_[i] == Py_None; }
    bool fail_type(std::size_t i, const char* expected) const;
    template <class T, class Convert>
    bool items(std::size_t i, std::vector<T>& out, const char* expected, Convert convert) const;

    Signature sig_;
    PyObject** matched_;
};

}  // namespace fennel::py
