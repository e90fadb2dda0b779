// Modules: the running code's own library, loading and freeing libraries,
// symbol look-up, modules already loaded, file versions, the process's
// command line and the shared application-data folder. Every function is
// thread-safe and never throws; failures are reported as 0 or empty text.
//
// Windows: module handles are HMODULE values; versions come from the file's
// version resource. posix: module handles are the loader's handles (the
// executable's own is that of the main program); a version is the record
// that KOR_EMBED_FILE_VERSION puts into a library or program (below).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Marks a function of a shared library or program as exported. Windows
// builds name their exports in a .def file or with __declspec; posix builds
// hide everything else (-fvisibility=hidden).
// KOR_PROGRAM_EXPORT marks a function a program exports for the libraries
// it loads (the host's entry points); on Windows it is a dllexport, and the
// program is linked so that stdcall names stay undecorated.
#if defined(_WIN32)
#define KOR_EXPORT
#define KOR_PROGRAM_EXPORT __declspec(dllexport)
#else
#define KOR_EXPORT __attribute__((visibility("default")))
#define KOR_PROGRAM_EXPORT __attribute__((visibility("default")))
#endif

namespace plat {

// A loaded module; 0 is none.
using ModuleHandle = std::uintptr_t;

// The separator of the platform's paths: '\' on Windows, '/' on posix.
extern const char kPathDelimiter;

// Full file name of the library or program that contains this code (the
// plug-in's own path when called from inside the plug-in). Empty on failure.
std::string OwnModuleFileName();

// Full file name of a loaded module; empty when it cannot be told.
std::string ModuleFileName(ModuleHandle module);

// Loads a library from a path. 0 on failure, with the loader's reason in
// error (when given).
ModuleHandle LoadModule(const std::string& path, std::string* error = nullptr);

// Drops one reference taken by LoadModule.
void FreeModule(ModuleHandle module);

// Address of an exported symbol, nil when the module does not export it.
void* FindSymbol(ModuleHandle module, const char* name);

// The handle of a module that is already loaded, by file name or full path,
// without loading anything; 0 when none is loaded under that name. The
// executable counts as loaded under its own file name and path.
ModuleHandle FindLoadedModule(const std::string& name);

// The executable's own module (its exports are looked up through it).
ModuleHandle ExecutableModule();

// A file's version as "major.minor.release.build", empty when the file has
// none or cannot be read.
std::string FileVersion(const std::string& path);

// The process's command-line arguments, the program name first, in the
// system code page.
std::vector<std::string> CommandLineArguments();

// The folder for application data shared by all users, without a trailing
// separator: the value of KOR_COMMON_APPDATA when set (a host's or a test's
// choice); otherwise Windows: the common application-data folder, posix:
// "/var/lib".
std::string CommonAppDataFolder();

// Identifier of the calling thread, as the system numbers threads.
std::uint32_t CurrentThreadId();

}  // namespace plat

// The embedded version of a posix library or program: a record of a fixed
// 8-byte mark and four 16-bit numbers that FileVersion finds in the file.
// Use once per binary, at namespace scope: KOR_EMBED_FILE_VERSION(0, 1, 0, 0).
// Windows binaries carry a version resource instead (a .rc file).
namespace plat {
struct TEmbeddedVersion {
  unsigned char Mark[8];
  std::uint16_t Numbers[4];
};
// The mark's bytes, each XOR-ed with kEmbeddedVersionMask so that the code
// that searches for the mark does not contain it.
inline constexpr unsigned char kEmbeddedVersionMask = 0x5A;
}  // namespace plat

#define KOR_EMBED_FILE_VERSION(a, b, c, d)                                             \
  extern "C" __attribute__((used)) const plat::TEmbeddedVersion korEmbeddedVersion = { \
      {0x7F, 'K', 'O', 'R', 'V', 'E', 'R', 0x01}, {(a), (b), (c), (d)}}
