// The interpreter on small scripts: precedence over the tree's source order,
// literals, var parameters, loops and jumps, try/finally, with, units, and
// the errors a script that cannot run gives.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "DialogRunner.h"
#include "tools/scriptc/ScriptCompiler.h"

namespace {

using dialogrun::EScriptRunError;
using dialogrun::TDialogRunner;
using dialogrun::TValue;

// Compiles main (and units by name) and loads it into a runner without forms.
std::unique_ptr<TDialogRunner> LoadScript(const std::string& main,
                                          const std::map<std::string, std::string>& units = {}) {
  const std::string tree = script::CompileScript(
      main, "main.pas", [&](const std::string& unit, std::string& fileName, std::string& source) {
        const auto it = units.find(unit);
        if (it == units.end()) return false;
        fileName = unit + ".pas";
        source = it->second;
        return true;
      });
  return std::make_unique<TDialogRunner>(tree, dialogrun::TDialogStreams{});
}

TValue Evaluate(const std::string& expression, const std::string& type = "Variant") {
  auto runner = LoadScript("function F: " + type + ";\nbegin\n  Result := " + expression +
                           ";\nend;\nbegin end.");
  return runner->Call("F");
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EScriptRunError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ScriptRunner, AppliesPrecedenceToTheSourceOrderOfTheTree) {
  EXPECT_EQ(Evaluate("1 + 2 * 3").AsInt(), 7);
  EXPECT_EQ(Evaluate("(1 + 2) * 3").AsInt(), 9);
  EXPECT_EQ(Evaluate("10 - 4 - 3").AsInt(), 3);
  EXPECT_EQ(Evaluate("-2 * 3 + 1").AsInt(), -5);
  EXPECT_EQ(Evaluate("7 div 2 + 7 mod 2").AsInt(), 4);
  EXPECT_EQ(Evaluate("1 shl 4 or 1").AsInt(), 17);
  EXPECT_TRUE(Evaluate("not False and True").AsBool());
  EXPECT_TRUE(Evaluate("1 + 1 = 2").AsBool());
  EXPECT_FALSE(Evaluate("3 < 2").AsBool());
  EXPECT_TRUE(Evaluate("(1 < 2) and (2 <= 2) and (3 >= 2) and (3 <> 2)").AsBool());
  EXPECT_TRUE(Evaluate("2 in [1, 2, 3]").AsBool());
  EXPECT_FALSE(Evaluate("4 in [1, 2, 3]").AsBool());
  EXPECT_DOUBLE_EQ(Evaluate("7 / 2").AsFloat(), 3.5);
  EXPECT_DOUBLE_EQ(Evaluate("2.5e3").AsFloat(), 2500.0);
}

TEST(ScriptRunner, ReadsLiteralsAsTheLanguageWritesThem) {
  EXPECT_EQ(Evaluate("$1F").AsInt(), 31);
  EXPECT_EQ(Evaluate("'it''s'#13#$0A'x'").AsText(), "it's\r\nx");
  EXPECT_EQ(Evaluate("'a' + IntToStr(12)").AsText(), "a12");
  EXPECT_EQ(Evaluate("Copy('abcdef', 2, 3) + IntToStr(Pos('d', 'abcdef'))").AsText(), "bcd4");
  EXPECT_EQ(Evaluate("StrToInt64Def('$' + 'FFFFFFFF', 0)").AsInt(), 0xFFFFFFFFLL);
  EXPECT_EQ(Evaluate("StrToInt64Def('$' + '12G4', 0)").AsInt(), 0);
  EXPECT_EQ(Evaluate("StrToIntDef('x', 5)").AsInt(), 5);
  EXPECT_EQ(Evaluate("GetParam('a||b||c', '||', 2) + GetParam('a||b', '||', 4)").AsText(), "b");
  EXPECT_EQ(Evaluate("Trunc(7 / 2 - 1)").AsInt(), 2);
}

TEST(ScriptRunner, PassesVarParametersAndStoresByDeclaredType) {
  auto runner = LoadScript(
      "var Total: Integer;\n"
      "procedure Add(var Sum: Integer; Amount: Integer);\nbegin\n  Sum := Sum + Amount;\nend;\n"
      "function F: string;\nvar n: Integer;\nbegin\n  n := 1;\n  Add(n, 41);\n  Total := n;\n"
      "  Result := n;\nend;\nbegin end.");
  EXPECT_EQ(runner->Call("F").Kind, dialogrun::TKind::Text);
  EXPECT_EQ(runner->Call("F").AsText(), "42");
  EXPECT_EQ(runner->Global("Total").AsInt(), 42);
  EXPECT_NE(ErrorOf([&] {
              runner->Call("Add", {TValue::Of(1), TValue::Of(2)});
            }).find("'Sum' of Add needs a variable"),
            std::string::npos);
}

TEST(ScriptRunner, RunsLoopsJumpsAndFinallyBlocks) {
  auto runner = LoadScript(
      "var Log: string;\n"
      "function F: Integer;\nvar i: Integer;\nbegin\n  Result := 0;\n"
      "  for i := 1 to 10 do\n  begin\n    if i = 2 then continue;\n    if i > 4 then break;\n"
      "    Result := Result + i;\n  end;\nend;\n"
      "procedure G;\nbegin\n  try\n    Log := Log + 'a';\n    exit;\n    Log := Log + 'b';\n"
      "  finally\n    Log := Log + 'c';\n  end;\n  Log := Log + 'd';\nend;\nbegin\n  Log := "
      "'';\nend.");
  EXPECT_EQ(runner->Call("F").AsInt(), 1 + 3 + 4);
  runner->Call("G");
  EXPECT_EQ(runner->Global("Log").AsText(), "ac");
}

TEST(ScriptRunner, UsesUnitsWithTheirOwnGlobalsAndMainBlocks) {
  auto runner = LoadScript(
      "uses Other;\nconst sep = 'main';\nfunction F: string;\nbegin\n"
      "  Result := sep + '/' + OtherSep + '/' + Flag;\nend;\nbegin end.",
      {{"Other",
        "unit Other;\nconst sep = 'other';\nvar Flag: string;\n"
        "function OtherSep: string;\nbegin\n  Result := sep;\nend;\n"
        "begin\n  Flag := 'set';\nend."}});
  EXPECT_EQ(runner->Call("F").AsText(), "main/other/set");
}

TEST(ScriptRunner, RunsWithOnObjectsAndTestsClassesWithIs) {
  auto runner = LoadScript(
      "var L: TStringList;\n"
      "function F: string;\nbegin\n  L := TStringList.Create;\n"
      "  with L do\n  begin\n    Text := 'a'#13#10'b';\n    Add('c');\n  end;\n"
      "  Result := IntToStr(L.Count) + L.Strings[2];\n"
      "  if L is TStringList then Result := Result + '!';\n"
      "  if not (L is TForm) then Result := Result + '?';\n  L.Free;\nend;\n"
      "function G: Integer;\nbegin\n  Result := L.Count;\nend;\nbegin end.");
  EXPECT_EQ(runner->Call("F").AsText(), "3c!?");
  EXPECT_EQ(ErrorOf([&] { runner->Call("G"); }), "17:15: the TStringList was freed");
}

TEST(ScriptRunner, GivesRoutinesByAddressAndComparesThem) {
  auto runner = LoadScript(
      "procedure A;\nbegin\nend;\nprocedure B;\nbegin\nend;\n"
      "function F: Boolean;\nvar p: TObject;\nbegin\n  p := @A;\n"
      "  Result := (p = @A) and (p <> @B);\nend;\nbegin end.");
  EXPECT_TRUE(runner->Call("F").AsBool());
}

TEST(ScriptRunner, ReportsWhatCannotRunWithItsPosition) {
  auto runner = LoadScript(
      "var o: TObject;\nprocedure P;\nbegin\n  Missing(1);\nend;\n"
      "procedure Q;\nbegin\n  o.Caption := 'x';\nend;\n"
      "procedure R;\nbegin\n  o := 1 div 0;\nend;\nbegin end.");
  EXPECT_EQ(ErrorOf([&] { runner->Call("P"); }), "4:3: unknown name 'Missing'");
  EXPECT_EQ(ErrorOf([&] { runner->Call("Q"); }), "8:5: 'Caption' of a value that is not an object");
  EXPECT_NE(ErrorOf([&] { runner->Call("R"); }).find("division by zero"), std::string::npos);
  EXPECT_EQ(ErrorOf([&] { runner->Call("Nothing"); }), "unknown routine 'Nothing'");
  auto typo = LoadScript("function F: string;\nbegin\n  Result := Txt;\nend;\nbegin end.");
  EXPECT_EQ(ErrorOf([&] { typo->Call("F"); }), "3:13: unknown name 'Txt'");
}

TEST(ScriptRunner, RefusesEndlessRecursion) {
  auto runner = LoadScript("procedure P;\nbegin\n  P;\nend;\nbegin end.");
  EXPECT_NE(ErrorOf([&] { runner->Call("P"); }).find("calls nested too deep"), std::string::npos);
}

}  // namespace
