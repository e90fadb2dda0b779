// mbus-decode [--normalized] FILE.hex: prints the XML of the telegrams in
// FILE (hex pairs separated by blanks); several telegrams are one reply.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "libmbus/src/Decode.h"

namespace {

int Fail(const std::string& reason) {
  std::fprintf(stderr, "mbus-decode: %s\n", reason.c_str());
  return 1;
}

int Run(int argc, char** argv) {
  bool normalised = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--normalized") == 0 || std::strcmp(argv[i], "-n") == 0)
      normalised = true;
    else if (!path)
      path = argv[i];
    else
      return Fail("more than one file given");
  }
  if (!path) return Fail("usage: mbus-decode [--normalized] FILE.hex");
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(std::string("cannot read ") + path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = mbus::DecodeTelegrams(mbus::HexTextBytes(text.str()), normalised);
  std::fwrite(xml.data(), 1, xml.size(), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    return Fail(e.what());
  } catch (...) {
    return Fail("unexpected failure");
  }
}
