// Arbitrary bytes to the string holder's decoder, and to the whole path
// from a form stream to a module's property lines. The first byte picks the
// version and the key length; the rest is key and stored string. Nothing
// may crash; decoding never makes a line longer than its stored string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "framework/StringList.h"
#include "framework/SysUtils.h"
#include "plugin/korPluginProperties.h"
#include "plugin/korStringHolder.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (form::HasFormSignature(input)) {
    TStringList lines;
    try {
      ReadFormStrings(input, kPropertiesComponent, lines);
    } catch (const Exception&) {
    }
    return 0;
  }
  if (size == 0) return 0;
  const int version = static_cast<int>(data[0] % 4) - 1;  // -1 .. 2
  const std::size_t keyLength = std::min<std::size_t>(data[0] >> 2, size - 1);
  const std::string_view key = input.substr(1, keyLength);
  const std::string_view stored = input.substr(1 + keyLength);
  const std::string line = TkorStrHolder::DecodeLine(stored, key, version);
  // UTF-8 to the code page never grows; hex halves; version 0 cuts at 255.
  Check(line.size() <= stored.size());
  if (version >= 2 && line.find('?') == std::string::npos) {
    // A line that came through cleanly encodes back to a string that
    // decodes to it again.
    Check(TkorStrHolder::DecodeLine(TkorStrHolder::EncodeLine(line, key), key, 2) == line);
  }
  return 0;
}
