// The text form: every value syntax compiles to its type, the text of a
// tree compiles back to the same tree, errors name their line and column,
// and the checked-in forms compile to the checked-in bytes on every build.
#include <gtest/gtest.h>

#include <string>

#include "tests/forms/FormTestData.h"
#include "tools/formc/FormText.h"

using namespace form;

namespace {

const char kSample[] = R"(// a comment line
object frmMain: TfrmMain
  Left = -5
  Width = 40000
  Big = 5000000000
  Small64 = 7L
  Hex = $FF
  Ratio = 2.5
  Ratio1 = 0.1s
  When = 46000.25t
  Exact = 1e-300r
  Money = -12.3456c
  Caption = 'It''s' + #13#10 +
    'fine'
  Umlaut = 'Z'#228'hler'
  Latin = a'Z'#228
  Long = l'short'
  Utf = u'Gr'#252'e'
  WideForced = w'abc'
  Color = clBtnFace
  Visible = True
  Enabled = false
  Popup = nil
  Missing = Null
  Anchors = [akLeft, akTop]
  None = []
  Data = {00FF 10
          ab}
  Items.Strings = (
    'one'
    2
    ())
  Columns = <
    item
      Caption = 'Address'
      Width = 64
    end
    item [3]
    end>
  OnClick = btnClick // trailing comment
  inherited Panel: TPanel [2]
    inline Frame: TFrame1
    end
  end
  object : TTimer
  end
end
)";

const TFormValue& Value(const TFormObject& object, const std::string& name) {
  const TFormProperty* property = object.FindProperty(name);
  EXPECT_NE(property, nullptr) << name;
  static const TFormValue kNone;
  return property ? property->Value : kNone;
}

std::string ErrorOf(std::string_view text) {
  try {
    ParseFormText(text);
  } catch (const EFormTextError& error) {
    return error.what();
  }
  return "no error";
}

}  // namespace

TEST(FormTextParse, EveryValueSyntaxGivesItsType) {
  const TFormObject root = ParseFormText(kSample);
  EXPECT_EQ(root.Name, "frmMain");
  EXPECT_EQ(root.ClassName, "TfrmMain");
  EXPECT_EQ(Value(root, "Left").Type, TValueType::vaInt8);
  EXPECT_EQ(Value(root, "Left").Int, -5);
  EXPECT_EQ(Value(root, "Width").Type, TValueType::vaInt32);
  EXPECT_EQ(Value(root, "Big").Type, TValueType::vaInt64);
  EXPECT_EQ(Value(root, "Big").Int, 5000000000LL);
  EXPECT_EQ(Value(root, "Small64").Type, TValueType::vaInt64);
  EXPECT_EQ(Value(root, "Hex").Int, 255);
  EXPECT_EQ(Value(root, "Ratio").Type, TValueType::vaExtended);
  EXPECT_EQ(Value(root, "Ratio").ExtendedValue(), 2.5);
  EXPECT_EQ(Value(root, "Ratio1").Type, TValueType::vaSingle);
  EXPECT_EQ(Value(root, "Ratio1").Float, static_cast<double>(0.1F));
  EXPECT_EQ(Value(root, "When").Type, TValueType::vaDate);
  EXPECT_EQ(Value(root, "When").Float, 46000.25);
  EXPECT_EQ(Value(root, "Exact").Type, TValueType::vaDouble);
  EXPECT_EQ(Value(root, "Exact").Float, 1e-300);
  EXPECT_EQ(Value(root, "Money").Type, TValueType::vaCurrency);
  EXPECT_EQ(Value(root, "Money").Int, -123456);
  EXPECT_EQ(Value(root, "Caption").Type, TValueType::vaString);
  EXPECT_EQ(Value(root, "Caption").Bytes, "It's\r\nfine");
  EXPECT_EQ(Value(root, "Umlaut").Type, TValueType::vaWString);
  EXPECT_EQ(Value(root, "Umlaut").Wide, u"Z\u00E4hler");
  EXPECT_EQ(Value(root, "Latin").Type, TValueType::vaString);
  EXPECT_EQ(Value(root, "Latin").Bytes, "Z\xE4");
  EXPECT_EQ(Value(root, "Long").Type, TValueType::vaLString);
  EXPECT_EQ(Value(root, "Utf").Type, TValueType::vaUTF8String);
  EXPECT_EQ(Value(root, "Utf").Bytes,
            "Gr\xC3\xBC"
            "e");
  EXPECT_EQ(Value(root, "WideForced").Type, TValueType::vaWString);
  EXPECT_EQ(Value(root, "Color").Type, TValueType::vaIdent);
  EXPECT_EQ(Value(root, "Visible").Type, TValueType::vaTrue);
  EXPECT_EQ(Value(root, "Enabled").Type, TValueType::vaFalse);
  EXPECT_EQ(Value(root, "Popup").Type, TValueType::vaNil);
  EXPECT_EQ(Value(root, "Missing").Type, TValueType::vaNull);
  EXPECT_EQ(Value(root, "Anchors").Names, (std::vector<std::string>{"akLeft", "akTop"}));
  EXPECT_TRUE(Value(root, "None").Names.empty());
  EXPECT_EQ(Value(root, "Data").Bytes, std::string("\x00\xFF\x10\xAB", 4));
  const TFormValue& lines = Value(root, "Items.Strings");
  ASSERT_EQ(lines.List.size(), 3u);
  EXPECT_EQ(lines.List[1].Int, 2);
  EXPECT_EQ(lines.List[2].Type, TValueType::vaList);
  const TFormValue& columns = Value(root, "Columns");
  ASSERT_EQ(columns.Items.size(), 2u);
  EXPECT_EQ(columns.Items[0].Properties.size(), 2u);
  EXPECT_TRUE(columns.Items[1].HasIndex);
  EXPECT_EQ(columns.Items[1].IndexValue.Int, 3);
  EXPECT_EQ(Value(root, "OnClick").Bytes, "btnClick");
  ASSERT_EQ(root.Children.size(), 2u);
  EXPECT_EQ(root.Children[0].Flags, kFlagInherited | kFlagChildPos);
  EXPECT_EQ(root.Children[0].ChildPos, 2);
  EXPECT_EQ(root.Children[0].Children[0].Flags, kFlagInline);
  EXPECT_EQ(root.Children[1].Name, "");
  EXPECT_EQ(root.Children[1].ClassName, "TTimer");
}

