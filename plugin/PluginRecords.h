// The packed records that cross the plug-in's export boundary, their Kind
// codes, the unload marker, the messages to the host window and the result
// codes of the exports and host commands.
//
// Layout: packed, little-endian. In the 32-bit build every field has the
// size the host expects (call record 102 bytes, value block 13 bytes, module
// information header 33 bytes); the offsets are checked below. In 64-bit
// builds the pointer-sized fields (ModulePluginHandle, Params, Value and the
// two text addresses of the module information) grow to 8 bytes and
// everything after them moves; the records are then 118, 17 and 41 bytes.
// That is the same rule the parameter lists follow (their signature offset
// grows with the pointer size): a host built for the same word size sees the
// same fields in the same order. Code compares with the k...Size constants,
// never with the literal 102.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kor {

// A pointer or a 32-bit integer, as the field's Kind says; pointer-sized.
using TPluginPtr = std::uintptr_t;

#pragma pack(push, 1)

// TPluginDataRec: one value block of a call record.
struct TPluginDataRec {
  std::uint32_t Head;  // not interpreted; copied with the block
  std::uint32_t Size;  // buffer capacity (input) or needed/written length (output)
  std::uint8_t Kind;   // what Value holds: one of TPluginDataKind
  TPluginPtr Value;    // a pointer or a 32-bit integer
};

// TPluginCallRec: the call record the host allocates and passes to every
// export. The plug-in reads and writes it in place.
struct TPluginCallRec {
  std::uint32_t Size;             // the record size, kCallRecSize
  std::uint8_t Flags;             // bit 6 set during a call whose Params is an interface
  TPluginPtr ModulePluginHandle;  // the instance's address; 0 before creation
  std::int32_t ModuleIndex;       // the host's number for the instance
  std::int32_t DataSourceId;      // the data source a ProcessData call addresses
  std::uint32_t Reserved17;       // not interpreted; 0 in records the plug-in builds
  std::uint8_t Mode;              // bit set 0..7, meaning depends on the call
  TPluginPtr Params;              // TkorParamsList*, IkorParamsListA** or 0
  TPluginDataRec InData;          // input value block
  TPluginDataRec OutData;         // output value block
  std::uint8_t HostArea[48];      // not interpreted; 0 in records the plug-in builds
  std::uint16_t HostTag;          // not interpreted; 0 in records the plug-in builds
};

// TPluginModuleInfo: the header GetModuleInfo writes in front of the texts.
struct TPluginModuleInfo {
  std::uint32_t Size;               // in: capacity of the whole buffer; preserved
  std::uint32_t ModuleType;         // low 16 bits module types, high 16 bits capabilities
  std::uint32_t InterfaceVersion;   // low 16 bits kInterfaceVersion, high 16 bits 0
  float VersionNumber;              // IEEE single
  std::uint8_t InfoFlag;            // a byte from the instance, 1 here
  std::uint32_t DescriptionLength;  // bytes of the description text, or 0
  TPluginPtr DescriptionText;       // its address inside this buffer, or 0
  std::uint32_t CommandsLength;     // bytes of the command-list text, or 0
  TPluginPtr CommandsText;          // its address inside this buffer, or 0
};

#pragma pack(pop)

// The object a pointer-sized field holds; the records carry addresses as
// integers.
template <class T>
inline T* RecPointer(TPluginPtr value) {
  return reinterpret_cast<T*>(value);  // NOLINT(performance-no-int-to-ptr)
}

inline constexpr std::uint32_t kDataRecSize = sizeof(TPluginDataRec);
inline constexpr std::uint32_t kCallRecSize = sizeof(TPluginCallRec);
inline constexpr std::uint32_t kModuleInfoHeaderSize = sizeof(TPluginModuleInfo);

// Kind codes of a value block.
enum TPluginDataKind : std::uint8_t {
  kKindParamsList = 1,     // Value: TkorParamsList* (0 stands for a new empty list)
  kKindBytesWritten = 2,   // Value: bytes written into InData's buffer (output)
  kKindText = 4,           // Value: 8-bit text of Size bytes
  kKindStatus = 5,         // Value: a 32-bit status or length (output)
  kKindCode = 6,           // Value: a 32-bit code (the unload marker)
  kKindPortState = 7,      // Value: kPortOpened / kPortClosed (ProcessData input)
  kKindParamsListRaw = 8,  // Value: TkorParamsList*, taken without the signature test
  kKindParamsIntfW = 9,    // Value: IkorParamsListW** (address of a reference)
};

// InData of FreePluginInstance: Kind kKindCode with this Value runs unload-all.
inline constexpr std::uint32_t kUnloadMarker = 0xFF01;

// Port-state notices (Kind kKindPortState in ProcessData's InData).
inline constexpr std::uint32_t kPortOpened = 0x101;
inline constexpr std::uint32_t kPortClosed = 0x102;

