#include "host/bus/Telegrams.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace bus {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ':';
}

// Length of the frame that starts at bytes[at]; throws when it does not fit.
std::size_t FrameLength(const Bytes& bytes, std::size_t at) {
  const std::size_t left = bytes.size() - at;
  switch (bytes[at]) {
    case 0xE5:
      return 1;
    case 0x10:
      if (left < 5) throw TelegramError("short frame cut off");
      return 5;
    case 0x68: {
      if (left < 4) throw TelegramError("long frame header cut off");
      if (bytes[at + 1] != bytes[at + 2] || bytes[at + 3] != 0x68)
        throw TelegramError("long frame header inconsistent");
      const std::size_t length = bytes[at + 1] + 6u;
      if (left < length) throw TelegramError("long frame cut off");
      return length;
    }
    default:
      throw TelegramError("no frame starts at byte " + std::to_string(at));
  }
}

bool HasVariableHeader(const Bytes& frame) {
  return frame.size() >= 21 && frame[0] == 0x68 && (frame[6] == 0x72 || frame[6] == 0x76);
}

void PutBcd(Bytes& out, std::uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    const std::uint32_t two = value % 100;
    out.push_back(static_cast<std::uint8_t>((two / 10) << 4 | two % 10));
    value /= 100;
  }
}

}  // namespace

Bytes ParseHexText(std::string_view text) {
  Bytes out;
  int high = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (IsSeparator(c)) {
      if (high >= 0) throw TelegramError("odd number of hex digits");
      continue;
    }
    const int digit = HexDigit(c);
    if (digit < 0) throw TelegramError("invalid character in telegram text");
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) throw TelegramError("odd number of hex digits");
  return out;
}

std::vector<Bytes> SplitFrames(const Bytes& bytes) {
  std::vector<Bytes> frames;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = FrameLength(bytes, at);
    frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  }
  return frames;
}

std::vector<Bytes> ParseTelegrams(std::string_view text) {
  auto frames = SplitFrames(ParseHexText(text));
  if (frames.empty()) throw TelegramError("no telegram in the text");
  return frames;
}

std::vector<Bytes> ReadTelegramFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TelegramError("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  try {
    return ParseTelegrams(text.str());
  } catch (const TelegramError& e) {
    throw TelegramError(path + ": " + e.what());
  }
}

std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<std::uint8_t>(sum);
}

void FixChecksum(Bytes& frame) {
  if (frame.size() < 9 || frame[0] != 0x68) return;
  frame[frame.size() - 2] = Checksum(frame.data() + 4, frame.size() - 6);
}

std::string SecondaryAddress::Text() const {
  char text[17];
  std::snprintf(text, sizeof text, "%08X%04X%02X%02X", static_cast<unsigned>(id), manufacturer,
                version, medium);
  return text;
}

bool AddressOfTelegram(const Bytes& frame, SecondaryAddress& out) {
  if (!HasVariableHeader(frame)) return false;
  const std::uint8_t* h = frame.data() + 7;
  out.id = static_cast<std::uint32_t>(h[3]) << 24 | static_cast<std::uint32_t>(h[2]) << 16 |
           static_cast<std::uint32_t>(h[1]) << 8 | h[0];
  out.manufacturer = static_cast<std::uint16_t>(h[5] << 8 | h[4]);
  out.version = h[6];
  out.medium = h[7];
  return true;
}

void SetTelegramAddress(Bytes& frame, const SecondaryAddress& address) {
  if (!HasVariableHeader(frame)) return;
  std::uint8_t* h = frame.data() + 7;
  for (int i = 0; i < 4; ++i) h[i] = static_cast<std::uint8_t>(address.id >> (8 * i));
  h[4] = static_cast<std::uint8_t>(address.manufacturer);
  h[5] = static_cast<std::uint8_t>(address.manufacturer >> 8);
  h[6] = address.version;
  h[7] = address.medium;
  FixChecksum(frame);
}

Bytes BuildTelegram(std::uint8_t primary, const SecondaryAddress& address, std::uint32_t volume,
                    bool more_follow) {
  Bytes body = {0x08, primary, 0x72};
  for (int i = 0; i < 4; ++i) body.push_back(static_cast<std::uint8_t>(address.id >> (8 * i)));
  body.push_back(static_cast<std::uint8_t>(address.manufacturer));
  body.push_back(static_cast<std::uint8_t>(address.manufacturer >> 8));
  body.insert(body.end(), {address.version, address.medium, 0x01, 0x00, 0x00, 0x00});
  body.insert(body.end(), {0x0C, 0x13});  // 8-digit BCD volume in litres
  PutBcd(body, volume, 4);
  if (more_follow) body.push_back(0x1F);
  const auto length = static_cast<std::uint8_t>(body.size());
  Bytes frame;
  frame.reserve(body.size() + 6);
  for (std::uint8_t b : {std::uint8_t{0x68}, length, length, std::uint8_t{0x68}})
    frame.push_back(b);
  for (std::uint8_t b : body) frame.push_back(b);
  frame.push_back(Checksum(body.data(), body.size()));
  frame.push_back(0x16);
  return frame;
}

}  // namespace bus
