// Calling conventions of every function pointer that crosses the plug-in's
// boundary, called through the pointer type its caller declares, many times,
// with the stack pointer watched (tests/abi/StackProbe.h): the nine exports
// of the shipped library as the host calls them, the host entry points as
// the plug-in calls them, and the parameter-list interface slots as a host
// written in another language calls them (a plain stdcall function with the
// object as its first argument). A mismatch moves the stack pointer only in
// the 32-bit build; there every probe below would report it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "params/korParamLstWrap.h"
#include "plugin/korPluginModule.h"
#include "tests/abi/StackProbe.h"
#include "tests/plugin/PluginTestHost.h"

using namespace plugtest;

namespace {

constexpr int kCalls = 64;
#if defined(_WIN32) && !defined(_WIN64)
constexpr bool kThirtyTwoBitWindows = true;
#else
constexpr bool kThirtyTwoBitWindows = false;
#endif

extern "C" std::int32_t KOR_STDCALL CalleePops(std::int32_t a, std::int64_t b, std::int8_t c) {
  return a + static_cast<std::int32_t>(b) + c;
}
extern "C" std::int32_t CallerPops(std::int32_t a, std::int64_t b, std::int8_t c) {
  return a + static_cast<std::int32_t>(b) + c;
}
using TCalleePops = std::int32_t(KOR_STDCALL*)(std::int32_t, std::int64_t, std::int8_t);
using TCallerPops = std::int32_t (*)(std::int32_t, std::int64_t, std::int8_t);

// Slot index of an interface table, called as a host outside C++ calls it.
template <class R, class... A>
using TSlot = R(KOR_STDCALL*)(void* self, A...);

template <class R, class... A>
TSlot<R, A...> Slot(void* object, int index) {
  void* const* table = *static_cast<void* const* const*>(object);
  return reinterpret_cast<TSlot<R, A...>>(table[index]);
}

}  // namespace

// The probe itself: conventions that agree leave the stack pointer where it
// was; a callee-pops function called as caller-pops (and the reverse) moves
// it by the 16 argument bytes per call in the 32-bit Windows build (the
// probe counts the calls after the first).
TEST(CallingConvention, TheProbeSeesAMismatch) {
  // Through volatile variables, so the compiler cannot see the callee.
  volatile TCalleePops calleePops = &CalleePops;
  volatile TCallerPops callerPops = &CallerPops;
  const auto same1 =
      callprobe::Call(kCalls, static_cast<TCalleePops>(calleePops), 1, 2LL << 33, '\3');
  const auto same2 =
      callprobe::Call(kCalls, static_cast<TCallerPops>(callerPops), 1, 2LL << 33, '\3');
  EXPECT_EQ(same1.Drift, 0);
  EXPECT_EQ(same2.Drift, 0);
  EXPECT_EQ(same1.Result, 4);
  EXPECT_EQ(same2.Result, 4);
  const std::ptrdiff_t moved = kThirtyTwoBitWindows ? 16 * (kCalls - 1) : 0;
  EXPECT_EQ(
      callprobe::Drift(kCalls, reinterpret_cast<TCallerPops>(static_cast<TCalleePops>(calleePops)),
                       1, 2LL, '\3'),
      moved);
  EXPECT_EQ(
      callprobe::Drift(kCalls, reinterpret_cast<TCalleePops>(static_cast<TCallerPops>(callerPops)),
                       1, 2LL, '\3'),
      -moved);
}

// The nine exports of mbusplugin through the host's pointer types: refused
// calls (no instance) and the real instance's module information and log.
TEST(CallingConvention, TheNineExportsAsTheHostCallsThem) {
  host::TPluginHost host(LibraryPath("mbusplugin"));
  const host::TPluginExports& e = host.Exports();
  kor::TPluginCallRec none{};
  none.Size = kor::kCallRecSize;
  std::uint32_t needed = 99;
  EXPECT_EQ(callprobe::Call(kCalls, e.CreatePluginInstance, nullptr).Result, kor::kResultRefused);
  EXPECT_EQ(callprobe::Call(kCalls, e.FreePluginInstance, &none).Result, kor::kResultRefused);
  const auto info = callprobe::Call(kCalls, e.GetModuleInfo, &none, nullptr, &needed);
  EXPECT_EQ(info.Drift, 0);
  EXPECT_EQ(info.Result, 0);
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(callprobe::Call(kCalls, e.GetLogEx, &none).Result, 0);
  EXPECT_EQ(callprobe::Drift(kCalls, e.GetOptionsDialog, &none), 0);
  EXPECT_EQ(V(none.OutData.Value), kor::kDialogNoInstance);
  EXPECT_EQ(callprobe::Drift(kCalls, e.ShowOptionsDialog, &none), 0);
  EXPECT_EQ(V(none.OutData.Value), kor::kShowNoInstance);
  const auto command = callprobe::Call(kCalls, e.ExecutePluginCommand, &none);
  const auto process = callprobe::Call(kCalls, e.ProcessData, &none);
  const auto trace = callprobe::Call(kCalls, e.xelTraceProcess);
  EXPECT_EQ(command.Drift, 0);
  EXPECT_EQ(command.Result, kor::kResultRefused);
  EXPECT_EQ(process.Drift, 0);
  EXPECT_EQ(process.Result, kor::kResultRefused);
  EXPECT_EQ(trace.Drift, 0);
  EXPECT_GE(trace.Result, 0);
  for (const std::ptrdiff_t drift : {callprobe::Drift(kCalls, e.CreatePluginInstance, nullptr),
                                     callprobe::Drift(kCalls, e.FreePluginInstance, &none),
                                     callprobe::Drift(kCalls, e.GetLogEx, &none)})
    EXPECT_EQ(drift, 0);

  // A created instance answers with its real sizes.
  ASSERT_EQ(host.Create(), kor::kResultOk);
  kor::TPluginCallRec rec = RecordFor(host);
  needed = 0;
  const auto real = callprobe::Call(kCalls, e.GetModuleInfo, &rec, nullptr, &needed);
  EXPECT_EQ(real.Drift, 0);
  EXPECT_GT(needed, kor::kModuleInfoHeaderSize);
  EXPECT_EQ(V(rec.ModulePluginHandle), V(host.Record().ModulePluginHandle));
}

