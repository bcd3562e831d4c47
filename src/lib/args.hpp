// The one argument parser shared by every entry point: vector-call matching of
// positional and keyword arguments (with CPython's own TypeError wording),
// then per-argument converters whose errors name the failing argument.
#pragma once

#include "lib/compat.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fennel::py {

// One entry point's parameters in signature order; the first `required`
// of them have no default.
struct Signature {
    const char* function;                  // e.g. "neighbors"
    std::span<const char* const> params;
    std::size_t required;
};

// Matches `args`/`kwnames` to `sig`. On success `out[i]` is the borrowed
// argument for parameter i, or nullptr when omitted; returns false with a
// TypeError set otherwise.
bool parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargsf,
                PyObject* kwnames, PyObject** out);

// Rejects any argument (for entry points without parameters).
bool no_args(const char* function, Py_ssize_t nargsf, PyObject* kwnames);

// Converters. Each returns false with an exception naming `name` on failure.
// `arg` is never nullptr for the plain forms; the optional forms treat
// nullptr and None as absent.
struct Arg {
    const char* function;
    const char* name;
    PyObject* obj;
    bool absent() const { return obj == nullptr || obj == Py_None; }
};

bool to_count(const Arg& a, std::uint64_t& out);               // __index__, >= 0
bool to_position(const Arg& a, std::uint32_t& out);            // __index__, 32-bit
bool to_bool(const Arg& a, bool& out);                         // True/False/numpy bool_
bool to_double(const Arg& a, double& out);                     // float protocol
bool to_string(const Arg& a, std::string& out);                // str only
bool to_optional_string(const Arg& a, std::optional<std::string>& out);
bool to_optional_double(const Arg& a, std::optional<double>& out);
bool to_positions(const Arg& a, std::vector<std::uint32_t>& out);  // sequence, not str
bool to_optional_positions(const Arg& a, std::optional<std::vector<std::uint32_t>>& out);

// Re-raises the current exception with "f() argument 'name': " in front.
void mark_argument_error(const char* function, const char* name);

}  // namespace fennel::py
