// Files: existence, folders, reading a whole file and replacing one
// atomically. Paths are 8-bit text in the system code page. Every function
// is thread-safe and never throws; failures come back as false with the
// system's reason in error (when given).
//
// (The common application-data folder is in Modules.h.)
#pragma once

#include <cstdint>
#include <string>

namespace plat {

bool FileExists(const std::string& path);  // a file, not a folder
bool DirectoryExists(const std::string& path);

// Creates a folder and every missing folder above it; true when it exists
// afterwards.
bool ForceDirectories(const std::string& path, std::string* error = nullptr);

// The folder part of a path, without the trailing separator ("" for a bare
// file name). Both '/' and '\' count as separators on Windows.
std::string ExtractFileDir(const std::string& path);

// The folder for temporary files of the current user, without a trailing
// separator: posix TMPDIR (or "/tmp"), Windows GetTempPath.
std::string TempFolder();

// Removes a file; true when it is gone afterwards (a missing file counts).
bool RemoveFile(const std::string& path, std::string* error = nullptr);

// Reads the whole file into contents. Fails for a missing file, a folder or
// a file longer than maxSize bytes (contents is then empty).
bool ReadWholeFile(const std::string& path, std::string& contents, std::uint64_t maxSize,
                   std::string* error = nullptr);

// Replaces (or creates) path with contents so that readers see either the
// old file or the new one, never a part: writes a temporary file in the
// same folder, flushes it to the disk, then renames it over path. On any
// failure the temporary file is removed and path is left as it was.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents,
                           std::string* error = nullptr);

// A seam for tests: called after the temporary file is written and flushed,
// just before the rename; returning false stops the replace there, as a
// crash at that moment would (the temporary file is removed, the result is
// false). Process-wide; nil restores the normal path.
using TBeforeRenameHook = bool (*)(const std::string& tempPath);
void SetBeforeRenameHook(TBeforeRenameHook hook);

}  // namespace plat
