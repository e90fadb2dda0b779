// Files of the source tree the form tests read: text forms and the
// checked-in streams they must compile to.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace formtest {

inline std::string ReadSourceFile(const std::string& relative) {
  std::ifstream in(std::string(KOR_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A .hex file: pairs of hexadecimal digits, white space between them ignored.
inline std::string ReadHexFile(const std::string& relative) {
  const std::string text = ReadSourceFile(relative);
  std::string bytes, pair;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    pair.push_back(c);
    if (pair.size() == 2) {
      bytes.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
      pair.clear();
    }
  }
  return bytes;
}

}  // namespace formtest
