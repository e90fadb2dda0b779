// Reading and writing the parameters of a host call through its list
// interface. A failing interface call raises (the command then gives -3).
// The calling thread is the command's; the list is the call's.
#pragma once

#include <cstdint>
#include <string>

#include "params/Variants.h"
#include "params/korParamLstIntf.h"

namespace plugparams {

// The value of name (GetValue(name, 0, -1)); Empty for a nil list.
OleVariant Read(IkorParamsListA* params, const char* name);
// Neither Empty nor Null.
bool IsPresent(const OleVariant& value);
// The value as text; "" when it is not present.
std::string ReadText(IkorParamsListA* params, const char* name);
// A handle or other pointer-sized integer carried as a number.
std::uintptr_t AsHandle(const OleVariant& value);
// True when the list has an item of that name.
bool HasItem(IkorParamsListA* params, const char* name);
// SetValue("RESULT", value, add if missing = false): dropped without the item.
void WriteResult(IkorParamsListA* params, const OleVariant& value);

}  // namespace plugparams
