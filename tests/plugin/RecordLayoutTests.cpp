// The layouts the host relies on, checked at run time through the code the
// compiler generates (the static_asserts only check what it computes): each
// field of the packed boundary records and of the VARIANT record is written
// through its member and must land at the host's offset, little-endian, in
// exactly its size, and bytes put at that offset must read back through the
// member. The packed records sit at an odd address, so their 32-bit fields
// and pointer-sized ones (eight bytes in 64-bit builds) are read and written
// unaligned; the VARIANT's 64-bit values are checked at offset 8.
// The parameter lists' signature words sit where the host reads them.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "params/korParamLst.h"
#include "params/korParamLstWrap.h"
#include "platform/Ole.h"
#include "plugin/PluginRecords.h"

#if defined(_WIN32)
#include <oaidl.h>
#endif

namespace {

constexpr std::size_t P = sizeof(void*);
constexpr std::uint64_t kPattern = 0x8877665544332211ull;

// An integer field's bits (a signed one without its sign extended).
template <class T>
std::uint64_t Unsigned(T value) {
  if constexpr (std::is_signed_v<T>) {
    return static_cast<std::make_unsigned_t<T>>(value);
  } else {
    return value;
  }
}

// One field: where the host expects it and how the code reaches it.
template <class Rec>
struct TField {
  const char* Name;
  std::size_t Offset;
  std::size_t Size;
  std::function<void(Rec&, std::uint64_t)> Write;
  std::function<std::uint64_t(const Rec&)> Read;
};

// clang-format off
// NOLINTBEGIN(bugprone-macro-parentheses): Rec is a type, member a member path
#define KOR_FIELD(Rec, member, offset)                                             \
  TField<Rec> {                                                                    \
    #member, offset, sizeof(std::declval<Rec&>().member),                          \
        [](Rec& r, std::uint64_t v) {                                              \
          r.member = static_cast<std::remove_reference_t<decltype(r.member)>>(v);  \
        },                                                                         \
        [](const Rec& r) { return Unsigned(r.member); }                            \
  }
// Floating-point fields by their bit pattern.
#define KOR_FIELD_BITS(Rec, member, offset, Bits)                                  \
  TField<Rec> {                                                                    \
    #member, offset, sizeof(Bits),                                                 \
        [](Rec& r, std::uint64_t v) {                                              \
          using T = std::remove_reference_t<decltype(r.member)>;                   \
          r.member = std::bit_cast<T>(static_cast<Bits>(v));                       \
        },                                                                         \
        [](const Rec& r) {                                                         \
          const auto value = r.member; /* a copy: the field may be unaligned */    \
          return std::uint64_t{std::bit_cast<Bits>(value)};                        \
        }                                                                          \
  }
// NOLINTEND(bugprone-macro-parentheses)
// clang-format on

std::uint64_t Truncated(std::uint64_t value, std::size_t size) {
  return size >= 8 ? value : value & ((std::uint64_t{1} << (8 * size)) - 1);
}

// Each field written and read at the host's offset; a packed record sits at
// an odd address inside a larger buffer (as a host may place it), others at
// their alignment.
template <class Rec>
void CheckFields(const std::vector<TField<Rec>>& fields, std::size_t recordSize) {
  ASSERT_EQ(sizeof(Rec), recordSize);
  for (const TField<Rec>& field : fields) {
    SCOPED_TRACE(field.Name);
    alignas(16) unsigned char buffer[sizeof(Rec) + 32] = {};
    constexpr std::size_t kShift = alignof(Rec) == 1 ? 3 : 0;
    unsigned char* base = buffer + kShift;
    Rec* rec = reinterpret_cast<Rec*>(base);
    const std::uint64_t value = Truncated(kPattern, field.Size);
    field.Write(*rec, value);
    for (std::size_t i = 0; i < sizeof buffer; ++i) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(i) -
                                static_cast<std::ptrdiff_t>(kShift) -
                                static_cast<std::ptrdiff_t>(field.Offset);
      const unsigned char expected = at >= 0 && static_cast<std::size_t>(at) < field.Size
                                         ? static_cast<unsigned char>(kPattern >> (8 * at))
                                         : 0;
      ASSERT_EQ(buffer[i], expected) << "byte " << at + static_cast<std::ptrdiff_t>(field.Offset);
    }
    std::memset(buffer, 0, sizeof buffer);
    const std::uint64_t other = Truncated(~kPattern, field.Size);
    std::memcpy(base + field.Offset, &other, field.Size);  // little-endian
    EXPECT_EQ(field.Read(*rec), other);
  }
}

}  // namespace

TEST(RecordLayout, ValueBlock) {
  using R = kor::TPluginDataRec;
  CheckFields<R>(
      {KOR_FIELD(R, Head, 0), KOR_FIELD(R, Size, 4), KOR_FIELD(R, Kind, 8), KOR_FIELD(R, Value, 9)},
      9 + P);
}

