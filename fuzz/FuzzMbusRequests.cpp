// Arbitrary documents to the request configuration reader, and arbitrary
// search results to the request fragment builder. Every item must come out
// whole: its parameters point to it, one device address without separators,
// filters in bracket form, a usable time-out, a known method that its
// schedule repeats, data-type indexes in range. A fragment must read back
// as polled requests.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mbus/RequestConfig.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsBracketForm(const std::string& filter) {
  std::size_t i = 0;
  while (i < filter.size()) {
    if (filter[i++] != '[') return false;
    const std::size_t digits = i;
    while (i < filter.size() && filter[i] >= '0' && filter[i] <= '9') ++i;
    if (i == digits || i == filter.size() || filter[i++] != ']') return false;
  }
  return true;
}

void CheckItem(const TRequestItem& item) {
  Check(item.Params.Item == &item);
  Check(!item.Params.Device.empty());
  Check(item.Params.Device.find_first_of(";,") == std::string::npos);
  Check(IsBracketForm(item.Params.StorageNo) && IsBracketForm(item.Params.TariffNo));
  Check(item.Params.Timeout >= 1);
  Check(item.Params.FirstFrame <= 1 && item.Params.ReadOnlyNew <= 1);
  Check(item.Method < kRequestMethodCount && item.Schedule.Method == item.Method);
  Check(!item.Name.empty());
  for (std::int32_t i = 0; i < item.Responses.Count(); ++i) {
    const auto* response = dynamic_cast<const TResponseItem*>(item.Responses.Items(i));
    Check(response != nullptr && response->DataType < 8 && !response->Name.empty());
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
    lines.push_back(text.substr(from, at - from));
  lines.push_back(text.substr(from));
  return lines;
}

void CheckFragment(const std::string& input) {
  const std::vector<std::string> lines = SplitLines(input);
  std::vector<std::int32_t> selected;
  for (std::size_t i = 0; i < input.size() && i < 16; ++i)
    selected.push_back(static_cast<std::int8_t>(input[i]));
  const std::int32_t units = input.empty() ? 0 : input.back() % 5;
  TObjectList items(true);
  ReadRequestItems(BuildRequestFragment(lines, selected, 30, units), items);
  Check(items.Count() >= 1);
  for (std::int32_t i = 0; i < items.Count(); ++i)
    Check(dynamic_cast<const TRequestItem&>(*items.Items(i)).Method == MethodPoll);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  TObjectList items(true);
  ReadRequestItems(input, items);
  for (std::int32_t i = 0; i < items.Count(); ++i) {
    const auto* item = dynamic_cast<const TRequestItem*>(items.Items(i));
    Check(item != nullptr);
    CheckItem(*item);
  }
  CheckFragment(input);
  return 0;
}
