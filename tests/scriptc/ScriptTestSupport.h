// Compiling script sources held in memory: the main unit "main.pas" and
// used units by name.
#pragma once

#include <map>
#include <string>

#include "tools/scriptc/ScriptCompiler.h"

namespace scripttest {

inline constexpr const char* kDeclaration = "<?xml version=\"1.0\"?>";

// The tree of source; units are looked up in units by name (file NAME.pas).
inline std::string Compile(const std::string& source,
                           const std::map<std::string, std::string>& units = {}) {
  auto reader = [&](const std::string& unit, std::string& fileName, std::string& text) {
    auto it = units.find(unit);
    if (it == units.end()) return false;
    fileName = unit + ".pas";
    text = it->second;
    return true;
  };
  return script::CompileScript(source, "main.pas", reader);
}

// The message of the error compiling source raises; empty when it compiles.
inline std::string CompileError(const std::string& source,
                                const std::map<std::string, std::string>& units = {}) {
  try {
    Compile(source, units);
  } catch (const script::EScriptError& error) {
    return error.what();
  }
  return {};
}

}  // namespace scripttest
