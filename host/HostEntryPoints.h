// The host's entry points that a plug-in looks up by name in the host
// program (Vornak_SendNotify, Vornak_SendDataEx, Vornak_DataSourceData,
// Vornak_DataSourceState, Vornak_ManageDynForm), and the table that routes
// a call to the TPluginHost of its module index. Any thread; the table has
// its own lock.
#pragma once

#include <cstdint>

namespace host {

class TPluginHost;

void RegisterHost(std::int32_t moduleIndex, TPluginHost* host);
void UnregisterHost(TPluginHost* host);

// The addresses of the five entry points, in look-up order (referencing
// them keeps them in every program that links the host library).
void* const* HostEntryPointAddresses();

}  // namespace host
