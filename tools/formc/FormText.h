// The readable text form of a form stream: what the form sources under
// dialog/ and beside their modules are written in, and what the form
// compiler (kor-formc) turns into the binary stream. Grammar in
// docs/forms.md. Pure code; thread-safe.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "framework/FormStream.h"

namespace form {

// A text form that cannot be compiled; the message starts with
// "LINE:COLUMN: ".
class EFormTextError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses one text form (UTF-8) into its object tree. Raises EFormTextError.
TFormObject ParseFormText(std::string_view text);

// The text form of an object tree; ParseFormText of it gives the same tree
// (every value type keeps its type).
std::string FormToText(const TFormObject& root);

// Text form to binary stream in one step.
inline std::string CompileFormText(std::string_view text) {
  return WriteFormStream(ParseFormText(text));
}

}  // namespace form
