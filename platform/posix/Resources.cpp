#include "platform/Resources.h"

#include <map>
#include <mutex>

namespace plat {

namespace {

struct TResourceTable {
  std::mutex Lock;
  std::map<std::string, std::string> Blobs;  // upper-case name -> bytes
};

TResourceTable& Table() {
  static TResourceTable table;
  return table;
}

std::string UpperName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

}  // namespace

std::string LoadDataResource(std::string_view name) {
  try {
    TResourceTable& table = Table();
    std::lock_guard<std::mutex> lock(table.Lock);
    auto it = table.Blobs.find(UpperName(name));
    return it == table.Blobs.end() ? std::string() : it->second;
  } catch (...) {
    return {};
  }
}

void RegisterDataResource(std::string_view name, std::string_view data) {
  try {
    TResourceTable& table = Table();
    std::lock_guard<std::mutex> lock(table.Lock);
    table.Blobs[UpperName(name)] = std::string(data);
  } catch (...) {
    // A resource that cannot be stored is missing, as on a failed load.
  }
}

}  // namespace plat
