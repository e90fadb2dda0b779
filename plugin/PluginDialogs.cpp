// GetOptionsDialog and ShowOptionsDialog: the options-dialog package the
// host renders, and the run of the instance's own dialog handler.
#include <cstring>
#include <string>

#include "platform/Diagnostics.h"
#include "platform/Resources.h"
#include "plugin/PluginBoundary.h"
#include "plugin/PluginCallRec.h"
#include "plugin/PluginRegistry.h"
#include "plugin/korPluginModule.h"
#include "plugin/korPluginParams.h"

namespace kor {

namespace {

struct TDialogBlobs {
  std::string Form;   // blob A
  std::string Extra;  // blob B
  std::string Code;   // blob C
};

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The requested form name: InData's bytes up to a zero or Size bytes. The
// bytes are read safely; reading stops where the buffer cannot be read.
std::string RequestedName(const TPluginDataRec& block) {
  const char* bytes = RecPointer<const char>(block.Value);
  std::string name;
  char c = 0;
  while (bytes && name.size() < block.Size && plat::ReadMemory(bytes + name.size(), &c, 1) &&
         c != '\0')
    name += c;
  return name;
}

void LoadNamedForm(const std::string& name, TDialogBlobs& blobs) {
  const std::string upper = UpperCase(name);
  blobs.Form = plat::LoadDataResource(upper);
  blobs.Code = plat::LoadDataResource(upper + "_CODE");
}

void LoadDefaultForm(TDialogBlobs& blobs) {
  blobs.Code = plat::LoadDataResource("FORM_DATA");
  const std::string formName = plat::LoadDataResource("FORM_NAME");
  if (!formName.empty()) blobs.Form = plat::LoadDataResource(UpperCase(formName));
}

// False when the handler had nothing to give.
bool LoadFromHandler(TkorPlugin& instance, TPluginCallRec* rec, TDialogBlobs& blobs) {
  std::string formName;
  std::string extra;
  instance.DoGetOptionsDialog(rec, formName, extra);
  if (formName.empty() && extra.empty()) return false;
  if (!formName.empty()) LoadNamedForm(formName, blobs);
  blobs.Extra = extra;
  return true;
}

void WriteU32(char* at, std::size_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  std::memcpy(at, &v, sizeof(v));
}

void WritePackage(const TDialogBlobs& blobs, char* out) {
  const std::size_t offsetB = kDialogPackageHeaderSize + blobs.Form.size();
  const std::size_t offsetC = offsetB + blobs.Extra.size();
  WriteU32(out + 0, kDialogPackageHeaderSize);
  WriteU32(out + 4, blobs.Form.size());
  WriteU32(out + 8, offsetB);
  WriteU32(out + 12, blobs.Extra.size());
  WriteU32(out + 16, offsetC);
  WriteU32(out + 20, blobs.Code.size());
  std::memcpy(out + kDialogPackageHeaderSize, blobs.Form.data(), blobs.Form.size());
  std::memcpy(out + offsetB, blobs.Extra.data(), blobs.Extra.size());
  std::memcpy(out + offsetC, blobs.Code.data(), blobs.Code.size());
}

void DeliverPackage(TPluginCallRec* rec, const TDialogBlobs& blobs) {
  const std::size_t content = blobs.Form.size() + blobs.Extra.size() + blobs.Code.size();
  if (content == 0) {
    rec->OutData.Value = kDialogNothing;
    return;
  }
  const std::size_t total = content + kDialogPackageHeaderSize;
  char* buffer = RecPointer<char>(rec->InData.Value);
  if (rec->InData.Size < total || !buffer) {
    rec->OutData.Value = kDialogBufferSmall;
    rec->OutData.Size = static_cast<std::uint32_t>(total);
    return;
  }
  WritePackage(blobs, buffer);
  rec->OutData.Kind = kKindBytesWritten;
  rec->OutData.Size = 0;
  rec->OutData.Value = total;
}

// The dialog's environment from the call's parameters.
void ReadDialogParameters(TkorPlugin& instance, IkorParamsListA* params) {
  if (!params) return;
  instance.ReadIniFile(params, true);
  instance.ApplyLanguage(params);
  OleVariant owner = plugparams::Read(params, "OWNER-FORM");
  if (plugparams::IsPresent(owner)) instance.OwnerForm = plugparams::AsHandle(owner);
}

// Every instance sharing the caller's settings reloads them: directly when
// it was loaded on this thread, else by message 1812.
void PropagateSettings(const TkorPlugin& caller) {
  ForEachInstance([&](TkorPlugin& other) {
    try {
      if (other.ModuleRegistryPath != caller.ModuleRegistryPath) return;
      if (!other.HasLoadSettingsHandler()) return;
      if (other.LoadedOnCallingThread())
        other.DoLoadSettingsNow();
      else
        other.NotifyReloadSettings();
    } catch (...) {
      // One instance failing does not keep the others from reloading.
    }
  });
}

void RunShowOptions(TkorPlugin& instance, TPluginCallRec* rec) {
  TCallScope scope(rec);
  rec->OutData.Value = kShowRunning;
  try {
    TIntfRef<IkorParamsListA> params = GetParamsIntf(rec);
    ReadDialogParameters(instance, params.Get());
    instance.DialogActive = true;
    instance.DialogMode = rec->Mode;
    IkorParamsListW* input = BlockListIntf(rec->InData);
    if (input) input->AddRef();
    instance.DialogInput = TIntfRef<IkorParamsListW>::Adopt(input);
    bool changed = false;
    instance.DoShowOptionsDialog(rec, changed);
    rec->OutData.Value = changed ? kShowChanged : kShowUnchanged;
    if (changed) PropagateSettings(instance);
  } catch (const std::exception& e) {
    instance.AddLog(0, std::string(e.what()) + " {SHOWOPTIONS}");
  }
  instance.DialogActive = false;
  instance.DialogInput = TIntfRef<IkorParamsListW>();
  instance.DialogMode = 0;
}

}  // namespace

void GetOptionsDialog(TPluginCallRec* rec) noexcept {
  try {
    if (!rec) return;
    rec->OutData.Kind = kKindStatus;
    rec->OutData.Size = 0;
    rec->OutData.Value = kDialogNoInstance;
    TkorPlugin* instance = FindInstance(rec);
    if (!instance) return;
    const std::string name = RequestedName(rec->InData);
    TDialogBlobs blobs;
    if (!instance->HasOptionsDialogProvider() || !name.empty()) {
      if (!name.empty())
        LoadNamedForm(name, blobs);
      else
        LoadDefaultForm(blobs);
    } else if (!LoadFromHandler(*instance, rec, blobs)) {
      rec->OutData.Value = kDialogNothing;
      return;
    }
    DeliverPackage(rec, blobs);
  } catch (...) {
    // The status stays what it was when the error came.
  }
}

void ShowOptionsDialog(TPluginCallRec* rec) noexcept {
  try {
    if (!rec) return;
    rec->OutData.Kind = kKindStatus;
    rec->OutData.Size = 4;
    rec->OutData.Value = kShowNoInstance;
    TkorPlugin* instance = FindInstance(rec);
    if (!instance) return;
    if (!instance->HasShowOptionsDialog()) {
      rec->OutData.Value = kShowNoDialog;
      return;
    }
    RunShowOptions(*instance, rec);
  } catch (...) {
    // Nothing may leave the export.
  }
}

}  // namespace kor