// The host entry points, looked up by name in the program as the plug-in
// looks them up and called through the plug-in's types: an unknown module
// index is refused (-1) with all seven arguments read where they were put.
TEST(CallingConvention, TheHostEntryPointsAsThePluginCallsThem) {
  const plat::ModuleHandle program = plat::ExecutableModule();
  void* sendDataEx = plat::FindSymbol(program, "Vornak_SendDataEx");
  ASSERT_NE(sendDataEx, nullptr);
  const auto send = callprobe::Call(kCalls, reinterpret_cast<TVornakSendDataEx>(sendDataEx), -12345,
                                    7, 3, 0, kor::kSendRawData, static_cast<void*>(nullptr), 0);
  EXPECT_EQ(send.Drift, 0);
  EXPECT_EQ(send.Result, -1);
  using TNoArguments = std::int32_t(KOR_STDCALL*)();
  for (const char* name : kHostEntryPointNames) {
    SCOPED_TRACE(name);
    void* entry = plat::FindSymbol(program, name);
    ASSERT_NE(entry, nullptr);
    if (std::string(name) == "Vornak_SendDataEx") continue;
    const auto call = callprobe::Call(kCalls, reinterpret_cast<TNoArguments>(entry));
    EXPECT_EQ(call.Drift, 0);
    EXPECT_EQ(call.Result, 0);
  }
}

