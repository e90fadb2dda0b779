#include "tools/packc/ScriptContainer.h"

#include <zlib.h>

#include <cstring>

namespace pack {

namespace {

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != text.npos;
}

// zlib's windowBits for a gzip wrapper instead of a zlib one.
constexpr int kGzipWindow = 15 + 16;
// Gunzip refuses content beyond this (the container is a few kilobytes).
constexpr std::size_t kMaxContent = 64u << 20;

}  // namespace

std::string ContainerContent(std::string_view tree, std::string_view formName,
                             const std::vector<std::string>& propertyLines) {
  if (HasLineBreak(tree)) throw EPackError("the syntax tree holds a line break");
  if (formName.empty() || HasLineBreak(formName)) throw EPackError("bad form name");
  std::string content(tree);
  content += kSectionSeparator;
  content += formName;
  content += kSectionSeparator;
  for (const std::string& line : propertyLines) {
    if (HasLineBreak(line)) throw EPackError("a property line holds a line break");
    content += line + "\r\n";
  }
  content += " \r\n";
  return content;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == text.npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = end + 1;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

std::string Gzip(std::string_view data) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindow, 9, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    throw EPackError("zlib: deflateInit2 failed");
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  const std::size_t written = stream.total_out;
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw EPackError("zlib: deflate did not finish");
  out.resize(written);
  return out;
}

std::string Gunzip(std::string_view member) {
  z_stream stream{};
  if (inflateInit2(&stream, kGzipWindow) != Z_OK) throw EPackError("zlib: inflateInit2 failed");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.data()));
  stream.avail_in = static_cast<uInt>(member.size());
  std::string out;
  char chunk[16384];
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - stream.avail_out);
    if (out.size() > kMaxContent) result = Z_MEM_ERROR;
  }
  const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  if (!whole) throw EPackError("not exactly one gzip member");
  return out;
}

}  // namespace pack
