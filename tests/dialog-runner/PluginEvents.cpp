#include "PluginEvents.h"

#include "params/korParamLst.h"

namespace dialogrun {

namespace {

OleVariant ToVariant(const TValue& value) {
  switch (value.Kind) {
    case TKind::Nil:
      return OleVariant();
    case TKind::Bool:
      return OleVariant(value.Bool);
    case TKind::Int:
      return OleVariant(value.Int);
    case TKind::Float:
      return OleVariant(value.Float);
    default:
      return OleVariant(value.AsText());
  }
}

}  // namespace

TEventHandler PluginEvents(host::TPluginHost& host) {
  return [&host](const std::string& name, const std::vector<TValue>& args) {
    TkorParamsList params;
    params.Add("EVENT-TYPE", OleVariant(name));
    params.Add("RESULT", OleVariant());
    for (std::size_t i = 0; i < args.size(); ++i)
      params.Add("P" + std::to_string(i), ToVariant(args[i]));
    const std::int32_t code = host.Command("EVENT", params);
    if (code != 0) throw EScriptRunError("EVENT " + name + " answered " + std::to_string(code));
    const OleVariant result = params.GetValue("RESULT");
    if (result.IsEmpty() || result.IsNull()) return TValue();
    return TValue::Of(result.AsAnsiString());
  };
}

}  // namespace dialogrun
