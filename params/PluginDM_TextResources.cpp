#include "params/PluginDM_TextResources.h"

namespace {

// In the order of the accessors.
constexpr const char* kEnglish[TTextResources::kTextCount] = {
    "Unable to load configuration",
    "Request timeout (ms)",
    "Device address",
    "Checking address",
    "Found a M-bus device at address",
    "Failed to setup connection to M-bus gateway",
    "The address mask [%s] matches more than one device.",
    "The selected secondary address does not match any device [%s].",
    "Failed to select secondary address [%s].",
    "Failed to send M-bus request frame.",
    "Failed to receive M-bus response frame",
    "M-bus data parse error",
    "Failed to send/receive M-bus request.",
    "Failed to decode data values of M-bus frame",
    "Scan failed. Could not send ping frame",
    "Collision at address",
    "Unable to load API library",
    "Found",
};

}  // namespace

TTextResources::TTextResources(TComponent* owner) : TCustomTextResources(owner) {
  for (std::size_t i = 0; i < kTextCount; ++i) FIds[i] = RegisterText(kEnglish[i]);
}
