// The persisted-property list of a module, kept in the module's own form:
// the lines of a string holder (TkorStrHolder) in a form stream, read the
// way the form is read at run time. The module's form is the raw-data
// resource named after its class (TaPlugin: "TAPLUGIN"), its holder is the
// component "Properties". Thread-safe (no shared state).
#pragma once

#include <string_view>

#include "framework/StringList.h"

inline constexpr std::string_view kPropertiesComponent = "Properties";

// Replaces the lines of into with those of the string holder named
// component in the binary form stream. Raises Exception when the stream
// cannot be read or has no holder of that name; into is then unchanged.
void ReadFormStrings(std::string_view stream, std::string_view component, TStringList& into);

// The same for the form stored as the raw-data resource of that name in
// the running library or program. Raises Exception ("Form resource NAME not
// found") when there is none.
void LoadFormStrings(std::string_view resource, std::string_view component, TStringList& into);
