#include "params/CfgOptionsProxy.h"

TProxyCodeObject::TProxyCodeObject(TComponent* owner) : TProxyCodeCustomObject(owner) {}

const std::vector<TProxyPropertyInfo>& TProxyCodeObject::Properties() const {
  using C = TProxyCodeObject;
  static const std::vector<TProxyPropertyInfo> table = {
      IntegerProperty<C, &C::Left>("Left"),
      IntegerProperty<C, &C::Top>("Top"),
      IntegerProperty<C, &C::Height>("Height"),
      IntegerProperty<C, &C::Width>("Width"),
      StringProperty<C, &C::lblParams_Caption>("lblParams_Caption"),
      StringProperty<C, &C::OpenDialog_FileName>("OpenDialog_FileName"),
      StringProperty<C, &C::SaveDialog_FileName>("SaveDialog_FileName"),
      DoubleProperty<C, &C::spMinInt_Value>("spMinInt_Value"),
  };
  return table;
}
