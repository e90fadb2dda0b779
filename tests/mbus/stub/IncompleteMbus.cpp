// A library of the protocol library's file name that exports only one of
// the names the plug-in binds: loading it must fail name by name.
#if defined(_WIN32)
#define STUB_EXPORT extern "C" __declspec(dllexport)
#else
#define STUB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

STUB_EXPORT unsigned int mbus_manufacturer_id(char*) {
  return 0;
}
