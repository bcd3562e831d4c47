// Native values to new Python objects. Lists are created
// at their final length and filled in place.
#pragma once

#include "lib/compat.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace fennel::py {

inline PyObject* to_python(double v) { return PyFloat_FromDouble(v); }
inline PyObject* to_python(std::uint8_t v) { return PyLong_FromLong(v); }
inline PyObject* to_python(std::uint32_t v) { return PyLong_FromUnsignedLong(v); }
inline PyObject* to_python(std::uint64_t v) { return PyLong_FromUnsignedLongLong(v); }
inline PyObject* to_python(bool v) { return PyBool_FromLong(v); }

// An exact 128-bit integer: (high << 64) + low, with Python's arithmetic
// where it does not fit in 64 bits.
inline PyObject* to_python(__int128 v) {
    if (v >= INT64_MIN && v <= INT64_MAX) return PyLong_FromLongLong(static_cast<long long>(v));
    PyObject* high = PyLong_FromLongLong(static_cast<long long>(v >> 64));
    PyObject* shift = high != nullptr ? PyLong_FromLong(64) : nullptr;
    PyObject* shifted = shift != nullptr ? PyNumber_Lshift(high, shift) : nullptr;
    PyObject* low = shifted != nullptr ? PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(v)) : nullptr;
    PyObject* out = low != nullptr ? PyNumber_Add(shifted, low) : nullptr;
    Py_XDECREF(high);
    Py_XDECREF(shift);
    Py_XDECREF(shifted);
    Py_XDECREF(low);
    return out;
}

template <class T>
PyObject* to_python(const std::vector<T>& values);
template <class T>
PyObject* to_python(const std::optional<T>& value);

template <class T>
PyObject* to_list(std::span<const T> values) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(values.size()));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = to_python(values[i]);
        if (item == nullptr) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

template <class Container>
PyObject* to_list(const Container& values) {
    using T = std::remove_cv_t<std::remove_reference_t<decltype(*values.data())>>;
    return to_list(std::span<const T>(values.data(), values.size()));
}

// A vector as a list of its items; an optional as its value or None.
template <class T>
PyObject* to_python(const std::vector<T>& values) {
    return to_list(values);
}

template <class T>
PyObject* to_python(const std::optional<T>& value) {
    return value ? to_python(*value) : Py_NewRef(Py_None);
}

// to_python as a callable object.
struct AsPython {
    template <class T>
    PyObject* operator()(const T& value) const {
        return to_python(value);
    }
};

// A tuple whose items are made in order by `make...` (each returns a new
// reference or nullptr with an exception set); the first failure stops.
template <class... Make>
PyObject* tuple_from(Make&&... make) {
    PyObject* tuple = PyTuple_New(sizeof...(Make));
    if (tuple == nullptr) return nullptr;
    Py_ssize_t k = 0;
    auto put = [&](PyObject* item) {
        if (item != nullptr) PyTuple_SET_ITEM(tuple, k++, item);
        return item != nullptr;
    };
    if (!(put(make()) && ...)) {
        Py_DECREF(tuple);
        return nullptr;
    }
    return tuple;
}

// A list of `count` items made in order by `make(i)`; the first failure stops.
template <class Make>
PyObject* list_from(std::size_t count, Make&& make) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(count));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        PyObject* item = make(i);
        if (item == nullptr) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

// {keys[i]: make(i)} for every item of the tuple `keys`, inserted in that
// order into a dict made at its final size; the first failure stops. Each
// key is fetched some insertions ahead of its own (which reads its hash).
template <class Make>
PyObject* dict_from(PyObject* keys, Make&& make) {
    constexpr Py_ssize_t AHEAD = 8;
    const Py_ssize_t count = PyTuple_GET_SIZE(keys);
    PyObject* dict = new_dict_for(count);
    if (dict == nullptr) return nullptr;
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (i + AHEAD < count) __builtin_prefetch(PyTuple_GET_ITEM(keys, i + AHEAD));
        PyObject* value = make(static_cast<std::size_t>(i));
        const int failed = value == nullptr ? -1 : PyDict_SetItem(dict, PyTuple_GET_ITEM(keys, i), value);
        Py_XDECREF(value);
        if (failed) {
            Py_DECREF(dict);
            return nullptr;
        }
    }
    return dict;
}

