// Small text helpers of the plug-in module: fields, lines and numbers the
// way the host's texts are written. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plugtext {

// The texts between separators (an empty text gives one empty field).
std::vector<std::string> SplitFields(std::string_view text, char separator);
// Field n (1-based) of text split at separator; "" when there are fewer.
std::string Field(std::string_view text, char separator, std::size_t n);
// The lines of a text split at CR, LF or CR LF; a final break adds no line.
std::vector<std::string> SplitLines(std::string_view text);
// A whole decimal 32-bit integer with optional sign and surrounding blanks;
// none for anything else (overflow included).
std::optional<std::int32_t> ParseInt32(std::string_view text);
// Lower-case of A to Z only.
std::string AsciiLower(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);

}  // namespace plugtext
