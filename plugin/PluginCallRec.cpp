#include "plugin/PluginCallRec.h"

#include <cstring>

#include "params/korParamLst.h"
#include "params/korParamLstWrap.h"
#include "platform/Diagnostics.h"

namespace kor {

namespace {

// Slots of the list interfaces' tables (0 to 22).
constexpr std::size_t kListIntfSlots = 23;

// The interface stored in the variable at address, nil unless the variable,
// the object's table pointer and the table can be read.
template <class T>
T* ReadIntfVariable(TPluginPtr address) {
  T* intf = nullptr;
  if (!plat::ReadMemory(RecPointer<void>(address), &intf, sizeof(void*)) || !intf) return nullptr;
  const void* table = nullptr;
  if (!plat::ReadMemory(intf, &table, sizeof(table))) return nullptr;
  if (!plat::IsReadablePointer(table, kListIntfSlots * sizeof(void*))) return nullptr;
  return intf;
}

// Params is an interface variable: count a reference and mark the record.
void TakeParamsIntf(TPluginCallRec* rec, TPluginCallRecIntf& work) {
  rec->Flags |= kFlagParamsIntf;
  IkorParamsListA* intf = ReadIntfVariable<IkorParamsListA>(rec->Params);
  if (intf) {
    intf->AddRef();
    work.Params = TIntfRef<IkorParamsListA>::Adopt(intf);
    return;
  }
  // A variable that cannot be read (or holds no usable reference) is
  // replaced for the call by one that holds nil, so that no code behind
  // the boundary reads the host's bad address; LeaveCall puts it back.
  work.ParamsReplaced = true;
  rec->Params = reinterpret_cast<TPluginPtr>(work.Params.Put());
}

// Params is a list object: borrow it through a wrapper for the call.
void WrapParamsObject(TPluginCallRec* rec, TPluginCallRecIntf& work, TkorParamsList* list) {
  auto* wrap = new TkorParamsListWrap(list, true);
  IkorParamsListA* intf = wrap;
  intf->AddRef();
  IkorParamsListA** slot = work.Params.Put();
  *slot = intf;
  work.ParamsReplaced = true;
  rec->Params = reinterpret_cast<TPluginPtr>(slot);
}

bool HoldsListObject(const TPluginDataRec& block) {
  return block.Kind == kKindParamsList || block.Kind == kKindParamsListRaw;
}

// Kinds 1 and 8: the block's list becomes an interface variable. A value
// that is not a readable, signed list object is left as it is, for Kind 8
// too: wrapping an arbitrary address would fault at the first use.
void NormaliseBlock(TPluginDataRec& block, TIntfRef<IkorParamsListW>& ref) {
  if (!HoldsListObject(block)) return;
  TkorParamsList* list = nullptr;
  if (block.Value != 0) {
    list = AsParamsListObject(RecPointer<void>(block.Value));
    if (!list) return;
  }
  // A nil list makes the wrapper create and own a new empty one.
  auto* wrap = list ? new TkorParamsListWrap(list, true) : new TkorParamsListWrap();
  IkorParamsListW* intf = wrap;
  intf->AddRef();
  IkorParamsListW** slot = ref.Put();
  *slot = intf;
  block.Kind = kKindParamsIntfW;
  block.Value = reinterpret_cast<TPluginPtr>(slot);
}

}  // namespace

void EnterCall(TPluginCallRec* rec, TPluginCallRecIntf& work) {
  work = TPluginCallRecIntf();
  if (!rec) return;
  work.Active = true;
  std::memcpy(&work.Saved, rec, sizeof(TPluginCallRec));
  if (rec->Params != 0) {
    TkorParamsList* list = AsParamsListObject(RecPointer<void>(rec->Params));
    if (list)
      WrapParamsObject(rec, work, list);
    else
      TakeParamsIntf(rec, work);
  }
  NormaliseBlock(rec->InData, work.InData);
  NormaliseBlock(rec->OutData, work.OutData);
}

void LeaveCall(TPluginCallRec* rec, TPluginCallRecIntf& work) {
  if (!work.Active) return;
  work.Active = false;
  if (rec) {
    rec->Flags = work.Saved.Flags;
    if (work.ParamsReplaced) rec->Params = work.Saved.Params;
  }
  work.Params = TIntfRef<IkorParamsListA>();
  work.ParamsReplaced = false;
  work.InData = TIntfRef<IkorParamsListW>();
  work.OutData = TIntfRef<IkorParamsListW>();
}

TIntfRef<IkorParamsListA> GetParamsIntf(const TPluginCallRec* rec) {
  if (!rec || rec->Params == 0) return {};
  IkorParamsListA* intf = ReadIntfVariable<IkorParamsListA>(rec->Params);
  if (intf) intf->AddRef();
  return TIntfRef<IkorParamsListA>::Adopt(intf);
}

std::int32_t BlockListCount(const TPluginDataRec& block) {
  if (HoldsListObject(block)) {
    TkorParamsList* list = AsParamsListObject(RecPointer<void>(block.Value));
    return list ? list->Count() : -1;
  }
  IkorParamsListW* intf = BlockListIntf(block);
  return intf ? intf->GetCount() : -1;
}

IkorParamsListW* BlockListIntf(const TPluginDataRec& block) {
  if (block.Kind != kKindParamsIntfW || block.Value == 0) return nullptr;
  return ReadIntfVariable<IkorParamsListW>(block.Value);
}

}  // namespace kor
