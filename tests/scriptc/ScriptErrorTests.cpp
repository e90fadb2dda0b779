// Source the script compiler cannot read: each error names the file, the
// line and the column where reading stopped, and says why.
#include <gtest/gtest.h>

#include <string>

#include "tests/scriptc/ScriptTestSupport.h"

using scripttest::CompileError;

namespace {

struct TBroken {
  const char* Source;
  const char* Message;
};

const TBroken kBroken[] = {
    {"begin x := 'abc end.", "main.pas:1:12: unterminated string"},
    {"begin { x end.", "main.pas:1:7: unterminated comment"},
    {"begin (* x end.", "main.pas:1:7: unterminated comment"},
    {"begin if a b end.", "main.pas:1:12: expected 'then' but found 'b'"},
    {"begin x := 1 ? end.", "main.pas:1:14: unexpected character '?'"},
    {"begin x := ''#$ end.", "main.pas:1:14: unexpected character '#'"},
    {"begin x := 1 \x01 end.", "main.pas:1:14: unexpected character #1"},
    {"begin while a do x end.", "main.pas:1:7: 'while' is not supported"},
    {"begin try x except y end end.", "main.pas:1:13: 'except' is not supported"},
    {"begin for i := 1 downto 0 do x end.", "main.pas:1:18: 'downto' is not supported"},
    {"begin end. x", "main.pas:1:12: text after the final 'end.': 'x'"},
    {"begin x := 1", "main.pas:1:13: expected ';' or 'end' but found the end of the file"},
    {"var 1a: Integer; begin end.", "main.pas:1:6: malformed number"},
    {"procedure P; begin end begin end.", "main.pas:1:24: expected ';' but found 'begin'"},
    {"uses Missing; begin end.", "main.pas:1:6: unit 'Missing' not found"},
    {"var begin: Integer; begin end.", "main.pas:1:5: 'begin' is a reserved word, expected a name"},
    {"begin x := (1 end.", "main.pas:1:15: expected ')' but found 'end'"},
    {"begin x := end.", "main.pas:1:12: expected an operand but found 'end'"},
    {"begin x.1 end.", "main.pas:1:9: expected a name after '.' but found '1'"},
    {"begin 5 end.", "main.pas:1:7: expected a statement but found '5'"},
    {"begin @ end.", "main.pas:1:9: expected a routine name after '@' but found 'end'"},
    {"type T = Integer; begin end.", "main.pas:1:1: 'type' is not supported"},
    {"var a: array of Integer; begin end.", "main.pas:1:8: 'array' is not supported"},
    {"procedure P; procedure Q; begin end; begin end; begin end.",
     "main.pas:1:14: nested routines are not supported"},
    {"begin x; then y end.", "main.pas:1:10: 'then' cannot start a statement"},
    {"begin with a, b do x end.", "main.pas:1:13: one object per 'with' is supported"},
    {"begin end", "main.pas:1:10: expected '.' but found the end of the file"},
    {"", "main.pas:1:1: expected 'begin' but found the end of the file"},
};

}  // namespace

TEST(ScriptErrors, BrokenSourceNamesFileLineColumnAndReason) {
  for (const TBroken& broken : kBroken)
    EXPECT_EQ(CompileError(broken.Source), broken.Message) << broken.Source;
}

TEST(ScriptErrors, PositionsCountLinesAndColumnsFromOne) {
  EXPECT_EQ(CompileError("begin\n  x := 1;\n\n\ty := 'open\nend."),
            "main.pas:4:7: unterminated string");
}

TEST(ScriptErrors, AnErrorInAUsedUnitNamesThatUnitsFile) {
  EXPECT_EQ(CompileError("uses Alpha; begin end.", {{"Alpha", "unit Alpha;\nbegin x( end."}}),
            "Alpha.pas:2:10: expected an operand but found 'end'");
}

TEST(ScriptErrors, UnitsThatUseThemselvesAreRefused) {
  EXPECT_EQ(CompileError("uses Alpha; begin end.", {{"Alpha", "uses Alpha; begin end."}}),
            "Alpha.pas:1:6: unit 'Alpha' uses itself");
  EXPECT_EQ(CompileError("uses A; begin end.",
                         {{"A", "uses B; begin end."}, {"B", "uses a; begin end."}}),
            "B.pas:1:6: unit 'a' uses itself");
}

TEST(ScriptErrors, AUnitHeaderMustNameTheUsedUnit) {
  EXPECT_EQ(CompileError("uses Alpha; begin end.", {{"Alpha", "unit Beta; begin end."}}),
            "Alpha.pas:1:6: unit 'Beta' is used as 'Alpha'");
}

TEST(ScriptErrors, DeepNestingIsRefusedNotOverflowed) {
  const std::string deep =
      "begin x := " + std::string(5000, '(') + "1" + std::string(5000, ')') + " end.";
  EXPECT_NE(CompileError(deep).find("nested too deeply"), std::string::npos);
  std::string ifs = "begin ";
  for (int i = 0; i < 5000; ++i) ifs += "if a then ";
  ifs += "x end.";
  EXPECT_NE(CompileError(ifs).find("nested too deeply"), std::string::npos);
  std::string blocks = "begin ";
  for (int i = 0; i < 5000; ++i) blocks += "begin ";
  EXPECT_NE(CompileError(blocks).find("nested too deeply"), std::string::npos);
}

TEST(ScriptErrors, NestingJustBelowTheLimitCompiles) {
  const std::string source = "begin x := " + std::string(script::kMaxNesting - 2, '(') + "1" +
                             std::string(script::kMaxNesting - 2, ')') + " end.";
  EXPECT_EQ(CompileError(source), "");
}