// The list and item slots with arguments of every size the tables use
// (1, 4 and pointer-sized; one to five of them besides the object), read
// back through other slots.
TEST(CallingConvention, ParameterListSlotsAsAForeignHostCallsThem) {
  auto* wrap = new TkorParamsListWrap();
  void* w = static_cast<IkorParamsListW*>(wrap);
  void* a = static_cast<IkorParamsListA*>(wrap);
  const auto addRef = callprobe::Call(2, Slot<std::uint32_t>(w, 1), w);  // AddRef, twice
  EXPECT_EQ(addRef.Drift, 0);
  EXPECT_EQ(addRef.Result, 2u);
  // Slots with an interface out-parameter are probed with a nil one, which
  // each refuses before doing anything (E_UNEXPECTED), and then called once.
  OleVariant five(std::int32_t{5});
  const auto addSlot = Slot<plat::HResult, const char16_t*, const plat::TVarData*, void**>(w, 19);
  const auto add = callprobe::Call(kCalls, addSlot, w, u"Count", &five.Data(),
                                   static_cast<void**>(nullptr));  // Add
  EXPECT_EQ(add.Drift, 0);
  EXPECT_EQ(add.Result, plat::kEUnexpected);
  void* item = nullptr;
  ASSERT_EQ(addSlot(w, u"Count", &five.Data(), &item), plat::kSOk);
  ASSERT_NE(item, nullptr);

  const auto count = callprobe::Call(kCalls, Slot<std::int32_t>(w, 3), w);  // GetCount
  EXPECT_EQ(count.Drift, 0);
  EXPECT_EQ(count.Result, 1);
  EXPECT_EQ(callprobe::Drift(kCalls, Slot<void, std::int32_t>(w, 6), w, 77), 0);  // SetTag
  EXPECT_EQ(callprobe::Call(kCalls, Slot<std::int32_t>(w, 5), w).Result, 77);     // GetTag
  EXPECT_EQ(callprobe::Call(kCalls, Slot<std::int32_t>(a, 5), a).Result, 77);  // GetTag (A table)

  std::int32_t index = -1;
  const auto indexOf = callprobe::Call(
      kCalls,
      Slot<plat::HResult, const char16_t*, std::int32_t, std::int32_t, std::int32_t*>(w, 16), w,
      u"Count", 0, -1, &index);
  EXPECT_EQ(indexOf.Drift, 0);
  EXPECT_EQ(indexOf.Result, plat::kSOk);
  EXPECT_EQ(index, 0);
  index = -1;
  const auto indexOfA = callprobe::Call(
      kCalls, Slot<plat::HResult, const char*, std::int32_t, std::int32_t, std::int32_t*>(a, 16), a,
      "Count", 0, -1, &index);
  EXPECT_EQ(indexOfA.Drift, 0);
  EXPECT_EQ(index, 0);

  plat::TVarData value{};
  const auto get = callprobe::Call(
      kCalls,
      Slot<plat::HResult, const char16_t*, std::int32_t, std::int32_t, plat::TVarData*>(w, 17), w,
      u"Count", 0, -1, &value);
  EXPECT_EQ(get.Drift, 0);
  EXPECT_EQ(value.VType, plat::varInteger);
  EXPECT_EQ(value.VInteger, 5);
  OleVariant fallback(std::int32_t{9});
  const auto getDef = callprobe::Call(kCalls,
                                      Slot<plat::HResult, const char16_t*, const plat::TVarData*,
                                           std::int32_t, std::int32_t, plat::TVarData*>(w, 18),
                                      w, u"Missing", &fallback.Data(), 0, -1, &value);
  EXPECT_EQ(getDef.Drift, 0);
  EXPECT_EQ(value.VInteger, 9);
  OleVariant six(std::int32_t{6});
  const auto setValue =
      Slot<plat::HResult, const char16_t*, const plat::TVarData*, plat::Bool8, void**>(w, 21);
  const auto set = callprobe::Call(kCalls, setValue, w, u"Count", &six.Data(), plat::Bool8{0},
                                   static_cast<void**>(nullptr));  // SetValue
  EXPECT_EQ(set.Drift, 0);
  EXPECT_EQ(set.Result, plat::kEUnexpected);
  void* setItem = nullptr;
  ASSERT_EQ(setValue(w, u"Count", &six.Data(), plat::Bool8{0}, &setItem), plat::kSOk);
  ASSERT_NE(setItem, nullptr);
  Slot<std::uint32_t>(setItem, 2)(setItem);  // Release
  std::int32_t rowEnd = -1;
  plat::Bool8 marker = 7;
  const auto findRowEnd =
      callprobe::Call(kCalls, Slot<plat::Bool8, std::int32_t, std::int32_t*, plat::Bool8*>(w, 9), w,
                      0, &rowEnd, &marker);
  EXPECT_EQ(findRowEnd.Drift, 0);

  // The item's slots.
  EXPECT_EQ(callprobe::Drift(kCalls, Slot<void, std::int32_t>(item, 4), item, 0x1234),
            0);  // SetDataType
  EXPECT_EQ(callprobe::Call(kCalls, Slot<std::int32_t>(item, 7), item).Result,
            0x1234);  // GetDataType
  EXPECT_EQ(callprobe::Drift(kCalls, Slot<void, std::uint8_t>(item, 5), item, std::uint8_t{0xA5}),
            0);
  EXPECT_EQ(callprobe::Call(kCalls, Slot<std::uint8_t>(item, 8), item).Result, 0xA5);  // GetFlags
  EXPECT_EQ(std::u16string(callprobe::Call(kCalls, Slot<const char16_t*>(item, 15), item).Result),
            u"Count");  // GetNameW
  plat::VariantClear(value);
  EXPECT_EQ(
      callprobe::Call(kCalls, Slot<plat::HResult, plat::TVarData*>(item, 17), item, &value).Result,
      plat::kSOk);  // GetValueW
  EXPECT_EQ(value.VInteger, 6);
  void* same = nullptr;
  const auto query = callprobe::Call(kCalls, Slot<plat::HResult, const plat::TGUID*, void**>(w, 0),
                                     w, &kIID_IkorParamsListW, &same);  // QueryInterface
  EXPECT_EQ(query.Drift, 0);
  EXPECT_EQ(same, w);
  for (int i = 0; i < kCalls; ++i) Slot<std::uint32_t>(w, 2)(w);  // the queries' references
  EXPECT_EQ(callprobe::Call(2, Slot<std::uint32_t>(item, 1), item).Result, 3u);  // AddRef
  EXPECT_EQ(callprobe::Call(2, Slot<std::uint32_t>(item, 2), item).Result, 1u);  // Release
  Slot<std::uint32_t>(item, 2)(item);
  const auto release = callprobe::Call(2, Slot<std::uint32_t>(w, 2), w);  // Release
  EXPECT_EQ(release.Drift, 0);
  EXPECT_EQ(release.Result, 0u);  // the list is freed
}
