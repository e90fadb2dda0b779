// The options dialog package as the host gets it: the M-Bus plug-in loaded
// from its file, an instance created (the host creates instances just to
// configure them), GetOptionsDialog called with the host's buffer. The parts
// are compared with the resource files the build embedded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "framework/FormStream.h"
#include "host/PluginHost.h"
#include "platform/Modules.h"
#include "plugin/PluginRecords.h"

namespace {

std::string LibraryPath() {
  std::string self = plat::ModuleFileName(plat::ExecutableModule());
  return self.substr(0, self.find_last_of(plat::kPathDelimiter) + 1) + "mbusplugin" +
         (plat::kPathDelimiter == '\\' ? ".dll" : ".so");
}

// A resource file as the build wrote it before embedding it.
std::string BuiltResource(const std::string& name) {
  std::ifstream in(std::string(KOR_DIALOG_RESOURCES) + "/" + name + ".bin", std::ios::binary);
  EXPECT_TRUE(in) << name;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

template <class T>
T V(T value) {
  return value;
}

std::uint32_t U32(const std::vector<char>& bytes, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

struct TPackage {
  std::string Form, Extra, Code;
};

// Checks the header of a package of size bytes and returns its parts.
TPackage Parts(const std::vector<char>& buffer, std::uint32_t size) {
  TPackage parts;
  const std::uint32_t header[6] = {U32(buffer, 0),  U32(buffer, 4),  U32(buffer, 8),
                                   U32(buffer, 12), U32(buffer, 16), U32(buffer, 20)};
  EXPECT_EQ(header[0], 24u);
  EXPECT_EQ(header[2], header[0] + header[1]);
  EXPECT_EQ(header[4], header[2] + header[3]);
  EXPECT_EQ(size, header[4] + header[5]);
  if (size != header[4] + header[5] || header[0] != 24u) return parts;
  parts.Form.assign(buffer.data() + header[0], header[1]);
  parts.Extra.assign(buffer.data() + header[2], header[3]);
  parts.Code.assign(buffer.data() + header[4], header[5]);
  return parts;
}

class OptionsPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    Host = std::make_unique<host::TPluginHost>(LibraryPath());
    ASSERT_EQ(Host->Create(), kor::kResultOk);
  }

  kor::TPluginCallRec Record() {
    kor::TPluginCallRec rec{};
    rec.Size = kor::kCallRecSize;
    rec.ModulePluginHandle = Host->Record().ModulePluginHandle;
    return rec;
  }

  // GetOptionsDialog with buffer (its whole size as capacity); the status.
  std::uint32_t Call(std::vector<char>& buffer, kor::TPluginCallRec& rec) {
    rec.InData.Value = reinterpret_cast<kor::TPluginPtr>(buffer.empty() ? nullptr : buffer.data());
    rec.InData.Size = static_cast<std::uint32_t>(buffer.size());
    Host->Exports().GetOptionsDialog(&rec);
    return static_cast<std::uint32_t>(rec.OutData.Value);
  }

  // The package for name ("" for the main form): asks with a buffer that
  // holds just the name (capacity 0 for no name) for the size, then with a
  // buffer of exactly that size.
  TPackage Fetch(const std::string& name) {
    kor::TPluginCallRec rec = Record();
    std::vector<char> buffer(name.begin(), name.end());
    if (!name.empty()) buffer.push_back('\0');
    EXPECT_EQ(Call(buffer, rec), kor::kDialogBufferSmall) << name;
    const std::uint32_t size = V(rec.OutData.Size);
    EXPECT_GT(size, 24u);
    buffer.assign(size, '\0');
    std::memcpy(buffer.data(), name.data(), std::min<std::size_t>(name.size(), size));
    rec = Record();
    EXPECT_EQ(Call(buffer, rec), size) << name;
    EXPECT_EQ(V(rec.OutData.Kind), kor::kKindBytesWritten);
    EXPECT_EQ(V(rec.OutData.Size), 0u);
    return Parts(buffer, size);
  }

  std::unique_ptr<host::TPluginHost> Host;
};

}  // namespace

TEST_F(OptionsPackage, TheMainFormWithItsScriptContainer) {
  const TPackage package = Fetch("");
  EXPECT_EQ(package.Form, BuiltResource("TFRMOPTION"));
  EXPECT_TRUE(package.Extra.empty());
  // Byte for byte the stored gzip member: the plug-in never unpacks it.
  EXPECT_EQ(package.Code, BuiltResource("FORM_DATA"));
  ASSERT_GE(package.Code.size(), 18u);
  EXPECT_EQ(static_cast<unsigned char>(package.Code[0]), 0x1Fu);
  EXPECT_EQ(static_cast<unsigned char>(package.Code[1]), 0x8Bu);
  EXPECT_EQ(form::ReadFormStream(package.Form).ClassName, "TfrmOption");
}

