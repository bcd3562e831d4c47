// The one place where native error values become Python exceptions.
#pragma once

#include "lib/compat.hpp"
#include "lib/result.hpp"

#include <new>
#include <stdexcept>
#include <system_error>

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
// set) so that no C++ exception escapes into the interpreter: allocation
// failures (including sizes beyond what a container can hold) become
// MemoryError, anything else a RuntimeError naming what failed.
template <class F>
PyObject* guarded(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::length_error&) {
        return PyErr_NoMemory();
    } catch (const std::system_error& e) {
        PyErr_Format(PyExc_RuntimeError, "system error: %s", e.what());
    } catch (const std::exception& e) {
        PyErr_Format(PyExc_RuntimeError, "unexpected C++ exception: %s", e.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "unexpected C++ exception");
    }
    return nullptr;
}

}  // namespace fennel::py
