// Error values of the native core. Core code never throws across the worker
// pool or into the bindings; it returns one of these, and the binding turns it
// into the matching Python exception after re-attaching to the interpreter.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace fennel {

enum class ErrorKind {
    Value,           // input NetworkX would also reject
    Type,
    Index,           // "node index out of range"
    NotImplemented,  // declined: the caller falls back to NetworkX
    Overflow,
    OutOfRange,      // a finite float's power overflowed: OverflowError as float ** raises it (errno ERANGE)
    Memory,
    NegativeCycle,  // a contradictory path: ValueError with NetworkX's two arguments
    Interrupted,     // a signal handler raised (KeyboardInterrupt): the exception is already set
    Raised,          // a call back into the interpreter raised: its exception is set
    Internal,        // a defect, never a property of the input
};

struct Error {
    ErrorKind kind;
    std::string message;
};

inline Error index_error() { return {ErrorKind::Index, "node index out of range"}; }
inline Error not_implemented(std::string m) { return {ErrorKind::NotImplemented, std::move(m)}; }
inline Error value_error(std::string m) { return {ErrorKind::Value, std::move(m)}; }
inline Error internal_error(std::string m) { return {ErrorKind::Internal, std::move(m)}; }
inline Error interrupted() { return {ErrorKind::Interrupted, "interrupted"}; }
inline Error out_of_range() { return {ErrorKind::OutOfRange, "Numerical result out of range"}; }

// A value or an error.
template <class T>
class Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}
    bool ok() const { return v_.index() == 0; }
    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    Error& error() { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

// Success, or an error.
class Status {
public:
    Status() = default;
    Status(Error e) : error_(std::move(e)), failed_(true) {}
    bool ok() const { return !failed_; }
    Error& error() { return error_; }

private:
    Error error_{ErrorKind::Internal, {}};
    bool failed_ = false;
};

// Debug form of a name, as in the "edge attribute {:?} was not converted"
// messages: double quotes and backslash escapes.
std::string debug_quoted(const std::string& s);

}  // namespace fennel