// Flags bit set while Params arrived as an interface reference.
inline constexpr std::uint8_t kFlagParamsIntf = 0x40;
// Flags of the records the plug-in builds itself.
inline constexpr std::uint8_t kFlagsOwnRecord = 1;

// Mode elements (bit n = element n).
inline constexpr std::uint8_t ModeBit(int element) {
  return static_cast<std::uint8_t>(1u << element);
}

// Messages posted to the host's window; first parameter ModuleIndex, second 0.
inline constexpr std::uint32_t kMsgLogAdded = 1809;        // 0x711: fetch the log
inline constexpr std::uint32_t kMsgReloadSettings = 1812;  // 0x714: settings shared changed
// The blocking send used when posting fails gives up after this long.
inline constexpr std::uint32_t kMsgSendTimeoutMs = 1000;

// Vornak_SendDataEx kinds.
inline constexpr std::int32_t kSendParsedData = 9;
inline constexpr std::int32_t kSendRawData = 0x81;

// Results of the exports and host commands.
inline constexpr std::int32_t kResultOk = 0;
inline constexpr std::int32_t kResultRefused = -1;     // no instance, bad record, missing parameter
inline constexpr std::int32_t kResultUnknownCmd = -2;  // command not recognised
inline constexpr std::int32_t kResultError = -3;       // an error was caught

// GetModuleInfo's InterfaceVersion.
inline constexpr std::uint32_t kInterfaceVersion = 4;

// GetOptionsDialog status values in OutData.Value (otherwise bytes written).
inline constexpr std::uint32_t kDialogNoInstance = 1;
inline constexpr std::uint32_t kDialogNothing = 2;
inline constexpr std::uint32_t kDialogBufferSmall = 3;
// The options-dialog package header: six 32-bit fields.
inline constexpr std::uint32_t kDialogPackageHeaderSize = 24;

// ShowOptionsDialog status values in OutData.Value.
inline constexpr std::uint32_t kShowUnchanged = 0;
inline constexpr std::uint32_t kShowChanged = 1;
inline constexpr std::uint32_t kShowNoInstance = 2;
inline constexpr std::uint32_t kShowNoDialog = 3;
inline constexpr std::uint32_t kShowRunning = 4;

// ProcessData's wait for a running call on an unloaded instance.
inline constexpr std::uint32_t kProcessWaitMs = 30000;

// The 32-bit layouts the host relies on.
#if !defined(__LP64__) && !defined(_WIN64)
static_assert(sizeof(void*) == 4);
static_assert(offsetof(TPluginDataRec, Head) == 0);
static_assert(offsetof(TPluginDataRec, Size) == 4);
static_assert(offsetof(TPluginDataRec, Kind) == 8);
static_assert(offsetof(TPluginDataRec, Value) == 9);
static_assert(sizeof(TPluginDataRec) == 13);

static_assert(offsetof(TPluginCallRec, Size) == 0);
static_assert(offsetof(TPluginCallRec, Flags) == 4);
static_assert(offsetof(TPluginCallRec, ModulePluginHandle) == 5);
static_assert(offsetof(TPluginCallRec, ModuleIndex) == 9);
static_assert(offsetof(TPluginCallRec, DataSourceId) == 13);
static_assert(offsetof(TPluginCallRec, Reserved17) == 17);
static_assert(offsetof(TPluginCallRec, Mode) == 21);
static_assert(offsetof(TPluginCallRec, Params) == 22);
static_assert(offsetof(TPluginCallRec, InData) == 26);
static_assert(offsetof(TPluginCallRec, OutData) == 39);
static_assert(offsetof(TPluginCallRec, HostArea) == 52);
static_assert(offsetof(TPluginCallRec, HostTag) == 100);
static_assert(sizeof(TPluginCallRec) == 102);

static_assert(offsetof(TPluginModuleInfo, Size) == 0);
static_assert(offsetof(TPluginModuleInfo, ModuleType) == 4);
static_assert(offsetof(TPluginModuleInfo, InterfaceVersion) == 8);
static_assert(offsetof(TPluginModuleInfo, VersionNumber) == 12);
static_assert(offsetof(TPluginModuleInfo, InfoFlag) == 16);
static_assert(offsetof(TPluginModuleInfo, DescriptionLength) == 17);
static_assert(offsetof(TPluginModuleInfo, DescriptionText) == 21);
static_assert(offsetof(TPluginModuleInfo, CommandsLength) == 25);
static_assert(offsetof(TPluginModuleInfo, CommandsText) == 29);
static_assert(sizeof(TPluginModuleInfo) == 33);
#else
static_assert(sizeof(TPluginDataRec) == 17);
static_assert(sizeof(TPluginCallRec) == 118);
static_assert(sizeof(TPluginModuleInfo) == 41);
#endif
static_assert(sizeof(float) == 4);

}  // namespace kor
