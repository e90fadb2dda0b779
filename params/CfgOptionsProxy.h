// The proxy of the options form: its persisted control properties under the
// form's paths, each "." written as "_" ("spMinInt.Value" is spMinInt_Value).
// Owned by the plug-in data module; used on the thread that loads, saves and
// reads the settings.
#pragma once

#include <cstdint>
#include <string>

#include "params/ProxyCodeCustom.h"

class TProxyCodeObject : public TProxyCodeCustomObject {
 public:
  // Sets the defaults: the form's stored geometry, empty texts, interval 0.
  explicit TProxyCodeObject(TComponent* owner);

  const std::vector<TProxyPropertyInfo>& Properties() const override;

  std::int32_t Left = 326;
  std::int32_t Top = 144;
  std::int32_t Height = 435;
  std::int32_t Width = 481;
  std::string lblParams_Caption;    // the request configuration document
  std::string OpenDialog_FileName;  // last file opened in the request tree
  std::string SaveDialog_FileName;  // last file saved from the request tree
  double spMinInt_Value = 0;        // minimal interval between data packets, ms
};

// What the plug-in data module creates, once, with itself as owner.
class TDataSourceCfg : public TProxyCodeObject {
 public:
  using TProxyCodeObject::TProxyCodeObject;
};
