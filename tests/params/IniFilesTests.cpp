#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsTestSupport.h"
#include "params/IniFiles.h"
#include "platform/Files.h"

using settingstest::ReadBytes;
using settingstest::TScratchDir;
using settingstest::WriteBytes;

namespace {

std::string Read(const TIniDocument& doc, const std::string& section, const std::string& key) {
  std::string value;
  return doc.ReadString(section, key, value) ? value : "<absent>";
}

}  // namespace

TEST(IniDocument, ReadsKeysAsTheSystemDoes) {
  TIniDocument doc(
      "top=before any section\r\n"
      "[ Main ]\r\n"
      "  Spaced Key   =   spaced value  \r\n"
      "quoted=\"  in quotes  \"\r\n"
      "; comment=not a key\r\n"
      "# hash=not a key either\r\n"
      "no equals sign\r\n"
      "empty=\r\n"
      "dup=first\r\n"
      "dup=second\r\n"
      "[main]\r\n"
      "dup=third\r\n"
      "late=in the second main\r\n");
  EXPECT_EQ(Read(doc, "Main", "spaced key"), "spaced value");
  EXPECT_EQ(Read(doc, "MAIN", "Quoted"), "  in quotes  ");
  EXPECT_EQ(Read(doc, "Main", "; comment"), "<absent>");
  EXPECT_EQ(Read(doc, "Main", "# hash"), "<absent>");
  EXPECT_EQ(Read(doc, "Main", "empty"), "");
  EXPECT_EQ(Read(doc, "Main", "dup"), "first");      // the first key
  EXPECT_EQ(Read(doc, "Main", "late"), "<absent>");  // the first section only
  EXPECT_EQ(Read(doc, "", "top"), "<absent>");       // no section, no key
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Main"}));
  EXPECT_EQ(doc.KeyNames("main"),
            (std::vector<std::string>{"Spaced Key", "quoted", "empty", "dup"}));
}

TEST(IniDocument, BrokenHeadersHideTheirKeys) {
  TIniDocument doc(
      "[Good]\nA=1\n"
      "[Broken\nA=2\nB=3\n"
      "[Good2]\nA=4\n");
  EXPECT_EQ(Read(doc, "Good", "A"), "1");
  EXPECT_EQ(Read(doc, "Good", "B"), "<absent>");
  EXPECT_EQ(Read(doc, "Broken", "B"), "<absent>");
  EXPECT_EQ(Read(doc, "Good2", "A"), "4");
  // Writing into the section before the broken header stays before it.
  doc.WriteString("Good", "B", "new");
  EXPECT_EQ(doc.Text(), "[Good]\nA=1\nB=new\n[Broken\nA=2\nB=3\n[Good2]\nA=4\n");
}

TEST(IniDocument, ByteOrderMarkAndLineEnds) {
  TIniDocument doc("\xEF\xBB\xBF[S]\nk=v");  // LF file, no final line end
  EXPECT_EQ(Read(doc, "S", "k"), "v");
  doc.WriteString("S", "n", "1");
  doc.WriteString("T", "m", "2");
  EXPECT_EQ(doc.Text(), "\xEF\xBB\xBF[S]\nk=v\nn=1\n[T]\nm=2\n");
  TIniDocument fresh;
  fresh.WriteString("S", "k", "v");
  EXPECT_EQ(fresh.Text(), "[S]\r\nk=v\r\n");
}

TEST(IniDocument, ChangesOnlyTheLinesOfItsKeys) {
  const std::string original =
      "; the host's own settings\r\n"
      "[Host]\r\n"
      "  Window  =  12 , 34   \r\n"
      "\r\n"
      "[MBUS.Common]\r\n"
      "Left   =1\r\n"
      "; keep me\r\n"
      "Other = x\r\n"
      "\r\n"
      "\r\n"
      "[Tail]\r\n"
      "last=1";
  TIniDocument doc(original);
  doc.WriteString("mbus.common", "left", "326");
  doc.WriteString("MBUS.Common", "Top", "144");
  doc.WriteString("MBUS.Other", "Min interval", "2.5");
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(doc.Text(),
            "; the host's own settings\r\n"
            "[Host]\r\n"
            "  Window  =  12 , 34   \r\n"
            "\r\n"
            "[MBUS.Common]\r\n"
            "Left   =326\r\n"
            "; keep me\r\n"
            "Other = x\r\n"
            "Top=144\r\n"
            "\r\n"
            "\r\n"
            "[Tail]\r\n"
            "last=1\r\n"
            "[MBUS.Other]\r\n"
            "Min interval=2.5\r\n");
  EXPECT_TRUE(doc.DeleteKey("MBUS.Common", "TOP"));
  EXPECT_FALSE(doc.DeleteKey("MBUS.Common", "Top"));
}

