// The dialog script compiler: Pascal-like source (the options dialog's
// script units under dialog/) to the XML syntax tree the host's script
// engine runs. Grammar and tree vocabulary in docs/options-dialog.md.
// Pure code over text; thread-safe (no shared state).
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace script {

// Source that cannot be compiled; the message reads "FILE:LINE:COLUMN: reason".
class EScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Finds the source of a used unit by its name as written in the uses
// clause: fills the file name (for messages) and the text, or returns false.
using TUnitReader =
    std::function<bool(const std::string& unit, std::string& fileName, std::string& source)>;

// Used units nest at most this deep; statements and expressions at most
// kMaxNesting deep (deeper source is refused, never a stack overflow).
inline constexpr int kMaxUnitDepth = 8;
inline constexpr int kMaxNesting = 200;

// The syntax tree of the main unit, with every used unit inlined: the XML
// declaration and one "program" element, no line breaks. Raises EScriptError.
std::string CompileScript(std::string_view source, const std::string& fileName,
                          const TUnitReader& readUnit);

}  // namespace script
