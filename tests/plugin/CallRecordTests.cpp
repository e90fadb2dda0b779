// Call records through ExecutePluginCommand and ProcessData: both forms of
// Params, the value-block kinds, the record's restoration, the Mode rules
// of ProcessData and bad records.
#include <gtest/gtest.h>

#include <cstring>

#include "params/korParamLstWrap.h"
#include "tests/plugin/PluginTestHost.h"

using namespace plugtest;
using kor::ModeBit;
using kor::TPluginCallRec;

namespace {

// A ProcessData call with a list object in InData (Kind 1).
std::int32_t ProcessList(host::TPluginHost& host, TPluginCallRec& rec, TkorParamsList& params,
                         TkorParamsList* input, std::uint8_t mode) {
  rec.Params = Address(&params);
  rec.Mode = mode;
  rec.InData.Kind = kor::kKindParamsList;
  rec.InData.Value = Address(input);
  return host.Exports().ProcessData(&rec);
}

}  // namespace

TEST(PluginCallRecord, ObjectParamsAreWrappedForTheCallAndPutBack) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec rec = RecordFor(*host);
  rec.Flags = 0x01;
  TkorParamsList params;
  params.Add("RESULT", OleVariant());
  EXPECT_EQ(RawCommand(*host, rec, "FLAGS", params), kor::kResultOk);
  EXPECT_EQ(params.GetValue("RESULT").AsInteger(), 0x01) << "no interface bit for an object";
  EXPECT_EQ(V(rec.Params), Address(&params));
  EXPECT_EQ(V(rec.Flags), 0x01);
}

TEST(PluginCallRecord, InterfaceParamsSetTheFlagOnlyDuringTheCall) {
  auto host = MakeHost(kTestPlugin);
  host->SetParamsForm(host::TParamsForm::Interface);
  TkorParamsList params;
  params.Add("RESULT", OleVariant());
  host->Record().Flags = 0x01;
  EXPECT_EQ(host->Command("FLAGS", params), kor::kResultOk);
  EXPECT_EQ(params.GetValue("RESULT").AsInteger(), 0x41);
  EXPECT_EQ(V(host->Record().Flags), 0x01);
  EXPECT_EQ(IntParameter(*host, "ModuleLoadCount"), 1) << "commands work in interface form";
}

TEST(PluginCallRecord, KindOneInputIsRewrittenAndConsumed) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  TkorParamsList input;
  input.Add("A", OleVariant(std::int32_t{1}));
  input.Add("B", OleVariant(std::int32_t{2}));
  // Mode element 2: a row marker closes the input before the handler runs.
  EXPECT_EQ(ProcessList(*host, rec, params, &input, ModeBit(2)), 3);
  EXPECT_EQ(input.Count(), 3);
  EXPECT_TRUE(input.Items(2)->IsRowMarker());
  EXPECT_EQ(V(rec.InData.Kind), kor::kKindParamsIntfW);
  EXPECT_EQ(V(rec.InData.Value), 0u) << "consumed: the temporary reference is not left behind";
  EXPECT_EQ(V(rec.Params), Address(&params));
  // A closed row is not closed again.
  TPluginCallRec again = RecordFor(*host);
  EXPECT_EQ(ProcessList(*host, again, params, &input, ModeBit(2)), 3);
}

TEST(PluginCallRecord, KindZeroValueStandsForANewEmptyList) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  EXPECT_EQ(ProcessList(*host, rec, params, nullptr, ModeBit(0)), 0);
  EXPECT_EQ(V(rec.InData.Kind), kor::kKindParamsIntfW);
}

TEST(PluginCallRecord, UnsignedListAddressIsLeftUnchanged) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  unsigned char notAList[64] = {};
  rec.Params = Address(&params);
  rec.Mode = ModeBit(0);
  rec.InData.Kind = kor::kKindParamsListRaw;  // even without the signature test
  rec.InData.Value = Address(notAList);
  EXPECT_EQ(host->Exports().ProcessData(&rec), 1) << "the handler sees no list";
  EXPECT_EQ(V(rec.InData.Kind), kor::kKindParamsListRaw);
}

TEST(PluginCallRecord, EmptyInputWithWriteModeLogsNoData) {
  auto host = MakeHost(kTestPlugin);
  host->FetchLog();
  const std::int32_t before = Stat(*host, "process");
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  TkorParamsList input;
  EXPECT_EQ(ProcessList(*host, rec, params, &input, ModeBit(2)), 0);
  EXPECT_EQ(V(rec.InData.Value), 0u);
  EXPECT_EQ(Stat(*host, "process"), before) << "the handler is not called without data";
  std::string log = host->FetchLog();
  EXPECT_NE(log.find("\x02No data for processing"), std::string::npos) << log;
}

TEST(PluginCallRecord, WriteModeLogsCompletion) {
  auto host = MakeHost(kTestPlugin);
  host->FetchLog();
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  TkorParamsList input;
  input.Add("A", OleVariant(std::int32_t{1}));
  EXPECT_EQ(ProcessList(*host, rec, params, &input, ModeBit(3) | ModeBit(0)), 1);
  std::string log = host->FetchLog();
  EXPECT_NE(log.find("\x03"
                     "Data have been processed successfully"),
            std::string::npos)
      << log;
}

