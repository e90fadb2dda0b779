// The form resource TAPLUGIN as the libraries the host loads carry it: the
// build compiles mbus/PluginDM.form and embeds the stream (an RCDATA
// resource on Windows, a registered table on posix); the host gets it back
// by name through GetOptionsDialog, and a module reads its persisted-property
// list from it through the string holder when it is created.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/StringList.h"
#include "plugin/korPluginProperties.h"
#include "tests/plugin/PluginTestHost.h"

using namespace plugtest;

namespace {

const char kNineLines[] =
    "Left,Left\r\nTop,Top\r\nHeight,Height\r\nWidth,Width\r\n;---short---\r\n"
    "lblParams.Caption,Parser config\r\nOpenDialog.FileName,Open files dir\r\n"
    "SaveDialog.FileName,Save files dir\r\nspMinInt.Value,Min interval\r\n";

std::string CheckedInStream() {
  std::ifstream in(std::string(KOR_SOURCE_DIR) + "/tests/data/forms/TAPLUGIN.hex");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string bytes, pair;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == ' ') continue;
    pair.push_back(c);
    if (pair.size() == 2) {
      bytes.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
      pair.clear();
    }
  }
  return bytes;
}

// The form stream of the package GetOptionsDialog delivers for name.
std::string FormStreamByName(host::TPluginHost& host, const std::string& name) {
  kor::TPluginCallRec rec = RecordFor(host);
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  rec.InData.Value = Address(buffer.data());
  rec.InData.Size = static_cast<std::uint32_t>(buffer.size());
  host.Exports().GetOptionsDialog(&rec);
  if (V(rec.OutData.Value) != kor::kDialogBufferSmall) return {};
  buffer.assign(rec.OutData.Size, '\0');
  std::memcpy(buffer.data(), name.c_str(), name.size() + 1);
  rec.InData.Value = Address(buffer.data());
  rec.InData.Size = static_cast<std::uint32_t>(buffer.size());
  host.Exports().GetOptionsDialog(&rec);
  std::uint32_t header[6];
  std::memcpy(header, buffer.data(), sizeof(header));
  EXPECT_EQ(header[3], 0u);  // no extra text
  EXPECT_EQ(header[5], 0u);  // and no script: TAPLUGIN has no TAPLUGIN_CODE
  return std::string(buffer.data() + header[0], header[1]);
}

}  // namespace

TEST(PluginFormResource, TheLibraryCarriesTheCompiledStream) {
  auto host = MakeHost(kGenericPlugin);
  const std::string stream = FormStreamByName(*host, "taplugin");  // names ignore case
  const std::string expected = CheckedInStream();
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(stream, expected);
  TStringList lines;
  ReadFormStrings(stream, kPropertiesComponent, lines);
  EXPECT_EQ(lines.Text(), kNineLines);
}

TEST(PluginFormResource, ModuleReadsItsPropertiesFromItsOwnForm) {
  auto host = MakeHost(kTestPlugin);
  EXPECT_EQ(CommandResult(*host, "PROPERTIES").AsAnsiString(), kNineLines);
}
