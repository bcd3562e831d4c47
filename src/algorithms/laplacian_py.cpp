// Binding of laplacian centrality's energies (`_laplacian_energies`).
#include "algorithms/laplacian.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

// The new energies of the first `count` rows of an n x n Laplacian (a
// C-contiguous float64 array, or int64 with `ints`), as float64 or int64
// bytes.
PyObject* laplacian_energies(PyObject* lap, std::uint64_t n, std::uint64_t count, bool ints) {
    if (count > n) return raise(value_error("count must not exceed n"));
    Py_buffer view{};
    if (PyObject_GetBuffer(lap, &view, PyBUF_C_CONTIGUOUS) < 0) return nullptr;
    struct Release {
        Py_buffer* v;
        ~Release() { PyBuffer_Release(v); }
    } release{&view};
    if (view.len != static_cast<Py_ssize_t>(n * n * 8)) {
        return raise(value_error("the Laplacian must hold n * n 8-byte values"));
    }
    auto bytes = [](const auto& v) -> PyObject* {
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()),
                                         static_cast<Py_ssize_t>(v.size() * sizeof(v[0])));
    };
    if (ints) {
        const auto* data = static_cast<const std::int64_t*>(view.buf);
        return detached([&] { return fennel::laplacian_energies(data, n, count); },
                        [&](const std::vector<std::int64_t>& e) { return bytes(e); });
    }
    const auto* data = static_cast<const double*>(view.buf);
    return detached([&] { return fennel::laplacian_energies(data, n, count); },
                    [&](const std::vector<double>& e) { return bytes(e); });
}

constexpr auto LAPLACIAN_ENERGIES = function<laplacian_energies>(
    "_laplacian_energies",
    "laplacian_centrality's new energy of each of the first `count` nodes of the\nn x n Laplacian `lap` (C-contiguous "
    "float64, or int64 with `ints`), as\nbytes of that type.",
    arg<PyObject*>("lap"), arg<std::uint64_t>("n"), arg<std::uint64_t>("count"), arg<bool>("ints"));

}  // namespace

std::vector<PyMethodDef> laplacian_functions() { return {row<LAPLACIAN_ENERGIES>()}; }

}  // namespace fennel::py
