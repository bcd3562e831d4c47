// The kinds of edge values, the one place their numbers are written. The
// module exports every name of VALUE_KIND_NAMES as an int constant, so the
// Python side reads them instead of restating them.
#pragma once

#include <cstdint>

namespace fennel {

// How NetworkX's arithmetic types a value: bit 0 is float-ness, bit 1
// numpy-ness. The sum or product of two values has the OR of their kinds
// (int + numpy.int64 is numpy.int64, float + numpy.int64 is numpy.float64).
// numpy.bool_ weighs as NP_INT: every sum NetworkX forms over weights starts
// from the int 0 or a float, never from another bool.
enum ValueKind : std::uint8_t { PY_INT = 0, PY_FLOAT = 1, NP_INT = 2, NP_FLOAT = 3 };
inline constexpr std::uint8_t FLOAT_BIT = 1;
inline constexpr std::uint8_t NUMPY_BIT = 2;

// What a native graph stores for one attribute of one edge, one byte each.
// The byte format stores these values: they never change.
enum AttrKind : std::uint8_t { KIND_ABSENT = 0, KIND_INT = 1, KIND_FLOAT = 2, KIND_NONE = 3, KIND_BOOL = 4 };

struct KindName {
    const char* name;
    int value;
};

inline constexpr KindName VALUE_KIND_NAMES[] = {
    {"PY_INT", PY_INT},         {"PY_FLOAT", PY_FLOAT},     {"NP_INT", NP_INT},     {"NP_FLOAT", NP_FLOAT},
    {"FLOAT_BIT", FLOAT_BIT},   {"NUMPY_BIT", NUMPY_BIT},   {"KIND_ABSENT", KIND_ABSENT},
    {"KIND_INT", KIND_INT},     {"KIND_FLOAT", KIND_FLOAT}, {"KIND_NONE", KIND_NONE}, {"KIND_BOOL", KIND_BOOL},
};

}  // namespace fennel