TEST(IniDocument, SameValueLeavesTheDocumentUnchanged) {
  TIniDocument doc("[S]\nk = v\n");
  doc.WriteString("S", "k", "v");
  EXPECT_TRUE(doc.Modified());  // the spacing after '=' is ours to rewrite
  TIniDocument same("[S]\nk=v\n");
  same.WriteString("S", "k", "v");
  EXPECT_FALSE(same.Modified());
}

TEST(IniDocument, RefusesWhatALineCannotHold) {
  TIniDocument doc;
  EXPECT_THROW(doc.WriteString("", "k", "v"), EIniFileError);
  EXPECT_THROW(doc.WriteString("S", "", "v"), EIniFileError);
  EXPECT_THROW(doc.WriteString("S", "a=b", "v"), EIniFileError);
  EXPECT_THROW(doc.WriteString("S", "a\nb", "v"), EIniFileError);
  EXPECT_THROW(doc.WriteString("S]x", "k", "v"), EIniFileError);
  EXPECT_EQ(doc.Text(), "");
}

TEST(IniDocument, TextWithNulBytesIsNoSettingsFile) {
  EXPECT_THROW(TIniDocument(std::string("[S]\r\nk=v\0x", 11)), EIniFileError);
  // UTF-16 text has NUL bytes too.
  EXPECT_THROW(TIniDocument(std::string("\xFF\xFE[\0S\0]\0", 8)), EIniFileError);
}

TEST(IniValues, AwkwardValuesRoundTrip) {
  const std::vector<std::string> values = {
      "plain",
      "<MBUS>\r\n  <Request Address=\"1\"/>\r\n</MBUS>\r\n",
      "  leading and trailing  ",
      "\"quoted\"",
      "[[Text]]literal marker",
      "100% sure\tand a tab",
      std::string("nul\0inside", 10),
      "",
      " ",
  };
  for (const std::string& value : values) {
    std::string encoded = EncodeIniValue(value);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos) << value;
    TIniDocument doc;
    doc.WriteString("S", "k", value);
    TIniDocument reread(doc.Text());
    EXPECT_EQ(Read(reread, "S", "k"), value);
  }
  // Plain values are stored as they are, so the host reads them too.
  EXPECT_EQ(EncodeIniValue("C:\\Data\\100%\\new"), "C:\\Data\\100%\\new");
  EXPECT_EQ(DecodeIniValue("[[Text]]bad %zz and %4"), "bad %zz and %4");
}

TEST(IniValues, Numbers) {
  std::int64_t i = 0;
  EXPECT_TRUE(ParseIniInteger(" 42 ", i));
  EXPECT_EQ(i, 42);
  EXPECT_TRUE(ParseIniInteger("-2147483648", i));
  EXPECT_EQ(i, -2147483648LL);
  EXPECT_TRUE(ParseIniInteger("$1F", i));
  EXPECT_EQ(i, 31);
  EXPECT_TRUE(ParseIniInteger("0x10", i));
  EXPECT_EQ(i, 16);
  EXPECT_TRUE(ParseIniInteger("9223372036854775807", i));
  EXPECT_FALSE(ParseIniInteger("9223372036854775808", i));
  EXPECT_FALSE(ParseIniInteger("12abc", i));
  EXPECT_FALSE(ParseIniInteger("", i));
  EXPECT_FALSE(ParseIniInteger("-", i));

  double d = 0;
  EXPECT_TRUE(ParseIniFloat("2.5", d));
  EXPECT_EQ(d, 2.5);
  EXPECT_TRUE(ParseIniFloat("2,5", d));  // written where "," is the separator
  EXPECT_EQ(d, 2.5);
  EXPECT_TRUE(ParseIniFloat("-1E3", d));
  EXPECT_EQ(d, -1000.0);
  EXPECT_FALSE(ParseIniFloat("1,000.5", d));
  EXPECT_FALSE(ParseIniFloat("1,2,3", d));
  EXPECT_FALSE(ParseIniFloat("abc", d));
  EXPECT_FALSE(ParseIniFloat("1e999", d));
  EXPECT_EQ(FormatIniFloat(0.1), "0.1");
  EXPECT_TRUE(ParseIniFloat(FormatIniFloat(1.0 / 3.0), d));
  EXPECT_EQ(d, 1.0 / 3.0);
}

TEST(IniFile, LockNameFollowsThePath) {
  EXPECT_EQ(IniLockName("C:\\Program Files\\Host\\HOST.ini"), "c__program_files_host_host_ini");
  EXPECT_EQ(IniLockName("/tmp/\xC3\x84-1.ini"), "_tmp____1_ini");  // two bytes, each "_"
}

