// Arbitrary call records and parameter lists through the plug-in's export
// algorithms, in process, against a generic module instance. The input's
// first bytes pick the export and the pointer fields (each from a set of
// values the host could pass: nil, unreadable, the instance, a list object,
// interface variables, a zero block, a buffer); then come the record's own
// bytes and the items of the parameter list (name, VARIANT type, payload).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "params/korParamLst.h"
#include "params/korParamLstWrap.h"
#include "plugin/PluginBoundary.h"
#include "plugin/PluginRegistry.h"

namespace {

using kor::TPluginCallRec;
using kor::TPluginPtr;

const char* const kNames[] = {"COMMAND",       "RESULT",
                              "PARAM",         "VALUE",
                              "INI-FILE",      "TEMPORARY-LOAD",
                              "EVENT-TYPE",    "ITEMS",
                              "HANDLE",        "MSG-PROC-HANDLE",
                              "OWNER-FORM",    "LANGUAGE",
                              "REGISTRY-PATH", "DATA-SOURCES-IN-CFG",
                              "NO-SAVE",       "CONFIG-ID"};
const char* const kCommands[] = {"LOAD",
                                 "UNLOAD",
                                 "SET-ITEMS",
                                 "SET-STATE",
                                 "ITEMS",
                                 "EVENT",
                                 "EVENTS-SUPPORT",
                                 "GET-MODULE-PARAMETER",
                                 "SET-MODULE-PARAMETER",
                                 "SAVE-SETTINGS-NOW",
                                 "LOAD-SETTINGS-NOW",
                                 "OTHER"};

class TReader {
 public:
  TReader(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
  std::uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  std::string Text(std::size_t max) {
    std::size_t n = std::min<std::size_t>(Byte() % (max + 1), FSize - std::min(FPos, FSize));
    std::string text(reinterpret_cast<const char*>(FData + FPos), n);
    FPos += n;
    return text;
  }
  bool AtEnd() const { return FPos >= FSize; }

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPos = 0;
};

// What the pointer fields may point at during one run.
struct TTargets {
  TPluginCallRec Owner{};  // holds the instance's handle
  TkorParamsList List;
  TkorParamsListWrap* Wrap = nullptr;
  IkorParamsListA* VarA = nullptr;
  IkorParamsListW* VarW = nullptr;
  unsigned char Zeros[64] = {};
  std::vector<char> Buffer = std::vector<char>(512);
};

TTargets& Targets() {
  static TTargets* targets = [] {
    kor::LibraryStartUp();
    auto* t = new TTargets();
    t->Wrap = new TkorParamsListWrap(&t->List, true);
    t->VarA = t->Wrap;
    t->VarW = t->Wrap;
    t->VarA->AddRef();
    return t;
  }();
  return *targets;
}

void EnsureInstance(TTargets& t) {
  if (t.Owner.ModulePluginHandle != 0 && kor::FindInstance(&t.Owner)) return;
  t.Owner = TPluginCallRec{};
  t.Owner.Size = kor::kCallRecSize;
  kor::CreatePluginInstance(&t.Owner);
}

TPluginPtr PickPointer(std::uint8_t choice, TTargets& t, bool block) {
  switch (choice % 7) {
    case 0:
      return 0;
    case 1:
      return 0x10;
    case 2:
      return t.Owner.ModulePluginHandle;
    case 3:
      return reinterpret_cast<TPluginPtr>(&t.List);
    case 4:
      return block ? reinterpret_cast<TPluginPtr>(&t.VarW) : reinterpret_cast<TPluginPtr>(&t.VarA);
    case 5:
      return reinterpret_cast<TPluginPtr>(t.Zeros);
    default:
      return reinterpret_cast<TPluginPtr>(t.Buffer.data());
  }
}

OleVariant PickValue(TReader& in) {
  switch (in.Byte() % 8) {
    case 0:
      return OleVariant();
    case 1:
      return OleVariant::Null();
    case 2:
      return OleVariant(static_cast<std::int32_t>(in.Byte() | (in.Byte() << 8)));
    case 3:
      return OleVariant(in.Byte() % 2 == 1);
    case 4:
      return OleVariant(static_cast<double>(in.Byte()) / 7.0);
    case 5:
      return OleVariant(kCommands[in.Byte() % std::size(kCommands)]);
    case 6:
      return OleVariant::Date(in.Byte() * 1000.0);
    default:
      return OleVariant(in.Text(64));
  }
}

void FillList(TReader& in, TkorParamsList& list) {
  list.Clear();
  int items = in.Byte() % 8;
  for (int i = 0; i < items && !in.AtEnd(); ++i) {
    std::uint8_t which = in.Byte();
    std::string name = which & 0x80 ? in.Text(16) : kNames[which % std::size(kNames)];
    list.SetValue(name, PickValue(in), true);
    if (in.Byte() % 5 == 0) list.EndRow();
  }
}

// A block of the interface kind holds the address of an interface variable:
// like Params, one that holds an object of another kind (a list object, the
// module, bytes) cannot be told from a real one, so the host never passes
// one and neither does this harness (nil, unreadable and zeros stay).
void KeepInterfaceBlockHonest(kor::TPluginDataRec& block, const TTargets& t) {
  if (block.Kind != kor::kKindParamsIntfW) return;
  const bool honest = block.Value == 0 || block.Value == 0x10 ||
                      block.Value == reinterpret_cast<TPluginPtr>(&t.VarW) ||
                      block.Value == reinterpret_cast<TPluginPtr>(t.Zeros);
  if (!honest) block.Value = reinterpret_cast<TPluginPtr>(&t.VarW);
}

// Buffers the plug-in writes into are real, with a capacity it can trust.
void ClampBuffer(kor::TPluginDataRec& block, const TTargets& t) {
  if (block.Value == reinterpret_cast<TPluginPtr>(t.Buffer.data()))
    block.Size %= static_cast<std::uint32_t>(t.Buffer.size() + 1);
  else if (block.Value == reinterpret_cast<TPluginPtr>(t.Zeros))
    block.Size %= sizeof(t.Zeros) + 1;
  else
    block.Size = 0;
}

void Call(std::uint8_t which, TPluginCallRec& rec) {
  std::uint32_t needed = 0;
  std::vector<unsigned char> info(256);
  switch (which % 8) {
    case 0:
      kor::ExecutePluginCommand(&rec);
      break;
    case 1:
      kor::ProcessData(&rec);
      break;
    case 2: {
      std::uint32_t size = rec.HostTag % info.size();
      std::memcpy(info.data(), &size, sizeof(size));
      kor::GetModuleInfo(
          &rec, rec.HostTag & 1 ? nullptr : reinterpret_cast<kor::TPluginModuleInfo*>(info.data()),
          &needed);
      break;
    }
    case 3:
      kor::GetLogEx(&rec);
      break;
    case 4:
      kor::GetOptionsDialog(&rec);
      break;
    case 5:
      kor::ShowOptionsDialog(&rec);
      break;
    case 6:
      kor::FreePluginInstance(&rec);
      break;
    default:
      kor::TraceProcess();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TTargets& t = Targets();
  EnsureInstance(t);
  TReader in(data, size);
  const std::uint8_t which = in.Byte();
  TPluginCallRec rec{};
  for (std::size_t i = 0; i < sizeof(rec); ++i)
    reinterpret_cast<std::uint8_t*>(&rec)[i] = in.Byte();
  if (in.Byte() & 1) rec.Size = kor::kCallRecSize;
  rec.ModulePluginHandle = PickPointer(in.Byte(), t, false);
  // Params is nil, unreadable, a list object or a variable: an interface
  // variable that holds an object of another kind cannot be told from a
  // real one, so the host never passes one and neither does this harness.
  const std::uint8_t params = in.Byte() % 5;
  rec.Params = PickPointer(params == 2 ? 4 : params == 4 ? 5 : params, t, false);
  rec.InData.Value = PickPointer(in.Byte(), t, true);
  rec.OutData.Value = PickPointer(in.Byte(), t, true);
  KeepInterfaceBlockHonest(rec.InData, t);
  KeepInterfaceBlockHonest(rec.OutData, t);
  ClampBuffer(rec.InData, t);
  FillList(in, t.List);
  std::memset(t.Zeros, 0, sizeof(t.Zeros));
  // Creating is the one call that must not see a handle of its own.
  if (which % 8 == 6 && rec.ModulePluginHandle == 0 && rec.InData.Kind != kor::kKindCode) {
    if (kor::CreatePluginInstance(&rec) == kor::kResultOk) kor::FreePluginInstance(&rec);
  } else {
    Call(which, rec);
  }
  return 0;
}
