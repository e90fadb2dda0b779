// Exceptions of the system. Errors are exceptions inside the library; every
// export, thread body, timer callback and hook catches them (see README).
#pragma once

#include <stdexcept>
#include <string>

// Base of all the system's errors; the message is 8-bit text in the system
// code page.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// An internal consistency check failed.
class EAssertionFailed : public Exception {
 public:
  explicit EAssertionFailed(const std::string& message = "Assertion failure")
      : Exception(message) {}
};

// A list index outside the list.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// Raises EAssertionFailed ("Assertion failure") when condition is false.
inline void KorAssert(bool condition) {
  if (!condition) throw EAssertionFailed();
}
