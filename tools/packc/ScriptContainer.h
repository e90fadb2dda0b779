// The script container of the options dialog (resource FORM_DATA): the
// syntax tree, the name of the form the script belongs to and the
// persisted-property lines, as one gzip member. Built at build time by
// kor-packc; the plug-in ships the member as it is. Compression is zlib's;
// this code runs on the build machine only. Thread-safe (no shared state).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

// Between the three sections of the container's content.
inline constexpr std::string_view kSectionSeparator = "\r\n\r\n<=======>\r\n\r\n";

// Data that cannot be packed or unpacked.
class EPackError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The uncompressed content: tree, separator, form name, separator, each
// property line followed by CR LF, then the closing line of one blank.
// Refuses a tree with a line break or a separator inside, a property line
// with a line break, and an empty form name.
std::string ContainerContent(std::string_view tree, std::string_view formName,
                             const std::vector<std::string>& propertyLines);

// The lines of a properties file: LF or CR LF ends a line; a last line
// without an ending counts; empty lines are kept except at the end.
std::vector<std::string> SplitLines(std::string_view text);

// One gzip member (deflate at the best compression, no file name, time 0).
std::string Gzip(std::string_view data);

// The content of one gzip member; raises EPackError for anything else
// (bad header or checksum, truncated data, bytes after the member).
std::string Gunzip(std::string_view member);

}  // namespace pack
