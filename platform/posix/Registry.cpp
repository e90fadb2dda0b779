// posix has no registry: nothing opens, so settings go to the INI file.
#include "platform/Registry.h"

namespace plat {

bool RegistryUsable() {
  return false;
}

bool TRegKey::Open(std::uint32_t, const std::string&, bool) {
  return false;
}
void TRegKey::Close() {
  FHandle = 0;
}
bool TRegKey::ValueExists(const std::string&) const {
  return false;
}
bool TRegKey::ReadValue(const std::string&, TValue&) const {
  return false;
}
bool TRegKey::WriteInteger(const std::string&, std::uint32_t) {
  return false;
}
bool TRegKey::WriteBinary(const std::string&, const std::string&) {
  return false;
}
bool TRegKey::WriteText(const std::string&, const std::string&) {
  return false;
}
bool TRegKey::DeleteValue(const std::string&) {
  return false;
}
std::vector<std::string> TRegKey::SubKeyNames() const {
  return {};
}
std::vector<std::string> TRegKey::ValueNames() const {
  return {};
}
bool RegKeyExists(std::uint32_t, const std::string&) {
  return false;
}
bool RegDeleteKeyTree(std::uint32_t, const std::string&) {
  return false;
}

}  // namespace plat
