// Loads the demo DLL, calls it from the main thread and five other threads,
// joins them, frees the DLL and exits.
#include <windows.h>

#include <cstdio>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  HMODULE module = LoadLibraryA(argc > 1 ? argv[1] : "demo.dll");
  if (!module) return 2;
  auto touch = reinterpret_cast<int (*)(int)>(GetProcAddress(module, "Touch"));
  touch(0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 5; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) touch(i);
    });
  for (auto& thread : threads) thread.join();
  FreeLibrary(module);
  std::puts("done");
  std::fflush(stdout);
  return 0;
}
