// File handling shared by the build-time tools: whole-file reads, outputs
// rewritten only when their bytes change, and the C++ unit that embeds a
// resource in posix builds. Build machine only.
#pragma once

#include <string>

namespace tools {

// The whole file; false when it cannot be read.
bool ReadFile(const std::string& path, std::string& bytes);

// Writes bytes to path unless the file already holds exactly them; through
// a temporary file, so an interrupted run leaves no half-written output.
bool WriteIfChanged(const std::string& path, const std::string& bytes);

// A resource name the embedding unit and the .rc file can carry.
bool ValidResourceName(const std::string& name);

// A C++ unit that registers bytes as the raw-data resource name when the
// binary is loaded (plat::RegisterDataResource). tool names the generator.
std::string EmbeddingUnit(const std::string& tool, const std::string& name,
                          const std::string& bytes);

}  // namespace tools
