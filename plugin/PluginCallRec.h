// One export call's working copy of the host's call record, and the entry
// and exit steps that make every parameter list of the record reachable in
// one form while the call runs: the address of a variable that holds an
// interface reference. Local to one export call on the calling thread.
#pragma once

#include <cstdint>

#include "params/korParamLstIntf.h"
#include "plugin/PluginRecords.h"

namespace kor {

// TPluginCallRecIntf: the host record as it arrived, the parameter-list
// reference, the two value-block references and the call's state flags.
// The references are released when the call ends (LeaveCall or the
// destructor, whichever comes first).
struct TPluginCallRecIntf {
  TPluginCallRec Saved{};
  TIntfRef<IkorParamsListA> Params;
  bool Active = false;
  bool ParamsReplaced = false;
  TIntfRef<IkorParamsListW> InData;
  TIntfRef<IkorParamsListW> OutData;
};

// Normalises rec in place (see the .cpp); nothing for a nil record.
void EnterCall(TPluginCallRec* rec, TPluginCallRecIntf& work);
// Puts Flags and Params back and releases the references; InData and
// OutData keep their normalised form.
void LeaveCall(TPluginCallRec* rec, TPluginCallRecIntf& work);

// A counted copy of the interface stored at the address in Params; empty
// when Params is 0 or does not lead to a readable reference.
TIntfRef<IkorParamsListA> GetParamsIntf(const TPluginCallRec* rec);

// EnterCall on construction, LeaveCall on destruction (also when an error
// passes).
class TCallScope {
 public:
  explicit TCallScope(TPluginCallRec* rec) : FRec(rec) { EnterCall(rec, FWork); }
  ~TCallScope() { LeaveCall(FRec, FWork); }
  TCallScope(const TCallScope&) = delete;
  TCallScope& operator=(const TCallScope&) = delete;
  TPluginCallRecIntf& Work() { return FWork; }

 private:
  TPluginCallRec* FRec;
  TPluginCallRecIntf FWork;
};

// The number of items of the parameter list a value block holds (Kind 1
// or 8: the object's count; Kind 9: the referenced list's GetCount), or -1
// when the block holds no list.
std::int32_t BlockListCount(const TPluginDataRec& block);

// The W interface of the list a value block holds after normalisation
// (Kind 9), empty otherwise.
IkorParamsListW* BlockListIntf(const TPluginDataRec& block);

}  // namespace kor
