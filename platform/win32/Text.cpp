// Text encodings through the Windows conversion functions of the system code
// page (CP_ACP) and UTF-8.
#include "platform/Text.h"

#include <windows.h>

#include <stdexcept>

namespace plat {
namespace {

std::u16string ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (n <= 0) throw std::runtime_error("MultiByteToWideChar failed");
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

std::string FromWide(UINT codePage, std::u16string_view text) {
  if (text.empty()) return {};
  const auto* data = reinterpret_cast<const wchar_t*>(text.data());
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(codePage, 0, data, size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) throw std::runtime_error("WideCharToMultiByte failed");
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, data, size, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::u16string AnsiToWide(std::string_view ansi) {
  return ToWide(CP_ACP, ansi);
}

std::string WideToAnsi(std::u16string_view wide) {
  return FromWide(CP_ACP, wide);
}

std::u16string Utf8ToWide(std::string_view utf8) {
  return ToWide(CP_UTF8, utf8);
}

std::string WideToUtf8(std::u16string_view wide) {
  return FromWide(CP_UTF8, wide);
}

std::string AnsiLowerCase(std::string_view ansi) {
  std::string out(ansi);
  if (!out.empty()) CharLowerBuffA(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

}  // namespace plat
