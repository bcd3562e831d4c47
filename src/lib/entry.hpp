// One declaration per entry point. A `Declaration` holds the name, the
// parameters in signature order ("name" or "name=default"), the summary and
// the body; from it come the argument parser's view of the signature, the
// method-table row, the docstring (signature line, "--", blank line,
// summary, which CPython exposes as __text_signature__) and the wrapper that
// keeps C++ exceptions from reaching the interpreter. A topic file declares
// its entry points and exports their rows; module.cpp concatenates them.
#pragma once

#include "lib/args.hpp"
#include "lib/errors_py.hpp"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace fennel::py {

// A body receives the instance (or the module) and the matched arguments.
using Body = PyObject* (*)(PyObject* self, Args& args);

template <std::size_t N>
struct Declaration {
    const char* name;
    bool method;  // a CoreGraph method (signature starts with $self)
    Body body;
    const char* summary;
    std::array<std::string_view, N> params;

    constexpr std::size_t required() const {
        std::size_t r = 0;
        for (std::string_view p : params) r += p.find('=') == std::string_view::npos;
        return r;
    }
    Signature signature() const { return {name, params, required()}; }
};

template <class... P>
constexpr auto method(const char* name, Body body, const char* summary, P... params) {
    return Declaration<sizeof...(P)>{name, true, body, summary, {std::string_view(params)...}};
}

template <class... P>
constexpr auto function(const char* name, Body body, const char* summary, P... params) {
    return Declaration<sizeof...(P)>{name, false, body, summary, {std::string_view(params)...}};
}

template <std::size_t N>
std::string docstring(const Declaration<N>& d) {
    std::string doc = d.name;
    doc += d.method ? "($self" : "(";
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0 || d.method) doc += ", ";
        std::string_view p = d.params[i];
        if (p.starts_with('*')) {
            if (i == 0 || !d.params[i - 1].starts_with('*')) doc += "*, ";
            p.remove_prefix(1);
        }
        doc += p;
    }
    doc += ")\n--\n\n";
    doc += d.summary;
    return doc;
}

template <const auto& D>
PyObject* dispatch_fast(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::array<PyObject*, D.params.size()> matched{};
        if (!parse_args(D.signature(), args, nargsf, kwnames, matched.data())) return nullptr;
        Args a(D.signature(), matched.data());
        return D.body(self, a);
    });
}

template <const auto& D>
PyObject* dispatch_noargs(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        Args a(D.signature(), nullptr);
        return D.body(self, a);
    });
}

// The method-table row of a declaration. Parameterless methods use
// CPython's no-argument convention, the others vector calls with keywords.
template <const auto& D>
PyMethodDef row() {
    static const std::string doc = docstring(D);
    if constexpr (D.params.size() == 0) {
        return {D.name, dispatch_noargs<D>, METH_NOARGS, doc.c_str()};
    } else {
        using Fast = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
        Fast f = dispatch_fast<D>;
        return {D.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)), METH_FASTCALL | METH_KEYWORDS,
                doc.c_str()};
    }
}

// Rows exported by each topic file.
std::vector<PyMethodDef> graph_methods();
std::vector<PyMethodDef> graph_functions();
std::vector<PyMethodDef> path_methods();
std::vector<PyMethodDef> centrality_methods();
std::vector<PyMethodDef> traversal_methods();
std::vector<PyMethodDef> distance_methods();
std::vector<PyMethodDef> link_analysis_methods();
std::vector<PyMethodDef> structure_methods();
std::vector<PyMethodDef> sum_functions();
std::vector<PyMethodDef> pool_functions();
std::vector<PyMethodDef> numpy_functions();
std::vector<PyMethodDef> native_functions();
std::vector<PyMethodDef> native_methods();
std::vector<PyMethodDef> serialize_functions();
std::vector<PyMethodDef> serialize_methods();
std::vector<PyMethodDef> rx_functions();
std::vector<PyMethodDef> rx_methods();

}  // namespace fennel::py
