// One declaration per entry point, in the manner of CPython's argument
// clinic without its generator. A declaration names the body and lists each
// parameter with its native type, its name and its default:
//
//     PyObject* pagerank(const CoreGraph& g, double alpha, const Reals& personalization, ...);
//     constexpr auto PAGERANK = method<pagerank>("pagerank", "summary",
//         arg<double>("alpha"), arg<Reals>("personalization"), ..., kwarg<bool>("numpy_dangling", false));
//
// From it come the parser's view of the signature, the conversion of every
// argument into the type declared for it (in signature order, each error
// naming its parameter), the method-table row, the docstring (signature
// line, "--", blank line, summary, which CPython exposes as
// __text_signature__) and the wrapper that keeps C++ exceptions from
// reaching the interpreter. The body receives the converted values by name,
// after `self` (the instance, or the module), which it may take as the
// object itself or, through SelfArg, as what the object wraps; a module
// function's body may leave `self` out. A topic file declares its entry
// points and exports their rows; module.cpp concatenates them.
#pragma once

#include "lib/args.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"
#include "lib/to_python.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace fennel::py {

// Names for the parameter types declarations use most.
using Positions = std::vector<std::uint32_t>;  // node positions
using Reals = std::vector<double>;
using Flags = std::vector<std::uint8_t>;
using AttrName = std::optional<std::string>;  // an edge attribute, None for unit weights

// `count` int64 values from `bytes` (array('q').tobytes(): hashes, degrees,
// integer weights); false with ValueError set when the size differs.
inline bool read_int64s(const BytesRef& bytes, std::size_t count, std::vector<std::int64_t>& out) {
    const Py_ssize_t size = PyBytes_GET_SIZE(bytes.obj);
    if (size != static_cast<Py_ssize_t>(count * sizeof(std::int64_t))) {
        PyErr_SetString(PyExc_ValueError, "int64 bytes must hold one value per entry");
        return false;
    }
    out.resize(count);
    if (count > 0) std::memcpy(out.data(), PyBytes_AS_STRING(bytes.obj), static_cast<std::size_t>(size));
    return true;
}

// The default None, for optional types and plain objects.
struct NoneDefault {};
inline constexpr NoneDefault none{};

// What a parameter of type T may default to: a literal written in the
// signature. Types not listed take no default (the call must give them).
template <class T>
struct DefaultOf {
    using type = std::monostate;
};
template <>
struct DefaultOf<bool> {
    using type = bool;
};
template <>
struct DefaultOf<std::int64_t> {
    using type = std::int64_t;
};
template <>
struct DefaultOf<std::string> {
    using type = std::string_view;
};
template <>
struct DefaultOf<PyObject*> {
    using type = NoneDefault;
};
template <class U>
struct DefaultOf<std::optional<U>> {
    using type = NoneDefault;
};

template <class T>
struct Param {
    using type = T;
    std::string_view name;
    bool keyword_only;
    bool has_default;
    typename DefaultOf<T>::type fallback;
};

// A parameter the call must give, by position or keyword.
template <class T>
constexpr Param<T> arg(std::string_view name) {
    return {name, false, false, {}};
}

// A parameter with a default, by position or keyword.
template <class T>
constexpr Param<T> arg(std::string_view name, typename DefaultOf<T>::type fallback) {
    return {name, false, true, fallback};
}

// A keyword-only parameter (after a `*` in the signature), with a default.
template <class T>
constexpr Param<T> kwarg(std::string_view name, typename DefaultOf<T>::type fallback) {
    return {name, true, true, fallback};
}

// The value a parameter holds before its argument is converted: the
// default when the argument is omitted.
template <class T>
T initial(const Param<T>& p) {
    if constexpr (std::is_same_v<T, PyObject*>) {
        return Py_None;
    } else if constexpr (std::is_same_v<typename DefaultOf<T>::type, NoneDefault>) {
        return T{};  // nullopt
    } else if constexpr (std::is_same_v<T, std::string>) {
        return std::string(p.fallback);
    } else if constexpr (std::is_same_v<typename DefaultOf<T>::type, std::monostate>) {
        return T{};
    } else {
        return p.fallback;
    }
}

template <class T>
void append_default(std::string& doc, const Param<T>& p) {
    using D = typename DefaultOf<T>::type;
    if constexpr (std::is_same_v<D, bool>) {
        doc += p.fallback ? "True" : "False";
    } else if constexpr (std::is_same_v<D, std::int64_t>) {
        doc += std::to_string(p.fallback);
    } else if constexpr (std::is_same_v<D, std::string_view>) {
        doc += '\'';
        doc += p.fallback;
        doc += '\'';
    } else if constexpr (std::is_same_v<D, NoneDefault>) {
        doc += "None";
    }
}

// How a body receives `self`: the object as it is, or (specialised beside
// the type) what the object wraps.
template <class S>
struct SelfArg;

template <>
struct SelfArg<PyObject*> {
    static PyObject* from(PyObject* self) { return self; }
};

template <class F>
struct BodyTraits;

template <class... A>
struct BodyTraits<PyObject* (*)(A...)> {
    static constexpr std::size_t arity = sizeof...(A);
    using First = std::tuple_element_t<0, std::tuple<A..., void>>;
};

template <auto Body, class... T>
struct Declaration {
    static constexpr auto body = Body;
    static constexpr std::size_t size = sizeof...(T);
    const char* name;
    bool method;  // a method of its type (signature starts with $self)
    const char* summary;
    std::tuple<Param<T>...> params;

