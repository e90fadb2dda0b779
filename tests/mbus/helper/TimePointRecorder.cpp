// A second process for the last time points tests: records COUNT devices of
// its own ("NAME-0", "NAME-1", ...) into FOLDER's file, one Record each, as
// another host process's module would; or reads devices' time points as a
// process started after a restart would, one line each ("-1" for none).
//   time_point_recorder FOLDER NAME COUNT
//   time_point_recorder --read FOLDER FALLBACK_FOLDER DEVICE...
// Exit status 0 when every record succeeded.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "mbus/LastTimePoints.h"

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--read") {
    const TLastTimePoints file(argv[2], argv[3]);
    for (int i = 4; i < argc; ++i) std::printf("%.6f\n", file.Read(argv[i]));
    return 0;
  }
  if (argc != 4) {
    std::cerr << "usage: time_point_recorder FOLDER NAME COUNT\n";
    return 2;
  }
  const TLastTimePoints file(argv[1]);
  const std::string name = argv[2];
  const int count = std::atoi(argv[3]);
  try {
    for (int i = 0; i < count; ++i) file.Record({{name + "-" + std::to_string(i), 40000.0 + i}});
  } catch (const std::exception& e) {
    std::cerr << name << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
