// Exception base of the component model and the framework's own error kinds.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string Msg) : message_(std::move(Msg)) {}

    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string Msg) { message_ = std::move(Msg); }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Raised by TPersistent::Assign/AssignTo when an object cannot take another's contents.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

class EComponentError : public Exception {
public:
    using Exception::Exception;
};

class EListError : public Exception {
public:
    using Exception::Exception;
};

class EStringListError : public EListError {
public:
    using EListError::EListError;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EThread : public Exception {
public:
    using Exception::Exception;
};

// Text of any exception: Message() of ours, what() of the others.
std::string ExceptionMessage(const std::exception_ptr& E);
