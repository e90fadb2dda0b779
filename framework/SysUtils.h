// Exceptions of the system. Errors are exceptions inside the library; every
// export, thread body, timer callback and hook catches them (see README).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

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

// text without its leading and trailing characters up to 0x20 (blanks and
// control characters), the rule of every text the system trims.
inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  return text;
}
