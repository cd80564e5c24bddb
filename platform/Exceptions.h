#pragma once
// The project's error classes. Every error the system raises derives from Exception and carries
// the system's own message text.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Floating-point faults of an unguarded evaluation.
class EMathError : public Exception {
public:
    using Exception::Exception;
};
class EInvalidOp : public EMathError {
public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
};
class EZeroDivide : public EMathError {
public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
};
class EOverflow : public EMathError {
public:
    EOverflow() : EMathError("Floating point overflow") {}
};

// Text that does not convert to a number, e.g. "'abc' is not a valid floating point value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// An index outside a list, e.g. "List index out of bounds (3)".
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A format string that is malformed or does not match the values given to it.
class EFormatError : public Exception {
public:
    using Exception::Exception;
};