TEST(IniFile, UpdateWritesOnlyWhenChanged) {
  TScratchDir dir;
  const std::string file = dir.File("host.ini");
  UpdateIniFile(file, [](TIniDocument&) {});
  EXPECT_FALSE(plat::FileExists(file));  // nothing to write, nothing created
  UpdateIniFile(file, [](TIniDocument& doc) { doc.WriteString("S", "k", "v"); });
  EXPECT_EQ(ReadBytes(file), "[S]\r\nk=v\r\n");
  EXPECT_EQ(dir.EntryCount(), 1u);  // no temporary file left
}

TEST(IniFile, ReadErrorsLeaveTheFileAlone) {
  TScratchDir dir;
  const std::string binary = dir.File("binary.ini");
  const std::string bytes("\x01\x02\x00\x03[S]\r\nk=v\r\n", 14);
  WriteBytes(binary, bytes);
  bool ran = false;
  EXPECT_THROW(UpdateIniFile(binary, [&](TIniDocument&) { ran = true; }), EIniFileError);
  EXPECT_FALSE(ran);
  EXPECT_EQ(ReadBytes(binary), bytes);

  // An endless line beyond the size limit is refused before it is parsed.
  const std::string huge = dir.File("huge.ini");
  WriteBytes(huge, "[S]\nk=" + std::string(kMaxIniFileSize, 'x'));
  EXPECT_THROW(UpdateIniFile(huge, [&](TIniDocument&) { ran = true; }), EIniFileError);
  EXPECT_FALSE(ran);
}

namespace {

bool gRenameStopped = false;
bool StopBeforeRename(const std::string& tempPath) {
  gRenameStopped = plat::FileExists(tempPath);  // written and flushed by now
  return false;
}

}  // namespace

TEST(IniFile, InterruptedSaveKeepsTheOldFile) {
  TScratchDir dir;
  const std::string file = dir.File("host.ini");
  const std::string original = "[Host]\r\nkeep=me\r\n";
  WriteBytes(file, original);
  plat::SetBeforeRenameHook(&StopBeforeRename);
  try {
    UpdateIniFile(file, [](TIniDocument& doc) { doc.WriteString("Host", "keep", "changed"); });
    ADD_FAILURE() << "an interrupted save reported success";
  } catch (const EIniFileError& e) {
    EXPECT_NE(std::string(e.what()).find("interrupted"), std::string::npos) << e.what();
  }
  plat::SetBeforeRenameHook(nullptr);
  EXPECT_TRUE(gRenameStopped);
  EXPECT_EQ(ReadBytes(file), original);
  EXPECT_EQ(dir.EntryCount(), 1u);
}

// An existing text file in a folder this process cannot write: a read-only
// folder when permissions hold, else a file of /proc (which even root
// cannot add files to). Empty when the machine has neither.
std::string UnwritableFolderFile(const TScratchDir& dir) {
  auto folder = dir.Path / "readonly";
  std::filesystem::create_directories(folder);
  WriteBytes((folder / "host.ini").string(), "[Host]\r\nkeep=me\r\n");
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  std::string probe;
  if (!plat::ReplaceFileAtomically((folder / "probe").string(), "x", &probe))
    return (folder / "host.ini").string();
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
  std::filesystem::remove(folder / "probe");
  for (const char* candidate : {"/proc/version", "Z:\\proc\\version"})
    if (plat::FileExists(candidate) &&
        !plat::ReplaceFileAtomically(plat::ExtractFileDir(candidate) + "/kor-probe", "x", &probe))
      return candidate;
  return {};
}

TEST(IniFile, SaveIntoAnUnwritableFolderKeepsTheOldFile) {
  TScratchDir dir;
  const std::string file = UnwritableFolderFile(dir);
  if (file.empty()) GTEST_SKIP() << "no folder here that cannot be written";
  const std::string original = ReadBytes(file);
  ASSERT_FALSE(original.empty());
  EXPECT_THROW(UpdateIniFile(file, [](TIniDocument& doc) { doc.WriteString("Host", "k", "v"); }),
               EIniFileError);
  EXPECT_EQ(ReadBytes(file), original);
}

TEST(IniDocument, LongLinesWithinTheLimitAreJustLines) {
  const std::string endless(4u << 20, 'x');  // no line end at all
  TIniDocument doc("[S]\n" + endless);
  EXPECT_EQ(doc.KeyNames("S").size(), 0u);
  doc.WriteString("S", "k", "v");
  EXPECT_EQ(doc.Text(), "[S]\nk=v\n" + endless);
  TIniDocument value("[S]\nk=" + endless);
  std::string read;
  ASSERT_TRUE(value.ReadString("S", "k", read));
  EXPECT_EQ(read.size(), endless.size());
}