    constexpr std::array<ParamSpec, sizeof...(T)> specs() const {
        return std::apply(
            [](const auto&... p) { return std::array<ParamSpec, sizeof...(T)>{ParamSpec{p.name, p.keyword_only, !p.has_default}...}; },
            params);
    }
    // Required parameters come first and keyword-only ones last, as
    // Python's own signatures have them.
    constexpr bool well_ordered() const {
        const auto s = specs();
        for (std::size_t i = 1; i < s.size(); ++i) {
            if ((s[i].required && !s[i - 1].required) || (!s[i].keyword_only && s[i - 1].keyword_only)) return false;
        }
        return true;
    }
};

// A method of its type (CoreGraph, Cursor, AllPaths).
template <auto Body, class... T>
constexpr Declaration<Body, T...> method(const char* name, const char* summary, Param<T>... params) {
    return {name, true, summary, {params...}};
}

// A module function.
template <auto Body, class... T>
constexpr Declaration<Body, T...> function(const char* name, const char* summary, Param<T>... params) {
    return {name, false, summary, {params...}};
}

template <auto Body, class... T>
std::string docstring(const Declaration<Body, T...>& d) {
    std::string doc = d.name;
    doc += d.method ? "($self" : "(";
    bool first = !d.method;
    bool keywords = false;
    std::apply(
        [&](const auto&... p) {
            [[maybe_unused]] auto add = [&](const auto& q) {
                if (!first) doc += ", ";
                first = false;
                if (q.keyword_only && !keywords) {
                    doc += "*, ";
                    keywords = true;
                }
                doc += q.name;
                if (q.has_default) {
                    doc += '=';
                    append_default(doc, q);
                }
            };
            (add(p), ...);
        },
        d.params);
    doc += ")\n--\n\n";
    doc += d.summary;
    return doc;
}

template <class T>
struct IsOptional : std::false_type {};
template <class U>
struct IsOptional<std::optional<U>> : std::true_type {};

// A parameter type's converter: Args' own, or a `convert(const Args&, i,
// out)` declared beside the type (found by argument-dependent lookup). An
// optional type takes None as absent and converts anything else as its
// value type.
template <class T>
bool convert_arg(const Args& a, std::size_t i, T& out) {
    if constexpr (IsOptional<T>::value) {
        if (a[i] == Py_None) {
            out.reset();
            return true;
        }
        return convert_arg(a, i, out.emplace());
    } else if constexpr (requires { a.convert(i, out); }) {
        return a.convert(i, out);
    } else {
        return convert(a, i, out);
    }
}

// Converts the given arguments in signature order, then calls the body
// with them (and with `self` when it takes it).
template <const auto& D, std::size_t... I>
PyObject* invoke(PyObject* self, const Args& a, std::index_sequence<I...>) {
    auto values = std::make_tuple(initial(std::get<I>(D.params))...);
    if (!((!a.given(I) || convert_arg(a, I, std::get<I>(values))) && ...)) return nullptr;
    constexpr auto body = std::remove_cvref_t<decltype(D)>::body;
    using Traits = BodyTraits<std::remove_cv_t<decltype(body)>>;
    if constexpr (Traits::arity == sizeof...(I) + 1) {
        return body(SelfArg<typename Traits::First>::from(self), std::move(std::get<I>(values))...);
    } else {
        static_assert(Traits::arity == sizeof...(I), "a body takes the declared parameters, after self or without it");
        (void)self;
        return body(std::move(std::get<I>(values))...);
    }
}

template <const auto& D>
PyObject* dispatch_fast(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr auto specs = D.specs();
        const Signature sig{D.name, specs};
        std::array<PyObject*, specs.size()> matched{};
        if (!parse_args(sig, args, nargsf, kwnames, matched.data())) return nullptr;
        return invoke<D>(self, Args(sig, matched.data()), std::make_index_sequence<specs.size()>{});
    });
}

template <const auto& D>
PyObject* dispatch_noargs(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        const Signature sig{D.name, {}};
        return invoke<D>(self, Args(sig, nullptr), std::index_sequence<>{});
    });
}

// The method-table row of a declaration. Parameterless entry points use
// CPython's no-argument convention, the others vector calls with keywords.
template <const auto& D>
PyMethodDef row() {
    static_assert(D.well_ordered(), "required parameters first, keyword-only ones last");
    static const std::string doc = docstring(D);
    if constexpr (D.size == 0) {
        return {D.name, dispatch_noargs<D>, METH_NOARGS, doc.c_str()};
    } else {
        using Fast = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
        Fast f = dispatch_fast<D>;
        return {D.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)), METH_FASTCALL | METH_KEYWORDS,
                doc.c_str()};
    }
}

template <class T>
struct IsResult : std::false_type {};
template <class T>
struct IsResult<Result<T>> : std::true_type {};

// Runs `compute` detached from the interpreter (handing it the Detached
// guard when it takes one, to reattach for a moment), then, attached again,
// turns what it returned into the call's result: the error of a Result or
// Status becomes its exception; a value goes to `make` (a Status's success
// to `make()`), which builds the Python object.
template <class Compute, class Make = AsPython>
PyObject* detached(Compute&& compute, Make&& make = {}) {
    auto r = [&] {
        Detached d;
        if constexpr (std::is_invocable_v<Compute&, Detached&>) {
            return compute(d);
        } else {
            return compute();
        }
    }();
    using R = decltype(r);
    if constexpr (IsResult<R>::value) {
        if (!r.ok()) return raise(r.error());
        return make(r.value());
    } else if constexpr (std::is_same_v<R, Status>) {
        if (!r.ok()) return raise(r.error());
        return make();
    } else {
        return make(r);
    }
}

}  // namespace fennel::py
