// Arbitrary bytes to the form-stream reader, and arbitrary text to the
// text-form parser. Neither may crash or hang; what the reader accepts must
// write back to a stream that reads to the same tree, and its text form
// must compile to that tree again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "framework/FormStream.h"
#include "tools/formc/FormText.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void FuzzReader(std::string_view bytes) {
  form::TFormObject root;
  try {
    root = form::ReadFormStream(bytes);
  } catch (const form::EFormStreamError&) {
    return;
  }
  std::string written;
  try {
    written = form::WriteFormStream(root);
  } catch (const form::EFormStreamError&) {
    return;  // read but not writable (a Null inside a list, say)
  }
  // Once written, a stream reads and writes back byte for byte (the first
  // write may quiet a signalling NaN of a 4-byte float).
  Check(form::WriteFormStream(form::ReadFormStream(written)) == written);
  try {
    (void)form::ParseFormText(form::FormToText(root));
  } catch (const form::EFormTextError&) {
    // Non-canonical values (an ident that is no name, say) have no text form.
  }
}

void FuzzText(std::string_view text) {
  try {
    const form::TFormObject root = form::ParseFormText(text);
    const std::string stream = form::WriteFormStream(root);
    Check(form::ReadFormStream(stream) == root);
    (void)form::FormToText(root);
  } catch (const form::EFormTextError&) {
  } catch (const form::EFormStreamError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  FuzzReader(input);
  if (!form::HasFormSignature(input)) FuzzText(input);
  return 0;
}