// The set CPython builds by adding objects[positions[i]] in order of i.
//
// A set iterates in the order of its table's slots, and an item whose own
// slot (its hash masked by the table's size) is free when it comes takes
// that slot; the table grows after the same counts of adds whatever they
// add. So when every item is an int from 0 to the finished table's mask,
// each sits in the slot of its value, whatever the order of the adds: such
// items are added in ascending order, which writes the table from front to
// back instead of at random (on sets too large for the caches, four times
// faster). Otherwise, and when the finished table turns out smaller than
// the largest value, the items are added in the given order.
template <class Index>
PyObject* set_from(PyObject* const* objects, std::span<const Index> positions) {
    // Objects (and their slots in `objects`) read at random: each slot is
    // fetched some adds ahead of its object, the object ahead of its add
    // (which reads its hash).
    constexpr std::size_t AHEAD = 8;
    auto add_all = [&](PyObject* set, auto&& at) {
        const std::size_t n = positions.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (i + 2 * AHEAD < n) __builtin_prefetch(objects + at(i + 2 * AHEAD));
            if (i + AHEAD < n) __builtin_prefetch(objects[at(i + AHEAD)]);
            if (PySet_Add(set, objects[at(i)]) < 0) return false;
        }
        return true;
    };
    auto in_order = [&] {
        PyObject* set = PySet_New(nullptr);
        if (set != nullptr && !add_all(set, [&](std::size_t i) { return positions[i]; })) Py_CLEAR(set);
        return set;
    };
    // Small sets stay in the caches, where the order of writes costs nothing.
    constexpr std::size_t MIN_SORTED = 4096;
    const std::size_t n = positions.size();
    if (n < MIN_SORTED) return in_order();
    // Values past four per item are left to the given order: the finished
    // table holds them only in the adds just after it grew.
    const std::size_t limit = 4 * n;
    std::vector<std::uint32_t> values(n);
    std::size_t largest = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 2 * AHEAD < n) __builtin_prefetch(objects + positions[i + 2 * AHEAD]);
        if (i + AHEAD < n) __builtin_prefetch(objects[positions[i + AHEAD]]);
        PyObject* o = objects[positions[i]];
        long long v = -1;
        if (!PyLong_CheckExact(o) || !compact_int_value(o, v) || v < 0 || static_cast<std::size_t>(v) >= limit) {
            return in_order();
        }
        values[i] = static_cast<std::uint32_t>(v);
        largest = std::max(largest, static_cast<std::size_t>(v));
    }
    std::vector<std::uint32_t> by_value(largest + 1, 0);  // 1 + i of the item of each value
    for (std::size_t i = 0; i < n; ++i) {
        if (by_value[values[i]] != 0) return in_order();  // equal items: the first added stays
        by_value[values[i]] = static_cast<std::uint32_t>(i + 1);
    }
    std::vector<Index> ascending;
    ascending.reserve(n);
    for (std::size_t v = 0; v <= largest; ++v) {
        if (by_value[v] != 0) ascending.push_back(positions[by_value[v] - 1]);
    }
    PyObject* set = PySet_New(nullptr);
    if (set == nullptr || !add_all(set, [&](std::size_t i) { return ascending[i]; })) {
        Py_XDECREF(set);
        return nullptr;
    }
    if (static_cast<std::size_t>(reinterpret_cast<PySetObject*>(set)->mask) >= largest) return set;
    Py_DECREF(set);
    return in_order();
}

}  // namespace fennel::py