TEST(PluginCallRecord, CopyModeWithoutDataHandlerCopiesTheInput) {
  auto host = MakeHost(kGenericPlugin);
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  const char text[] = "raw packet";
  rec.Params = Address(&params);
  rec.Mode = ModeBit(5);
  rec.InData.Head = 7;
  rec.InData.Kind = kor::kKindText;
  rec.InData.Size = sizeof(text) - 1;
  rec.InData.Value = Address(text);
  EXPECT_EQ(host->Exports().ProcessData(&rec), 0);
  EXPECT_EQ(V(rec.OutData.Head), 7u);
  EXPECT_EQ(V(rec.OutData.Kind), kor::kKindText);
  EXPECT_EQ(V(rec.OutData.Size), sizeof(text) - 1);
  EXPECT_EQ(V(rec.OutData.Value), Address(text));
  EXPECT_EQ(V(rec.InData.Value), 0u);
}

TEST(PluginCallRecord, EmptyModeSkipsTheHandler) {
  auto host = MakeHost(kTestPlugin);
  const std::int32_t before = Stat(*host, "process");
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  TkorParamsList input;
  input.Add("A", OleVariant(std::int32_t{1}));
  EXPECT_EQ(ProcessList(*host, rec, params, &input, 0), 0);
  EXPECT_EQ(Stat(*host, "process"), before);
}

TEST(PluginBadInput, ZeroUnreadableAndForeignHandles) {
  auto host = MakeHost(kTestPlugin);
  unsigned char foreign[256] = {};
  const kor::TPluginPtr handles[] = {0, 0x10, Address(foreign)};
  for (kor::TPluginPtr handle : handles) {
    SCOPED_TRACE(handle);
    TPluginCallRec rec = RecordFor(*host);
    rec.ModulePluginHandle = handle;
    TkorParamsList params;
    EXPECT_EQ(RawCommand(*host, rec, "EVENTS-SUPPORT", params), kor::kResultRefused);
    rec.Mode = ModeBit(0);
    EXPECT_EQ(host->Exports().ProcessData(&rec), kor::kResultRefused);
    std::uint32_t needed = 99;
    EXPECT_EQ(host->Exports().GetModuleInfo(&rec, nullptr, &needed), 0);
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(host->Exports().GetLogEx(&rec), 0);
    host->Exports().GetOptionsDialog(&rec);
    EXPECT_EQ(V(rec.OutData.Value), kor::kDialogNoInstance);
    host->Exports().ShowOptionsDialog(&rec);
    EXPECT_EQ(V(rec.OutData.Value), kor::kShowNoInstance);
    EXPECT_EQ(host->Exports().FreePluginInstance(&rec), kor::kResultRefused);
  }
  EXPECT_EQ(IntParameter(*host, "ModuleLoadCount"), 1) << "the real instance is untouched";
}

TEST(PluginBadInput, WrongSizeAndMissingParams) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  rec.Size = kor::kCallRecSize - 1;
  EXPECT_EQ(RawCommand(*host, rec, "EVENTS-SUPPORT", params), kor::kResultRefused);
  rec.Mode = ModeBit(0);
  EXPECT_EQ(host->Exports().ProcessData(&rec), kor::kResultRefused);
  rec.Size = kor::kCallRecSize;
  rec.Params = 0;
  EXPECT_EQ(host->Exports().ExecutePluginCommand(&rec), kor::kResultRefused);
  EXPECT_EQ(host->Exports().ProcessData(&rec), kor::kResultRefused);
  EXPECT_EQ(host->Exports().CreatePluginInstance(nullptr), kor::kResultRefused);
  EXPECT_EQ(host->Exports().FreePluginInstance(nullptr), kor::kResultRefused);
}

TEST(PluginBadInput, ParamsWithoutSignatureAreNoList) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec rec = RecordFor(*host);
  // Zeros: an interface variable holding nil.
  unsigned char zeros[64] = {};
  rec.Params = Address(zeros);
  EXPECT_EQ(host->Exports().ExecutePluginCommand(&rec), kor::kResultRefused);
  // A variable holding an address whose table cannot be read.
  kor::TPluginPtr words[8] = {Address(zeros) + 8, 0, 0, 0, 0, 0, 0, 0};
  rec.Params = Address(words);
  EXPECT_EQ(host->Exports().ExecutePluginCommand(&rec), kor::kResultRefused);
  kor::TPluginPtr unreadable[8] = {0x20, 0, 0, 0, 0, 0, 0, 0};
  rec.Params = Address(unreadable);
  EXPECT_EQ(host->Exports().ExecutePluginCommand(&rec), kor::kResultRefused);
  EXPECT_EQ(V(rec.Params), Address(unreadable));
}

TEST(PluginBadInput, CommandOfTheWrongTypeOrNull) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  params.Add("COMMAND", OleVariant::Null());
  rec.Params = Address(&params);
  EXPECT_EQ(host->Exports().ExecutePluginCommand(&rec), kor::kResultRefused);
  params.SetValue("COMMAND", OleVariant(std::int32_t{42}));
  EXPECT_EQ(host->Exports().ExecutePluginCommand(&rec), kor::kResultUnknownCmd)
      << "a number reads as its text, an unknown command";
}

TEST(PluginBadInput, ParameterOfTheWrongTypeIsAnError) {
  auto host = MakeHost(kTestPlugin);
  host->FetchLog();
  TkorParamsList params;
  params.Add("MSG-PROC-HANDLE", OleVariant("not a window"));
  EXPECT_EQ(host->Command("EVENTS-SUPPORT", params), kor::kResultError);
  TkorParamsList state;
  state.Add("RESULT", OleVariant("yes"));
  host->Record().Mode = ModeBit(0);
  EXPECT_EQ(host->Command("SET-STATE", state), kor::kResultError);
  host->Record().Mode = 0;
  EXPECT_FALSE(host->FetchLog().empty()) << "errors are logged";
}