TEST(RecordLayout, CallRecord) {
  using R = kor::TPluginCallRec;
  const std::size_t block = 9 + P;
  const std::size_t in = 18 + 2 * P;
  CheckFields<R>(
      {KOR_FIELD(R, Size, 0), KOR_FIELD(R, Flags, 4), KOR_FIELD(R, ModulePluginHandle, 5),
       KOR_FIELD(R, ModuleIndex, 5 + P), KOR_FIELD(R, DataSourceId, 9 + P),
       KOR_FIELD(R, Reserved17, 13 + P), KOR_FIELD(R, Mode, 17 + P), KOR_FIELD(R, Params, 18 + P),
       KOR_FIELD(R, InData.Head, in), KOR_FIELD(R, InData.Size, in + 4),
       KOR_FIELD(R, InData.Kind, in + 8), KOR_FIELD(R, InData.Value, in + 9),
       KOR_FIELD(R, OutData.Kind, in + block + 8), KOR_FIELD(R, OutData.Value, in + block + 9),
       KOR_FIELD(R, HostArea[0], in + 2 * block), KOR_FIELD(R, HostArea[47], in + 2 * block + 47),
       KOR_FIELD(R, HostTag, in + 2 * block + 48)},
      in + 2 * block + 50);
  EXPECT_EQ(kor::kCallRecSize, P == 4 ? 102u : 118u);
}

TEST(RecordLayout, ModuleInformationHeader) {
  using R = kor::TPluginModuleInfo;
  CheckFields<R>(
      {KOR_FIELD(R, Size, 0), KOR_FIELD(R, ModuleType, 4), KOR_FIELD(R, InterfaceVersion, 8),
       KOR_FIELD_BITS(R, VersionNumber, 12, std::uint32_t), KOR_FIELD(R, InfoFlag, 16),
       KOR_FIELD(R, DescriptionLength, 17), KOR_FIELD(R, DescriptionText, 21),
       KOR_FIELD(R, CommandsLength, 21 + P), KOR_FIELD(R, CommandsText, 25 + P)},
      25 + 2 * P);
}

// The VARIANT record: the type word, then the value at 8 (64-bit values
// included), the record form's second pointer after the first.
TEST(RecordLayout, Variant) {
  using R = plat::TVarData;
  CheckFields<R>(
      {KOR_FIELD(R, VType, 0), KOR_FIELD(R, VSmallInt, 8), KOR_FIELD(R, VInteger, 8),
       KOR_FIELD(R, VInt64, 8), KOR_FIELD(R, VUInt64, 8), KOR_FIELD(R, VCurrency, 8),
       KOR_FIELD_BITS(R, VDouble, 8, std::uint64_t), KOR_FIELD_BITS(R, VDate, 8, std::uint64_t),
       KOR_FIELD_BITS(R, VSingle, 8, std::uint32_t), KOR_FIELD(R, VBoolean, 8),
       KOR_FIELD(R, VByte, 8)},
      P == 4 ? 16 : 24);
  // Pointers by their addresses.
  R value{};
  const auto* base = reinterpret_cast<const unsigned char*>(&value);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&value.VRecordPair.VRecord) - base, 8);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&value.VRecordPair.VRecInfo) - base,
            static_cast<std::ptrdiff_t>(8 + P));
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&value.VOleStr) - base, 8);
#if defined(_WIN32)
  // The system's own VARIANT at run time: the same places.
  VARIANT system{};
  const auto* sys = reinterpret_cast<const unsigned char*>(&system);
  EXPECT_EQ(sizeof system, sizeof value);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&system.vt) - sys, 0);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&system.llVal) - sys, 8);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&system.dblVal) - sys, 8);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&system.pRecInfo) - sys,
            static_cast<std::ptrdiff_t>(8 + P));
#endif
}

// The signature words the host and FromObject read: 16 bytes past a list
// object in 32-bit builds (two pointers and eight bytes), two pointers past
// a wrapper.
TEST(RecordLayout, ParameterListSignatures) {
  TkorParamsList list;
  std::int32_t word = 0;
  std::memcpy(&word, reinterpret_cast<const unsigned char*>(&list) + 2 * P + 8, sizeof word);
  EXPECT_EQ(word, kParamsListSignature);
  EXPECT_EQ(kParamsListSignatureOffset, P == 4 ? 16u : 24u);
  auto* wrap = new TkorParamsListWrap();
  wrap->AddRef();
  void* object = static_cast<IkorParamsListW*>(wrap);
  std::memcpy(&word, static_cast<const unsigned char*>(object) + 2 * P, sizeof word);
  EXPECT_EQ(word, TkorParamsListWrap::kWrapSignature);
  wrap->Release();
}
