// The exception base of the whole system: an exception carries the message the user sees.
#ifndef VELDA_RTL_EXCEPTION_H
#define VELDA_RTL_EXCEPTION_H

#include <exception>
#include <string>

namespace rtl {

class Exception : public std::exception {
  public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

// A conversion that failed ("'x' is not a valid integer value", "Invalid argument to date encode").
class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

}  // namespace rtl

#endif
