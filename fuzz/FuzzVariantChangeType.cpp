// VariantChangeType on arbitrary input: text (as UTF-16 or as Windows-1252
// bytes) to every supported type and back to text, and raw 8-byte payloads
// of every type to text and to every other type. Nothing may crash or leak.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/Ole.h"
#include "platform/Text.h"

namespace {

using namespace plat;

constexpr std::uint16_t kTypes[] = {
    varEmpty,  varNull,    varSmallint, varInteger, varSingle, varDouble,   varCurrency, varDate,
    varOleStr, varBoolean, varShortInt, varByte,    varWord,   varLongWord, varInt64,    varUInt64,
};

constexpr std::uint16_t kFlags[] = {0, kVariantAlphaBool};

// Converts source to every type, and each result back to text.
void ConvertToAll(const TVarData& source) {
  for (std::uint16_t flags : kFlags) {
    for (std::uint16_t vt : kTypes) {
      TVarData dest;
      VariantInit(dest);
      if (Succeeded(VariantChangeType(dest, source, flags, vt)))
        VariantChangeType(dest, dest, flags, varOleStr);
      VariantClear(dest);
    }
  }
}

void FuzzText(const std::uint8_t* data, std::size_t size, bool utf16) {
  std::u16string text;
  if (utf16) {
    text.resize(size / 2);
    std::memcpy(text.data(), data, text.size() * 2);
  } else {
    text = AnsiToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  }
  TVarData source;
  VariantInit(source);
  source.VType = varOleStr;
  source.VOleStr = SysAllocString(text);
  ConvertToAll(source);
  VariantClear(source);
}

// A few payloads per input keep the runs fast; the fuzzer varies the rest.
constexpr std::size_t kMaxPayloads = 4;

void FuzzPayloads(const std::uint8_t* data, std::size_t size) {
  for (std::size_t offset = 0; offset + 8 <= size && offset < 8 * kMaxPayloads; offset += 8) {
    for (std::uint16_t vt : kTypes) {
      if (vt == varOleStr) continue;
      TVarData source;
      VariantInit(source);
      source.VType = vt;
      std::memcpy(&source.VInt64, data + offset, 8);
      ConvertToAll(source);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0] % 3;
  ++data, --size;
  if (mode == 2) {
    FuzzPayloads(data, size);
  } else {
    FuzzText(data, size, mode == 0);
  }
  return 0;
}