TEST_F(OptionsPackage, CapacityZeroGivesStatusThreeAndTheExactSize) {
  kor::TPluginCallRec rec = Record();
  std::vector<char> none;
  EXPECT_EQ(Call(none, rec), kor::kDialogBufferSmall);
  EXPECT_EQ(V(rec.OutData.Kind), kor::kKindStatus);
  const std::size_t expected =
      24 + BuiltResource("TFRMOPTION").size() + BuiltResource("FORM_DATA").size();
  EXPECT_EQ(V(rec.OutData.Size), expected);
}

TEST_F(OptionsPackage, OneByteTooFewIsStatusThreeAndTheBufferStaysUntouched) {
  kor::TPluginCallRec rec = Record();
  std::vector<char> none;
  Call(none, rec);
  const std::uint32_t size = V(rec.OutData.Size);
  std::vector<char> buffer(size - 1, '\x5A');
  buffer[0] = '\0';  // no name: the main form
  const std::vector<char> before = buffer;
  rec = Record();
  EXPECT_EQ(Call(buffer, rec), kor::kDialogBufferSmall);
  EXPECT_EQ(V(rec.OutData.Size), size);
  EXPECT_EQ(buffer, before);
}

TEST_F(OptionsPackage, SecondaryFormsByNameInAnyCaseWithoutScript) {
  const struct {
    const char* Requested;
    const char* Resource;
    const char* ClassName;
  } forms[] = {{"tfrmdevicelist", "TFRMDEVICELIST", "TfrmDeviceList"},
               {"TfrmOpProgress", "TFRMOPPROGRESS", "TfrmOpProgress"},
               {"TFRMOPTION", "TFRMOPTION", "TfrmOption"}};
  for (const auto& f : forms) {
    const TPackage package = Fetch(f.Requested);
    EXPECT_EQ(package.Form, BuiltResource(f.Resource)) << f.Requested;
    EXPECT_EQ(form::ReadFormStream(package.Form).ClassName, f.ClassName);
    EXPECT_TRUE(package.Extra.empty());
    EXPECT_TRUE(package.Code.empty()) << "no " << f.Resource << "_CODE resource";
  }
}

TEST_F(OptionsPackage, TheModulesOwnFormIsThereByName) {
  const TPackage package = Fetch("TAPLUGIN");
  EXPECT_EQ(form::ReadFormStream(package.Form).ClassName, "TaPlugin");
  EXPECT_TRUE(package.Code.empty());
}

TEST_F(OptionsPackage, ANameWithoutResourceIsNothingToDeliver) {
  for (const std::string name : {"TFRMNONE", "FORM", "TFRMOPTION_"}) {
    kor::TPluginCallRec rec = Record();
    std::vector<char> buffer(name.begin(), name.end());
    buffer.resize(4096, '\0');
    EXPECT_EQ(Call(buffer, rec), kor::kDialogNothing) << name;
    EXPECT_EQ(V(rec.OutData.Kind), kor::kKindStatus);
  }
}

TEST_F(OptionsPackage, ANameFillingTheWholeBufferIsTakenWhole) {
  const std::string name = "TFRMOPPROGRESS";
  const std::uint32_t size = 24 + static_cast<std::uint32_t>(BuiltResource(name).size());
  // Exactly the name, no zero byte: the whole name, and the buffer too small.
  std::vector<char> buffer(name.begin(), name.end());
  kor::TPluginCallRec rec = Record();
  EXPECT_EQ(Call(buffer, rec), kor::kDialogBufferSmall);
  EXPECT_EQ(V(rec.OutData.Size), size);
  // A longer text cut by the capacity reads as the same name.
  std::vector<char> longer = buffer;
  longer.push_back('X');
  rec = Record();
  rec.InData.Value = reinterpret_cast<kor::TPluginPtr>(longer.data());
  rec.InData.Size = static_cast<std::uint32_t>(name.size());
  Host->Exports().GetOptionsDialog(&rec);
  EXPECT_EQ(V(rec.OutData.Value), kor::kDialogBufferSmall);
  EXPECT_EQ(V(rec.OutData.Size), size);
}

TEST_F(OptionsPackage, NoInstanceIsStatusOneAndTheBufferStaysUntouched) {
  kor::TPluginCallRec rec = Record();
  rec.ModulePluginHandle = 0;
  std::vector<char> buffer(64, '\x33');
  buffer[0] = '\0';
  const std::vector<char> before = buffer;
  EXPECT_EQ(Call(buffer, rec), kor::kDialogNoInstance);
  EXPECT_EQ(V(rec.OutData.Kind), kor::kKindStatus);
  EXPECT_EQ(buffer, before);
}

TEST_F(OptionsPackage, TheFormNameResourceNamesTheMainForm) {
  EXPECT_EQ(BuiltResource("FORM_NAME"), "TFRMOPTION");
  // FORM_NAME is data, not a form: asking for it by name delivers its bytes.
  const TPackage package = Fetch("form_name");
  EXPECT_EQ(package.Form, "TFRMOPTION");
}
