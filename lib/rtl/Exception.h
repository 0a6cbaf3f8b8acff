// Base exception of the system: every failure that reaches the application-wide error handler
// carries a message text, which the handler writes unchanged to Error.log.
#pragma once

#include <stdexcept>
#include <string>

namespace rtl {

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message)
        : std::runtime_error(message), message_(message) {}
    // The whole message, NUL bytes included (what() ends at the first NUL).
    const std::string& Message() const { return message_; }

  private:
    std::string message_;
};

// A text that could not be converted to a number.
class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

// A number outside the range its destination can hold.
class ERangeError : public Exception {
  public:
    using Exception::Exception;
};

// A file operation that failed: "File not found", "Access denied", or "I/O error: <reason>".
class EInOutError : public Exception {
  public:
    using Exception::Exception;
    static EInOutError FromErrno(int error);
};

// Replaces the first "%s" of a message pattern with the argument.
std::string Format(const std::string& pattern, const std::string& arg);

}  // namespace rtl
