// Text encodings: the system's 8-bit code page ("ANSI"), UTF-16 and UTF-8.
// Win32: the Windows conversion and lower-casing functions of the system
// code page. Posix: Windows-1252 rules, the same results for that page
// (characters outside it become '?'; Windows' best-fit mapping is not copied).
// All functions are thread-safe and allocate their result.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

std::u16string AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::u16string_view wide);

// Invalid UTF-8 sequences become U+FFFD; unpaired surrogates likewise.
std::u16string Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::u16string_view wide);

// Locale-aware lower-casing of ANSI text (the CharLowerBuffA rule).
std::string AnsiLowerCase(std::string_view ansi);

// Length of a NUL-terminated UTF-16 text; 0 for nil.
inline std::size_t WideLength(const char16_t* text) {
  if (text == nullptr) return 0;
  std::size_t n = 0;
  while (text[n] != u'\0') ++n;
  return n;
}

}  // namespace plat
