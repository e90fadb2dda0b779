// Telegrams of simulated slaves: reading them from hex text (files as in the
// meter-frame test data: hexadecimal pairs, blanks and line breaks between
// them, '#' comments) and building synthetic variable-structure replies.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bus {

using Bytes = std::vector<std::uint8_t>;

struct TelegramError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The bytes of hex text; throws TelegramError on an odd digit count or a
// character that is neither a hex digit, a separator nor part of a comment.
Bytes ParseHexText(std::string_view text);
// Cuts back-to-back frames apart by their start bytes and length fields
// (checksums are not checked: a test may want a damaged frame).
std::vector<Bytes> SplitFrames(const Bytes& bytes);
// Both of the above; at least one frame.
std::vector<Bytes> ParseTelegrams(std::string_view text);
std::vector<Bytes> ReadTelegramFile(const std::string& path);

// Sum of the bytes from C to the end of the data, as in the checksum field.
std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count);
// Recomputes the checksum of a long frame after a change.
void FixChecksum(Bytes& frame);

// The four fields that make up a secondary address.
struct SecondaryAddress {
  std::uint32_t id = 0;  // 8 BCD digits, e.g. 0x12345678 for "12345678"
  std::uint16_t manufacturer = 0;
  std::uint8_t version = 0;
  std::uint8_t medium = 0;

  // 16 hexadecimal digits: id, manufacturer, version, medium.
  std::string Text() const;
  bool operator==(const SecondaryAddress&) const = default;
};

// The address in the header of a variable-structure reply (CI 0x72/0x76);
// false for any other frame.
bool AddressOfTelegram(const Bytes& frame, SecondaryAddress& out);
// Writes the address into such a header and fixes the checksum.
void SetTelegramAddress(Bytes& frame, const SecondaryAddress& address);

// A variable-structure RSP_UD from `address` with one volume record; with
// more_follow the records end with DIF 0x1F (more records follow).
Bytes BuildTelegram(std::uint8_t primary, const SecondaryAddress& address, std::uint32_t volume,
                    bool more_follow = false);

}  // namespace bus
