// TTextResources: the plug-in's own message texts, in English until the
// module is translated. The plug-in data module owns one and hands it to its
// data sources and their M-Bus workers, which read a text each time they
// report (so a translation made after start-up shows at once). The three
// texts with "%s" take one text argument (FormatText).
//
// Threads: see TCustomTextResources; every accessor may be called from any
// thread.
#pragma once

#include <cstddef>
#include <string>

#include "params/CustomTextResources.h"

class TTextResources : public TCustomTextResources {
 public:
  explicit TTextResources(TComponent* owner = nullptr);

  std::string MsgUnableToLoadConfig() const { return Text(FIds[0]); }
  std::string MsgRequestTimeout() const { return Text(FIds[1]); }
  std::string MsgDeviceAddress() const { return Text(FIds[2]); }
  std::string MsgCheckingAddress() const { return Text(FIds[3]); }
  std::string MsgFoundDeviceAt() const { return Text(FIds[4]); }
  std::string MsgGatewayConnectFailed() const { return Text(FIds[5]); }
  std::string MsgMaskMatchesMany() const { return Text(FIds[6]); }
  std::string MsgSecondaryNoMatch() const { return Text(FIds[7]); }
  std::string MsgSelectSecondaryFailed() const { return Text(FIds[8]); }
  std::string MsgSendFrameFailed() const { return Text(FIds[9]); }
  std::string MsgReceiveFrameFailed() const { return Text(FIds[10]); }
  std::string MsgDataParseError() const { return Text(FIds[11]); }
  std::string MsgSendReceiveFailed() const { return Text(FIds[12]); }
  std::string MsgDecodeValuesFailed() const { return Text(FIds[13]); }
  std::string MsgScanPingFailed() const { return Text(FIds[14]); }
  std::string MsgCollisionAt() const { return Text(FIds[15]); }
  std::string MsgApiLibraryLoadFailed() const { return Text(FIds[16]); }
  std::string MsgFound() const { return Text(FIds[17]); }

  static constexpr std::size_t kTextCount = 18;

 private:
  std::size_t FIds[kTextCount];
};
