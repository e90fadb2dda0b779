// A DLL with one thread_local whose type has a destructor, built with the
// statically linked mingw runtime as our modules are. With DEMO_PLAIN the
// same state is a plain pointer freed by the code that made it.
#include <string>
#include <vector>

#ifndef DEMO_PLAIN
thread_local std::vector<std::string> scopes;

extern "C" __declspec(dllexport) int Touch(int value) {
  scopes.emplace_back("scope");
  int size = static_cast<int>(scopes.size()) + value;
  scopes.pop_back();
  return size;
}
#else
thread_local std::vector<std::string>* scopes = nullptr;

extern "C" __declspec(dllexport) int Touch(int value) {
  if (!scopes) scopes = new std::vector<std::string>;
  scopes->emplace_back("scope");
  int size = static_cast<int>(scopes->size()) + value;
  scopes->pop_back();
  delete scopes;
  scopes = nullptr;
  return size;
}
#endif
