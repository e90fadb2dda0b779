// Form streams: reading and writing a dialog-sized form (200 components
// with a dozen properties each, lists and a collection), compiling its text
// form, and decoding the string holder's stored lines.
#include <benchmark/benchmark.h>

#include <string>

#include "framework/FormStream.h"
#include "plugin/korStringHolder.h"
#include "tools/formc/FormText.h"

namespace {

form::TFormObject DialogSizedForm() {
  form::TFormObject root;
  root.ClassName = "TfrmOptions";
  root.Name = "frmOptions";
  for (int i = 0; i < 200; ++i) {
    form::TFormObject child;
    child.ClassName = "TEdit";
    child.Name = "edt" + std::to_string(i);
    for (const char* name : {"Left", "Top", "Width", "Height", "TabOrder", "Tag"})
      child.Properties.push_back({name, form::TFormValue::MakeInt(std::int64_t{i} * 7)});
    child.Properties.push_back(
        {"Text", form::TFormValue::MakeString("value " + std::to_string(i))});
    child.Properties.push_back({"Hint", form::TFormValue::MakeWide(u"Z\u00E4hler")});
    child.Properties.push_back({"Color", form::TFormValue::MakeIdent("clWindow")});
    child.Properties.push_back({"Visible", form::TFormValue::MakeBool(true)});
    child.Properties.push_back({"Ratio", form::TFormValue::MakeExtended(i / 3.0)});
    form::TFormValue lines;
    lines.Type = form::TValueType::vaList;
    for (int j = 0; j < 5; ++j) lines.List.push_back(form::TFormValue::MakeString("line"));
    child.Properties.push_back({"Items.Strings", lines});
    root.Children.push_back(child);
  }
  return root;
}

void BM_ReadFormStream(benchmark::State& state) {
  const std::string stream = form::WriteFormStream(DialogSizedForm());
  for (auto _ : state) benchmark::DoNotOptimize(form::ReadFormStream(stream));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ReadFormStream);

void BM_WriteFormStream(benchmark::State& state) {
  const form::TFormObject root = DialogSizedForm();
  for (auto _ : state) benchmark::DoNotOptimize(form::WriteFormStream(root));
}
BENCHMARK(BM_WriteFormStream);

void BM_CompileFormText(benchmark::State& state) {
  const std::string text = form::FormToText(DialogSizedForm());
  for (auto _ : state) benchmark::DoNotOptimize(form::CompileFormText(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CompileFormText);

void BM_DecodeHolderLine(benchmark::State& state) {
  const std::string stored = TkorStrHolder::EncodeLine("lblParams.Caption,Parser config", "key");
  for (auto _ : state) benchmark::DoNotOptimize(TkorStrHolder::DecodeLine(stored, "key", 2));
}
BENCHMARK(BM_DecodeHolderLine);

}  // namespace
