// Drives a list wrapper through its A and W interfaces with operations,
// names, indexes and VARIANT payloads taken from the input, the way a host
// might. Whatever the input, no call may crash, leak or return anything but
// success or E_UNEXPECTED.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "params/korParamLstWrap.h"

namespace {

class TInput {
 public:
  TInput(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
  bool Empty() const { return FPos >= FSize; }
  std::uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  std::int32_t Index() { return static_cast<std::int8_t>(Byte()); }
  // A short text of the next bytes, NUL-free.
  std::string Text() {
    std::string text;
    std::size_t length = Byte() % 12;
    while (length-- > 0 && !Empty()) {
      char c = static_cast<char>(Byte());
      text.push_back(c ? c : 'A');
    }
    return text;
  }

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPos = 0;
};

// A host-made VARIANT; string payloads point into `ansi` / `wide`.
plat::TVarData MakeValue(TInput& in, std::string& ansi, std::u16string& wide) {
  plat::TVarData v;
  std::memset(static_cast<void*>(&v), 0, sizeof v);
  static const std::uint16_t kTypes[] = {
      plat::varEmpty,  plat::varNull,     plat::varSmallint, plat::varInteger, plat::varSingle,
      plat::varDouble, plat::varCurrency, plat::varDate,     plat::varBoolean, plat::varShortInt,
      plat::varByte,   plat::varWord,     plat::varLongWord, plat::varInt64,   plat::varUInt64,
      plat::varString, plat::varUString,  plat::varOleStr};
  v.VType = kTypes[in.Byte() % (sizeof kTypes / sizeof kTypes[0])];
  ansi = in.Text();
  wide.assign(ansi.begin(), ansi.end());
  if (v.VType == plat::varString) {
    if (in.Byte() & 1) v.VPointer = (in.Byte() & 1) ? static_cast<void*>(ansi.data()) : wide.data();
  } else if (v.VType == plat::varUString) {
    v.VUString = wide.c_str();
  } else if (v.VType == plat::varOleStr) {
    v.VOleStr = nullptr;  // the empty BSTR; filled by the caller when wanted
  } else {
    for (std::size_t i = 0; i < 8; ++i) reinterpret_cast<std::uint8_t*>(&v.VInt64)[i] = in.Byte();
  }
  return v;
}

void Check(plat::HResult hr) {
  if (hr != plat::kSOk && hr != plat::kEUnexpected) std::abort();
}

void Release(IkorParamsListItemA* item) {
  if (item) item->Release();
}

void Release(IkorParamsListItemW* item) {
  if (item) item->Release();
}

void Step(TInput& in, TkorParamsListWrap& wrap, TkorParamsList& other) {
  IkorParamsListA& a = wrap;
  IkorParamsListW& w = wrap;
  std::string ansi;
  std::u16string wide;
  plat::TVarData value = MakeValue(in, ansi, wide);
  std::string name = in.Text();
  std::u16string nameW(name.begin(), name.end());
  std::int32_t from = in.Index();
  std::int32_t to = in.Index();
  plat::TVarData out;
  IkorParamsListItemA* itemA = nullptr;
  IkorParamsListItemW* itemW = nullptr;
  std::int32_t index = 0;
  plat::Bool8 flag = 0;
  switch (in.Byte() % 20) {
    case 0:
      Check(a.Add(name.c_str(), &value, &itemA));
      break;
    case 1:
      Check(w.Add(nameW.c_str(), &value, &itemW));
      break;
    case 2:
      Check(a.Insert(from, name.c_str(), &value, &itemA));
      break;
    case 3:
      Check(w.SetValue(nameW.c_str(), &value, in.Byte(), &itemW));
      break;
    case 4:
      Check(a.IndexOf(name.c_str(), from, to, &index));
      break;
    case 5:
      Check(w.GetValue(nameW.c_str(), from, to, &out));
      plat::VariantClear(out);
      break;
    case 6:
      Check(a.GetValueDef(name.c_str(), &value, from, to, &out));
      plat::VariantClear(out);
      break;
    case 7:
      Check(w.FindItem(nameW.c_str(), from, to, &itemW));
      break;
    case 8:
      Check(a.GetItem(from, &itemA));
      break;
    case 9:
      a.Delete(from);
      break;
    case 10:
      w.EndRow();
      break;
    case 11:
      w.FindRowEnd(from, &index, &flag);
      break;
    case 12:
      Check(a.AddListRange(&other, from, to, &flag));
      break;
    case 13:
      Check(w.AddListRange(&wrap, from, to, &flag));
      break;
    case 14:
      a.AppendRows(&wrap);
      break;
    case 15: {
      // Readable memory that is no list (the signature itself is kept out:
      // memory that carries it is a list by the boundary rule).
      std::int32_t junk[16];
      for (std::int32_t& word : junk) {
        word = static_cast<std::int32_t>(in.Byte()) * 0x01010101;
        if (word == kParamsListSignature) word = 0;
      }
      Check(a.AddList(reinterpret_cast<TkorParamsList*>(junk), &flag));
      break;
    }
    case 16:
      Check(w.GetItem(from, &itemW));
      break;
    case 17:
      other.AddList(wrap.List());
      break;
    case 18:
      if (wrap.List()->Count() > 200) w.Clear();
      break;
    default:
      Check(a.Add(name.c_str(), nullptr, &itemA));
      break;
  }
  if (itemW) {  // work the item a little before letting it go
    Check(itemW->SetValueW(&value));
    itemW->SetNameW(nameW.c_str());
    Check(itemW->GetValue(&out));
    plat::VariantClear(out);
    IkorParamsListItemW* copy = nullptr;
    Check(w.AddItem(itemW, &copy));
    Release(copy);
  }
  if (itemA) {
    itemA->SetKey(name.c_str());
    Check(itemA->SetValue(&value));
    IkorParamsListItemA* copy = nullptr;
    Check(a.AddItem(itemA, &copy));
    Release(copy);
  }
  Release(itemA);
  Release(itemW);
  if (other.Count() > 400) other.Clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TInput in(data, size);
  TkorParamsList other;
  auto* wrap = new TkorParamsListWrap();
  wrap->AddRef();
  for (int steps = 0; !in.Empty() && steps < 500; ++steps) Step(in, *wrap, other);
  wrap->Release();
  return 0;
}
