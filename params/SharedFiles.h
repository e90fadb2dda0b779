// Small text files that threads, plug-in modules and processes share (the
// settings file, the last time points file): every read-modify-write runs
// under an in-process lock per path and the cross-process lock named after
// the path, and the new contents replace the file atomically, so no writer
// loses another's change and a crash never leaves the file cut short.
//
// Threads: any; the locks are taken and released inside each call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/SysUtils.h"

// A shared file that could not be locked, read or written.
class ESharedFileError : public Exception {
 public:
  using Exception::Exception;
};

// The name of the cross-process lock of a file: the path in lower case with
// every character but 0-9 and a-z turned into "_".
std::string SharedFileLockName(std::string_view path);

// Under both locks, reads the file (a missing file is empty text; one larger
// than maxSize is an error), runs the action on its text and, when the
// action answers true, replaces the file with the changed text. Raises
// ESharedFileError "Cannot lock|read|write the " + what + " " + path + ": "
// + reason when a step fails; the file then stays as it was. Exceptions of
// the action pass through unchanged (nothing is written).
void UpdateSharedFile(const std::string& path, std::uint64_t maxSize, std::string_view what,
                      const std::function<bool(std::string& text)>& action);
