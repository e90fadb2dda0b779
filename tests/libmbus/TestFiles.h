// Helpers of the libmbus tests: the shared telegram folders and small XML
// readers that compare documents by content.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace mbus_test {

std::filesystem::path SharedDir();
std::filesystem::path TelegramDir(const char* folder);
std::string ReadFile(const std::filesystem::path& path);
// The files of `dir` with extension `ext`, sorted by name.
std::vector<std::filesystem::path> FilesWith(const std::filesystem::path& dir, const char* ext);

// One block of an XML document (SlaveInformation or DataRecord) with its
// child elements in order; ProductName is left out (it may be empty here).
struct Block {
  std::string tag;
  std::vector<std::pair<std::string, std::string>> fields;
};
std::vector<Block> ReadBlocks(const std::string& xml);

// Empty when equal; else what differs. Values compare exactly, as text.
std::string CompareBlocks(const std::vector<Block>& got, const std::vector<Block>& expected);

// Bytes of a telegram written as hex pairs.
std::vector<unsigned char> Bytes(const char* hex);

// A variable-structure reply around `records` (hex), with length and
// checksum computed; `ci` replaces its control information field.
std::vector<unsigned char> Reply(const std::string& records, unsigned char ci = 0x72);

}  // namespace mbus_test
