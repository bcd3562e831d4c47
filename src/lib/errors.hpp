// The one place where native error values become Python exceptions.
#pragma once

#include "lib/compat.hpp"
#include "lib/error.hpp"

#include <new>

namespace fennel::py {

// The internal-error exception type (derives from BaseException); created
// when the module is executed.
PyObject* internal_error_type();
int init_internal_error();

// Sets the Python exception for `e`; always returns nullptr.
PyObject* raise(const Error& e);

// Raises the internal error with `message`; returns nullptr.
PyObject* raise_internal(const char* message);

// Runs `body` (which returns a new reference or nullptr with an exception
// set), turning a stray std::bad_alloc into MemoryError.
template <class F>
PyObject* guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

}  // namespace fennel::py
