#include "TestFiles.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "libmbus/src/Decode.h"

namespace mbus_test {

std::filesystem::path SharedDir() {
  return std::filesystem::path(KOR_SHARED_DIR);
}

std::filesystem::path TelegramDir(const char* folder) {
  return SharedDir() / "testdata" / "meter-frames" / folder;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::filesystem::path> FilesWith(const std::filesystem::path& dir, const char* ext) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    const std::string suffix = ext;
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        name.find(".norm.") == std::string::npos)
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<Block> ReadBlocks(const std::string& xml) {
  static const std::regex block(
      R"(<(SlaveInformation|DataRecord[^>]*)>([\s\S]*?)</(SlaveInformation|DataRecord)>)");
  static const std::regex field(R"(<(\w+)>([^<]*)</\w+>)");
  std::vector<Block> blocks;
  for (std::sregex_iterator b(xml.begin(), xml.end(), block), end; b != end; ++b) {
    Block out{(*b)[1].str(), {}};
    const std::string body = (*b)[2].str();
    for (std::sregex_iterator f(body.begin(), body.end(), field); f != end; ++f)
      if ((*f)[1].str() != "ProductName") out.fields.emplace_back((*f)[1].str(), (*f)[2].str());
    blocks.push_back(std::move(out));
  }
  return blocks;
}

namespace {

// Values compare as text: both sides print numbers with six decimals, so a
// build that computed a value differently (x87 rounding in a 32-bit build)
// shows as another digit.
bool SameValue(const std::string& a, const std::string& b) {
  return a == b;
}

}  // namespace

std::string CompareBlocks(const std::vector<Block>& got, const std::vector<Block>& expected) {
  if (got.size() != expected.size())
    return "block count " + std::to_string(got.size()) + " != " + std::to_string(expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    const Block& g = got[i];
    const Block& e = expected[i];
    if (g.tag != e.tag) return "block " + std::to_string(i) + ": " + g.tag + " != " + e.tag;
    if (g.fields.size() != e.fields.size()) return e.tag + ": field count differs";
    for (size_t k = 0; k < g.fields.size(); ++k) {
      if (g.fields[k].first != e.fields[k].first)
        return e.tag + ": " + g.fields[k].first + " where " + e.fields[k].first + " expected";
      if (!SameValue(g.fields[k].second, e.fields[k].second))
        return e.tag + " " + e.fields[k].first + ": '" + g.fields[k].second + "' != '" +
               e.fields[k].second + "'";
    }
  }
  return "";
}

std::vector<unsigned char> Bytes(const char* hex) {
  return mbus::HexTextBytes(hex);
}

std::vector<unsigned char> Reply(const std::string& records, unsigned char ci) {
  auto body = Bytes(("08 05 00 78 56 34 12 24 40 01 07 55 00 00 00 " + records).c_str());
  body[2] = ci;
  const auto length = static_cast<unsigned char>(body.size());
  std::vector<unsigned char> frame;
  frame.reserve(body.size() + 6);
  frame.push_back(0x68);
  frame.push_back(length);
  frame.push_back(length);
  frame.push_back(0x68);
  unsigned sum = 0;
  for (unsigned char b : body) {
    sum += b;
    frame.push_back(b);
  }
  frame.push_back(static_cast<unsigned char>(sum));
  frame.push_back(0x16);
  return frame;
}

}  // namespace mbus_test
