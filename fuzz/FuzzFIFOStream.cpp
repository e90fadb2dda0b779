// The receive FIFO takes whatever bytes the host passes in. The input drives
// a ring (size, drop chunk and mode from the first bytes) with writes and
// reads of any length; every result is checked against a plain byte queue
// that applies the same dropping rule.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <vector>

#include "framework/FIFOStream.h"

namespace {

struct Model {
  std::uint32_t size;
  std::uint32_t dropChunk;
  bool overwrite;
  std::deque<std::uint8_t> bytes;

  // false: the write must fail
  bool Write(const std::uint8_t* data, std::uint32_t count) {
    std::uint32_t room = size - static_cast<std::uint32_t>(bytes.size());
    if (count > room) {
      if (!overwrite) return false;
      std::uint32_t drop = count - room > dropChunk ? count - room : dropChunk;
      if (count >= size) drop = static_cast<std::uint32_t>(bytes.size());
      if (drop > bytes.size()) drop = static_cast<std::uint32_t>(bytes.size());
      bytes.erase(bytes.begin(), bytes.begin() + drop);
    }
    if (count > size) {
      data += count - size;
      count = size;
    }
    bytes.insert(bytes.end(), data, data + count);
    return true;
  }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  Model model{static_cast<std::uint32_t>(data[0] % 64 + 1), data[1] % 80u, (data[2] & 1) != 0, {}};
  TFIFOStream fifo(model.size, model.dropChunk, model.overwrite);
  std::size_t pos = 3;
  while (pos < size) {
    std::uint8_t op = data[pos++];
    std::uint32_t count = op & 0x7F;
    if (op & 0x80) {
      std::vector<std::uint8_t> out(count), expected;
      bool fits = count <= model.bytes.size();
      try {
        fifo.Read(out.data(), count);
        Check(fits);
        expected.assign(model.bytes.begin(), model.bytes.begin() + count);
        model.bytes.erase(model.bytes.begin(), model.bytes.begin() + count);
        Check(out == expected);
      } catch (const EFIFOStream&) {
        Check(!fits);
      }
    } else {
      std::uint32_t n = static_cast<std::uint32_t>(count <= size - pos ? count : size - pos);
      bool ok = true;
      try {
        fifo.Write(data + pos, n);
      } catch (const EFIFOStream&) {
        ok = false;
      }
      Check(ok == model.Write(data + pos, n));
      pos += n;
    }
    Check(fifo.Available() == model.bytes.size());
    Check(fifo.FreeSpace() == model.size - model.bytes.size());
  }
  return 0;
}