TEST(FormTextParse, TextOfATreeCompilesBackToTheSameTree) {
  const TFormObject root = ParseFormText(kSample);
  const std::string text = FormToText(root);
  EXPECT_EQ(ParseFormText(text), root) << text;
  // And the binary stream read back prints the same text.
  EXPECT_EQ(FormToText(ReadFormStream(WriteFormStream(root))), text);
}

TEST(FormTextParse, ErrorsNameLineAndColumn) {
  EXPECT_EQ(ErrorOf("object A: TA\n  Caption = 'open\nend\n"), "2:18: unterminated string");
  EXPECT_EQ(ErrorOf("object A: TA\n  Left = )\nend"), "2:10: value expected");
  EXPECT_EQ(ErrorOf("object A: TA\n"), "2:1: property, object or \"end\" expected");
  EXPECT_EQ(ErrorOf("object A: TA\nend\nend\n"), "3:1: text after the last \"end\"");
  EXPECT_EQ(ErrorOf("thing A: TA\nend"), "1:6: \"object\", \"inherited\" or \"inline\" expected");
  EXPECT_EQ(ErrorOf("object A: TA\n X = a'\xC4\x80'\nend"),
            "2:7: 8-bit string with a character above #255");
  EXPECT_EQ(ErrorOf("object A: TA\n X = (Null)\nend"), "2:11: Null cannot stand in a list");
  EXPECT_EQ(ErrorOf("object A: TA\n X = 99999999999999999999\nend"), "2:25: number too large");
  EXPECT_EQ(ErrorOf("object A: TA\n X = 1.23456c\nend"),
            "2:14: currency needs plain digits and at most 4 decimals");
  EXPECT_EQ(ErrorOf("object A: TA\n X = {0}\nend"), "2:7: pairs of hexadecimal digits expected");
  EXPECT_EQ(ErrorOf("object A: TA\n X = 'a\xFF'\nend"), "2:8: text is not UTF-8");
  EXPECT_EQ(ErrorOf("object A: TA\n X = <item X = 1>\nend"), "2:17: property or \"end\" expected");
}

TEST(FormTextParse, NestingBeyondTheLimitIsAnErrorNotACrash) {
  std::string deep = "object A: TA\n X = " + std::string(10000, '(') + "\nend\n";
  EXPECT_NE(ErrorOf(deep).find("nesting deeper than"), std::string::npos);
  std::string objects;
  for (int i = 0; i < 1000; ++i) objects += "object A: TA\n";
  EXPECT_NE(ErrorOf(objects).find("nesting deeper than"), std::string::npos);
}

TEST(FormTextCompile, PluginModuleFormCompilesToTheCheckedInStream) {
  // The same bytes on every build: the stream is pinned by a file of the
  // source tree, and the compiler uses no locale, no long double and no
  // platform code.
  const std::string text = formtest::ReadSourceFile("mbus/PluginDM.form");
  const std::string expected = formtest::ReadHexFile("tests/data/forms/TAPLUGIN.hex");
  ASSERT_FALSE(text.empty());
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(CompileFormText(text), expected);
  // The stream has the holder of the module's persisted properties.
  const TFormObject root = ReadFormStream(expected);
  EXPECT_EQ(root.ClassName, "TaPlugin");
  const TFormObject* holder = root.FindComponent("Properties");
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(holder->ClassName, "TkorStrHolder");
  ASSERT_NE(holder->FindProperty("StrData"), nullptr);
  EXPECT_EQ(holder->FindProperty("StrData")->Value.List.size(), 10u);  // key and nine lines
}
